// Shared test helpers (see test_support.h).
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "vxs/compiler/pcb.h"
#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/control/entry.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/terminal.h"

namespace vxs::test {

namespace {
RecordingTerminal g_term;
size_t g_nextInput = 0;
bool g_announceKeys = false;

// The recording terminal as a front end: the interpreter side reaches it through the same
// remote operations and handlers as a real one.
class RecordingFrontEnd final : public FrontEnd {
  public:
    void pollEvents() override {
        if (g_announceKeys) noteKeysAvailable();
    }
    int32_t pollKey() override { return attention() ? kKeyAttention : -1; }
    int32_t readKey(int32_t) override { return pollKey(); }
    bool attention() override {
        if (g_term.attentionAtLine < 0 ||
            g_term.output.size() < static_cast<size_t>(g_term.attentionAtLine))
            return false;
        g_term.attentionAtLine = -1;
        return true;
    }
    int32_t readLine(std::string& line, size_t, int32_t, std::string_view, bool) override {
        if (g_nextInput >= g_term.inputLines.size()) return kInputEnded;
        line = g_term.inputLines[g_nextInput++];
        return kInputLine;
    }
    void writeLine(std::string_view text) override { g_term.output.emplace_back(text); }
    void statusText(int32_t field, std::string_view text) override {
        if (field == kStatusFieldErrorWords)
            g_term.errorWords.emplace_back(text);
        else
            g_term.statusTexts.emplace_back(text);
    }
    void statusError(int32_t error, int32_t lineNumber, int32_t clause) override {
        if (error == 0) {
            ++g_term.errorsCleared;
            return;
        }
        char buf[64];
        snprintf(buf, sizeof buf, "%d %d %d", error, lineNumber, clause);
        g_term.errors.push_back(buf);
    }
    int32_t screenAction(const ScreenRequest& r) override {
        g_term.screenActions.push_back(r.action);
        return 0;
    }
    int32_t fatalMessage(std::string_view) override {
        ++g_term.fatalMessages;
        return g_term.fatalReply;
    }
    int32_t unusedId(int32_t) override { return 1; }
    void setCanClose(bool canClose) override { g_term.canClose.push_back(canClose ? 1 : 0); }
    void endSession() override { g_term.sessionEnded = true; }
};
RecordingFrontEnd g_recorder;
}  // namespace

void resetProcessState() {
    freeAllPCBs();
    detachFrontEnd();
    resetRemoteHandlers();
    resetEndedInput();
    setActionCode(kActCommand);
    setExitCode(0);
    setRunStatus(RUNSTAT_INVALID);
    statusLineFree();
    resetLastResortFlags();
    resetConfiguration();
}

RecordingTerminal& installRecordingTerminal() {
    g_term = RecordingTerminal{};
    g_nextInput = 0;
    g_announceKeys = false;
    attachFrontEnd(g_recorder);
    return g_term;
}

void announceKeysAtEveryPoll(bool on) {
    g_announceKeys = on;
}

namespace {
std::string drain(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
    close(fd);
    return s;
}

ChildResult finish(pid_t pid, int outFd, int errFd) {
    ChildResult r;
    // The pipes are small: read both before waiting, stdout first (tests write little).
    r.out = drain(outFd);
    r.err = drain(errFd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}
}  // namespace

ChildResult runInChild(const std::function<void()>& body, const std::string* input) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) abort();
    if (input && write(in[1], input->data(), input->size()) != static_cast<ssize_t>(input->size()))
        abort();
    close(in[1]);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (input) dup2(in[0], 0);
        close(in[0]);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        body();
        fflush(nullptr);
        _exit(0);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    return finish(pid, out[0], err[0]);
}

ChildResult runExecutable(const std::string& path, const std::string& input,
                          const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) abort();
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // Inputs of tests fit in a pipe buffer.
    if (write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) abort();
    close(in[1]);
    return finish(pid, out[0], err[0]);
}

PipedHelper startHelper(std::vector<std::string> args) {
    PipedHelper h;
    static_cast<PipedChild&>(h) = startPiped(std::move(args));
    if (h.pid > 0) h.reply = readLineFrom(h.out);
    return h;
}

void endHelper(PipedHelper& h) {
    if (h.pid < 0) return;
    close(h.in);
    close(h.out);
    int status = 0;
    waitpid(h.pid, &status, 0);
    h.pid = -1;
}

PipedChild startPiped(std::vector<std::string> args) {
    PipedChild c;
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return c;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return c;
    }
    c.pid = fork();
    if (c.pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    if (c.pid < 0) {
        close(toChild[1]);
        close(fromChild[0]);
        return c;
    }
    c.in = toChild[1];
    c.out = fromChild[0];
    return c;
}

std::string readLineFrom(int fd, int seconds) {
    std::string line;
    pollfd p{fd, POLLIN, 0};
    char ch;
    while (poll(&p, 1, seconds * 1000) == 1 && read(fd, &ch, 1) == 1 && ch != '\n') line += ch;
    return line;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string fileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace vxs::test
