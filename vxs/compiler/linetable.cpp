// The line table operations (see linetable.h): the number-ordered chain through the entries, the
// code area that holds each line's code and source, and the bookkeeping of their sizes.
#include "vxs/compiler/linetable.h"

#include <algorithm>
#include <memory>
#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

// Line indexes travel in 16-bit code words, next to the negative markers of pcb.h.
constexpr int kMaxLines = 32000;

// Makes room for one more entry: doubles the table (at least 16 more), up to kMaxLines.
int growLineTable(pcb& pc) {
    if (pc.linecnt < pc.linecap) return 0;
    const int cap = std::max(pc.linecap * 2, pc.linecnt + 16);
    if (cap > kMaxLines && pc.linecnt >= kMaxLines) return kErrNoMemory;
    const int newcap = std::min(cap, kMaxLines);
    std::unique_ptr<linetbl[]> grown(new (std::nothrow) linetbl[static_cast<size_t>(newcap)]);
    if (!grown) return kErrNoMemory;
    std::copy(pc.lineptr.get(), pc.lineptr.get() + pc.linecnt, grown.get());
    pc.lineptr = std::move(grown);
    pc.linecap = newcap;
    return 0;
}

// Links a new entry into the chain before the first line with a higher number.
void linkInOrder(pcb& pc, int index) {
    linetbl& e = pc.lineptr[static_cast<size_t>(index)];
    int prev = -1;
    int cur = pc.firstline;
    while (cur >= 0 && pc.lineptr[static_cast<size_t>(cur)].lineno() < e.lineno()) {
        prev = cur;
        cur = pc.lineptr[static_cast<size_t>(cur)].next;
    }
    // The first line of an empty program finds firstline at kNoLines; the last line's successor
    // is always kEndOfChain.
    e.next = cur >= 0 ? static_cast<int16_t>(cur) : kEndOfChain;
    if (prev < 0)
        pc.firstline = static_cast<int16_t>(index);
    else
        pc.lineptr[static_cast<size_t>(prev)].next = static_cast<int16_t>(index);
}

// Points whatever leads to entry `from` (firstline or a predecessor's next) at `to`.
void relink(pcb& pc, int from, int16_t to) {
    if (pc.firstline == from) {
        pc.firstline = to;
        return;
    }
    for (int i = pc.firstline; i >= 0; i = pc.lineptr[static_cast<size_t>(i)].next) {
        if (pc.lineptr[static_cast<size_t>(i)].next == from) {
            pc.lineptr[static_cast<size_t>(i)].next = to;
            return;
        }
    }
}

}  // namespace

int findLine(const pcb& pc, uint32_t number) {
    for (int i = pc.firstline; i >= 0; i = pc.lineptr[static_cast<size_t>(i)].next) {
        const uint32_t n = pc.lineptr[static_cast<size_t>(i)].lineno();
        if (n == number) return i;
        if (n > number) break;
    }
    return -1;
}

std::vector<int> linesInOrder(const pcb& pc) {
    std::vector<int> order;
    order.reserve(static_cast<size_t>(pc.linecnt));
    for (int i = pc.firstline; i >= 0 && order.size() <= static_cast<size_t>(pc.linecnt);
         i = pc.lineptr[static_cast<size_t>(i)].next)
        order.push_back(i);
    return order;
}

std::span<const uint8_t> lineCode(const pcb& pc, int index) {
    if (index < 0 || index >= pc.linecnt) return {};
    const linetbl& e = pc.lineptr[static_cast<size_t>(index)];
    if (e.code == 0 || e.code > pc.codearea.size()) return {};
    const size_t len = pc.codearea[e.code - 1];
    if (e.code + len > pc.codearea.size()) return {};
    return {pc.codearea.data() + e.code, len};
}

std::string_view lineSource(const pcb& pc, int index) {
    if (index < 0 || index >= pc.linecnt) return {};
    const linetbl& e = pc.lineptr[static_cast<size_t>(index)];
    const std::vector<uint8_t>& area =
        (e.flags() & LF_SOURCE_IN_CODE) ? pc.codearea : pc.sourcearea;
    if (e.source < 2 || e.source > area.size()) return {};
    const size_t len = area[e.source - 2] | static_cast<size_t>(area[e.source - 1]) << 8;
    if (e.source + len > area.size()) return {};
    return {reinterpret_cast<const char*>(area.data() + e.source), len};
}

int storeLine(pcb& pc, uint32_t number, std::span<const uint8_t> code, std::string_view source,
              bool executable) {
    std::vector<uint8_t>& area = pc.codearea;
    // Room for the code area's unused first byte, both length fields and both texts.
    const size_t used = area.empty() ? 1 : area.size();
    if (used + code.size() + source.size() + 4 > 0x7FFFFFFF) return kErrNoMemory;
    const int existing = findLine(pc, number);
    // The table grows before anything is written, so that a refused line leaves no trace.
    if (existing < 0)
        if (int err = growLineTable(pc)) return err;

    // The code area: the code's length byte and code, then the source's length and text.
    if (area.empty()) area.push_back(0);  // offset 0 is nobody's
    area.push_back(static_cast<uint8_t>(code.size()));
    const uint32_t codeAt = static_cast<uint32_t>(area.size());
    area.insert(area.end(), code.begin(), code.end());
    area.push_back(static_cast<uint8_t>(source.size()));
    area.push_back(static_cast<uint8_t>(source.size() >> 8));
    const uint32_t sourceAt = static_cast<uint32_t>(area.size());
    area.insert(area.end(), source.begin(), source.end());

    int index = existing;
    if (existing < 0) {
        index = pc.linecnt++;
        linetbl& e = pc.lineptr[static_cast<size_t>(index)];
        e = linetbl{};
        e.setLineno(number);
        linkInOrder(pc, index);
    } else {
        pc.codebytes -= static_cast<int32_t>(lineCode(pc, existing).size());
        pc.sourcebytes -= static_cast<int32_t>(lineSource(pc, existing).size());
    }
    uint8_t flags = LF_SOURCE_IN_CODE;
    if (!executable) flags |= LF_NOT_EXECUTABLE;
    linetbl& e = pc.lineptr[static_cast<size_t>(index)];
    e.setFlags(flags);
    e.code = codeAt;
    e.source = sourceAt;
    pc.codebytes += static_cast<int32_t>(code.size());
    pc.sourcebytes += static_cast<int32_t>(source.size());
    pc.resolved = false;
    return 0;
}

bool deleteLine(pcb& pc, uint32_t number) {
    const int index = findLine(pc, number);
    if (index < 0) return false;
    pc.codebytes -= static_cast<int32_t>(lineCode(pc, index).size());
    pc.sourcebytes -= static_cast<int32_t>(lineSource(pc, index).size());
    relink(pc, index, pc.lineptr[static_cast<size_t>(index)].next);
    // The last entry takes its place, so that the table has no holes.
    const int last = pc.linecnt - 1;
    if (index != last) {
        pc.lineptr[static_cast<size_t>(index)] = pc.lineptr[static_cast<size_t>(last)];
        relink(pc, last, static_cast<int16_t>(index));
    }
    --pc.linecnt;
    if (pc.linecnt == 0) pc.firstline = kNoLines;
    pc.resolved = false;
    return true;
}

}  // namespace vxs
