// This process's workstation: its WSID and session digit, and its entry in the shared registry
// file.
#pragma once

namespace vxs {

// The workstation number (1..999) and session digit (1..9) start-up assigned.
int workstationId();
int sessionDigit();
void setWorkstation(int wsid, int session);

// Whether this process holds an entry in the shared registry file (joinRegistry of ktsession.h
// assigned it a WSID).  Until the registry is joined at start-up, no entry is held.
bool ktHoldsRegistryEntry();
// Releases this workstation's entry in the registry file and its session number (shut-down);
// nothing when none is held.
void ktReleaseWorkstation();

}  // namespace vxs
