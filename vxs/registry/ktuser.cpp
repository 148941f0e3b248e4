// The workstation of this process (see ktuser.h): the WSID and session digit start-up settled,
// and the release of its registry entry and session at shut-down.
#include "vxs/registry/ktuser.h"

#include "vxs/registry/ktserver.h"
#include "vxs/registry/ktsession.h"

namespace vxs {

namespace {
int g_wsid = 0;
int g_session = 0;
}  // namespace

int workstationId() {
    return g_wsid;
}
int sessionDigit() {
    return g_session;
}

void setWorkstation(int wsid, int session) {
    g_wsid = wsid;
    g_session = session;
}

bool ktHoldsRegistryEntry() {
    return ktAssignedWsid() >= 0;
}

void ktReleaseWorkstation() {
    ktReleaseServer();
    ktLeaveSession();
}

}  // namespace vxs
