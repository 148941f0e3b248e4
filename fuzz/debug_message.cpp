// Bytes a debugger sends over the link: the system reads them as messages (headers checked,
// payloads taken, commands stored or refused) and must close the link on anything malformed
// without crashing or allocating beyond the largest message.
#include <cstddef>
#include <cstdint>

#include "vxs/debugger/debug.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/net.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vxs;
    int mine = -1, theirs = -1;
    if (platform::socketPair(mine, theirs) != 0) return 0;
    if (debugAttachSocket(mine) != 0) {
        platform::closeSocket(mine);
        platform::closeSocket(theirs);
        return 0;
    }
    // Half the inputs find command mode waiting for a command.
    if (size > 0 && (data[0] & 1)) debugEnterInputMode(0, 0);
    (void)platform::sendAll(theirs, data, size, 1000);
    platform::closeSocket(theirs);  // the debugger hangs up after its bytes
    for (int i = 0; i < 64 && debugLinkOpen(); ++i) debugPoll();
    std::string taken;
    (void)debugTakeCommand(taken);
    debugDisconnect();
    return 0;
}
