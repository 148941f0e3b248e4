// Error numbers shared across subsystems.  Every routine returns 0 or one of these; each number is
// defined once here with what it means, so that commands, statements and tests agree.
#pragma once

namespace vxs {

inline constexpr int kErrNotAvailable = 302;     // the facility has no handler in this build
inline constexpr int kErrUnrecognized = 1006;    // a line or argument that is not understood
inline constexpr int kErrCommandTooLong = 1060;  // a command line longer than 800 bytes
inline constexpr int kErrRangeOrder = 2003;    // a LIST or DEL range whose start lies after its end
inline constexpr int kErrNoActiveProgram = 2102;  // GO without an active program
inline constexpr int kErrNoProgram = 2104;      // RUN of a program without lines
inline constexpr int kErrProgramActive = 2108;  // a command refused while a program is active
inline constexpr int kErrFileName = 2220;       // a file name missing, or given twice
inline constexpr int kErrNoMemory = 9000;        // out of memory (also "program cleared")
inline constexpr int kErrWorkStack = 9001;
inline constexpr int kErrRpnStack = 9002;
inline constexpr int kErrFlowStack = 9003;
inline constexpr int kErrForStack = 9004;

}  // namespace vxs
