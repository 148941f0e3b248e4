// The device openers (see device.h).
#include "vxs/datafiles/device.h"

#include "vxs/errors/errors.h"

namespace vxs {

namespace {
DeviceOpener g_openers[4] = {};

size_t slot(Device kind) {
    return static_cast<size_t>(kind) & 3;
}
}  // namespace

void setDeviceOpener(Device kind, DeviceOpener opener) {
    g_openers[slot(kind)] = opener;
}

int openDevice(const DeviceRequest& request, std::unique_ptr<DeviceStream>& out) {
    out.reset();
    const DeviceOpener opener = g_openers[slot(request.kind)];
    return opener ? opener(request, out) : kErrNotAvailable;
}

}  // namespace vxs
