// Command mode: reads lines from the console or a procedure file and carries them out (program
// lines, commands, statements typed without a line number) until a line sets an action code
// that leaves command mode.
#pragma once

#include <string>
#include <string_view>

namespace vxs {

// Command mode entry (action codes 0 and 47); returns after setting an action code that leaves
// command mode.
void commandMode();
// Carries out one command line.  Returns 0, -1 when it left command mode (an action code is
// set), or an error number.
[[nodiscard]] int executeCommandLine(std::string_view line);

// Makes `line` the first command that command mode carries out (the command line's initial
// command).
void queueInitialCommand(const std::string& line);

// An EXECUTE statement's command: command mode carries it out next and then resumes the program
// (a statement typed without a line number has nothing to resume).
void queueExecuteCommand(std::string_view command, bool fromTypedStatement);

// Whether a command-info record of a suspended program exists (the program counts as active).
bool ciExists();

// Procedure files being read (innermost last).
int procedureDepth();
void closeInnermostProcedure();

// The tail of the last SORT or INDEX command: the utility's parameters.
const std::string& utilityCommandTail();
// The next line of the innermost procedure file; false when no procedure is being read.
bool nextProcedureLine(std::string& line);

// Shut-down: free the command history and the command-mode buffers.
void freeCommandHistory();
void freeCommandBuffers();

}  // namespace vxs
