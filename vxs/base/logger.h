// The system log: time-stamped entries filtered by level, appended to the configured log file or
// written to standard error when there is none.
//
// Levels: 0 fatal messages ... 6 progress messages ... 8 detail.  An entry is written only when
// its level is at most the current level (initially 0).  Each entry is a time stamp line
// "MM/DD/YYYY hh:mm:ss " followed by the message line.
#pragma once

#include <string>

namespace vxs {

inline constexpr int kLogFatal = 0, kLogProgress = 6, kLogDetail = 8;

// Writes one entry when `level` is at most the current level.
void vxlog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Formats the time stamp line of an entry (with its trailing blank and line break).
std::string logTimeStamp(int year, int month, int day, int hour, int minute, int second);

void setLogLevel(int level);  // logs "Log level set to %i." at the new level
int logLevel();
// Appends later entries to `path` (logs "Logfile has been set to %s.").  When it cannot be
// opened, entries keep going to the previous place and "failed open of log file %s" is logged.
// Returns 0 or -1 (with the platform's last error set).
int setLogFile(const char* path);
void closeLogFile();  // back to standard error

}  // namespace vxs
