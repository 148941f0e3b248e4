// Start-up: runs once before the first action code is dispatched.  It reads the command line,
// attaches the terminal front end, processes the configuration file, settles the work
// directory, joins the workstation registry (session number and WSID), allocates the
// interpreter's stacks at their configured sizes and creates the first program control block.
// Every step is logged at level 6; every failure is fatal (exit status 99).
#pragma once

#include <cstdint>
#include <string>

namespace vxs {

// What the command line asks for instead of a session: the usage text (--help), the version
// (--version), or nothing, since a word beginning "--" is no switch of ours (unknownOption).
enum class CommandLineRequest : uint8_t { kSession, kHelp, kVersion, kUnknownOption };

// What the command line asks for.
struct CommandLineArgs {
    int requestedWsid = 0;       // -n; 0 when none
    int wsidMode = -1;           // +n, or a workstation switch (-WSID=UNIQUE); -1 when none
    std::string configFile;      // -name (the last one wins)
    std::string startupText;     // @text or -@text
    std::string initialCommand;  // every other word, joined by blanks
    // --help or --version (the first one given) wins over everything else; otherwise the first
    // other word beginning "--" (kept in unknownOption) stops the start.
    CommandLineRequest request = CommandLineRequest::kSession;
    std::string unknownOption;
};
// Reads the arguments after the program name.
CommandLineArgs parseCommandLine(int argc, char** argv);

// The text --help prints: every form of the command line, one per line, at most 80 columns.
std::string usageText();
// The text --version prints: the product and release, one line.
std::string versionText();
// Answers the command line before anything starts (no terminal, configuration or registry):
// --help writes the usage text and --version the version to standard output, and the result is
// exit status 0; an unknown "--" option writes a line to standard error and gives 2.  Returns
// -1 when the command line asks for a session.
int answerCommandLineRequest(int argc, char** argv);
// The command line of this run (after startup).
const CommandLineArgs& commandLineArgs();

// Returns only on success; every failure ends in a fatal error.
void startup(int argc, char** argv);

}  // namespace vxs
