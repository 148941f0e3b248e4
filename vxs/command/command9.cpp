// Miscellaneous commands: RENUM (every line reference follows its line), BREAK and DISPLAY
// (break points on line:clause, on variables, value display, stepping and trace), and DATE and
// TIME with the system's own clock.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "vxs/command/cmdshared.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/run.h"
#include "vxs/platform/os.h"
#include "vxs/registry/ktuser.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {


// Rewrites the line-number tokens of a stored source text in place (they keep their size).
void renumberSource(uint8_t* text, size_t length, const std::map<uint32_t, uint32_t>& numbers) {
    for (size_t i = 0; i < length;) {
        const uint8_t b = text[i];
        if (b == kSrcLineNum && i + 5 <= length) {
            const uint32_t n = text[i + 1] | uint32_t{text[i + 2]} << 8 | uint32_t{text[i + 3]} << 16;
            if (auto it = numbers.find(n); it != numbers.end()) {
                text[i + 1] = static_cast<uint8_t>(it->second);
                text[i + 2] = static_cast<uint8_t>(it->second >> 8);
                text[i + 3] = static_cast<uint8_t>(it->second >> 16);
                // Leading zeros as typed ("GOTO 0100") stay; otherwise the new number is
                // written with its own digits.
                if (text[i + 4] <= std::to_string(n).size()) text[i + 4] = 0;
            }
            i += 5;
        } else if ((b == kSrcKeyword || b == kSrcComment) && i + 2 <= length) {
            i += 2 + text[i + 1];
        } else if ((b == kSrcLiteral || b == kSrcClauseKw) && i + 2 <= length) {
            i += 2;
        } else {
            ++i;
        }
    }
}

// "line[:clause]" with clause 1 when absent.
bool parseLineClause(std::string_view w, uint32_t& line, int& clause) {
    const size_t colon = w.find(':');
    uint32_t c = 1;
    if (!parseDecimal(w.substr(0, colon), kMaxLineNumber, line) || line == 0) return false;
    if (colon != std::string_view::npos && (!parseDecimal(w.substr(colon + 1), 255, c) || c == 0))
        return false;
    clause = static_cast<int>(c);
    return true;
}

void listBreaks(const pcb& pc) {
    char text[80];
    for (const pcb::BreakPoint& b : pc.breakpoints) {
        snprintf(text, sizeof text, "BREAK LINE %05u:%02d", b.line, b.clause);
        consoleOutput(text);
    }
    for (const Watch& w : t.watches)
        consoleOutput((w.display ? "DISPLAY VARIABLE " : "BREAK VARIABLE ") + dictName(pc, w.index));
}

// The day count of a civil date (days since 1970-01-01), for checking dates.
bool validDate(int year, int month, int day) {
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    if (month == 2 && day == 29 && year % 4 != 0) return false;
    return year >= 1970 && year <= 2037;
}

// Three groups of digits, each ended by '/', ':' or '-' (the last by the end of the text).
bool threeGroups(std::string_view text, int out[3]) {
    int k = 0;
    size_t i = 0;
    while (k < 3) {
        size_t j = i;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
        uint32_t v;
        if (j == i || !parseDecimal(text.substr(i, j - i), 9999, v)) return false;
        out[k++] = static_cast<int>(v);
        if (j == text.size()) break;
        if (text[j] != '/' && text[j] != ':' && text[j] != '-') return false;
        i = j + 1;
    }
    return k == 3 && i <= text.size();
}

}  // namespace

int commandRenumber(std::string_view args) {
    uint32_t start = 10, increment = 10;
    bool startGiven = false;
    if (int err = parseStartIncrement(args, start, increment, startGiven)) return err;
    pcb* pc = pchain.curpcb;
    if (!pc) return kErrNoProgram;
    const std::vector<int> order = linesInOrder(*pc);
    if (order.empty()) return 0;
    if (start + uint64_t{increment} * (order.size() - 1) > static_cast<uint64_t>(kMaxLineNumber))
        return kErrLineNumber;
    std::vector<uint32_t> renumbered(static_cast<size_t>(pc->linecnt), 0);
    std::map<uint32_t, uint32_t> byOld;
    for (size_t k = 0; k < order.size(); ++k) {
        const uint32_t n = static_cast<uint32_t>(start + increment * k);
        renumbered[static_cast<size_t>(order[k])] = n;
        byOld[pc->lineptr[static_cast<size_t>(order[k])].lineno()] = n;
    }
    resolveAndRenumber(*pc, &renumbered);
    for (int i : order) {
        linetbl& e = pc->lineptr[static_cast<size_t>(i)];
        const std::string_view src = lineSource(*pc, i);
        if (!src.empty()) {
            std::vector<uint8_t>& area =
                (e.flags() & LF_SOURCE_IN_CODE) ? pc->codearea : pc->sourcearea;
            renumberSource(area.data() + e.source, src.size(), byOld);
        }
        e.setLineno(renumbered[static_cast<size_t>(i)]);
    }
    for (pcb::BreakPoint& b : pc->breakpoints)
        if (auto it = byOld.find(b.line); it != byOld.end()) b.line = it->second;
    if (auto it = byOld.find(pc->stopline); it != byOld.end()) pc->stopline = it->second;
    pc->resolved = false;
    return 0;
}

namespace {
int setBreaks(std::string_view args, bool display);
}

int commandBreak(std::string_view args, bool display) {
    const int err = setBreaks(args, display);
    noteWatchChange();  // a run resumed later looks at what now watches it
    return err;
}

namespace {
// BREAK and DISPLAY: lists, sets or clears break points, stepping, tracing and watched variables.
int setBreaks(std::string_view args, bool display) {
    pcb* pc = pchain.curpcb;
    if (!pc) return kErrNoProgram;
    const std::vector<std::string> words = splitArguments(args);
    if (words.empty()) {
        listBreaks(*pc);
        return 0;
    }
    bool off = false;
    for (const std::string& w : words) {
        const std::string u = upperCase(w);
        if (u == "OFF") {
            off = true;
            continue;
        }
        if (!display) {
            switch (lookupOption(u)) {
                case OptStep: t.stepmode = kStepInto; t.breakflags |= kBreakRequested; continue;
                case OptNostep: t.stepmode = 0; continue;
                case OptTrace: t.breakflags |= kTraceOn; continue;
                case OptNotrace: t.breakflags &= static_cast<uint8_t>(~kTraceOn); continue;
                default: break;
            }
        }
        uint32_t line;
        int clause;
        if (!display && std::isdigit(static_cast<unsigned char>(u[0]))) {
            if (!parseLineClause(u, line, clause)) return kErrUnrecognized;
            std::erase_if(pc->breakpoints, [&](const pcb::BreakPoint& b) {
                return b.line == line && b.clause == clause;
            });
            if (!off) pc->breakpoints.push_back({line, clause, false});
            continue;
        }
        // A variable: a scalar name known to the program.
        const int index = findName(*pc, u);
        const de* e = index ? dictEntry(*pc, index) : nullptr;
        if (!e || e->isFunction() || (e->attr & DA_DIMENSIONED)) return kErrUnrecognized;
        std::erase_if(t.watches, [&](const Watch& x) { return x.index == index && x.display == display; });
        if (!off) t.watches.push_back({index, display, watchValue(*pc, index)});
    }
    if (off && words.size() == 1) {  // OFF alone: all of this kind
        if (!display) pc->breakpoints.clear();
        std::erase_if(t.watches, [&](const Watch& x) { return x.display == display; });
    }
    return 0;
}
}  // namespace

int commandDateTime(std::string_view args, bool date) {
    args = trimBlanks(args);
    const double clock = systemClock();
    platform::LocalTime now = platform::localTimeAt(static_cast<int64_t>(std::floor(clock)));
    char text[32];
    if (args.empty()) {
        if (date)
            snprintf(text, sizeof text, "%02d/%02d/%02d", now.year % 100, now.month, now.day);
        else
            snprintf(text, sizeof text, "%02d:%02d:%02d", now.hour, now.minute, now.second);
        consoleOutput(text);
        return 0;
    }
    int g[3];
    if (!threeGroups(args, g)) return kErrBadDateTime;
    if (date) {
        int year = g[2];
        if (year < 100) year += year < 70 ? 2000 : 1900;
        if (!validDate(year, g[0], g[1])) return kErrBadDateTime;
        now.year = year;
        now.month = g[0];
        now.day = g[1];
    } else {
        if (g[0] > 23 || g[1] > 59 || g[2] > 59) return kErrBadDateTime;
        now.hour = g[0];
        now.minute = g[1];
        now.second = g[2];
    }
    const double moment = platform::epochFromLocal(now);
    if (moment < 0) return kErrBadDateTime;
    const double fraction = clock - std::floor(clock);
    setClockOffset(clockOffset() + moment + fraction - clock);
    return 0;
}

}  // namespace vxs
