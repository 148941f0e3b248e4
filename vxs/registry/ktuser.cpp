// The workstation of this process (see ktuser.h).
#include "vxs/registry/ktuser.h"

namespace vxs {

namespace {
int g_wsid = 0;
int g_session = 0;
bool g_holdsEntry = false;
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
    return g_holdsEntry;
}
void ktReleaseWorkstation() {
    g_holdsEntry = false;
}

}  // namespace vxs
