// The interpreter's state object and its one reset.
#include "vxs/interpreter/state.h"

#include "vxs/config/environment.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/filestmt.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/windows.h"

namespace vxs {

Interpreter interp;

Interpreter::Interpreter() {
    // The configuration may size the stacks again; until it does, these serve.
    (void)allocateStacks(kDefaultRpnStack, kDefaultWorkStack);
    // The console is a file too ("CON:"); its lines go through the console window.
    installConsoleFile();
    // Windows are files too; the window layer places them and shows their lines.
    installWindowLayer();
}

Interpreter::~Interpreter() = default;

void Interpreter::reset() {
    // Open frames give their dictionary slots back before anything else goes.
    resetRunControls();
    dropResumedForm();
    freeClauseCache();

    const size_t flowLimit = stacks.flowLimit, forLimit = stacks.forLimit;
    const size_t flowHigh = stacks.flowHigh, forHigh = stacks.forHigh;
    stacks = FlowStacks{};
    stacks.flowLimit = flowLimit;
    stacks.forLimit = forLimit;
    stacks.flowHigh = flowHigh;  // the marks run until STATUS STACKS RESET
    stacks.forHigh = forHigh;
    flow = FlowState{};

    const bool fastForms = lines.fastForms, registerForms = lines.registerForms;
    lines = DecodedLines{};
    lines.fastForms = fastForms;
    lines.registerForms = registerForms;

    console = ConsoleState{};
    resetDateSettings();
    clearEnvironmentTable();
    text = TextSettings{};  // the login name is the session's (environment.h): kept
    numbers = NumberState{};
    chain = ChainState{};
    files = FileStatementState{};
}

}  // namespace vxs
