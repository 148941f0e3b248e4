// The interpreter as STATUS shows it (see introspect.h): stack use and marks, the call chain,
// dictionary memory and the DIM bookkeeping of a program's variables.
#include "vxs/interpreter/introspect.h"

#include <cctype>
#include <cstring>
#include <map>

#include "vxs/compiler/lister.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/compiler/linetable.h"
#include "vxs/interpreter/state.h"

namespace vxs {

namespace {

constexpr uint8_t kFreeByte = 0xCC;

// The number of bytes from `base` up to and including the last one that is not kFreeByte.
size_t markOf(const uint8_t* base, size_t size) {
    while (size > 0 && base[size - 1] == kFreeByte) --size;
    return size;
}

}  // namespace

std::vector<StackUse> stackUse() {
    const EvalStacks& e = interp.eval;
    const FlowStacks& f = interp.stacks;
    std::vector<StackUse> out;
    StackUse work{"Work Stack"};
    if (e.work.base) {
        work.max = static_cast<uint64_t>(e.work.limit - e.work.base);
        work.inUse = static_cast<uint64_t>(e.work.next - e.work.base);
        work.maxUsed = std::max<uint64_t>(markOf(e.work.base, work.max), work.inUse);
    }
    out.push_back(work);
    out.push_back({"Flow Stack", f.flowLimit, f.flow.size(), std::max(f.flowHigh, f.flow.size())});
    StackUse rpn{"RPN Stack"};
    if (e.rpnArea) {
        const RpnEntry* area = e.rpnArea.get();
        rpn.max = static_cast<uint64_t>(e.rpn.limit - area);
        rpn.inUse = static_cast<uint64_t>(e.rpn.rpnStackNext - area);
        const size_t bytes = markOf(reinterpret_cast<const uint8_t*>(area), rpn.max * sizeof(RpnEntry));
        rpn.maxUsed = std::max<uint64_t>((bytes + sizeof(RpnEntry) - 1) / sizeof(RpnEntry), rpn.inUse);
    }
    out.push_back(rpn);
    out.push_back({"FOR Stack", f.forLimit, f.fors.size(), std::max(f.forHigh, f.fors.size())});
    return out;
}

void fillFreeStackSpace() {
    EvalStacks& e = interp.eval;
    if (e.work.next && e.work.limit > e.work.next)
        memset(e.work.next, kFreeByte, static_cast<size_t>(e.work.limit - e.work.next));
    if (e.rpn.rpnStackNext && e.rpn.limit > e.rpn.rpnStackNext)
        memset(static_cast<void*>(e.rpn.rpnStackNext), kFreeByte,
               static_cast<size_t>(e.rpn.limit - e.rpn.rpnStackNext) * sizeof(RpnEntry));
}

void resetStackMarks() {
    fillFreeStackSpace();
    interp.stacks.flowHigh = interp.stacks.flow.size();
    interp.stacks.forHigh = interp.stacks.fors.size();
}

std::vector<CallerLine> callChain() {
    std::vector<CallerLine> out;
    const pcb* pc = pchain.curpcb;
    if (!pc) return out;
    const std::vector<FlowEntry>& flow = interp.stacks.flow;
    const std::vector<CallFrame>& calls = interp.flow.calls;
    size_t call = calls.size();
    for (size_t k = flow.size(); k-- > 0;) {
        const FlowEntry& f = flow[k];
        CallerLine c;
        const pcb* in = pc;
        if (f.kind != -1 && call > 0) {
            const CallFrame& frame = calls[--call];
            in = frame.caller ? frame.caller : pc;
            if (frame.program) c.function = dictName(*frame.program, frame.fn);
        } else if (f.kind != -1) {
            c.function = "?";
        }
        if (f.line < 0 || f.line >= in->linecnt) continue;
        c.line = in->lineptr[static_cast<size_t>(f.line)].lineno();
        const std::span<const uint8_t> code = lineCode(*in, f.line);
        // The return goes after the calling clause: show the clause that called.
        const size_t at = std::min(f.returnOffset, code.size());
        c.clause = clauseNumberAt(code, at > 0 ? at - 1 : 0);
        c.program = in->progname;
        out.push_back(std::move(c));
    }
    return out;
}

uint64_t dictionaryBytes(const pcb& pc) {
    uint64_t bytes = 0;
    for (int i = 0; i < pc.dictcnt; ++i) {
        if (const uint8_t* name = pc.dictNamePointer[static_cast<size_t>(i)].get())
            bytes += static_cast<uint64_t>(dictNameSpace(name[0]));
        const de* e = pc.dictEntryPointer[static_cast<size_t>(i)].get();
        if (!e) continue;
        bytes += static_cast<uint64_t>(dictEntrySpace(*e));
        if ((e->kind & DE_STORAGE) && e->dimensions() > 0) {
            uint64_t elements = 1;
            for (int d = 0; d < e->dimensions(); ++d) elements *= e->dims[d] + 1u;
            bytes += elements * (e->isString() ? e->dimlen + 2u : 8u);
        }
    }
    return bytes;
}

namespace {

// The names in a line's text (outside quotes and comments), upper-cased, "$" kept; `dim` set
// for the names of a DIM clause.  Clauses are separated by backslashes.
void namesOfLine(std::string_view text, std::map<std::string, int>& used,
                 std::map<std::string, int>& dimmed) {
    bool inDim = false, clauseStart = true;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            const size_t close = text.find('"', i + 1);
            i = close == std::string_view::npos ? text.size() : close + 1;
            continue;
        }
        if (c == '!') break;  // a comment runs to the end of the line
        if (c == '\\') {
            inDim = false;
            clauseStart = true;
            ++i;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t end = i;
            while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
                ++end;
            if (end < text.size() && text[end] == '$') ++end;
            std::string word(text.substr(i, end - i));
            for (char& ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (clauseStart && word == "DIM") {
                inDim = true;
            } else if (inDim) {
                ++dimmed[word];
                // A DIM names its arrays with their bounds: skip to the closing parenthesis.
                size_t j = end;
                while (j < text.size() && text[j] == ' ') ++j;
                if (j < text.size() && text[j] == '(') {
                    const size_t close = text.find(')', j);
                    end = close == std::string_view::npos ? text.size() : close + 1;
                }
            } else {
                ++used[word];
            }
            clauseStart = false;
            i = end;
            continue;
        }
        if (c != ' ') clauseStart = false;
        ++i;
    }
}

}  // namespace

DimsReport dimsReport(const pcb& pc) {
    DimsReport r;
    std::map<std::string, int> used, dimmed;
    for (int16_t k = 0; k < pc.linecnt; ++k) {
        const std::string line = listLine(pc, k);
        if (line.size() > 6) namesOfLine(std::string_view(line).substr(6), used, dimmed);
    }
    for (int i = 0; i < pc.dictcnt; ++i) {
        const de* e = pc.dictEntryPointer[static_cast<size_t>(i)].get();
        if (!e || e->isLiteral() || e->isFunction()) continue;
        const std::string_view n = dictNameView(pc, 256 + i);
        if (n.empty()) continue;
        std::string name(n);
        for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const auto d = dimmed.find(name);
        if (d == dimmed.end()) {
            r.undimmed.push_back(std::string(n));
            continue;
        }
        if (d->second > 1) r.duplicates.push_back(std::string(n));
        if (!used.contains(name)) r.unreferenced.push_back(std::string(n));
    }
    return r;
}

}  // namespace vxs
