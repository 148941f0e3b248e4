// Fuzz target: printer bytes fed to the escape interpreter of native printing.  The parse
// answers 0 or one of its errors (6245, 6247, 6248, 6270), and an error leaves the items
// before it; with OPTION 32's suppression no 6245 comes back.  Inputs below 4 KB are also drawn
// into a PDF page file in the scratch directory, which must succeed whenever the parse did
// (pictures aside: the image file does not exist).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/scratch.h"
#include "vxs/errors/errors.h"
#include "vxs/printing/print.h"
#include "vxs/printing/printer.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool entered = false;
    if (!entered) {
        entered = true;
        vxfuzz::enterScratchDirectory("escapes");
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool suppress : {false, true}) {
        std::vector<vxs::PageItem> items;
        size_t at = 0;
        vxs::EscapeOptions o;
        o.suppressUnsupported = suppress;
        const int err = vxs::parseEscapes(bytes, o, items, at);
        if (err != 0 && err != vxs::kErrEscapeUnsupported && err != vxs::kErrBadColor &&
            err != vxs::kErrBadPicture && err != vxs::kErrMissingQuote)
            abort();
        if (suppress && err == vxs::kErrEscapeUnsupported) abort();
        if (err && at >= size) abort();
        if (suppress && err == 0 && size < 4096 &&
            bytes.find("picture='") == std::string_view::npos) {
            vxs::NativeOptions n;
            n.suppressUnsupported = true;
            if (vxs::renderPages(bytes, "fuzz.pdf", n) != 0) abort();
        }
    }
    return 0;
}
