// LIST and DEL: the argument forms (line numbers, labels, one range, `*`, quoted search texts
// with REPLACE, -P, `>` output file, `<` program file, option words), the selection of lines,
// and listing, replacing or deleting them.
#include <algorithm>
#include <cctype>
#include <memory>

#include "vxs/clientserver/remoteops.h"
#include "vxs/command/cmdshared.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/lister.h"
#include "vxs/compiler/progfile.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/screen/statline.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/interpreter/run.h"
#include "vxs/platform/files.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

inline constexpr size_t kScreenLines = 20;  // lines of one screenful (`*`)

struct Selection {
    std::vector<uint32_t> singles;
    bool range = false;
    uint32_t low = 1, high = kMaxLineNumber;
    bool openLow = false;  // the range was written "-n"
    bool screenful = false;
    bool page = false;
    bool print = false;
    bool clauses = false;
    std::vector<std::string> searches;
    bool replace = false;
    std::string replacement;
    std::string outFile, inFile;
};

// A quoted word without its quotes, doubled quotes standing for one.
bool unquote(std::string_view w, std::string& out) {
    if (w.size() < 2 || w.front() != '"' || w.back() != '"') return false;
    out.clear();
    for (size_t i = 1; i + 1 < w.size(); ++i) {
        out += w[i];
        if (w[i] == '"') {
            if (i + 2 >= w.size() || w[i + 1] != '"') return false;
            ++i;
        }
    }
    return true;
}

// The line whose label is `name`, -1 when none.
int findLabelLine(const pcb& pc, std::string_view name) {
    const int index = findName(pc, upperCase(name));
    if (!index) return -1;
    for (int i : linesInOrder(pc)) {
        const std::span<const uint8_t> code = lineCode(pc, i);
        ClauseView v;
        if (atLineEnd(code, 0) || decodeClause(code, 0, v) || !v.direct || v.code != StLabel)
            continue;
        if (readWord(code.data() + v.wordsAt) == index) return i;
    }
    return -1;
}

int parseSelection(const pcb& pc, std::string_view args, bool listing, Selection& s) {
    const std::vector<std::string> words = splitArguments(args);
    bool expectReplacement = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w[0] == '>' || w[0] == '<') {
            std::string name = w.substr(1);
            if (name.empty() && i + 1 < words.size()) name = words[++i];
            std::string& into = w[0] == '>' ? s.outFile : s.inFile;
            if (!listing) return kErrUnrecognized;
            if (!into.empty() || name.empty()) return kErrFileName;
            if (name.size() >= 2 && name.front() == '"' && !unquote(name, name))
                return kErrUnrecognized;
            into = name;
            continue;
        }
        if (expectReplacement) {
            if (!unquote(w, s.replacement)) return kErrUnrecognized;
            expectReplacement = false;
            continue;
        }
        if (w[0] == '"') {
            std::string text;
            if (!unquote(w, text) || text.empty() || s.replace) return kErrUnrecognized;
            s.searches.push_back(text);
            continue;
        }
        if (w == "*") {
            s.screenful = true;
            continue;
        }
        if (w == "-P" || w == "-p") {
            s.page = true;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '-') {
            const size_t dash = w.find('-');
            if (dash == std::string::npos) {
                uint32_t n;
                if (!parseDecimal(w, kMaxLineNumber, n) || n == 0) return kErrUnrecognized;
                s.singles.push_back(n);
                continue;
            }
            if (s.range) return kErrUnrecognized;  // one range only
            const std::string lo = w.substr(0, dash), hi = w.substr(dash + 1);
            if ((!lo.empty() && !parseDecimal(lo, kMaxLineNumber, s.low)) ||
                (!hi.empty() && !parseDecimal(hi, kMaxLineNumber, s.high)) || (lo.empty() && hi.empty()))
                return kErrUnrecognized;
            s.openLow = lo.empty();
            if (s.low > s.high) return kErrRangeOrder;
            s.range = true;
            continue;
        }
        switch (lookupOption(w)) {
            case OptPrint: s.print = true; continue;
            case OptClauses: s.clauses = true; continue;
            case OptSkip:
            case OptNoeject: continue;
            case OptReplace:
                if (s.searches.size() != 1 || s.replace) return kErrUnrecognized;
                s.replace = expectReplacement = true;
                continue;
            default: break;
        }
        if (std::isalpha(static_cast<unsigned char>(w[0]))) {  // a label
            const int line = findLabelLine(pc, w);
            if (line < 0) return kErrUnrecognized;
            s.singles.push_back(pc.lineptr[static_cast<size_t>(line)].lineno());
            continue;
        }
        return kErrUnrecognized;
    }
    if (expectReplacement) return kErrUnrecognized;
    return 0;
}

// The lines chosen, in line-number order.
std::vector<int> selectLines(const pcb& pc, const Selection& s) {
    std::vector<int> out;
    const bool all = s.singles.empty() && !s.range;
    for (int i : linesInOrder(pc)) {
        const uint32_t n = pc.lineptr[static_cast<size_t>(i)].lineno();
        const bool inRange = s.range && n >= s.low && n <= s.high;
        const bool single = std::find(s.singles.begin(), s.singles.end(), n) != s.singles.end();
        if (!(all || inRange || single)) continue;
        if (!s.searches.empty()) {
            const std::string listed = listLine(pc, i);
            const std::string text = listed.size() > 6 ? listed.substr(6) : std::string();
            bool found = false;
            for (const std::string& t : s.searches) found = found || text.find(t) != std::string::npos;
            if (!found) continue;
        }
        out.push_back(i);
    }
    if (s.screenful && out.size() > kScreenLines) {
        if (s.openLow)  // "-n": the screenful that ends at n
            out.erase(out.begin(), out.end() - static_cast<long>(kScreenLines));
        else
            out.resize(kScreenLines);
    }
    return out;
}

// A listed line split at its clause separators, the later clauses indented under the text.
void splitClauses(const std::string& text, std::vector<std::string>& out) {
    bool quoted = false;
    size_t start = 0;
    auto piece = [&](size_t from, size_t to) {
        std::string p = text.substr(from, to - from);
        p.erase(p.find_last_not_of(' ') + 1);
        out.push_back(from ? std::string(6, ' ') + p : p);
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (!quoted && text[i] == '!') break;  // a comment runs to the end of the line
        if (!quoted && text[i] == '\\' && i > start) {
            piece(start, i);
            start = i;
        }
    }
    piece(start, text.size());
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size()))
        text.replace(p, from.size(), to);
    return text;
}

}  // namespace

int commandListDelete(int code, std::string_view args) {
    pcb* current = pchain.curpcb;
    if (!current) return kErrNoProgram;
    const bool listing = code != CmdDel;
    Selection s;
    if (int err = parseSelection(*current, args, listing, s)) return err;
    if (s.print) return kErrNotAvailable;  // printers come with the printing subsystem

    // `<` lists a program file instead of the current program.
    std::unique_ptr<pcb> other;
    const pcb* pc = current;
    if (!s.inFile.empty()) {
        std::string path;
        if (int err = programPath(s.inFile, kObjectExtension, path)) return err;
        std::vector<uint8_t> bytes;
        if (int err = readProgramFile(path, bytes)) return err;
        if (bytes.size() < kHeaderSize || bytes[8] < 9 || bytes[8] > 11) return kErrNotProgramFile;
        if (bytes[8] != kProgramFileMark) return kErrNotAvailable;
        other = std::make_unique<pcb>();
        if (!allocatePCBTables(*other, 1, 1)) return kErrNoMemory;
        resetProgram(*other);
        if (int err = readProgramImage(bytes, *other, kLoadPlain, true)) return err;
        pc = other.get();
    }

    if (!listing) {  // DEL: something must be named; the whole program goes only by a range
        if (s.singles.empty() && !s.range && s.searches.empty()) return kErrUnrecognized;
        std::vector<uint32_t> numbers;
        for (int i : selectLines(*current, s))
            numbers.push_back(current->lineptr[static_cast<size_t>(i)].lineno());
        for (uint32_t n : numbers) deleteLine(*current, n);
        if (!numbers.empty()) current->resolved = false;
        return 0;
    }

    if (s.replace) {  // LIST "old" REPLACE "new": changed lines are compiled again and listed
        if (pc != current) return kErrUnrecognized;
        std::vector<std::string> changed;
        for (int i : selectLines(*current, s))
            if (std::string l = listLine(*current, i); l.size() > 6) changed.push_back(l);
        CompileOptions o;
        o.programActive = programActive();
        for (const std::string& before : changed) {
            // The line number stays; only the text after it changes.
            const std::string after =
                before.substr(0, 6) + replaceAll(before.substr(6), s.searches[0], s.replacement);
            const int err = enterLine(*current, after, o);
            if (err) return err < 0 ? -err : err;
            consoleOutput(after);
        }
        return 0;
    }

    std::vector<std::string> out;
    for (int i : selectLines(*pc, s)) {
        const std::string text = listLine(*pc, i);
        if (text.empty()) continue;  // held without source
        if (s.clauses)
            splitClauses(text, out);
        else
            out.push_back(text);
    }
    if (!s.outFile.empty()) {
        std::string path;
        if (int err = mapFileName(s.outFile, path)) return err;
        std::string all;
        for (const std::string& l : out) all.append(l).append("\n");
        if (platform::writeFileSafely(path, {reinterpret_cast<const uint8_t*>(all.data()), all.size()}))
            return lastOsError();
        return 0;
    }
    size_t shown = 0;
    for (const std::string& l : out) {
        consoleOutput(l);
        if (s.page && ++shown % kScreenLines == 0 && shown < out.size()) {
            std::string answer;  // -P: wait for Enter after each screenful; Q stops
            statusShowMessage(kMoreCue);
            const int32_t got = consoleInput(answer, kCommandFieldWidth, kInputCommand);
            statusShowMessage("");
            if (got != kInputLine || answer.starts_with('q') || answer.starts_with('Q')) break;
        }
    }
    return 0;
}

}  // namespace vxs
