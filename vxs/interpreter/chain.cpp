// CHAIN (see chain.h): the statement's handler keeps the request; command mode loads and runs
// the target and hands it the variables.
#include "vxs/interpreter/chain.h"

#include <cstdlib>
#include <cstring>

#include "vxs/compiler/codes.h"
#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/state.h"
#include "vxs/interpreter/values.h"

namespace vxs {

namespace {

constexpr ChainState& g_chain = interp.chain;  // state.h

ChainVariable snapshot(const pcb& pc, int index, const de& e) {
    ChainVariable v;
    v.name = dictName(pc, index);
    v.kind = e.kind & (DE_STRING | DE_FUNCTION);
    v.attr = e.attr;
    v.dimlen = e.dimlen;
    memcpy(v.dims, e.dims, sizeof v.dims);
    if (isArrayCell(&e)) {
        const size_t n = static_cast<size_t>(elementCount(&e)) * static_cast<size_t>(elementSize(&e));
        if (e.storage && n) {
            const auto* p = static_cast<const uint8_t*>(e.storage);
            v.bytes.assign(p, p + n);
        }
    } else if (isStringCell(&e)) {
        const std::string_view s = cellString(&e);
        v.bytes.assign(s.begin(), s.end());
    } else {
        const double x = cellNumber(&e);
        v.bytes.resize(sizeof x);
        memcpy(v.bytes.data(), &x, sizeof x);
    }
    return v;
}

}  // namespace

int chainStatement(RunCtx& r, const ClauseView& v) {
    if (v.words < 2) return kErrDamaged;
    const int count = readWord(r.code.data() + v.wordsAt);
    const bool files = readWord(r.code.data() + v.wordsAt + 2) != 0;
    if (count < 1) return kErrDamaged;
    ChainRequest req;
    req.files = files;
    std::vector<ChainVariable> vars;
    for (int i = 1; i < count; ++i) {
        RpnEntry e;
        if (!rpnPop(e)) return kErrDamaged;
        const Cell* c = rpnCellOf(e);
        const int index = findEntry(*r.pc, c);
        // Damaged code may hand over a literal or a temporary: only named variables pass.
        if (!index || dictNameView(*r.pc, index).empty()) return kErrDamaged;
        if (dictEntry(*r.pc, index) != c)
            vxassertion("de == pchain.curpcb -> dictEntryPointer[chainVariableIndex]", __FILE__, __LINE__);
        vars.push_back(snapshot(*r.pc, index, *c));
    }
    RpnEntry e;
    if (!rpnPop(e)) return kErrDamaged;
    const Cell* name = rpnCellOf(e);
    if (!name || !isStringCell(name)) return kErrDamaged;
    req.target = std::string(cellString(name));
    if (req.target.size() > 800) return kErrNameTooLong;
    const bool procedure = req.target.rfind("PROC=", 0) == 0 || req.target.rfind("SUBPROC=", 0) == 0;
    if (!procedure) req.variables.assign(vars.rbegin(), vars.rend());  // in the order written
    g_chain.request = std::move(req);
    g_chain.pending = true;
    setRunStatus(RUNSTAT_CHAIN);
    r.jump = true;
    r.jumpLine = kLineEndOfProgram;  // end-of-program processing, then command mode starts the target
    return 0;
}

bool takeChainRequest(ChainRequest& out) {
    if (!g_chain.pending) return false;
    g_chain.pending = false;
    out = std::move(g_chain.request);
    g_chain.request = ChainRequest{};
    return true;
}

int receiveChainVariables(pcb& pc, const std::vector<ChainVariable>& vars) {
    for (const ChainVariable& v : vars) {
        const int index = findName(pc, v.name);
        de* e = index ? dictEntry(pc, index) : nullptr;
        if (!e || e->isLiteral() || (e->kind & (DE_STRING | DE_FUNCTION)) != v.kind ||
            (e->attr & DA_DIMENSIONED) != (v.attr & DA_DIMENSIONED))
            continue;  // the target has no such variable
        if (v.attr & DA_DIMENSIONED) {
            void* mem = nullptr;
            if (!v.bytes.empty()) {
                mem = std::malloc(v.bytes.size());
                if (!mem) return kErrNoMemory;
                memcpy(mem, v.bytes.data(), v.bytes.size());
            }
            if (e->kind & DE_STORAGE) std::free(e->storage);
            e->storage = mem;
            e->kind = static_cast<uint8_t>(mem ? e->kind | DE_STORAGE : e->kind & ~DE_STORAGE);
            e->attr = v.attr;
            e->dimlen = v.dimlen;
            memcpy(e->dims, v.dims, sizeof e->dims);
        } else if (v.kind & DE_STRING) {
            if (v.dimlen > e->dimlen) e->dimlen = v.dimlen;
            uint8_t* lengthWord;
            char* text;
            int capacity;
            if (int err = writableString(e, lengthWord, text, capacity)) return err;
            const uint16_t n = static_cast<uint16_t>(std::min<size_t>(v.bytes.size(), static_cast<size_t>(capacity)));
            memcpy(lengthWord, &n, 2);
            if (n) memcpy(text, v.bytes.data(), n);
            if (!(e->kind & DE_STORAGE)) e->slen = n;
        } else {
            double x = 0;
            if (v.bytes.size() == sizeof x) memcpy(&x, v.bytes.data(), sizeof x);
            setCellNumber(e, x);
        }
    }
    return 0;
}

}  // namespace vxs
