// Fuzz target: one typed program line (up to the first newline), entered with its line number
// and also compiled as a statement to run at once.  Each is tried on a new empty program and on
// one that already holds a few lines, so that names, arrays, functions, labels and literals are
// both new and already known; the statement on the latter as if typed while it is paused.
//
// Checked for every input:
// - a refused line leaves the dictionary (count and every slot) and the program's lines as they
//   were, and fills none of the slots the tables may have grown by;
// - an accepted line's code ends with 0x7F, is at most 255 bytes, and is a sequence of clauses
//   that decode up to that last byte, each with a known statement and a proper end byte;
// - resolution and the disassembler run over it;
// - the listing round trip: the line as LIST shows it, typed again into a program in the same
//   state, compiles to byte-identical code and lists identically.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/lister.h"
#include "vxs/compiler/pcb.h"
#include "vxs/compiler/vxexe.h"

namespace {

using namespace vxs;

// The line of the current input, for the report of a failed check.
std::string_view g_input;

void printEscaped(const char* label, std::string_view text) {
    fprintf(stderr, "  %s: ", label);
    for (unsigned char ch : text) {
        if (ch >= 0x20 && ch < 0x7F && ch != '\\')
            fputc(ch, stderr);
        else
            fprintf(stderr, "\\x%02X", ch);
    }
    fputc('\n', stderr);
}

// `text` is the line the check was about: the input, or the listing typed again.
[[noreturn]] void fail(const char* what, std::string_view text) {
    fprintf(stderr, "compile_line invariant failed: %s\n", what);
    printEscaped("input", g_input);
    if (text != g_input) printEscaped("retyped", text);
    abort();
}

// Lines already in the program of the second kind of attempt.
constexpr const char* kPrelude[] = {
    "1 A = 1 \\ B$ = \"X\" \\ DIM C(3), D$(2)*10",
    "2 DEF FNF(X) = X * 2",
    "3 TOP: DATA 5, \"S\"",
    "4 OPEN #1: \"NAME=X.DAT\", INTERNAL, INPUT, SEQUENTIAL",
};

// A program block for the duration of one attempt; freed (and unlinked from the chain) after it.
class Program {
  public:
    explicit Program(bool withPrelude) {
        // Small tables, so that the compiler's growing of them is exercised too.
        if (createPCB(2, 2, "FUZZ", &pc_) != 0 || !pc_) abort();
        if (!withPrelude) return;
        for (const char* line : kPrelude)
            if (enterLine(*pc_, line, CompileOptions{}) != 0) fail("prelude line refused", line);
    }
    ~Program() { freePCB(pc_); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    pcb& operator*() const { return *pc_; }

  private:
    pcb* pc_ = nullptr;
};

// What a refused line must leave as it was.
struct Slot {
    std::vector<uint8_t> name;  // length byte and text; empty for no name
    bool hasEntry = false;
    uint8_t kind = 0, attr = 0;
    uint16_t slen = 0, dimlen = 0;
    uint16_t dims[kMaxDims] = {};
    uint32_t fnline = 0;
    uint8_t value[8] = {};
    std::string text;  // a string literal's value
    bool operator==(const Slot&) const = default;
};

struct Line {
    uint32_t numflags = 0;
    int16_t next = 0;
    std::vector<uint8_t> code;
    std::string source;
    bool operator==(const Line&) const = default;
};

struct Snapshot {
    int32_t dictcnt = 0;
    std::vector<Slot> slots;
    int32_t linecnt = 0;
    int16_t firstline = 0;
    std::vector<Line> lines;
    uint8_t progoptions[4] = {};
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const pcb& pc) {
    Snapshot s;
    s.dictcnt = pc.dictcnt;
    for (int i = 0; i < pc.dictcnt; ++i) {
        Slot slot;
        if (const uint8_t* n = pc.dictNamePointer[static_cast<size_t>(i)].get())
            slot.name.assign(n, n + 1 + n[0]);
        if (const de* e = pc.dictEntryPointer[static_cast<size_t>(i)].get()) {
            slot.hasEntry = true;
            slot.kind = e->kind;
            slot.attr = e->attr;
            slot.slen = e->slen;
            slot.dimlen = e->dimlen;
            memcpy(slot.dims, e->dims, sizeof slot.dims);
            slot.fnline = e->fnline;
            memcpy(slot.value, e->value, sizeof slot.value);
            if (e->isLiteral() && e->isString()) slot.text.assign(e->stringValue());
        }
        s.slots.push_back(std::move(slot));
    }
    s.linecnt = pc.linecnt;
    s.firstline = pc.firstline;
    for (int i = 0; i < pc.linecnt; ++i) {
        Line line;
        line.numflags = pc.lineptr[static_cast<size_t>(i)].numflags;
        line.next = pc.lineptr[static_cast<size_t>(i)].next;
        const std::span<const uint8_t> code = lineCode(pc, i);
        line.code.assign(code.begin(), code.end());
        line.source.assign(lineSource(pc, i));
        s.lines.push_back(std::move(line));
    }
    memcpy(s.progoptions, pc.progoptions, sizeof s.progoptions);
    return s;
}

void checkUnchanged(const pcb& pc, const Snapshot& before, std::string_view text) {
    if (pc.dictcnt > pc.dictcap || pc.linecnt > pc.linecap) fail("table count past capacity", text);
    if (!(snapshot(pc) == before)) fail("refused line changed the program", text);
    // Slots the tables grew by while the line was compiled hold nothing.
    for (int i = pc.dictcnt; i < pc.dictcap; ++i)
        if (pc.dictNamePointer[static_cast<size_t>(i)] ||
            pc.dictEntryPointer[static_cast<size_t>(i)])
            fail("refused line filled a slot past the dictionary count", text);
}

bool knownStatement(int code) {
    return strcmp(statementName(code), "?") != 0;
}

// The structure of an accepted line's code.
void checkCode(std::span<const uint8_t> code, std::string_view text) {
    if (code.empty() || code.back() != kLineEnd) fail("code does not end with 0x7F", text);
    if (code.size() > 255) fail("code longer than 255 bytes", text);
    size_t pos = 0;
    while (!atLineEnd(code, pos)) {
        ClauseView v;
        if (decodeClause(code, pos, v) != 0) fail("clause does not decode", text);
        if (v.next <= pos || v.next > code.size()) fail("clause decodes to a bad length", text);
        if (!knownStatement(v.code)) fail("clause with an unknown statement code", text);
        if (!v.direct) {
            const uint8_t end = code[v.endAt];
            if (end != kClauseEnd && !(end == kThenEnd && (v.code == StIf || v.code == StCase)))
                fail("clause with a bad end byte", text);
        }
        pos = v.next;
    }
    if (pos != code.size() - 1) fail("line end before the last byte of the code", text);
    (void)disassemble(code);
}

// Resolution rewrites targets inside the code but must leave its structure alone.
void checkResolved(pcb& pc, std::string_view text) {
    std::vector<size_t> sizes;
    for (int i : linesInOrder(pc)) sizes.push_back(lineCode(pc, i).size());
    (void)resolveProgram(pc);
    size_t k = 0;
    for (int i : linesInOrder(pc)) {
        const std::span<const uint8_t> code = lineCode(pc, i);
        if (k >= sizes.size() || code.size() != sizes[k++]) fail("resolution changed a line", text);
        checkCode(code, text);
    }
}

bool sameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// The line entered with its number.
void attemptNumbered(std::string_view text, bool withPrelude) {
    Program p(withPrelude);
    const Snapshot before = snapshot(*p);
    size_t errorPos = 0;
    const int err = enterLine(*p, text, CompileOptions{}, &errorPos);
    if (err > 0) fail("enterLine returned a positive status", text);
    if (err != 0) {
        checkUnchanged(*p, before, text);
        return;
    }
    // Find the line the text was about: its number is where the text starts.
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    uint32_t number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        number = number * 10 + static_cast<uint32_t>(text[at++] - '0');
    const int index = findLine(*p, number);
    if (index < 0) {
        // Only a line number (and blanks): the line was deleted.
        if (text.find_first_not_of(" \t\r", at) != std::string_view::npos)
            fail("accepted line not stored", text);
        if ((*p).linecnt > before.linecnt) fail("deleted line still counted", text);
        checkResolved(*p, text);
        return;
    }
    const std::span<const uint8_t> code = lineCode(*p, index);
    checkCode(code, text);
    const std::vector<uint8_t> stored(code.begin(), code.end());
    const std::string listing = listLine(*p, index);
    if (listing.empty()) fail("an entered line has no listing", text);

    // The listing typed again gives the same line.
    {
        Program q(withPrelude);
        size_t againPos = 0;
        if (enterLine(*q, listing, CompileOptions{}, &againPos) != 0)
            fail("listing round trip: the listed line is refused", listing);
        const int again = findLine(*q, number);
        if (again < 0) fail("listing round trip: the listed line is not stored", listing);
        if (!sameBytes(lineCode(*q, again), stored))
            fail("listing round trip: the listed line compiles to different code", listing);
        if (listLine(*q, again) != listing)
            fail("listing round trip: the listed line lists differently", listing);
        checkResolved(*q, listing);
    }
    checkResolved(*p, text);
}

// The text as a statement to run at once (no line number); with `active`, typed while the
// program is paused, when DIM, LIBRARY and new arrays are refused.
void attemptImmediate(std::string_view text, bool withPrelude, bool active) {
    CompileOptions options;
    options.programActive = active;
    Program p(withPrelude);
    const Snapshot before = snapshot(*p);
    PendingDict pending;
    CompiledLine out;
    const int err = compileLine(*p, text, pending, options, out, false);
    if (err > 0) fail("compileLine returned a positive status", text);
    if (err != 0) {
        if (!pending.nodes.empty()) fail("refused statement left pending entries", text);
        checkUnchanged(*p, before, text);
        return;
    }
    if (out.number != 0 || out.empty) fail("statement without number compiled as a line", text);
    checkCode(out.code, text);
    pendingCommit(*p, pending);
    const std::string typed = restoreSource(out.source);

    Program q(withPrelude);
    PendingDict pendingAgain;
    CompiledLine again;
    if (compileLine(*q, typed, pendingAgain, options, again, false) != 0)
        fail("source round trip: the restored statement is refused", typed);
    if (!sameBytes(again.code, out.code))
        fail("source round trip: the restored statement compiles to different code", typed);
    if (restoreSource(again.source) != typed)
        fail("source round trip: the restored statement restores differently", typed);
    pendingCommit(*q, pendingAgain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const size_t nl = text.find('\n'); nl != std::string_view::npos) text = text.substr(0, nl);
    g_input = text;
    attemptNumbered(text, false);
    attemptNumbered(text, true);
    attemptImmediate(text, false, false);
    attemptImmediate(text, true, true);
    return 0;
}
