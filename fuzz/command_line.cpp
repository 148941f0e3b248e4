// Fuzz target: lines typed at the command prompt.  Every line is carried out (0, or kLeftCommandMode with an
// action code that leaves command mode) or refused with an error number that leaves the action
// code alone.  The target works in a scratch directory of its own, since commands write files.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/scratch.h"
#include "vxs/command/command.h"
#include "vxs/compiler/pcb.h"
#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"

namespace {
void setUpOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    vxfuzz::enterScratchDirectory("command");
    vxs::setEditorCommand("true");  // EDIT must not start an interactive editor
    if (vxs::createPCB(100, 100, "FUZZ", &vxs::pchain.curpcb) != 0) abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpOnce();
    vxs::setActionCode(vxs::kActCommand);
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    // File commands stay inside the scratch directory: no paths that could leave it.
    if (line.find_first_of("/\\") != std::string_view::npos || line.find("..") != std::string_view::npos)
        return 0;
    // CONFIG could point names anywhere (DRIVE, SUBSTITUTE with %HOME%, LOGGING) and its
    // settings outlive the input; the configuration has its own target (config_line).
    std::string upper(line);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("CONF") != std::string::npos) return 0;
    const int err = vxs::executeCommandLine(line);
    if ((err < 0 && err != vxs::kLeftCommandMode) || err > 99999) abort();
    if (err == vxs::kLeftCommandMode && vxs::actionCode() == vxs::kActCommand) abort();
    if (err >= 0 && vxs::actionCode() != vxs::kActCommand) abort();
    vxs::t.runImmediate = false;
    return 0;
}
