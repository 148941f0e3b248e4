// Linux stand-ins for the operating-system services the rest of the system uses: the thread's
// last-error value, process paths, sleeping, local time, processes, descriptor I/O, the fault
// handlers that stand in for an unhandled-exception filter, and ending the process.
// Only this directory includes the system headers; everything above it calls these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vxs/platform/fileio.h"

namespace vxs::platform {

// Bit set in a last-error value that carries one of the system's own error numbers rather than
// an operating-system code.
inline constexpr uint32_t kAppErrorBit = 0x20000000;

// The calling thread's last-error value.  Failing platform routines set it to their error
// number with kAppErrorBit (oserror.h), or to the bare errno when no table knows it; the
// system's own routines set its own numbers with kAppErrorBit.
void setLastError(uint32_t value);
uint32_t lastError();
// Records errno as the last error and returns -1 (for the calls outside the platform table).
int failed();

// Current directory into buf (zero-terminated).  Returns 0, or -1 with the last error set
// (name too long when it does not fit).
[[nodiscard]] int currentDirectory(char* buf, size_t size);
// Full path of the running executable into buf (zero-terminated).  Returns its length, or 0 with
// the last error set when it cannot be read or does not fit.
[[nodiscard]] size_t moduleFileName(char* buf, size_t size);

void sleepMilliseconds(unsigned ms);
// Monotonic clock in microseconds, for timing waits.
int64_t monotonicMicroseconds();

struct LocalTime {
    int year, month, day, hour, minute, second;  // month 1-12, day 1-31
};
LocalTime localTime();
// The local time at `secondsSince1970` (UTC seconds, as the system's clock gives them).
LocalTime localTimeAt(int64_t secondsSince1970);

// The operating system's message for error `code` into buf (zero-terminated).  False when the
// system has no message for that code.
bool errorMessage(uint32_t code, char* buf, size_t size);
// A variable of the process environment; false when it is not set.
bool environmentValue(const char* name, std::string& value);
// The name of the account the process runs under (empty when unknown).
std::string accountName();
// The operating system's name and machine, as "Linux x86_64".
std::string systemName();
// This machine's network name (empty when unknown).
std::string hostName();
// The memory the machine has free now, in bytes (0 when unknown).
uint64_t availableMemory();

// The moment (seconds since 1970) of a local time; -1 when it cannot be represented.
double epochFromLocal(const LocalTime& t);

// Runs a command line through the shell and waits for it.  Returns its exit status (128 + the
// signal that ended it), or -1 with the last error set when it could not be started.
[[nodiscard]] int runShellCommand(const std::string& commandLine);
// Runs a program with its argument vector (argv[0] looked up in PATH), without a shell, so
// that no argument is taken apart or interpreted.  With `wait` it returns the program's exit
// status (128 + the signal that ended it, 127 when it could not be found); without, 0 once it
// has started, and nobody waits for it.  -1 with the last error set when it could not start.
[[nodiscard]] int runProgram(const std::vector<std::string>& argv, bool wait);
// Runs a program (argv[0] looked up in PATH, no shell) and waits for it, with standard input
// from /dev/null and its standard output and error captured into `output` (at most
// kCapturedBytes; the rest is read and dropped), so that nothing it writes reaches the terminal.
// A child it leaves running with the pipe open does not hold the wait: once the program has
// ended, only what is already there is read.  Returns the exit status as runProgram does.
inline constexpr size_t kCapturedBytes = 65536;
[[nodiscard]] int runProgramCaptured(const std::vector<std::string>& argv, std::string& output);
// The same for a command line run by /bin/sh -c.
[[nodiscard]] int runShellCommandCaptured(const std::string& commandLine, std::string& output);
int processId();
// Whether a process with that id exists (a zombie not yet waited for counts).  Ids of 0 or
// less name no process.
bool processAlive(int pid);
// This start of the machine (the kernel's boot id; empty when unknown): it changes when the
// machine starts again, after a power loss among others.
std::string bootIdentity();

// Descriptor I/O (writeAll is in fileio.h).
inline constexpr int kStdin = 0, kStdout = 1, kStderr = 2;
[[nodiscard]] int openForAppend(const char* path);  // descriptor, or -1 with the last error set
void closeDescriptor(int fd);                       // standard streams stay open
bool isTerminal(int fd);
// What a standard stream is: closed, the null device, a terminal, or a pipe, FIFO, file or other
// (everything the stream front end reads).
enum class StreamKind { Closed, NullDevice, Terminal, Other };
StreamKind streamKind(int fd);
// Replaces the process by the program at `path` (no PATH search, no shell) with `argv`; returns
// only when it could not, -1 with the last error set.
[[nodiscard]] int replaceProcess(const std::string& path, const std::vector<std::string>& argv);
[[nodiscard]] bool fileExists(const char* path);
[[nodiscard]] int removeFile(const char* path);  // 0, or -1 with the last error set

// Reads standard input one line at a time through a private buffer.
class LineReader final {
  public:
    explicit LineReader(int fd) : fd_(fd) {}
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    // Reads the next line without its line break (a carriage return before it is dropped too).
    // At most max bytes are kept; `truncated` tells whether the line was longer.
    // Returns 0 for a line, 1 at end of input (no line), -1 on a read error (last error set).
    [[nodiscard]] int readLine(std::string& line, size_t max, bool& truncated);
    // Whether bytes read ahead wait in the buffer (a line may be had without reading).
    bool buffered() const { return pos_ < end_; }

  private:
    int fill();
    int fd_;
    char buf_[4096];
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false;
};

// Fault handling: `handler` runs on SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT.  It is entered
// again if a second fault happens while it runs, so it can tell a fault during a report.
using FaultHandler = void (*)(int signo);
void installFaultHandlers(FaultHandler handler);
// Ends the process as the fault would have without a handler (default action, then re-raised).
[[noreturn]] void endByFault(int signo);
// Writes a short text to standard error from inside a fault handler (async-signal-safe).
void faultMessage(const char* text);

// Ends the process at once with the status (its low 8 bits reach the parent): no destructors,
// no wxWidgets teardown.  Standard streams are flushed first.
[[noreturn]] void exitProcess(int status);

}  // namespace vxs::platform
