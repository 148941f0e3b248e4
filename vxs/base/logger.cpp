// Log entries, log level and the log file (see logger.h).
#include "vxs/base/logger.h"

#include <cstdarg>
#include <cstdio>

#include "vxs/platform/os.h"

namespace vxs {

namespace {
int g_level = 0;
int g_fd = platform::kStderr;

void writeEntry(const char* message) {
    platform::LocalTime now = platform::localTime();
    std::string entry =
        logTimeStamp(now.year, now.month, now.day, now.hour, now.minute, now.second);
    entry += message;
    entry += '\n';
    // A log that cannot be written has nowhere to report that: the entry is dropped.
    (void)platform::writeAll(g_fd, entry.data(), entry.size());
}
}  // namespace

std::string logTimeStamp(int year, int month, int day, int hour, int minute, int second) {
    char buf[64];
    snprintf(buf, sizeof buf, "%02d/%02d/%02d %02d:%02d:%02d \n", month, day, year, hour, minute,
             second);
    return buf;
}

void vxlog(int level, const char* format, ...) {
    if (level > g_level) return;
    char message[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    writeEntry(message);
}

void setLogLevel(int level) {
    g_level = level;
    vxlog(kLogProgress, "Log level set to %i.", level);
}

int logLevel() {
    return g_level;
}

int setLogFile(const char* path) {
    int fd = platform::openForAppend(path);
    if (fd < 0) {
        vxlog(kLogFatal, "failed open of log file %s", path);
        return -1;
    }
    closeLogFile();
    g_fd = fd;
    vxlog(kLogProgress, "Logfile has been set to %s.", path);
    return 0;
}

void closeLogFile() {
    platform::closeDescriptor(g_fd);
    g_fd = platform::kStderr;
}

}  // namespace vxs
