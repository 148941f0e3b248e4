// The wiring of the layers: every registration point that a lower layer offers gets its handler
// from the layer above that owns the behaviour (see docs/architecture.md).  This is the one
// place that knows both sides of each; calling it again changes nothing.
#include "vxs/control/entry.h"

#include "vxs/base/failure.h"
#include "vxs/base/process.h"
#include "vxs/clientserver/common.h"
#include "vxs/command/command.h"
#include "vxs/config/config.h"
#include "vxs/datafiles/device.h"
#include "vxs/debugger/debug.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/flow.h"
#include "vxs/platform/os.h"
#include "vxs/printing/spool.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/terminal.h"
#include "vxs/storage/file_os.h"

namespace vxs {

namespace {
// A fatal error's message goes to the terminal side, which may ask to carry on.
int showFatalOnTerminal(const char* message, int flags) {
    if (!terminalAttached()) return 0;
    int32_t reply = 0;
    const bool exchanged =
        CallFunctionRemote(FATALMSGCALL, ORIGIN,
                           {rpInt(terminalIdentifier()), rpText(message), rpInt(flags)}) == 0 &&
        ReceiveFunctionRemote(FATALMSGRET, {roInt(&reply)}) == 0;
    return exchanged ? reply : 0;
}

// The user closed the main window (the terminal side asks only while closing is allowed): with
// no program active, or a nonzero status, the session ends as SYSTEM ends it; otherwise the
// terminal beeps and the session goes on.
int exitOnRequest(int32_t status) {
    if (status == 0 && (activityClass() == kActive || runStatus() == RUNSTAT_RUN)) {
        (void)screenAction(kScreenBeep);
        return status;
    }
    setExitCode(status);
    shutdownSequence();
    platform::exitProcess(status);
}
}  // namespace

void connectLayers() {
    FailureHandlers failure;
    failure.showFatal = showFatalOnTerminal;
    failure.shutdown = shutdownSequence;
    setFailureHandlers(failure);

    ProcessHooks process;
    process.dispatchPending = frontEndDispatchPending;
    process.processIdle = frontEndProcessIdle;
    process.pollLink = debugPoll;
    process.linkOpen = debugLinkOpen;
    process.showRunStatus = [](const char* name) { statusShowStatus(name); };
    process.setCanClose = terminalSetCanClose;
    process.commandInfoActive = ciExists;
    process.queueCommand = queueExecuteCommand;
    process.procedureDepth = procedureDepth;
    setProcessHooks(process);

    RemoteServerHooks remote = remoteServerHooks();
    remote.exitRequest = exitOnRequest;
    setRemoteServerHooks(remote);

    addSettingsListener(applyRunSettings);
    addSettingsListener(applyDateSettings);
    addSettingsListener(applyLockingSettings);

    setDeviceOpener(Device::kPrinter, openPrinterDevice);
    setDeviceOpener(Device::kDebug, openDebugChannelDevice);
}

}  // namespace vxs
