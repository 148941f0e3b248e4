// Procedure files: PROC and SUBPROC read commands and program lines from a text file, one per
// line (SUBPROC nests and returns to the reader it interrupted, PROC takes the place of the
// procedure that runs it), PROCERR chooses whether an error ends them, SKIP passes over lines.
#include "vxs/command/cmdshared.h"
#include "vxs/command/command.h"
#include "vxs/compiler/progfile.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/platform/files.h"

namespace vxs {

namespace {
inline constexpr size_t kMaxProcedureDepth = 16;
}  // namespace

int commandProcedure(std::string_view args, bool sub) {
    std::string_view name = trimBlanks(args);
    if (!name.empty() && name[0] == '*') name = trimBlanks(name.substr(1));
    name = unquoted(name);
    if (name.empty()) return kErrFileName;
    std::string path;
    if (int err = mapFileName(name, path)) return err;
    std::vector<uint8_t> bytes;
    if (int err = readProgramFile(path, bytes)) return err;
    Procedure p;
    p.name = path;
    p.sub = sub;
    for (std::string_view line :
         textLines({reinterpret_cast<const char*>(bytes.data()), bytes.size()}))
        p.lines.emplace_back(line);
    CommandWork& w = commandWork();
    if (!sub && !w.procedures.empty()) w.procedures.pop_back();  // PROC replaces its caller
    if (w.procedures.size() >= kMaxProcedureDepth) return kErrFlowStack;
    w.procedures.push_back(std::move(p));
    return 0;
}

int commandProcErr(std::string_view args) {
    switch (lookupOption(trimBlanks(args))) {
        case OptReturn: commandWork().procErrReturn = true; return 0;
        case OptStop: commandWork().procErrReturn = false; return 0;
        default: return kErrUnrecognized;
    }
}

int commandSkip(std::string_view args) {
    CommandWork& w = commandWork();
    uint32_t n = 1;
    args = trimBlanks(args);
    if (!args.empty() && !parseDecimal(args, 99999, n)) return kErrUnrecognized;
    if (w.procedures.empty()) return kErrUnrecognized;  // nothing to pass over
    Procedure& p = w.procedures.back();
    p.next = std::min(p.lines.size(), p.next + n);
    return 0;
}

bool nextProcedureLine(std::string& line) {
    CommandWork& w = commandWork();
    while (!w.procedures.empty()) {
        Procedure& p = w.procedures.back();
        if (p.next < p.lines.size()) {
            line = p.lines[p.next++];
            return true;
        }
        w.procedures.pop_back();
    }
    return false;
}

void closeAllProcedures() {
    commandWork().procedures.clear();
}

}  // namespace vxs
