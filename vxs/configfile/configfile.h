// The configuration processor: reads the configuration file at start-up, and one statement at a
// time afterwards (CONFIG), into the settings of config.h, then hands the settings that other
// layers keep to their listeners (applySettings).
#pragma once

#include <string_view>

namespace vxs {

// Start-up: `text` is the configuration file named on the command line, or empty for the
// default file beside the executable.  Afterwards: one statement (CONFIG).  Returns 0 when
// every statement was accepted, 1 when at least one was refused or reported.
int processConfig(std::string_view text);
// The two halves of processConfig, for callers that know which they want: the start-up file
// (locating it, then the end step: drive C: when no DRIVE succeeded) and one statement with
// the run-time restrictions (EXECUTE, the stack sizes, the workstation statements, OPTION 33
// and the other start-up statements are refused).
int processConfigFile(std::string_view fileName);
int processConfigStatement(std::string_view statement);

}  // namespace vxs
