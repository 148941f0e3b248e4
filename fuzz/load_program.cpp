// Fuzz target: program files.  Any bytes are read as a program file image: the reader answers an
// error number and leaves the block empty, or loads a program that can then be resolved, listed,
// written again and read back to the same image.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "vxs/compiler/linetable.h"
#include "vxs/compiler/lister.h"
#include "vxs/compiler/pcb.h"
#include "vxs/compiler/progfile.h"
#include "vxs/compiler/vxexe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vxs::pcb pc;
    if (!vxs::allocatePCBTables(pc, 1, 1)) abort();
    vxs::resetProgram(pc);
    const int err = vxs::readProgramImage({data, size}, pc, vxs::kLoadPlain, true);
    if (err) {
        if (pc.linecnt != 0 || pc.dictcnt != 0 || pc.firstline != vxs::kNoLines) abort();
        vxs::resetProgram(pc);
        return 0;
    }
    vxs::resolveProgram(pc);
    for (int i : vxs::linesInOrder(pc)) {
        (void)vxs::listLine(pc, i);
        (void)vxs::disassemble(vxs::lineCode(pc, i));
    }
    std::vector<uint8_t> image, again;
    if (vxs::writeProgramImage(pc, false, image) != 0) abort();
    vxs::pcb copy;
    if (!vxs::allocatePCBTables(copy, 1, 1)) abort();
    vxs::resetProgram(copy);
    if (vxs::readProgramImage(image, copy, vxs::kLoadPlain, true) != 0) abort();
    if (vxs::writeProgramImage(copy, false, again) != 0 || again != image) abort();
    vxs::resetProgram(pc);
    vxs::resetProgram(copy);
    return 0;
}
