// Keyword tables and their lookup (see keywords.h).
#include "vxs/compiler/keywords.h"

#include <cstring>

namespace vxs {

KeywordTable::KeywordTable(std::span<const char* const> names, std::span<const uint8_t> codes)
    : names_(names), codes_(codes), mode_(names[0][0]) {
    for (size_t i = names.size(); i-- > 1;) {
        const char c = names[i][0];
        if (c >= 'A' && c <= 'Z') index_[static_cast<size_t>(c - 'A')] = static_cast<uint8_t>(i);
    }
}

namespace {
// Whether `word` matches `keyword`: every character of the word agrees, and in whole-name mode
// the keyword ends with it too.
bool matches(std::string_view word, const char* keyword, bool whole) {
    size_t i = 0;
    for (; i < word.size(); ++i)
        if (keyword[i] == '\0' || keyword[i] != word[i]) return false;
    return !whole || keyword[i] == '\0';
}
}  // namespace

int KeywordTable::lookup(std::string_view word, int* matched) const {
    for (size_t i = 0; i < word.size(); ++i) {  // the word ends at a zero byte or a blank
        if (word[i] == '\0' || word[i] == ' ') {
            word = word.substr(0, i);
            break;
        }
    }
    if (matched) *matched = 0;
    if (word.empty() || word[0] < 'A' || word[0] > 'Z') return 0;
    const int first = index_[static_cast<size_t>(word[0] - 'A')];
    if (first == 0) return 0;
    const bool whole = mode_ != kModeAbbrev && mode_ != kModeAbbrevLength;
    int found = 0;
    for (int p = first; p <= size() && names_[static_cast<size_t>(p)][0] == word[0]; ++p) {
        const bool m = matches(word, names_[static_cast<size_t>(p)], whole);
        if (found) {
            if (m) return 0;  // a second keyword matches too: ambiguous
            break;
        }
        if (m) found = p;
    }
    if (found && matched) *matched = static_cast<int>(word.size());
    return found;
}

int KeywordTable::positionOfCode(uint8_t code) const {
    for (int p = 1; p <= size(); ++p)
        if (codes_[static_cast<size_t>(p)] == code) return p;
    return 0;
}

namespace {

constexpr const char* kStatementNames[] = {
    "\2",      "BREAK",   "CALL",   "CASE",      "CHAIN",   "CLOSE",   "CONTINUE", "DATA",
    "DEF",     "DELETE",  "DIM",    "DISPLAY",   "DO",      "END",     "EXECUTE",  "EXIT",
    "FNEND",   "FOR",     "FORM",   "GOSUB",     "GOTO",    "IF",      "IGNORE",   "INPUT",
    "LET",     "LIBRARY", "LINPUT", "LOOP",      "MAT",     "NEXT",    "ON",       "OPEN",
    "OPTION",  "PAUSE",   "PRINT",  "RANDOMIZE", "READ",    "RELEASE", "REM",      "REREAD",
    "RESERVE", "RESTORE", "RETRY",  "RETURN",    "REWRITE", "RINPUT",  "SELECT",   "STOP",
    "SYSTEM",  "TRACE",   "UNTIL",  "USE",       "WHILE",   "WRITE",
};
constexpr uint8_t kStatementCodes[] = {
    0,  63, 51, 58, 49, 19, 42, 12, 38, 28, 11, 16, 59, 47, 54, 45, 39, 34,
    30, 32, 44, 40, 56, 25, 1,  13, 26, 62, 2,  35, 41, 18, 7,  4,  24, 6,
    20, 29, 3,  22, 31, 17, 43, 33, 23, 27, 57, 46, 55, 8,  61, 5,  60, 21,
};
static_assert(std::size(kStatementNames) == 54 && std::size(kStatementCodes) == 54);

constexpr const char* kClauseNames[] = {
    "",        "ALTERNATE",  "ATTN",     "ATTR",     "BASE",      "BORDER",  "BUTTONS", "COLLATE",
    "CONV",    "DATA",       "DISPLAY",  "DROP",     "DUPREC",    "EBCIDIC", "ELSE",    "EOF",
    "ERROR",   "EVENT",      "EXIT",     "EXTERNAL", "FIELDS",    "FILES",   "FNKEY",   "FREE",
    "HELP",    "INPUT",      "INTERNAL", "INVP",     "IOERR",     "KEY=",    "KEY>=",   "KEYED",
    "LIBRARY", "LOCKED",     "MENU",     "NATIVE",   "NOKEY",     "NONE",    "NOREC",   "OFF",
    "OFLOW",   "ON",         "OUTIN",    "OUTPUT",   "PAGEOFLOW", "POS=",    "PRINT",   "PRTZO",
    "RD",      "REC=",       "RELATIVE", "RELEASE",  "RESERVE",   "RETAIN",  "SEARCH=", "SEARCH>=",
    "SELECT",  "SEQUENTIAL", "SOFLOW",   "STATUS",   "STEP",      "TEXT",    "THEN",    "TIMEOUT",
    "TO",      "USING",      "WAIT=",    "ZDIV",
};
constexpr uint8_t kClauseCodes[] = {
    0,   9,   101, 14,  0,   15,  32, 7,  97, 35,  24,  21,  124, 10,  109, 120, 104,
    103, 127, 13,  19,  118, 102, 22, 99, 26, 25,  2,   121, 48,  49,  31,  111, 107,
    33,  8,   122, 110, 123, 5,   98, 4,  28, 27,  125, 53,  6,   3,   1,   52,  30,
    23,  39,  47,  50,  51,  11,  29, 96, 36, 106, 34,  108, 126, 105, 17,  12,  100,
};
static_assert(std::size(kClauseNames) == 68 && std::size(kClauseCodes) == 68);

constexpr const char* kStringFunctionNames[] = {
    "*",           "CFIELDS$",     "CFORM$",       "CHR$",
    "CHYRON$",     "CNVRT$",       "CONFIG$",      "DATE$",
    "ENV$",        "FILE$",        "HELP$",        "HEX$",
    "KSTAT$",      "KTPLATFORM$",  "KTVERSION$",   "LINEBUFFER$",
    "LINESTATUS$", "LOGIN_NAME$",  "LPAD$",        "LTRM$",
    "LWRC$",       "MAX$",         "MENU$",        "MIN$",
    "MSG$",        "OS_FILENAME$", "PIC$",         "PROGRAM$",
    "RPAD$",       "RPT$",         "RTRM$",        "SESSION$",
    "SREP$",       "STR$",         "SYSERR$",      "TIME$",
    "TRIM$",       "UNHEX$",       "UPRC$",        "UPSI$",
    "USERID$",     "VARIABLE$",    "VX_FILENAME$", "WSID$",
    "XLATE$",      "XPOS$",
};
constexpr uint8_t kStringFunctionCodes[] = {
    0,  41, 40,  49, 104, 101, 43, 17, 42, 64, 83, 35, 0,  7,  6,  67, 66, 20, 81, 32,  37, 99, 19,
    98, 38, 112, 16, 4,   82,  80, 33, 5,  96, 48, 21, 18, 44, 34, 36, 39, 2,  3,  113, 1,  97, 103,
};
static_assert(std::size(kStringFunctionNames) == 46 && std::size(kStringFunctionCodes) == 46);

constexpr const char* kNumericFunctionNames[] = {
    "*",          "ATN",      "BELL",    "CALL",   "CEIL",   "CMDKEY",  "CNT",  "CODE",
    "COS",        "CURCOL",   "CURFLD",  "CURROW", "CURTAB", "DATE",    "DAYS", "DEG",
    "DLL",        "ERR",      "EXISTS",  "EXP",    "FILE",   "FILENUM", "FKEY", "FP",
    "FREESP",     "INF",      "IP",      "KLN",    "KPS",    "KREC",    "LEN",  "LINE",
    "LINES",      "LINESPP",  "LOG",     "LREC",   "MAX",    "MENU",    "MIN",  "MOD",
    "MSG",        "MSGBOX",   "NEWPAGE", "NXTFLD", "ORD",    "PI",      "POS",  "PRINTER_LIST",
    "PROCIN",     "PROCLVL",  "RAD",     "REC",    "REM",    "RLN",     "RND",  "ROUND",
    "SCR_FREEZE", "SCR_THAW", "SETENV",  "SHIFT",  "SIN",    "SLEEP",   "SQR",  "SRCH",
    "SUM",        "SYSERR",   "TAN",     "TIMER",  "TRUNC",  "UDIM",    "VAL",  "VERSION",
};
constexpr uint8_t kNumericFunctionCodes[] = {
    0,  56, 14, 105, 48,  5,   4,  0,  54, 9,   12,  8,   62, 103, 104, 59,  128, 1,
    36, 52, 64, 6,   13,  51,  65, 10, 50, 66,  67,  71,  32, 2,   72,  73,  53,  70,
    97, 19, 96, 100, 129, 106, 15, 21, 34, 11,  102, 115, 16, 7,   60,  68,  99,  69,
    18, 98, 23, 24,  37,  17,  55, 61, 57, 113, 114, 22,  58, 20,  49,  112, 33,  74,
};
static_assert(std::size(kNumericFunctionNames) == 72 && std::size(kNumericFunctionCodes) == 72);

// The lister writes a blank after these keywords unless the typed text says otherwise; all
// statement keywords take one.
constexpr uint8_t kListerBlankAfter = 1;

}  // namespace

const KeywordTable& statementKeywords() {
    static const KeywordTable table(kStatementNames, kStatementCodes);
    return table;
}

uint8_t statementListerFlags(int position) {
    return position >= 1 && position <= statementKeywords().size() ? kListerBlankAfter : 0;
}

const KeywordTable& clauseKeywords() {
    static const KeywordTable table(kClauseNames, kClauseCodes);
    return table;
}

const char* clauseKeywordName(uint8_t code) {
    const int p = clauseKeywords().positionOfCode(code);
    // BASE has code 0 like the dummy entry: positionOfCode finds the dummy first.
    if (code == 0) return "BASE";
    return p ? clauseKeywords().name(p) : nullptr;
}

const KeywordTable& stringFunctions() {
    static const KeywordTable table(kStringFunctionNames, kStringFunctionCodes);
    return table;
}

const KeywordTable& numericFunctions() {
    static const KeywordTable table(kNumericFunctionNames, kNumericFunctionCodes);
    return table;
}

}  // namespace vxs
