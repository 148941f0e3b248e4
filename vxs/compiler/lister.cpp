// The program lister (see lister.h).
#include "vxs/compiler/lister.h"

#include <algorithm>
#include <cstdio>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/keywords.h"
#include "vxs/compiler/linetable.h"

namespace vxs {

std::string restoreSource(std::string_view s) {
    std::string out;
    bool inComment = false;  // comment tokens that follow each other are one comment
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        auto have = [&](size_t n) { return i + n <= s.size(); };
        switch (b) {
            case kSrcLiteral:
                if (!have(2)) return out;
                out += s[i + 1];
                i += 2;
                break;
            case kSrcClauseKw: {
                if (!have(2)) return out;
                const char* name = clauseKeywordName(static_cast<uint8_t>(s[i + 1]));
                if (name) out += name;
                i += 2;
                break;
            }
            case kSrcLineNum: {
                if (!have(5)) return out;
                const uint32_t n = static_cast<uint8_t>(s[i + 1]) |
                                   static_cast<uint32_t>(static_cast<uint8_t>(s[i + 2])) << 8 |
                                   static_cast<uint32_t>(static_cast<uint8_t>(s[i + 3])) << 16;
                char buf[32];
                const int width = std::min<int>(static_cast<uint8_t>(s[i + 4]), 9);
                snprintf(buf, sizeof buf, "%0*u", width, n);
                out += buf;
                i += 5;
                break;
            }
            case kSrcKeyword:
            case kSrcComment: {
                if (!have(2)) return out;
                const size_t n = static_cast<uint8_t>(s[i + 1]);
                if (!have(2 + n)) return out;
                if (b == kSrcComment && !inComment) out += '!';
                out.append(s.substr(i + 2, n));
                i += 2 + n;
                inComment = b == kSrcComment;
                continue;
            }
            default:
                out += static_cast<char>(b);
                ++i;
                break;
        }
        inComment = false;
    }
    return out;
}

std::string listLine(const pcb& pc, int index) {
    if (index < 0 || index >= pc.linecnt) return {};
    const std::string_view src = lineSource(pc, index);
    if (src.empty()) return {};
    char number[16];
    snprintf(number, sizeof number, "%05u ", pc.lineptr[static_cast<size_t>(index)].lineno());
    return number + restoreSource(src);
}

}  // namespace vxs
