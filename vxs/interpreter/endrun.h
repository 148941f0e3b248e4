// End-of-run processing: what happens to a program's files and state when it ends, in each
// closing mode.
#pragma once

namespace vxs {

enum EndRunMode {
    kEndProgram = 0,   // END, STOP, GO END, or a command that must first end the program
    kEndShutdown = 1,  // the process shuts down
};

// Ends the current program in the given mode: its open files are closed (at shut-down those
// opened NOCLOSE too; none when a CHAIN with FILES ends it) and every file it reserved is
// released.  Returns the first error of closing a file (every file is closed regardless).
int endOfRun(EndRunMode mode);

}  // namespace vxs
