// Fuzz target: OPEN strings.  Any bytes parse to a record or to 605/600, never beyond the text;
// a string that parses parses again to the same record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vxs/errors/errors.h"
#include "vxs/datafiles/openstr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vxs::OpenSpec a, b;
    const bool printer = size > 0 && (data[0] & 1);
    const int err = vxs::parseOpenString(text, printer, a);
    if (err != 0 && err != vxs::kErrOpenSyntax && err != vxs::kErrSubstituteOverflow)
        __builtin_trap();
    if (err == 0) {
        if (vxs::parseOpenString(text, printer, b) != 0 || a.name != b.name || a.recl != b.recl ||
            a.keyParts() != b.keyParts() || a.create != b.create)
            __builtin_trap();
        if (a.keyParts() > vxs::kMaxKeyParts || a.name.size() > vxs::kMaxOpenValue) __builtin_trap();
    }
    return 0;
}
