// The debugger link to an external debugging front end.
#pragma once

namespace vxs {

// Polls the debugger link for requests; every waiting loop calls it.  Without an open link it
// returns at once.
void debugPoll();
bool debugLinkOpen();

}  // namespace vxs
