// Fuzz target: SPOOLCMD templates.  The input is split at its first NUL byte into the template
// and the printer file name (the other keys are fixed).  buildSpoolCommand answers 0 or 9006;
// a built command is at most 200 characters, and substitution stays within its growth limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vxs/control/errors.h"
#include "vxs/printing/spool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const size_t nul = in.find('\0');
    vxs::SpoolKeys keys;
    keys.name = nul == std::string_view::npos ? "PRN:/10" : std::string(in.substr(nul + 1));
    keys.copies = 2;
    keys.spoolFile = "./ktspl7.001";
    keys.program = "/apps/INVOICE.vx";
    keys.wsid = 7;
    const std::string_view tmpl = in.substr(0, nul);
    vxs::SpoolCommand cmd;
    const int err = vxs::buildSpoolCommand(tmpl, keys, cmd);
    if (err == vxs::kErrSpoolCommandTooLong) return 0;
    if (err != 0) abort();
    if (cmd.text.size() > 200) abort();
    // Substitution never adds more than 150 characters (quotes included).
    if (cmd.substituted && cmd.text.size() > tmpl.size() + 150) abort();
    (void)vxs::spoolQueueOf(keys.name);
    (void)vxs::spoolPrinterOf(keys.name);
    return 0;
}
