// End-of-run processing: what happens to a program's files and state when it ends, in each
// closing mode.
#pragma once

namespace vxs {

enum EndRunMode {
    kEndProgram = 0,   // END, STOP, GO END, or a command that must first end the program
    kEndShutdown = 1,  // the process shuts down
};

// Ends the current program in the given mode: every file it reserved is released.  (Its open
// files are closed here once programs can open them.)
void endOfRun(EndRunMode mode);

}  // namespace vxs
