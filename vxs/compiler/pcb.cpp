// Program control blocks, their line tables and dictionaries (see pcb.h).
#include "vxs/compiler/pcb.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"

namespace vxs {

ProgramChain pchain;

// ---- entries ----

double de::number() const {
    double v;
    memcpy(&v, value, sizeof v);
    return v;
}

void de::setNumber(double v) {
    memcpy(value, &v, sizeof v);
}

uint16_t de::stringLength() const {
    uint16_t n;
    memcpy(&n, value, sizeof n);
    return n;
}

std::string_view de::stringValue() const {
    return {reinterpret_cast<const char*>(this) + offsetof(de, value) + 2, stringLength()};
}

void DeDelete::operator()(de* e) const {
    if (!e) return;
    if (e->kind & DE_STORAGE) std::free(e->storage);
    e->~de();
    std::free(e);
}

DePtr newDictEntry(uint8_t kind, size_t textCapacity) {
    const size_t inlineBytes = std::max<size_t>(sizeof(de::value), 2 + textCapacity);
    const size_t bytes = offsetof(de, value) + inlineBytes;
    void* mem = std::calloc(1, std::max(bytes, sizeof(de)));
    if (!mem) return nullptr;
    DePtr e(new (mem) de{});
    e->kind = kind;
    return e;
}

DePtr newNumberLiteral(double value) {
    DePtr e = newDictEntry(DE_LITERAL);
    if (e) e->setNumber(value);
    return e;
}

DePtr newStringLiteral(std::string_view text) {
    if (text.size() > UINT16_MAX) return nullptr;
    DePtr e = newDictEntry(DE_LITERAL | DE_STRING, text.size());
    if (!e) return nullptr;
    const uint16_t n = static_cast<uint16_t>(text.size());
    memcpy(e->value, &n, sizeof n);
    memcpy(e->stringText(), text.data(), text.size());
    e->slen = n;
    return e;
}

DictName makeDictName(std::string_view name) {
    if (name.empty() || name.size() > 255) return nullptr;
    DictName n(new (std::nothrow) uint8_t[name.size() + 1]);
    if (!n) return nullptr;
    n[0] = static_cast<uint8_t>(name.size());
    memcpy(n.get() + 1, name.data(), name.size());
    return n;
}

int dictNameSpace(int nameLength) {
    return (nameLength + 5) / 4 * 4;
}

int dictEntrySpace(const de& e) {
    const bool stringScalar = e.isString() && !(e.attr & DA_DIMENSIONED) && !e.isFunction();
    if (!stringScalar) return 56;
    return (58 + e.stringLength() + 3) / 4 * 4;
}

// ---- blocks ----

int baseNameLength(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return static_cast<int>(name.size());
    if (name.find_first_of("\\/", dot) != std::string_view::npos)
        return static_cast<int>(name.size());
    return static_cast<int>(dot);
}

bool allocatePCBTables(pcb& pc, int lineLimit, int dictLimit) {
    lineLimit = std::max(lineLimit, 1);
    dictLimit = std::max(dictLimit, 1);
    std::unique_ptr<linetbl[]> lines(new (std::nothrow) linetbl[static_cast<size_t>(lineLimit)]);
    std::unique_ptr<DictName[]> names(new (std::nothrow) DictName[static_cast<size_t>(dictLimit)]);
    std::unique_ptr<DePtr[]> entries(new (std::nothrow) DePtr[static_cast<size_t>(dictLimit)]);
    if (!lines || !names || !entries) return false;
    pc.lineptr = std::move(lines);
    pc.linecap = lineLimit;
    pc.dictNamePointer = std::move(names);
    pc.dictEntryPointer = std::move(entries);
    pc.dictcap = dictLimit;
    return true;
}

void initConditionTargets(pcb& pc) {
    std::fill(std::begin(pc.condtargets), std::end(pc.condtargets), int16_t{-2});
    pc.condtargets[5] = -3;
    std::fill(std::begin(pc.condnumbered), std::end(pc.condnumbered), int16_t{-3});
    pc.condfurther = -3;
}

int createPCB(int lineLimit, int dictLimit, const char* name, pcb** out) {
    *out = nullptr;
    if (!(dictLimit < MAX_DICTIONARY_ELEMENTS))
        vxassertion("dictLimit < MAX_DICTIONARY_ELEMENTS", __FILE__, __LINE__);
    const size_t x = strlen(name);
    if (!(x < sizeof(pcb::progname))) vxassertion("x < sizeof(pc -> progname)", __FILE__, __LINE__);
    pcb* pc = new (std::nothrow) pcb;
    if (!pc) return -kErrNoMemory;
    memcpy(pc->progname, name, x + 1);
    pc->basenamelen = baseNameLength(pc->progname);
    if (!allocatePCBTables(*pc, lineLimit, dictLimit)) {
        delete pc;
        vxassertion("allocatePCBTables(pc, line_lim, dict_lim)", __FILE__, __LINE__);
    }
    initConditionTargets(*pc);
    pc->firstline = kNoLines;
    if (pchain.pcbhead) {
        pc->next = pchain.pcbhead->next;
        pchain.pcbhead->next = pc;
    } else {
        pchain.pcbhead = pc;
        pchain.curpcb = pc;
    }
    *out = pc;
    return 0;
}

int resetProgram(pcb& pc) {
    if (!pc.lineptr || pc.linecap < 1) {
        pc.lineptr.reset(new (std::nothrow) linetbl[1]);
        if (!pc.lineptr) vxassertion("ld_pcb->lineptr", __FILE__, __LINE__);
        pc.linecap = 1;
    }
    if (!pc.dictNamePointer || !pc.dictEntryPointer || pc.dictcap < 1) {
        pc.dictNamePointer.reset(new (std::nothrow) DictName[1]);
        if (!pc.dictNamePointer) vxassertion("ld_pcb->dictNamePointer", __FILE__, __LINE__);
        pc.dictEntryPointer.reset(new (std::nothrow) DePtr[1]);
        if (!pc.dictEntryPointer) vxassertion("ld_pcb->dictEntryPointer", __FILE__, __LINE__);
        pc.dictcap = 1;
    }
    for (int i = 0; i < pc.dictcnt; ++i) {
        pc.dictNamePointer[i].reset();
        pc.dictEntryPointer[i].reset();
    }
    pc.linecnt = 0;
    pc.dictcnt = 0;
    pc.firstline = kNoLines;
    pc.curline = 0;
    pc.codearea.clear();
    pc.sourcearea.clear();
    pc.codebytes = pc.sourcebytes = 0;
    pc.dictnamebytes = pc.dictentrybytes = 0;
    pc.lasterror = 0;  // an emptied program has had no error yet
    pc.errorline = -1;
    pc.erroroffset = 0;
    return kErrNoMemory;
}

void freePCB(pcb* pc) {
    if (!pc) return;
    if (pchain.pcbhead == pc) {
        pchain.pcbhead = pc->next;
    } else {
        for (pcb* p = pchain.pcbhead; p; p = p->next) {
            if (p->next == pc) {
                p->next = pc->next;
                break;
            }
        }
    }
    if (pchain.curpcb == pc) pchain.curpcb = pchain.pcbhead;
    if (pchain.pendpcb == pc) pchain.pendpcb = nullptr;
    delete pc;
}

void freeAllPCBs() {
    while (pchain.pcbhead) freePCB(pchain.pcbhead);
    if (pchain.pendpcb) {  // a pending block not (yet) in the chain
        delete pchain.pendpcb;
        pchain.pendpcb = nullptr;
    }
    pchain.curpcb = nullptr;
}

// ---- dictionary ----

namespace {
bool inUsedRange(const pcb& pc, int index) {
    return index >= kFirstDictIndex && index < kFirstDictIndex + pc.dictcnt;
}

bool nameEquals(const uint8_t* stored, std::string_view name) {
    return stored && stored[0] == name.size() && memcmp(stored + 1, name.data(), name.size()) == 0;
}

bool numberLiteralEquals(const de* e, double value) {
    return e && e->isLiteral() && !e->isString() && memcmp(e->value, &value, sizeof value) == 0;
}

bool stringLiteralEquals(const de* e, std::string_view text) {
    return e && e->isLiteral() && e->isString() && e->stringValue() == text;
}

// Grows both tables to `capacity` slots, keeping the used ones.
bool growDictTables(pcb& pc, int capacity) {
    const size_t n = static_cast<size_t>(capacity);
    std::unique_ptr<DictName[]> names(new (std::nothrow) DictName[n]);
    std::unique_ptr<DePtr[]> entries(new (std::nothrow) DePtr[n]);
    if (!names || !entries) return false;
    for (int i = 0; i < pc.dictcnt; ++i) {
        names[i] = std::move(pc.dictNamePointer[i]);
        entries[i] = std::move(pc.dictEntryPointer[i]);
    }
    pc.dictNamePointer = std::move(names);
    pc.dictEntryPointer = std::move(entries);
    pc.dictcap = capacity;
    return true;
}
}  // namespace

de* dictEntry(const pcb& pc, int index) {
    return inUsedRange(pc, index) ? pc.dictEntryPointer[index - kFirstDictIndex].get() : nullptr;
}

std::string_view dictNameView(const pcb& pc, int index) {
    if (!inUsedRange(pc, index)) return {};
    const uint8_t* n = pc.dictNamePointer[index - kFirstDictIndex].get();
    return n ? std::string_view(reinterpret_cast<const char*>(n + 1), n[0]) : std::string_view{};
}

std::string dictName(const pcb& pc, int index) {
    std::string_view n = dictNameView(pc, index);
    if (n.empty()) vxassertion("dictName", __FILE__, __LINE__);
    return std::string(n);
}

int findName(const pcb& pc, std::string_view name) {
    for (int i = 0; i < pc.dictcnt; ++i)
        if (nameEquals(pc.dictNamePointer[i].get(), name)) return kFirstDictIndex + i;
    return 0;
}

int findEntry(const pcb& pc, const de* e) {
    if (!e) return 0;
    for (int i = 0; i < pc.dictcnt; ++i)
        if (pc.dictEntryPointer[static_cast<size_t>(i)].get() == e) return kFirstDictIndex + i;
    return 0;
}

int findNumberLiteral(const pcb& pc, double value) {
    for (int i = 0; i < pc.dictcnt; ++i)
        if (numberLiteralEquals(pc.dictEntryPointer[i].get(), value)) return kFirstDictIndex + i;
    return 0;
}

int findStringLiteral(const pcb& pc, std::string_view text) {
    for (int i = 0; i < pc.dictcnt; ++i)
        if (stringLiteralEquals(pc.dictEntryPointer[i].get(), text)) return kFirstDictIndex + i;
    return 0;
}

int allocateDictIndex(pcb& pc, int lowest, int& index) {
    const int from = std::max(lowest, kFirstDictIndex);
    for (int i = from; i < kFirstDictIndex + pc.dictcnt; ++i) {
        if (!pc.dictEntryPointer[i - kFirstDictIndex]) {
            index = i;
            return 0;
        }
    }
    const int next = std::max(from, kFirstDictIndex + pc.dictcnt);
    if (pc.dictcap < next - (kFirstDictIndex - 1)) {
        const int capacity =
            next >= MAX_DICTIONARY_ELEMENTS - 1 ? MAX_DICTIONARY_ELEMENTS : next + 1;
        if (capacity < next - (kFirstDictIndex - 1)) return kErrNoMemory;  // past the last index
        if (!growDictTables(pc, capacity)) return kErrNoMemory;
    }
    index = next;
    return 0;
}

void storeDictEntry(pcb& pc, int index, DictName name, DePtr entry) {
    const int slot = index - kFirstDictIndex;
    if (!(slot >= 0 && slot < pc.dictcap))
        vxassertion("index - 256 < pc.dictcap", __FILE__, __LINE__);
    if (name) pc.dictnamebytes += dictNameSpace(name[0]);
    if (entry) pc.dictentrybytes += dictEntrySpace(*entry);
    pc.dictNamePointer[slot] = std::move(name);
    pc.dictEntryPointer[slot] = std::move(entry);
    pc.dictcnt = std::max(pc.dictcnt, slot + 1);
}

void freeDictSlot(pcb& pc, int index) {
    if (!inUsedRange(pc, index)) return;
    const int slot = index - kFirstDictIndex;
    if (const uint8_t* n = pc.dictNamePointer[slot].get()) pc.dictnamebytes -= dictNameSpace(n[0]);
    if (const de* e = pc.dictEntryPointer[slot].get()) pc.dictentrybytes -= dictEntrySpace(*e);
    pc.dictNamePointer[slot].reset();
    pc.dictEntryPointer[slot].reset();
}

// ---- pending additions ----

int pendingAdd(pcb& pc, PendingDict& pending, std::string_view name, DePtr entry, int& index) {
    DictName n;
    if (!name.empty()) {
        n = makeDictName(name);
        if (!n) return kErrNoMemory;
    }
    if (!entry) return kErrNoMemory;
    int reserved = 0;
    if (int err = allocateDictIndex(pc, pending.highest + 1, reserved)) return err;
    pending.nodes.push_back({std::move(n), std::move(entry), reserved});
    pending.highest = std::max(pending.highest, reserved);
    index = reserved;
    return 0;
}

int findNamePending(const pcb& pc, const PendingDict& pending, std::string_view name) {
    if (int i = findName(pc, name)) return i;
    for (const PendingEntry& p : pending.nodes)
        if (nameEquals(p.name.get(), name)) return p.index;
    return 0;
}

int findNumberLiteralPending(const pcb& pc, const PendingDict& pending, double value) {
    if (int i = findNumberLiteral(pc, value)) return i;
    for (const PendingEntry& p : pending.nodes)
        if (!p.name && numberLiteralEquals(p.entry.get(), value)) return p.index;
    return 0;
}

int findStringLiteralPending(const pcb& pc, const PendingDict& pending, std::string_view text) {
    if (int i = findStringLiteral(pc, text)) return i;
    for (const PendingEntry& p : pending.nodes)
        if (!p.name && stringLiteralEquals(p.entry.get(), text)) return p.index;
    return 0;
}

void pendingCommit(pcb& pc, PendingDict& pending) {
    for (PendingEntry& p : pending.nodes)
        storeDictEntry(pc, p.index, std::move(p.name), std::move(p.entry));
    pending.clear();
}

void pendingDiscard(PendingDict& pending) {
    pending.clear();
}

}  // namespace vxs
