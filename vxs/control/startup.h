// Start-up: runs once before the first action code is dispatched.  It reads the command line,
// attaches the terminal front end, processes the configuration file, settles the work
// directory, joins the workstation registry (session number and WSID), allocates the
// interpreter's stacks at their configured sizes and creates the first program control block.
// Every step is logged at level 6; every failure is fatal (exit status 99).
#pragma once

#include <string>

namespace vxs {

// What the command line asks for.
struct CommandLineArgs {
    int requestedWsid = 0;       // -n; 0 when none
    int wsidMode = -1;           // +n, or a workstation switch (-WSID=UNIQUE); -1 when none
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
