// Program file commands: LOAD (compiled or source files), RUN with a file, SAVE and REPLACE
// (with the .bak copy, written under a temporary name and renamed into place), MERGE, and EDIT
// with the external editor.  A load is read into a block of its own and takes the place of the
// current program only when it succeeded, so a failed load keeps the program in memory.
#include <algorithm>
#include <cstring>
#include <memory>

#include "vxs/command/cmdshared.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/lister.h"
#include "vxs/compiler/progfile.h"
#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/base/version.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/run.h"
#include "vxs/platform/files.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

struct FileArgs {
    std::string name;
    bool source = false, object = false, resident = false;
};

int parseFileArgs(std::string_view args, bool allowResident, FileArgs& out) {
    for (const std::string& w : splitArguments(args)) {
        const int opt = w[0] == '"' || w[0] == '\'' ? 0 : lookupOption(w);
        if (opt == OptSource && !out.object) {
            out.source = true;
        } else if (opt == OptObject && !out.source) {
            out.object = true;
        } else if (opt == OptResident && allowResident) {
            out.resident = true;
        } else if (out.name.empty() && !opt) {
            out.name = unquoted(w);
        } else {
            return kErrUnrecognized;
        }
    }
    return 0;
}

std::unique_ptr<pcb> scratchProgram() {
    auto pc = std::make_unique<pcb>();
    if (!allocatePCBTables(*pc, kDefaultLineCapacity, kDefaultDictCapacity)) return nullptr;
    resetProgram(*pc);
    initConditionTargets(*pc);
    return pc;
}

void setProgramName(pcb& pc, std::string_view name) {
    const size_t n = std::min(name.size(), sizeof pc.progname - 1);
    memcpy(pc.progname, name.data(), n);
    pc.progname[n] = '\0';
    pc.basenamelen = baseNameLength(pc.progname);
}

// The loaded program takes the place of the current one (the block stays in the chain).
void install(pcb& fresh, std::string_view name) {
    pcb* current = pchain.curpcb;
    pcb* next = current->next;
    *current = std::move(fresh);
    current->next = next;
    t.watches.clear();  // they name slots of the program that was replaced
    noteWatchChange();
    setProgramName(*current, name);
    current->curline = current->firstline >= 0 ? current->firstline : 0;
    current->savedclauseoffset = 0;
    current->resolved = false;
}

// Finds the file LOAD means: the name as given, else with the object and then the source
// extension added.
int findProgramFile(std::string_view name, std::string& path) {
    if (int err = programPath(name, "", path)) return err;
    if (platform::fileExists(path.c_str()) || hasExtension(path)) return 0;
    for (const char* ext : {kObjectExtension, kSourceExtension}) {
        if (platform::fileExists((path + ext).c_str())) {
            path += ext;
            return 0;
        }
    }
    return 0;  // reading it reports that it does not exist
}

int readProgram(const std::string& path, const FileArgs& a, std::unique_ptr<pcb>& out) {
    std::vector<uint8_t> bytes;
    if (int err = readProgramFile(path, bytes)) return err;
    out = scratchProgram();
    if (!out) return kErrNoMemory;
    const bool object = a.object || (!a.source && looksLikeProgramFile(bytes));
    if (object) return readProgramImage(bytes, *out, kLoadPlain, true);
    std::string failed;
    const int err = enterSourceText(
        *out, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, &failed);
    if (err && !failed.empty()) consoleOutput(failed);
    return err;
}

}  // namespace

int programPath(std::string_view name, std::string_view ext, std::string& path) {
    if (trimBlanks(name).empty()) return kErrFileName;
    if (int err = mapFileName(name, path)) return err;
    if (!ext.empty() && !hasExtension(path)) path += ext;
    return 0;
}

std::string programListing(const pcb& pc) {
    std::string out;
    for (int i : linesInOrder(pc)) {
        const std::string line = listLine(pc, i);
        if (!line.empty()) out.append(line).append("\n");
    }
    return out;
}

int enterSourceText(pcb& pc, std::string_view text, std::string* failed) {
    CompileOptions o;
    o.programActive = programActive() && &pc == pchain.curpcb;
    for (std::string_view line : textLines(text)) {
        line = trimBlanks(line);
        if (line.empty()) continue;
        int err = 0;
        if (line.size() > kCommandFieldWidth)
            err = kErrCommandTooLong;
        else if (line[0] < '0' || line[0] > '9')
            err = kErrUnrecognized;  // every line of a program's source has its number
        else if (const int e = enterLine(pc, line, o))
            err = e < 0 ? -e : e;
        if (err) {
            if (failed) *failed = std::string(line);
            return err;
        }
    }
    return 0;
}

int commandLoad(std::string_view args, bool thenRun) {
    FileArgs a;
    if (int err = parseFileArgs(args, !thenRun, a)) return err;
    if (a.name.empty()) return kErrFileName;
    if (!pchain.curpcb) return kErrNoProgram;
    std::string path;
    if (int err = findProgramFile(a.name, path)) return err;
    if (a.resident) {  // a library that stays loaded across runs, beside the program
        pcb* lib = findLibrary(path);
        if (lib) {
            if (lib->activecalls > 0) return kErrReleaseMode;
            lib->libmode = kLibResident;
            lib->librelease = false;
            return 0;
        }
        return loadLibrary(path, kLibResident, lib);
    }
    std::unique_ptr<pcb> fresh;
    if (int err = readProgram(path, a, fresh)) return err;
    install(*fresh, path);
    setRunStatusShown(RUNSTAT_READY);
    if (!thenRun) return 0;
    if (pchain.curpcb->firstline == kNoLines) return kErrNoProgram;
    prepareRun(*pchain.curpcb);
    pchain.curpcb->curline = pchain.curpcb->firstline;
    setActionCode(kActRun);
    return kLeftCommandMode;
}

int commandSave(std::string_view args, bool replace) {
    FileArgs a;
    if (int err = parseFileArgs(args, false, a)) return err;
    pcb* pc = pchain.curpcb;
    if (!pc) return kErrNoProgram;
    std::string path;
    if (a.name.empty()) {  // the program's own name
        // A new program carries the release text until it is saved or loaded under a name.
        if (!pc->progname[0] || strcmp(pc->progname, kReleaseText) == 0) return kErrFileName;
        // It is the path the program was loaded from or saved to: mapped once already, so
        // "acct/pay.vxp" is not read again as the name "acct" in the directory "pay.vxp".
        path = pc->progname;
        if (a.source && !hasExtension(path)) path += kSourceExtension;
    } else if (int err =
                   programPath(a.name, a.source ? kSourceExtension : kObjectExtension, path)) {
        return err;
    }
    const bool exists = platform::fileExists(path.c_str());
    if (exists && !replace) return kErrFileExists;
    setRunStatusShown(replace ? RUNSTAT_REPLACE : RUNSTAT_SAVE);
    if (!(pc->progflags & 0x80)) statusShowMessage(" Save Continued");
    struct SaveShown {  // the message tells of a save in progress, not of one finished
        ~SaveShown() {
            if (statusText(kStatusFieldMessage) == " Save Continued") statusShowMessage("");
        }
    } saveShown;

    std::vector<uint8_t> image;
    if (a.source) {
        const std::string text = programListing(*pc);
        image.assign(text.begin(), text.end());
    } else if (int err = writeProgramImage(*pc, pc->progflags & PF_PROTECTED, image)) {
        setRunStatusShown(RUNSTAT_READY);
        return err;
    }
    int err = 0;
    // REPLACE keeps the old file as .bak; the new file is written under a temporary name and
    // renamed over the old one, so a failed write never loses the program on disk.
    if (exists && !optionOn(kOptionNoBackup) &&
        platform::copyFile(path, replaceExtension(path, ".bak")) != 0)
        err = lastOsError();
    if (!err && platform::writeFileSafely(path, image) != 0) err = lastOsError();
    if (!err && !a.source) setProgramName(*pc, path);
    setRunStatusShown(RUNSTAT_READY);
    return err;
}

int commandMerge(std::string_view args) {
    const std::vector<std::string> names = splitArguments(args);
    if (names.empty()) return kErrFileName;
    if (!pchain.curpcb) return kErrNoProgram;
    for (const std::string& quoted : names) {
        const std::string_view name = unquoted(quoted);
        std::string path;
        if (int err = findProgramFile(name, path)) return err;
        std::vector<uint8_t> bytes;
        if (int err = readProgramFile(path, bytes)) return err;
        std::string text;
        if (looksLikeProgramFile(bytes)) {  // a compiled program merges through its source
            std::unique_ptr<pcb> other = scratchProgram();
            if (!other) return kErrNoMemory;
            if (int err = readProgramImage(bytes, *other, kLoadPlain, true)) return err;
            text = programListing(*other);
        } else {
            text.assign(bytes.begin(), bytes.end());
        }
        std::string failed;
        if (int err = enterSourceText(*pchain.curpcb, text, &failed)) {
            if (!failed.empty()) consoleOutput(failed);
            return err;
        }
    }
    return 0;
}

int commandEdit(std::string_view args) {
    if (!trimBlanks(args).empty()) return kErrUnrecognized;
    if (programActive()) return kErrProgramActive;
    pcb* pc = pchain.curpcb;
    if (!pc) return kErrNoProgram;
    std::string editor = editorCommand();
    if (editor.empty()) (void)platform::environmentValue("EDITOR", editor);
    if (editor.empty()) editor = "vi";
    std::string dir = workPath();
    if (dir.empty()) dir = "./";
    const std::string path =
        dir + "vxedit" + std::to_string(platform::processId()) + kSourceExtension;
    const std::string text = programListing(*pc);
    if (platform::writeFileSafely(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()}))
        return lastOsError();
    // The editor has the terminal to itself while it runs.
    (void)screenAction(kScreenSuspend);
    const int status = platform::runShellCommand(editor + " '" + path + "'");
    (void)screenAction(kScreenResume);
    int err = status < 0 ? lastOsError() : 0;
    std::vector<uint8_t> edited;
    if (!err) err = readProgramFile(path, edited);
    (void)platform::removeFile(path.c_str());
    if (err) return err;
    std::unique_ptr<pcb> fresh = scratchProgram();
    if (!fresh) return kErrNoMemory;
    std::string failed;
    if (int e = enterSourceText(*fresh, {reinterpret_cast<const char*>(edited.data()), edited.size()},
                                &failed)) {
        if (!failed.empty()) consoleOutput(failed);
        return e;  // the program in memory stays as it was
    }
    fresh->progflags = pc->progflags;
    memcpy(fresh->progoptions, pc->progoptions, sizeof pc->progoptions);
    const std::string name = pc->progname;
    install(*fresh, name);
    return 0;
}

}  // namespace vxs
