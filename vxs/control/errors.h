// Error numbers shared across subsystems.  Every routine returns 0 or one of these; each number is
// defined once here with what it means, so that commands, statements and tests agree.
#pragma once

namespace vxs {

inline constexpr int kErrRecordLocked = 61;      // a record or byte range locked by another open or process
inline constexpr int kErrNotAvailable = 302;     // the facility has no handler in this build
inline constexpr int kErrBadPosition = 731;      // a negative file position, one past 2^63-1, or an unknown origin
inline constexpr int kErrUnrecognized = 1006;    // a line or argument that is not understood
inline constexpr int kErrCommandTooLong = 1060;  // a command line longer than 800 bytes
inline constexpr int kErrRangeOrder = 2003;    // a LIST or DEL range whose start lies after its end
inline constexpr int kErrNoActiveProgram = 2102;  // GO without an active program
inline constexpr int kErrNoProgram = 2104;      // RUN of a program without lines
inline constexpr int kErrProgramActive = 2108;  // a command refused while a program is active
inline constexpr int kErrFileName = 2220;       // a file name missing, or given twice
inline constexpr int kErrNameTooLong = 4129;     // a name or path too long
inline constexpr int kErrSharing = 4148;         // sharing conflict: the file is in use
inline constexpr int kErrFileExists = 4150;      // the file (or directory) already exists
inline constexpr int kErrFileNotFound = 4152;    // the file does not exist
inline constexpr int kErrPathNotFound = 4203;    // a directory of the path does not exist
inline constexpr int kErrAccessDenied = 4205;    // access denied
inline constexpr int kErrLockOverlap = 4205;     // a lock overlapping one held through the same handle
inline constexpr int kErrBadHandle = 4206;       // not an open handle
inline constexpr int kErrNotSameDevice = 4217;   // a rename from one device to another
inline constexpr int kErrDiskFull = 4239;        // no space left on the disk (or quota, or file size limit)
inline constexpr int kErrUnlockNotHeld = 4276;   // unlock of a range not held through that handle
inline constexpr int kErrOsOther = 4320;         // another operating-system failure (its code kept as last error)
inline constexpr int kErrInvalidFunction = 4501;  // an operation the file or system does not support
inline constexpr int kErrInvalidData = 4513;     // an invalid argument or length
inline constexpr int kErrOsNoMemory = 4514;      // the operating system is out of memory
inline constexpr int kErrNotReady = 4521;        // the device is not ready
inline constexpr int kErrNoMemory = 9000;        // out of memory (also "program cleared")
inline constexpr int kErrWorkStack = 9001;
inline constexpr int kErrRpnStack = 9002;
inline constexpr int kErrFlowStack = 9003;
inline constexpr int kErrForStack = 9004;

}  // namespace vxs
