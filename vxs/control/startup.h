// Start-up: runs once before the first action code is dispatched.  It attaches the terminal
// front end, obtains the session number and the workstation number, settles the work
// directory and creates the first program control block.  Every step is logged at level 6.
#pragma once

#include <string>

namespace vxs {

// What the command line asks for.
struct CommandLineArgs {
    int requestedWsid = 0;       // -n; 0 when none
    int wsidMode = -1;           // +n; -1 when none
    std::string configFile;      // -name (the last one wins)
    std::string startupText;     // @text or -@text
    std::string initialCommand;  // every other word, joined by blanks
};
// Reads the arguments after the program name.
CommandLineArgs parseCommandLine(int argc, char** argv);
// The command line of this run (after startup).
const CommandLineArgs& commandLineArgs();

// Returns only on success; every failure ends in a fatal error.
void startup(int argc, char** argv);

}  // namespace vxs
