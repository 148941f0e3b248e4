// Shared test helpers (see test_support.h).
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "vxs/compiler/pcb.h"
#include "vxs/config/statline.h"
#include "vxs/control/entry.h"
#include "vxs/control/utils.h"
#include "vxs/interpreter/run.h"
#include "vxs/screen/terminal.h"

namespace vxs::test {

namespace {
RecordingTerminal g_term;
size_t g_nextInput = 0;

std::string text(const DecodedParam& p) {
    if (!p.isData()) return {};
    std::string s(reinterpret_cast<const char*>(p.data), p.length);
    if (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

int onScreenAction(const DecodedMessage& m, std::span<const RemoteOut>) {
    g_term.screenActions.push_back(m.params[1].value);
    return CallFunctionRemote(SCREENACTIONRET, IN_RESP, {rpInt(0)});
}
int onFatal(const DecodedMessage&, std::span<const RemoteOut>) {
    ++g_term.fatalMessages;
    return CallFunctionRemote(FATALMSGRET, IN_RESP, {rpInt(g_term.fatalReply)});
}
int onInput(const DecodedMessage&, std::span<const RemoteOut>) {
    if (g_nextInput >= g_term.inputLines.size())
        return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(kInputEnded), rpText("")});
    const std::string& line = g_term.inputLines[g_nextInput++];
    return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(kInputLine), rpText(line.c_str())});
}
int onOutput(const DecodedMessage& m, std::span<const RemoteOut>) {
    g_term.output.push_back(text(m.params[0]));
    return 0;
}
int onStatusText(const DecodedMessage& m, std::span<const RemoteOut>) {
    g_term.statusTexts.push_back(text(m.params[1]));
    return 0;
}
int onStatusError(const DecodedMessage& m, std::span<const RemoteOut>) {
    char buf[64];
    snprintf(buf, sizeof buf, "%d %d %d", m.params[0].value, m.params[1].value, m.params[2].value);
    g_term.errors.push_back(buf);
    return 0;
}
int onCanClose(const DecodedMessage& m, std::span<const RemoteOut>) {
    g_term.canClose.push_back(m.params[0].value);
    return 0;
}
int onEndSession(const DecodedMessage&, std::span<const RemoteOut>) {
    g_term.sessionEnded = true;
    return 0;
}
int onUnusedId(const DecodedMessage&, std::span<const RemoteOut>) {
    return CallFunctionRemote(GETUNUSEDIDRET, IN_RESP, {rpInt(1)});
}
}  // namespace

void resetProcessState() {
    freeAllPCBs();
    resetRemoteHandlers();
    setTerminalAttached(false);
    setActionCode(kActCommand);
    setExitCode(0);
    setRunStatus(RUNSTAT_INVALID);
    statusLineFree();
    resetLastResortFlags();
}

RecordingTerminal& installRecordingTerminal() {
    g_term = RecordingTerminal{};
    g_nextInput = 0;
    setRemoteHandler(SCREENACTIONCALL, onScreenAction);
    setRemoteHandler(FATALMSGCALL, onFatal);
    setRemoteHandler(CONSOLEINPUTCALL, onInput);
    setRemoteHandler(CONSOLEOUTPUT, onOutput);
    setRemoteHandler(STATUSLINETEXT, onStatusText);
    setRemoteHandler(STATUSLINEERROR, onStatusError);
    setRemoteHandler(SETCANCLOSECALL, onCanClose);
    setRemoteHandler(ENDSESSION, onEndSession);
    setRemoteHandler(GETUNUSEDIDCALL, onUnusedId);
    setTerminalAttached(true);
    return g_term;
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

}  // namespace vxs::test
