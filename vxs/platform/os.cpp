// Linux implementation of the platform layer (see os.h).
#include "vxs/platform/os.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vxs/errors/errors.h"
#include "vxs/platform/oserror.h"
#include "vxs/platform/platform.h"

namespace vxs::platform {

namespace {
thread_local uint32_t t_lastError = 0;
}

void setLastError(uint32_t value) {
    t_lastError = value;
}
uint32_t lastError() {
    return t_lastError;
}

int failed() {
    t_lastError = static_cast<uint32_t>(errno);
    return -1;
}

int currentDirectory(char* buf, size_t size) {
    std::string path;
    if (currentDirectory(path)) return -1;
    if (path.size() >= size) {
        (void)failWith(kErrNameTooLong);
        return -1;
    }
    memcpy(buf, path.c_str(), path.size() + 1);
    return 0;
}

size_t moduleFileName(char* buf, size_t size) {
    if (size == 0) {
        t_lastError = ERANGE;
        return 0;
    }
    ssize_t n = readlink("/proc/self/exe", buf, size);
    if (n < 0) {
        failed();
        return 0;
    }
    if (static_cast<size_t>(n) >= size) {  // readlink truncates silently
        t_lastError = ERANGE;
        return 0;
    }
    buf[n] = '\0';
    return static_cast<size_t>(n);
}

void sleepMilliseconds(unsigned ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

int64_t monotonicMicroseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

LocalTime localTime() {
    time_t now = time(nullptr);
    tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

LocalTime localTimeAt(int64_t secondsSince1970) {
    const time_t at = static_cast<time_t>(secondsSince1970);
    tm parts{};
    localtime_r(&at, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

bool errorMessage(uint32_t code, char* buf, size_t size) {
    if (size == 0) return false;
    // strerrordesc_np knows exactly which codes have a message (null for the others).
    const char* text = code <= 0x7FFFFFFF ? strerrordesc_np(static_cast<int>(code)) : nullptr;
    if (!text) return false;
    snprintf(buf, size, "%s", text);
    return true;
}

bool environmentValue(const char* name, std::string& value) {
    const char* v = getenv(name);
    if (!v) return false;
    value = v;
    return true;
}

std::string accountName() {
    // From the login environment: the password database would need the resolver libraries at
    // run time, which the static executable does not carry.
    for (const char* name : {"LOGNAME", "USER"}) {
        const char* v = getenv(name);
        if (v && *v) return v;
    }
    return "";
}

std::string systemName() {
    utsname u{};
    if (uname(&u) != 0) return "Linux";
    return std::string(u.sysname) + " " + u.machine;
}

std::string hostName() {
    utsname u{};
    if (uname(&u) != 0) return "";
    return u.nodename;
}

uint64_t availableMemory() {
    const long pages = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(size) : 0;
}

double epochFromLocal(const LocalTime& t) {
    tm parts{};
    parts.tm_year = t.year - 1900;
    parts.tm_mon = t.month - 1;
    parts.tm_mday = t.day;
    parts.tm_hour = t.hour;
    parts.tm_min = t.minute;
    parts.tm_sec = t.second;
    parts.tm_isdst = -1;
    const time_t at = mktime(&parts);
    return static_cast<double>(at);
}

int runShellCommand(const std::string& commandLine) {
    const int64_t r = current().runShell(commandLine.c_str());
    if (r < 0) {
        (void)failCall(Area::kProcess, r);
        return -1;
    }
    return static_cast<int>(r);
}

int runProgram(const std::vector<std::string>& argv, bool wait) {
    if (argv.empty()) {
        setLastError(kAppErrorBit | kErrInvalidData);
        return -1;
    }
    // Without waiting, a shell starts the program in the background and ends at once: the
    // program then belongs to init, and no child of ours is left to be reaped.
    static const std::string kDetach[] = {"/bin/sh", "-c", "\"$@\" >/dev/null 2>&1 &", "sh"};
    std::vector<char*> args;
    if (!wait)
        for (const std::string& a : kDetach) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    fflush(nullptr);  // the child must not repeat output still buffered here
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (rc != 0) {
        errno = rc;
        return failed();
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return failed();
    }
    if (!wait) return 0;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int runProgramCaptured(const std::vector<std::string>& argv, std::string& output) {
    output.clear();
    if (argv.empty()) {
        setLastError(kAppErrorBit | kErrInvalidData);
        return -1;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return failed();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    fflush(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        errno = rc;
        return failed();
    }
    int status = 0;
    bool ended = false;
    char buf[4096];
    for (;;) {
        // While the program runs, wait for its output in slices; once it has ended, take only
        // what is there already (a child it left behind may keep the pipe open for ever).
        struct pollfd p = {pipeFds[0], POLLIN, 0};
        const int ready = poll(&p, 1, ended ? 0 : 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t got = read(pipeFds[0], buf, sizeof buf);
            if (got > 0) {
                const size_t room = kCapturedBytes - std::min(output.size(), kCapturedBytes);
                output.append(buf, std::min(static_cast<size_t>(got), room));
                continue;
            }
            if (got == 0 || errno != EINTR) {
                if (ended) break;
                // End of the pipe: every writer is gone; only the wait is left.
                while (waitpid(pid, &status, 0) < 0)
                    if (errno != EINTR) break;
                ended = true;
                break;
            }
            continue;
        }
        if (ended) break;
        const pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid || (w < 0 && errno != EINTR)) ended = true;
    }
    close(pipeFds[0]);
    if (!ended)
        while (waitpid(pid, &status, 0) < 0)
            if (errno != EINTR) break;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int runShellCommandCaptured(const std::string& commandLine, std::string& output) {
    return runProgramCaptured({"/bin/sh", "-c", commandLine}, output);
}

int processId() {
    return static_cast<int>(current().processId());
}

bool processAlive(int pid) {
    const int64_t r = current().processAlive(pid);
    if (r < 0) (void)failCall(Area::kProcess, r);
    return r > 0;
}

std::string bootIdentity() {
    std::string id;
    if (current().bootId(id) < 0) id.clear();
    return id;
}

int openForAppend(const char* path) {
    int fd = -1;
    return openFile(path, Access::kAppend, Create::kOpenOrCreate, fd) ? -1 : fd;
}

void closeDescriptor(int fd) {
    if (fd > kStderr) (void)closeFile(fd);
}

bool isTerminal(int fd) {
    return isatty(fd) == 1;
}

StreamKind streamKind(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return StreamKind::Closed;
    if (isatty(fd) == 1) return StreamKind::Terminal;
    if (S_ISCHR(st.st_mode)) {
        // The null device is the character device that /dev/null names.
        struct stat null;
        if (stat("/dev/null", &null) == 0 && null.st_rdev == st.st_rdev) return StreamKind::NullDevice;
    }
    return StreamKind::Other;
}

int replaceProcess(const std::string& path, const std::vector<std::string>& argv) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(path.c_str(), args.data());
    return failed();
}

bool fileExists(const char* path) {
    FileInfo info;
    return current().pathInfo(path, info) == 0;
}

int removeFile(const char* path) {
    return deleteFile(path) ? -1 : 0;
}

int LineReader::fill() {
    if (eof_) return 0;
    size_t n = 0;
    if (readSome(fd_, buf_, sizeof buf_, n)) return -1;
    pos_ = 0;
    end_ = n;
    if (n == 0) eof_ = true;
    return static_cast<int>(n);
}

int LineReader::readLine(std::string& line, size_t max, bool& truncated) {
    line.clear();
    truncated = false;
    bool any = false;
    for (;;) {
        if (pos_ == end_) {
            int n = fill();
            if (n < 0) return -1;
            if (n == 0) break;  // end of input: a last line without a line break still counts
        }
        any = true;
        const char* start = buf_ + pos_;
        const char* nl = static_cast<const char*>(memchr(start, '\n', end_ - pos_));
        size_t take = nl ? static_cast<size_t>(nl - start) : end_ - pos_;
        size_t room = max - std::min(max, line.size());
        if (take > room) truncated = true;
        line.append(start, std::min(take, room));
        pos_ += take;
        if (nl) {
            ++pos_;
            break;
        }
    }
    if (!any) return 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return 0;
}

namespace {
FaultHandler g_faultHandler = nullptr;

void onFault(int signo) {
    if (g_faultHandler) g_faultHandler(signo);
    endByFault(signo);
}
}  // namespace

void installFaultHandlers(FaultHandler handler) {
    g_faultHandler = handler;
    struct sigaction sa {};
    sa.sa_handler = onFault;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_NODEFER;  // a fault inside the handler re-enters it instead of killing us
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(s, &sa, nullptr);
}

void endByFault(int signo) {
    signal(signo, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signo);
    _exit(128 + signo);  // the signal was ignored by the parent's mask: end anyway
}

void faultMessage(const char* text) {
    size_t n = strlen(text);
    while (n > 0) {
        ssize_t w = write(kStderr, text, n);
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

void exitProcess(int status) {
    fflush(nullptr);
    _exit(status);
}

}  // namespace vxs::platform
