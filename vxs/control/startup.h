// Start-up: runs once before the first action code is dispatched.  It attaches the terminal
// front end, obtains the session number and the workstation number, settles the work
// directory and creates the first program control block.  Every step is logged at level 6.
#pragma once

namespace vxs {

// Returns only on success; every failure ends in a fatal error.
void startup(int argc, char** argv);

}  // namespace vxs
