// The EXECUTE statement: the program hands one command to command mode and stops with run
// status 13; command mode carries the command out and resumes the program after the statement,
// or at the statement itself when the command failed, where its error is then raised.
#include <string>

#include "vxs/base/process.h"
#include "vxs/errors/errors.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {
}

int executeStatement(RunCtx& r, const ClauseView& v) {
    pcb& pc = *r.pc;
    // Resumed after a command that failed: its error is this statement's.
    if (pc.pendingexec < 0 && static_cast<size_t>(-pc.pendingexec - 1) == v.start) {
        pc.pendingexec = 0;
        return pc.lasterror ? pc.lasterror : kErrUnrecognized;
    }
    RpnEntry e;
    if (!rpnPop(e)) return kErrDamaged;
    const Cell* c = rpnCellOf(e);
    if (!c || !isStringCell(c)) return kErrDamaged;
    const std::string_view command = cellString(c);
    if (command.size() > static_cast<size_t>(kCommandFieldWidth)) return kErrExecuteTooLong;
    queueCommandForExecute(command, r.line == kImmediateLine);
    // A typed EXECUTE leaves the mark alone: it may run inside a program's EXECUTE, whose
    // statement still waits for the outcome.
    if (r.line != kImmediateLine) pc.pendingexec = static_cast<int16_t>(v.start + 1);
    return kExecuteStop;
}

}  // namespace vxs
