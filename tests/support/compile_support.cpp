// Helpers for the compiler tests (see compile_support.h).
#include "tests/support/compile_support.h"

#include <cstdio>

#include "tests/support/test_support.h"
#include "vxs/compiler/linetable.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"

namespace vxs::test {

namespace {
int g_liveFixtures = 0;  // several fixtures may live in one test: each owns its program
}

ProgramFixture::ProgramFixture() {
    if (g_liveFixtures++ == 0) resetProcessState();
    (void)createPCB(kDefaultLineCapacity, kDefaultDictCapacity, "TEST", &pc_);
}

ProgramFixture::~ProgramFixture() {
    freePCB(pc_);
    if (--g_liveFixtures == 0) resetProcessState();
}

int ProgramFixture::enter(const std::string& line) {
    return enterLine(*pc_, line, {});
}

std::vector<uint8_t> ProgramFixture::code(uint32_t number) {
    const int i = findLine(*pc_, number);
    const auto c = lineCode(*pc_, i);
    return {c.begin(), c.end()};
}

int ProgramFixture::compile(const std::string& text, CompiledLine& out, bool numbered) {
    PendingDict pending;
    const int err = compileLine(*pc_, text, pending, {}, out, numbered);
    pendingDiscard(pending);
    return err;
}

int ProgramFixture::expression(const std::string& text, std::vector<uint8_t>& bytes,
                               ExprType want) {
    PendingDict pending;
    CompileCtx c;
    c.pc = pc_;
    c.pending = &pending;
    c.typed = text;
    c.upper = text;
    for (char& ch : c.upper)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    c.expr.reset(true);
    c.parts.reset(false);
    c.source.reset(c.typed, 0);
    const int err = compileExpression(c, want);
    c.expr.close();
    bytes.assign(c.expr.data(), c.expr.data() + c.expr.size());
    if (!err && c.pos != text.size()) return 1;  // the expression did not take the whole text
    pendingCommit(*pc_, pending);
    return err;
}

namespace {
RunResult collect(RecordingTerminal& term) {
    RunResult r;
    r.output = term.output;
    r.errors = term.errors;
    r.status = runStatus();
    return r;
}
}  // namespace

RunResult runProgram(const std::vector<std::string>& lines, const std::vector<std::string>& typed) {
    ProgramFixture f;
    RecordingTerminal& term = installRecordingTerminal();
    term.inputLines = typed;
    for (const std::string& l : lines)
        if (int err = f.enter(l)) {
            RunResult r;
            r.errors.push_back("compile " + std::to_string(err) + " " + l);
            return r;
        }
    prepareRun(f.program());
    f.program().curline = f.program().firstline;
    setActionCode(kActRun);
    runLoop();
    return collect(term);
}

RunResult runStatement(const std::string& statement) {
    ProgramFixture f;
    RecordingTerminal& term = installRecordingTerminal();
    PendingDict pending;
    CompiledLine line;
    if (int err = compileLine(f.program(), statement, pending, {}, line, false)) {
        RunResult r;
        r.errors.push_back("compile " + std::to_string(err));
        return r;
    }
    pendingCommit(f.program(), pending);
    t.immediate = line.code;
    t.runImmediate = true;
    setActionCode(kActRun);
    runLoop();
    return collect(term);
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[4];
    for (uint8_t x : bytes) {
        snprintf(b, sizeof b, "%02X ", x);
        s += b;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

}  // namespace vxs::test
