// Fuzz target: lines typed at the command prompt.  Every line is either carried out or refused
// with an error number; only a carried-out line may change the action code.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vxs/command/command.h"
#include "vxs/control/errors.h"
#include "vxs/control/utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vxs::setActionCode(vxs::kActCommand);
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const int err = vxs::executeCommandLine(line);
    if (err != 0 && err != vxs::kErrUnrecognized) abort();
    if (err != 0 && vxs::actionCode() != vxs::kActCommand) abort();
    return 0;
}
