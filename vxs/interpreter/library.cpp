// Library programs (see library.h): loading a compiled program in library mode into a block of
// its own, linking functions by name into the link table of the program that asks, and the
// release of libraries when their calls are over or the run ends.
#include "vxs/interpreter/library.h"

#include <vector>

#include "vxs/compiler/progfile.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/values.h"
#include "vxs/platform/files.h"

namespace vxs {

namespace {

// The function `name` of `lib` with its DEF line: 0, or 2272 when the library has none.
int findFunction(const pcb& lib, std::string_view name, int& fn, int16_t& defline) {
    fn = findName(lib, name);
    const de* e = fn ? dictEntry(lib, fn) : nullptr;
    if (!e || !e->isFunction()) return kErrLibraryFunctionMissing;
    defline = functionDefLines(lib)[static_cast<size_t>(fn - kFirstDictIndex)];
    return defline < 0 ? kErrLibraryFunctionMissing : 0;
}

// Links function `fn` of `pc` (called `name`) to `lib`.
int linkFunction(pcb& pc, int fn, std::string_view name, pcb* lib) {
    de* e = dictEntry(pc, fn);
    if (!e || !e->isFunction()) return kErrDamaged;
    size_t k = pc.liblinks.size();
    if (e->fnline != kFnUnlinked && e->fnline >= kFnLibraryLink &&
        e->fnline - kFnLibraryLink < pc.liblinks.size()) {
        k = e->fnline - kFnLibraryLink;
        const LibLink& old = pc.liblinks[k];
        if (old.lib && old.lib != lib && old.lib->activecalls > 0) return kErrLibraryActive;
    }
    LibLink link;
    link.lib = lib;
    link.fn = fn;
    if (int err = findFunction(*lib, name, link.libfn, link.defline)) return err;
    if (k == pc.liblinks.size())
        pc.liblinks.push_back(link);
    else
        pc.liblinks[k] = link;
    e->fnline = kFnLibraryLink + static_cast<uint32_t>(k);
    return 0;
}

bool isLibrary(const pcb* p) { return p->libmode != kLibNone; }

}  // namespace

pcb* findLibrary(const std::string& path) {
    for (pcb* p = pchain.pcbhead; p; p = p->next)
        if (isLibrary(p) && path == p->progname) return p;
    return nullptr;
}

int loadLibrary(const std::string& path, uint8_t mode, pcb*& out) {
    out = nullptr;
    std::vector<uint8_t> bytes;
    if (int err = readProgramFile(path, bytes)) return err;
    if (!looksLikeProgramFile(bytes)) return kErrNotProgramFile;
    pcb* lib = nullptr;
    if (int err = createPCB(kDefaultLineCapacity, kDefaultDictCapacity, path.c_str(), &lib))
        return err < 0 ? -err : err;
    if (int err = readProgramImage(bytes, *lib, kLoadLibrary, true)) {
        freePCB(lib);
        return err;
    }
    lib->libmode = mode;
    resolveProgram(*lib);
    out = lib;
    return 0;
}

int prepareLink(LibLink& link) {
    pcb* lib = link.lib;
    if (!lib) return kErrNotLinked;
    if (link.defline < 0 || link.defline >= lib->linecnt) {
        const std::string name = dictName(*lib, link.libfn);
        if (int err = findFunction(*lib, name, link.libfn, link.defline)) return err;
    }
    if (!lib->resolved) {
        resolveProgram(*lib);
        clearClauseCache();
    }
    if (!lib->libprepared) {
        prepareVariables(*lib);
        lib->libprepared = true;
    }
    return 0;
}

int libraryStatement(RunCtx& r, const ClauseView& v) {
    if (v.words < 2) return kErrDamaged;
    const int operands = readWord(r.code.data() + v.wordsAt);
    const bool release = readWord(r.code.data() + v.wordsAt + 2) != 0;
    RpnStack& rs = rpnStack();
    if (operands < 1 || rs.size() != static_cast<size_t>(operands)) return kErrDamaged;
    const RpnEntry* at = rs.rpn_stkbase;
    const bool named = operands % 2 == 1;

    pcb* lib = nullptr;
    if (named) {
        const Cell* c = rpnCellOf(*at++);
        if (!c || !isStringCell(c)) return kErrDamaged;
        std::string path;
        if (int err = mapFileName(cellString(c), path)) return err;
        if (!hasExtension(path)) path += kObjectExtension;
        lib = findLibrary(path);
        if (lib && release && !lib->librelease && lib->libmode == kLibResident &&
            lib->activecalls > 0)
            return kErrReleaseMode;
        if (!lib)
            if (int err = loadLibrary(path, kLibLoaded, lib)) return err;
        if (release) lib->librelease = true;
    }
    int linked = 0;
    for (; at + 1 < rs.rpnStackNext; at += 2) {
        const Cell* fnCell = rpnCellOf(at[0]);
        const Cell* nameCell = rpnCellOf(at[1]);
        if (!fnCell || !nameCell || !isStringCell(nameCell)) return kErrDamaged;
        const int fn = findEntry(*r.pc, fnCell);
        if (!fn) return kErrDamaged;
        const std::string name(cellString(nameCell));
        pcb* from = lib;
        if (!from) {  // the first library already loaded that has the function
            int libfn = 0;
            int16_t line = -1;
            for (pcb* p = pchain.pcbhead; p && !from; p = p->next)
                if (isLibrary(p) && p != r.pc && findFunction(*p, name, libfn, line) == 0) from = p;
            if (!from) return kErrLibraryFunctionMissing;
        }
        if (int err = linkFunction(*r.pc, fn, name, from)) return err;
        ++linked;
    }
    systemValues().itemCount = linked;
    return 0;
}

void releaseLibrary(pcb* lib) {
    for (pcb* p = pchain.pcbhead; p; p = p->next)
        for (LibLink& link : p->liblinks)
            if (link.lib == lib) link.lib = nullptr;
    freePCB(lib);
    clearClauseCache();  // its lines are gone, and a new program may come at its address
}

void endRunLibraries() {
    std::vector<pcb*> released;
    for (pcb* p = pchain.pcbhead; p; p = p->next) {
        if (!p->liblinks.empty()) {
            p->liblinks.clear();
            for (int i = 0; i < p->dictcnt; ++i) {
                de* e = p->dictEntryPointer[static_cast<size_t>(i)].get();
                if (e && e->isFunction() && e->fnline != kFnUnlinked && e->fnline >= kFnLibraryLink)
                    e->fnline = kFnUnlinked;
            }
            p->resolved = false;  // its own DEF lines are found again before the next run
        }
        p->activecalls = 0;
        if (isLibrary(p) && (p->libmode == kLibLoaded || p->librelease)) released.push_back(p);
    }
    for (pcb* lib : released) freePCB(lib);
}

int linkCount(const pcb* lib) {
    int n = 0;
    for (const pcb* p = pchain.pcbhead; p; p = p->next)
        for (const LibLink& link : p->liblinks)
            if (link.lib && (link.lib == lib || (!isLibrary(lib) && p == lib))) ++n;
    return n;
}

}  // namespace vxs
