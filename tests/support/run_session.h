// A program session for the run-loop and console tests: a fresh program with a recording
// terminal, run from its first line and resumed from where it stopped, with the run loop's
// process-wide controls (trace, break, step, the console's open line) clean before and after.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/compile_support.h"
#include "tests/support/test_support.h"
#include "vxs/clientserver/common.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/interpreter/run.h"
#include "vxs/screen/terminal.h"

namespace vxs::test {

// The keyboard that the run loop polls: it counts the polls and reports key `code` at poll
// number `at` for each (at, code) in `keys`; no key at the others.
struct PolledKeys {
    inline static int polls = 0;
    inline static std::vector<std::pair<int, int32_t>> keys;
    // Every poll reaches the handler: the keys are announced before each one.
    static void install() {
        setRemoteHandler(KEYBOARDCALL, answer);
        announceKeysAtEveryPoll(true);
    }

  private:
    static int answer(const DecodedMessage&, std::span<const RemoteOut>) {
        ++polls;
        int32_t key = 0;
        for (const auto& [at, code] : keys)
            if (at == polls) key = code;
        return CallFunctionRemote(KEYBOARDRET, IN_RESP, {rpInt(key)});
    }
};

// The run loop's process-wide controls (trace, break, step, the console's open line) and the
// stacks as a fresh session has them.
inline void resetSessionControls() {
    resetRunControls();
    consoleLine() = OutputLine{{}, 1, kConsoleWidth};
}

class RunSession : public ::testing::Test {
  protected:
    void SetUp() override {
        resetSessionControls();
        term = &installRecordingTerminal();
    }
    void TearDown() override { resetSessionControls(); }

    pcb& program() { return f.program(); }

    void enter(const std::vector<std::string>& lines) {
        for (const std::string& l : lines) ASSERT_EQ(f.enter(l), 0) << l;
    }
    // The answers to input statements from now on.
    void type(const std::vector<std::string>& lines) {
        term->inputLines.insert(term->inputLines.end(), lines.begin(), lines.end());
    }

    // RUN: from the first line, variables cleared.  Returns the run status.
    int run() {
        prepareRun(program());
        program().curline = program().firstline;
        program().savedclauseoffset = 0;
        setActionCode(kActRun);
        runLoop();
        return runStatus();
    }
    // Resumes at the saved position.  Returns the run status.
    int resume() {
        setActionCode(kActResume);
        runLoop();
        return runStatus();
    }
    // Runs a statement typed without a line number.  Returns the run status, or -1 when it
    // does not compile.
    int immediate(const std::string& statement) {
        PendingDict pending;
        CompiledLine line;
        if (compileLine(program(), statement, pending, {}, line, false)) return -1;
        pendingCommit(program(), pending);
        setImmediateStatement(line.code);
        setActionCode(kActRun);
        runLoop();
        return runStatus();
    }

    // The line index of a line number, and the offset of clause `n` (from 1) in its code.
    int16_t lineIndex(uint32_t number) { return static_cast<int16_t>(findLine(program(), number)); }
    size_t clauseOffset(uint32_t number, int n) {
        const std::span<const uint8_t> code = lineCode(program(), lineIndex(number));
        size_t pos = 0;
        for (int i = 1; i < n; ++i) {
            ClauseView v;
            if (decodeClause(code, pos, v)) return SIZE_MAX;
            pos = v.next;
        }
        return pos;
    }

    // What the console showed since the last call.
    std::vector<std::string> output() {
        std::vector<std::string> out(term->output.begin() + static_cast<long>(seenOutput),
                                     term->output.end());
        seenOutput = term->output.size();
        return out;
    }
    // The errors reported since the last call ("error line clause").
    std::vector<std::string> errors() {
        std::vector<std::string> out(term->errors.begin() + static_cast<long>(seenErrors),
                                     term->errors.end());
        seenErrors = term->errors.size();
        return out;
    }

    ProgramFixture f;
    RecordingTerminal* term = nullptr;
    size_t seenOutput = 0, seenErrors = 0;
};

}  // namespace vxs::test
