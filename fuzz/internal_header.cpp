// Fuzz target: INTERNAL file headers.  Any bytes decode to a header or to 4122/632 without
// reading past them; a header that decodes encodes to bytes that decode to the same fields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vxs/errors/errors.h"
#include "vxs/datafiles/header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vxs::InternalHeader h;
    const int err = vxs::decodeHeader(data, size, h);
    if (err != 0) {
        if (err != vxs::kErrWrongFileType && err != vxs::kErrBadCollation) __builtin_trap();
        return 0;
    }
    const std::string again = vxs::encodeHeader(h);
    vxs::InternalHeader back;
    if (vxs::decodeHeader(reinterpret_cast<const uint8_t*>(again.data()), again.size(), back) != 0)
        __builtin_trap();
    if (back.records != h.records || back.version != h.version || back.recl != h.recl ||
        back.length != h.length || back.parts != h.parts || back.flags != h.flags ||
        back.swapped != h.swapped || back.deletedHead != h.deletedHead)
        __builtin_trap();
    for (int i = 0; i < h.parts; ++i)
        if (back.keys[i].start != h.keys[i].start || back.keys[i].length != h.keys[i].length ||
            back.keys[i].flags != h.keys[i].flags)
            __builtin_trap();
    return 0;
}
