// Helpers shared by the unit tests: a clean process state for each test, and a recording
// terminal side that stands in for a front end.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "vxs/clientserver/common.h"
#include "vxs/screen/frontend.h"

namespace vxs::test {

// Resets the process-wide state the spine keeps (action code, exit code, run status, program
// chain, remote handlers and counters, last-resort flags).
void resetProcessState();

// A fixture whose tests each start from, and leave behind, a clean process state.
class CleanStateTest : public ::testing::Test {
  protected:
    void SetUp() override { resetProcessState(); }
    void TearDown() override { resetProcessState(); }
};

// A terminal side that records what the interpreter side sends and answers from a script.
// A front end that answers everything with nothing: the console input ended, output dropped,
// screen actions 0.  Test front ends derive from it and override what they look at.
class NullFrontEnd : public FrontEnd {
  public:
    int32_t readLine(std::string&, size_t, int32_t, std::string_view, bool) override {
        return kInputEnded;
    }
    void writeLine(std::string_view) override {}
    void statusText(int32_t, std::string_view) override {}
    void statusError(int32_t, int32_t, int32_t) override {}
    int32_t screenAction(const ScreenRequest&) override { return 0; }
    int32_t fatalMessage(std::string_view) override { return 0; }
    int32_t unusedId(int32_t) override { return 1; }
};

struct RecordingTerminal {
    std::vector<std::string> inputLines;   // answered to console input, in order; then end
    std::vector<std::string> output;       // console lines written
    std::vector<std::string> errors;       // "error line clause" of each status-line error
    std::vector<std::string> statusTexts;  // status-line texts (not an error's words)
    std::vector<std::string> errorWords;   // the words sent after each error
    int errorsCleared = 0;                 // errors taken away (a later line accepted)
    std::vector<int> screenActions;        // screen action codes
    std::vector<int> canClose;             // SETCANCLOSECALL values
    // The attention key is pressed once `output` holds this many lines (-1: never).
    int attentionAtLine = -1;
    int fatalMessages = 0;
    int fatalReply = 0;
    bool sessionEnded = false;
};
// Installs a recording terminal (replacing any front end) and returns it.
RecordingTerminal& installRecordingTerminal();
// Makes the recording terminal announce keys (KEYSAVAILABLE) at every keyboard poll, so that
// every poll reaches the keyboard routine.  Off after installRecordingTerminal.
void announceKeysAtEveryPoll(bool on);

// Runs `body` in a child process and reports how it ended and what it wrote.  A body that
// returns ends the child with status 0.
struct ChildResult {
    int exitStatus = -1;  // 0..255 when it exited, -1 when a signal ended it
    int signal = 0;
    std::string out, err;
};
// `input`, when given, is what the child reads on standard input.
ChildResult runInChild(const std::function<void()>& body, const std::string* input = nullptr);

// Runs the system's executable with `input` on standard input.
ChildResult runExecutable(const std::string& path, const std::string& input,
                          const std::vector<std::string>& args = {});

// An executable started with pipes to its standard input (`in`) and from its standard output
// (`out`); the ends are close-on-exec, so later children do not hold them.  pid -1 when it could
// not be started.
struct PipedChild {
    int pid = -1;
    int in = -1;
    int out = -1;
};
PipedChild startPiped(std::vector<std::string> args);
// A helper process that answers each request with a line: started with pipes, its first reply
// read.  Closing its input ends it; endHelper closes both pipes and waits for it.
struct PipedHelper : PipedChild {
    std::string reply;
};
PipedHelper startHelper(std::vector<std::string> args);
void endHelper(PipedHelper& h);
// One line read from `fd`, without its line break; waits at most `seconds` for each byte.
std::string readLineFrom(int fd, int seconds = 10);

// A whole file written or read, byte for byte.
void writeFile(const std::string& path, const std::string& bytes);
std::string fileContents(const std::string& path);

}  // namespace vxs::test
