// Fuzz target: file names through the mapping and back, under a configuration with drives, a
// drive current directory and substitutions.  Every name maps to a path of at most 511 bytes
// or to one of the mapping's error numbers, and every mapped path maps back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/scratch.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/datafiles/ktname.h"

namespace {

void setUpOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    vxfuzz::enterScratchDirectory("names");
    vxfuzz::writeScratchFile("placeholder", "");
    const char* const statements[] = {
        "DRIVE D:,.,.,\\", "SUBSTITUTE [CO] acme", "SUBSTITUTE LIB: :/opt/lib/",
        "SUBSTITUTE GROW [CO][CO][CO][CO][CO][CO][CO][CO]", "SPOOLPATH spool"};
    for (const char* s : statements)
        if (vxs::processConfigStatement(s) != 0) abort();
    vxs::setSubstitution("[WSID]", "07");
}

bool expectedError(int err) {
    switch (err) {
        case 302:
        case 600:
        case 609:
        case 4129:
        case 4180:
        case 4215: return true;
        default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpOnce();
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    std::string path;
    const int err = vxs::mapFileName(name, path);
    if (err) {
        if (!expectedError(err)) abort();
        return 0;
    }
    if (path.empty() || path.size() >= vxs::kVxMaxPath) abort();
    if (vxs::isDeviceName(path)) return 0;
    std::string shown;
    const int back = vxs::unmapFileName(path, shown);
    if (back != 0 && back != 4215) abort();
    if (back == 0 && (shown.empty() || shown.size() >= vxs::kVxMaxPath)) abort();
    return 0;
}
