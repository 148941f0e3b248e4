// Fuzz target: INDEX parameters.  Any bytes, as a command tail and as procedure lines, give a
// parameter set or one of the utility's parameter errors; a set that checks has names within
// their limits and as many key starts as lengths.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vxs/errors/errors.h"
#include "vxs/utilities/indexparams.h"

namespace {

bool parameterError(int err) {
    return err == vxs::kErrNoParameters || err == vxs::kErrBadOption ||
           err == vxs::kErrDataNameLength || err == vxs::kErrKeyNameLength ||
           err == vxs::kErrWorkNameLength || err == vxs::kErrUnrecognized;
}

void checkSet(const vxs::IndexParams& p) {
    if (vxs::checkIndexParams(p) != 0) return;
    if (p.dataFile.empty() || p.dataFile.size() > 512 || p.keyFile.size() > 512 ||
        p.starts != p.lengths || p.starts > vxs::kMaxKeyParts)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vxs::IndexParams p;
    const int err = vxs::parseIndexCommand(text, p);
    if (err != 0 && !parameterError(err)) __builtin_trap();
    if (err == 0) checkSet(p);
    vxs::IndexParams q;
    for (size_t at = 0; at <= text.size();) {
        const size_t nl = text.find('\n', at);
        const size_t stop = nl == std::string_view::npos ? text.size() : nl;
        int end = 0;
        const int e = vxs::parseIndexProcedureLine(text.substr(at, stop - at), q, end);
        if (e != 0 && !parameterError(e)) __builtin_trap();
        if (end != 0) {
            checkSet(q);
            q = vxs::IndexParams{};
        }
        if (nl == std::string_view::npos) break;
        at = nl + 1;
    }
    checkSet(q);
    return 0;
}
