// Fuzz target: SORT control files.  Any bytes, as control lines, give a control or one of the
// control-file errors; a control that parses has its limits kept, and its key form and rules
// work on any record of the length they were checked against.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/datafiles/openstr.h"
#include "vxs/utilities/sortcontrol.h"

namespace {

bool controlError(int err) {
    switch (err) {
        case vxs::kErrSortLine:
        case vxs::kErrSortFileLine:
        case vxs::kErrSortRecordLine:
        case vxs::kErrSortMaskLine:
        case vxs::kErrSortAltsCode:
        case vxs::kErrSortRecordCount:
        case vxs::kErrSortBeforeFile: return true;
        default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte gives the input's record length; the rest are the lines.
    const int recl = 1 + data[0] % 200;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    vxs::SortControl c;
    bool done = false;
    for (size_t at = 0; at <= text.size() && !done;) {
        const size_t nl = text.find('\n', at);
        const size_t stop = nl == std::string_view::npos ? text.size() : nl;
        const int err = vxs::parseSortLine(text.substr(at, stop - at), c, done);
        if (err != 0) {
            if (!controlError(err) || done) __builtin_trap();
            return 0;
        }
        if (nl == std::string_view::npos) break;
        at = nl + 1;
    }
    if (c.comments.size() > vxs::kMaxSortComments || c.rules.size() > vxs::kMaxSortRules) __builtin_trap();
    for (const std::string& comment : c.comments)
        if (comment.size() > vxs::kSortCommentWidth) __builtin_trap();
    if (!done) return 0;
    if (!c.haveFile || c.keys.empty() || c.keys.size() > vxs::kMaxSortKeys) __builtin_trap();
    if (c.kind == vxs::SortOutput::kKeyFile &&
        (c.keys.size() > vxs::kMaxKeyParts || c.keyLength() > 128))
        __builtin_trap();
    const int err = vxs::prepareSortControl(c, recl, data[0] & 1);
    if (err != 0) {
        if (err != vxs::kErrSortFieldBeyond && err != vxs::kErrNotPlainString) __builtin_trap();
        return 0;
    }
    // A record of the checked length, and one shorter (read as blanks past its end).
    std::vector<uint8_t> record(static_cast<size_t>(recl));
    for (size_t i = 0; i < record.size(); ++i) record[i] = data[(i * 7) % size];
    std::vector<uint8_t> key(static_cast<size_t>(c.keyLength()));
    vxs::buildSortKey(c, record.data(), record.size(), key.data());
    (void)vxs::sortSelects(c, record.data(), record.size());
    vxs::buildSortKey(c, record.data(), record.size() / 2, key.data());
    (void)vxs::sortSelects(c, record.data(), record.size() / 2);
    return 0;
}
