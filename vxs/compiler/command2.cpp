// The line compiler (see command2.h).
//
// A clause is compiled into two buffers: the expression section (count byte, operand words,
// operator items: everything the interpreter evaluates) and the parts (items after the
// statement item that describe the clause's structure).  They are joined with the statement
// item into the clause's code (codes.h).  Statements with clause parts are parsed by walking
// their syntax program; the others by their own routines.
#include "vxs/compiler/command2.h"

#include <cstring>
#include <utility>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/command7.h"
#include "vxs/compiler/keywords.h"
#include "vxs/compiler/linetable.h"

namespace vxs {

namespace {

// ---- syntax programs ----
//
// A statement with clause parts is described by a syntax program: a byte string that the walker
// (runSeq) reads left to right while it consumes the typed clause after the statement keyword.
// There are three kinds of byte, told apart by bits 6-7:
//
//   00kk kkkk  an element: something typed, kind in bits 0-2, flags in bits 3-5
//   10kk kkkk  a clause keyword: a second byte, the keyword's element code, follows; bits 0-2
//              give the kind of the element typed directly after the keyword (0: none), bits
//              3-5 the same flags as an element
//   01.. .sss  a control step: bits 0-2 say which
//
// Element kinds (bits 0-2), with what each reads and what it writes into the clause's code:
//   0        (the byte 0x00) an empty element: its level ends here, matched; a program of this
//            byte alone accepts nothing after the keyword
//   1 E_STR  a string expression               -> the expression section
//   2 E_NUM  a numeric expression              -> the expression section
//   3 E_LIST the statement's item list (targets, values, the print list or one string target:
//            see the statement table)           -> a list part with the item count
//   4 E_SVAR a string target; 5 E_NVAR a numeric target -> the expression section
//   6 E_LREF a line number or a label          -> a line part (LREF)
//   7 E_FILE '#' and a numeric expression      -> a file part (with the number as its word when
//            it is a small constant, else the number goes to the expression section)
// Flags:
//   REQ   (0x08) required: at level 0 a missing element is error 1001 (kCeSyntax), a missing
//         keyword error 1022 (kCeKeywordMissing); inside a group or choice it has no effect
//   ALSO  (0x10) a further option: a line reference may also be a string expression
//   CLOSE (0x20) the item ends its level, as END after it would (no program uses it at present)
//
// A clause keyword is matched by its written name (REC=, KEY>=, USING, ...: clauseKeywords()).
// Codes below 64 write a part item of that code (kind = code); its value, when it takes one, is
// compiled into the expression section, where the interpreter finds it as the clause's next
// operand.  Codes from 64 up write nothing and only steer the match (TRACE reads which one
// matched).  An element or keyword may be preceded by a comma once anything of the
// clause has been written, so the commas between the parts may be left out; a keyword's own
// value follows it directly.
//
// Control steps (0x40 + step):
//   0x40 END  ends the current level: the program at level 0, else the group or choice
//   0x41 ALT  ends one alternative of a choice; the next one follows
//   0x42 GRP  opens an optional group: its items up to its END must all match, or the group is
//             passed over and everything it compiled is undone
//   0x43 CHO  opens a choice: alternatives separated by ALT, closed by END; they are tried in
//             order with the compile state restored after each failure, and the first that
//             matches is taken (the rest skipped); when none matches the choice does not match
//   0x44 CMT  a commit point: from here on a matched keyword must be followed by what it
//             takes, else the clause is error 1006 (kCeAfterCommit) instead of a non-match
//   0x45      writes a list part header (no program needs it)
//   0x46 COL  a ':' is required here: error 1024 (kCeColon), or 1026 (kCeColonAfterPart) once a
//             part has been written
//   0x47 OWN  the statement's own routine takes over the rest of the clause (controlOwn) and the
//             walk ends with its result; the keyword pairs after OWN are data for that routine
//
// Levels: the program itself is level 0; the items of a group, and of each alternative of a
// choice, lie one level deeper than the GRP or CHO, at most at level 7 (else error 1050).  At
// level 0 an item that does not match is passed over unless it is REQ.  Above level 0 an item
// that does not match fails its whole level: the walker skips to the level's closing END or ALT,
// and the enclosing group or choice decides (a group is passed over, a choice tries its next
// alternative).  An optional value that does not compile counts as not matching; a compile error
// proper (a missing colon, a bad line number, a file number or list item that does not compile,
// a required value that does not) ends the walk at once, at any level.  After the walk, a
// statement whose table entry says so may be followed by an error-exit list.
//
// Worked example: DELETE, with P_DELETE =
//   0F        E_FILE|REQ        '#' and a number, required
//   43        CHO               one of:
//   81 30       KW|E_STR KEY=     KEY= and a string expression
//   41        ALT               or
//   82 34       KW|E_NUM REC=     REC= and a numeric expression
//   40        END               (the choice may match nothing: passed over at level 0)
//   43        CHO               one of:
//   80 27       KW RESERVE        RESERVE alone
//   41        ALT               or
//   80 17       KW RELEASE        RELEASE alone
//   40        END
//   46        COL               ':' required
//   40        END               end of the program; then the optional error-exit list
// So `DELETE #F, REC=R, RESERVE:` compiles to
//   02 01 01 02 01   expression section: two operands, F (index 257) and R (258)
//   00 1C            terminator, statement 28 (DELETE) without words
//   10 34 27         parts: file (its number is the next operand, F), REC= (next operand, R),
//                    RESERVE
//   40 7F            clause end, line end
// while `DELETE #1 KEY=K$` fails at the COL with error 1026, and `DELETE #1, KEY=5:` too: the
// number does not fit KEY=, so the choice is passed over and the COL finds the comma.
//
// The grammar rules above each program and each parse routine: keywords in capitals (typed in
// full or abbreviated); nexpr, sexpr, expr a numeric, string or either expression; nvar a
// numeric variable; ntarget, starget, target a numeric, string or either target (a variable, an
// element, a substring, a whole array where the statement allows one); line a line number or a
// label; #file '#' and a numeric expression; exits an error-exit list; [a] a may be left out;
// {a | b} one of them; a ... a once or more; a, ... a once or more, separated by commas.  Other
// punctuation is typed as shown; in the rules of syntax programs a comma before a part may also
// be left out.
constexpr uint8_t REQ = 0x08, ALSO = 0x10, CLOSE = 0x20;
constexpr uint8_t E_STR = 1, E_NUM = 2, E_LIST = 3, E_SVAR = 4, E_NVAR = 5, E_LREF = 6, E_FILE = 7;
constexpr uint8_t KW = 0x80;
constexpr uint8_t END = 0x40, ALT = 0x41, GRP = 0x42, CHO = 0x43, CMT = 0x44, COL = 0x46,
                  OWN = 0x47;


// clang-format off
// (nothing after the keyword)
constexpr uint8_t P_EMPTY[] = {0x00};
// (the statement's own routine parses the clause: see ownRoutine)
constexpr uint8_t P_OWN[] = {OWN};
// GOTO line
// GOSUB line
constexpr uint8_t P_LREF[] = {E_LREF | REQ, END};
// NEXT ntarget
constexpr uint8_t P_NEXT[] = {E_NVAR | REQ, END};
// END [nexpr]
// STOP [nexpr]
constexpr uint8_t P_OPTNUM[] = {E_NUM, END};
// EXECUTE sexpr
constexpr uint8_t P_STR[] = {E_STR | REQ, END};
// {DO | LOOP} [{WHILE | UNTIL} nexpr]        (stDoLoop reads the WHILE and UNTIL codes)
constexpr uint8_t P_DOLOOP[] = {OWN, KW | E_NUM, 60, KW | E_NUM, 61, END};
// TRACE [{ON | OFF | PRINT}]
constexpr uint8_t P_TRACE[] = {CHO, KW, K_ON, ALT, KW, K_OFF, ALT, KW, K_PRINT, END, END};
// RESTORE [{ #file [, {REC= nexpr | KEY= sexpr | KEY>= sexpr | SEARCH= sexpr
//                         | SEARCH>= sexpr | POS= nexpr}] :
//           | line }] [exits]
constexpr uint8_t P_RESTORE[] = {
    CHO, E_FILE | REQ,
             GRP, CHO, KW | E_NUM, K_RECEQ, ALT, KW | E_STR, K_KEYEQ, ALT, KW | E_STR, K_KEYGE,
                  ALT, KW | E_STR, K_SEARCHEQ, ALT, KW | E_STR, K_SEARCHGE, ALT,
                  KW | E_NUM, K_POSEQ, END, END,
             GRP, COL, END, ALT,
         E_LREF, ALT,
         0x00, END,
    END};
// OPEN #file : sexpr [, {DISPLAY | EXTERNAL | INTERNAL}] [, {INPUT | OUTPUT | OUTIN}]
//      [, {SEQUENTIAL | RELATIVE | KEYED}] [exits]
constexpr uint8_t P_OPEN[] = {
    E_FILE | REQ, COL, E_STR | REQ,
    CHO, KW, K_DISPLAY, ALT, KW, K_EXTERNAL, ALT, KW, K_INTERNAL, END,
    CHO, KW, K_INPUT, ALT, KW, K_OUTPUT, ALT, KW, K_OUTIN, END,
    CHO, KW, K_SEQUENTIAL, ALT, KW, K_RELATIVE, ALT, KW, K_KEYED, END,
    END};
// CLOSE #file [, WAIT= nexpr] [, FREE] [, DROP] [, RELEASE] : [exits]
constexpr uint8_t P_CLOSE[] = {E_FILE | REQ, KW | E_NUM, K_WAIT, KW, K_FREE, KW, K_DROP,
                               KW, K_RELEASE, COL, END};
// RESERVE #file : [exits]
// RELEASE #file : [exits]
constexpr uint8_t P_FILECOLON[] = {E_FILE | REQ, COL, END};
// READ #file [, USING {line | sexpr}]
//      [, {POS= nexpr | REC= nexpr | KEY= sexpr | KEY>= sexpr | SEARCH= sexpr | SEARCH>= sexpr}]
//      [, WAIT= nexpr] [, {RESERVE | RELEASE}] : [target, ...] [exits]
// (committed after the file number: a keyword must be followed by its value)
constexpr uint8_t P_READ[] = {
    E_FILE | REQ, CMT, KW | E_LREF | ALSO, K_USING,
    CHO, KW | E_NUM, K_POSEQ, ALT, KW | E_NUM, K_RECEQ, ALT, KW | E_STR, K_KEYEQ, ALT,
         KW | E_STR, K_KEYGE, ALT, KW | E_STR, K_SEARCHEQ, ALT, KW | E_STR, K_SEARCHGE, END,
    KW | E_NUM, K_WAIT, CHO, KW, K_RESERVE, ALT, KW, K_RELEASE, END,
    COL, E_LIST, END};
// READ target, ...                    (without a file number: the program's DATA)
constexpr uint8_t P_READDATA[] = {E_LIST | REQ, END};
// WRITE #file [, USING {line | sexpr}] [, {REC= nexpr | POS= nexpr}] [, WAIT= nexpr]
//       [, {RESERVE | RELEASE}] : [expr, ...] [exits]
// (committed after the file number)
constexpr uint8_t P_WRITE[] = {
    E_FILE | REQ, CMT, KW | E_LREF | ALSO, K_USING,
    CHO, KW | E_NUM, K_RECEQ, ALT, KW | E_NUM, K_POSEQ, END,
    KW | E_NUM, K_WAIT, CHO, KW, K_RESERVE, ALT, KW, K_RELEASE, END,
    COL, E_LIST, END};
// REWRITE { #file [, USING {line | sexpr}] [, {POS= nexpr | KEY= sexpr | REC= nexpr}]
//                 [, {RESERVE | RELEASE}] : expr, ...
//         | {FIELDS sexpr | SELECT sexpr} [, ATTR sexpr] [, WAIT= nexpr] [, HELP sexpr]
//                 : expr, ... } [exits]
constexpr uint8_t P_REWRITE[] = {
    CHO, E_FILE | REQ, GRP, KW | E_LREF | ALSO, K_USING, END,
             GRP, CHO, KW | E_NUM, K_POSEQ, ALT, KW | E_STR, K_KEYEQ, ALT, KW | E_NUM, K_RECEQ,
                  END, END,
             GRP, CHO, KW, K_RESERVE, ALT, KW, K_RELEASE, END, END,
             COL, E_LIST | REQ, ALT,
         CHO, KW | E_STR | REQ, K_FIELDS, ALT, KW | E_STR | REQ, K_SELECT, END,
             GRP, KW | E_STR, K_ATTR, END, GRP, KW | E_NUM, K_WAIT, END,
             GRP, KW | E_STR, K_HELP, END, COL, E_LIST | REQ, END,
    END};
// REREAD #file [, USING {line | sexpr}] [, {RESERVE | RELEASE}] : [target, ...] [exits]
constexpr uint8_t P_REREAD[] = {
    E_FILE | REQ, KW | E_LREF | ALSO, K_USING, CHO, KW, K_RESERVE, ALT, KW, K_RELEASE, END,
    COL, E_LIST, END};
// DELETE #file [, {KEY= sexpr | REC= nexpr}] [, {RESERVE | RELEASE}] : [exits]
constexpr uint8_t P_DELETE[] = {
    E_FILE | REQ, CHO, KW | E_STR, K_KEYEQ, ALT, KW | E_NUM, K_RECEQ, END,
    CHO, KW, K_RESERVE, ALT, KW, K_RELEASE, END, COL, END};
// INPUT [#file [, WAIT= nexpr]]
//       [, {FIELDS | SELECT | MENU | TEXT | DATA | STATUS} sexpr]
//       [, ATTR sexpr] [, WAIT= nexpr] [, HELP sexpr] [:] target, ... [exits]
// (the ':' is required once a part has been written)
constexpr uint8_t P_INPUT[] = {
    GRP, E_FILE | REQ, GRP, KW | E_NUM, K_WAIT, END, END,
    CHO, KW | E_STR, K_FIELDS, ALT, KW | E_STR, K_SELECT, ALT, KW | E_STR, K_MENU, ALT,
         KW | E_STR, K_TEXT, ALT, KW | E_STR, K_DATA, ALT, KW | E_STR, K_STATUS, END,
    KW | E_STR, K_ATTR, KW | E_NUM, K_WAIT, KW | E_STR, K_HELP, OWN, END};
// RINPUT [#file [, WAIT= nexpr]] [, {FIELDS | SELECT} sexpr]
//        [, ATTR sexpr] [, WAIT= nexpr] [, HELP sexpr] [:] target, ... [exits]
constexpr uint8_t P_RINPUT[] = {
    GRP, E_FILE | REQ, GRP, KW | E_NUM, K_WAIT, END, END,
    CHO, KW | E_STR, K_FIELDS, ALT, KW | E_STR, K_SELECT, END,
    KW | E_STR, K_ATTR, KW | E_NUM, K_WAIT, KW | E_STR, K_HELP, OWN, END};
// LINPUT [#file [, WAIT= nexpr]] [:] starget [exits]     (starget: not a whole array)
constexpr uint8_t P_LINPUT[] = {GRP, E_FILE | REQ, GRP, KW | E_NUM, K_WAIT, END, END, OWN, END};
// PRINT [#file] [, {FIELDS sexpr | USING {line | sexpr} | BORDER sexpr}]
//       [, HELP sexpr] [, WAIT= nexpr] [:] printlist [exits]
// printlist := [item] [{, | ;} [item]] ...      item := expr | TAB(nexpr)
constexpr uint8_t P_PRINT[] = {
    GRP, E_FILE | REQ, END,
    CHO, KW | E_STR, K_FIELDS, ALT, KW | E_LREF | ALSO, K_USING, ALT, KW | E_STR, K_BORDER, END,
    KW | E_STR, K_HELP, KW | E_NUM, K_WAIT, OWN, END};
// DISPLAY [#file] [, {BUTTONS | MENU | TEXT | DATA | STATUS}] [:] [expr, ...] [exits]
// (the keyword list after OWN is read by controlOwn, each keyword alone)
constexpr uint8_t P_DISPLAY[] = {
    GRP, E_FILE | REQ, END, OWN, KW | E_STR, K_BUTTONS, KW | E_STR, K_MENU, KW | E_STR, K_TEXT,
    KW | E_STR, K_DATA, KW | E_STR, K_STATUS, END};
// CHAIN sexpr [, {FILES | name | MAT name}] ...     (then stChain)
constexpr uint8_t P_CHAIN[] = {E_STR | REQ, OWN, END};
// clang-format on

enum class ListKind { None, Targets, Values, Print, StringTarget };

struct StatementDef {
    const uint8_t* program;
    ListKind list;
    bool exits;  // an error-exit list may follow
};

bool isDigitChar(char ch) {
    return ch >= '0' && ch <= '9';
}

// Conditions of error exits and their element codes.
bool isExitCondition(uint8_t code) {
    switch (code) {
        case K_EOF:
        case K_NOKEY:
        case K_NOREC:
        case K_DUPREC:
        case K_IOERR:
        case K_ERROR:
        case K_CONV:
        case K_SOFLOW:
        case K_OFLOW:
        case K_ZDIV:
        case K_LOCKED:
        case K_TIMEOUT:
        case K_PAGEOFLOW:
        case K_EXIT:
        case K_HELP: return true;
        default: return false;
    }
}

// Conditions of the ON statement.
bool isOnCondition(uint8_t code) {
    switch (code) {
        case K_ERROR:
        case K_CONV:
        case K_IOERR:
        case K_PAGEOFLOW:
        case K_SOFLOW:
        case K_OFLOW:
        case K_HELP:
        case K_ZDIV:
        case K_ATTN:
        case K_LOCKED:
        case K_EVENT:
        case K_FNKEY: return true;
        default: return false;
    }
}

// What the line compiler needs to know about a compiled clause.
enum class ClauseKind { Plain, If, Else, Label, Rem, Then };

struct LineBuilder;

// Compiles the clauses of one line.
class ClauseCompiler {
  public:
    ClauseCompiler(CompileCtx& c, LineBuilder& line) : c_(c), line_(line) {}

    // Compiles one clause (or, for DEF, SELECT and CASE, the few clauses one statement makes).
    int compileStatement(bool lineStart);
    // After THEN or ELSE: a line number, or a label that ends the clause, is a GOTO.
    int impliedGoto(bool& done);
    ClauseKind kind = ClauseKind::Plain;

  private:
    // ---- clause assembly ----
    void begin();
    int finish();
    void setStatement(uint8_t code, bool direct) {
        code_ = code;
        direct_ = direct;
    }
    void stmtWord(uint16_t w) { words_.push_back(w); }
    void stmtLref(const LineRef& r) {
        uint8_t b[6];
        writeLineRef(b, r);
        for (int i = 0; i < 3; ++i) stmtWord(readWord(b + 2 * i));
    }

    // ---- the walker ----
    enum Result { kMatch = 0, kFail = 1 };
    enum class Closer { End, Alt, Close };
    int walk(const uint8_t* program);
    int runSeq(int level, Closer& closer);
    Closer skipLevel();
    int element(uint8_t kind, bool required, bool also, bool afterKeyword = false);
    int clauseKeyword(uint8_t code, uint8_t kind, bool also);
    int controlOwn();

    // ---- pieces ----
    bool atClauseEnd();
    bool atExpressionStart();
    void optionalComma();
    int matchClauseWord(uint8_t& code, size_t& from, size_t& to, bool emitSource);
    bool matchStatementWord(uint8_t code);
    int lineReference(LineRef& ref, bool& found);
    int fileNumber(bool& found);
    int list(ListKind kind, bool required);
    int printList();
    int exitList(bool required);
    int requireColon();
    bool matchWord(const char* word);

    // ---- statements ----
    int assignment();
    int stIf();
    int stElse();
    int stFor();
    int stDoLoop(bool isLoop);
    int stOn();
    int stDef();
    int stDim();
    int stMat();
    int stData();
    int stOption();
    int stTrace();
    int stEnd(uint8_t code);
    int stSystem();
    int stChain();
    int stLibrary();
    int stCall();
    int stForm();
    int stSelect();
    int stCase();
    int stLabel();
    int ownRoutine();
    int matOperand(ExprType& type);

    CompileCtx& c_;
    LineBuilder& line_;
    uint8_t code_ = 0;
    bool direct_ = false;
    std::vector<uint16_t> words_;
    uint8_t end_ = kClauseEnd;
    const uint8_t* program_ = nullptr;
    size_t pc_ = 0;
    bool committed_ = false;
    bool keywordAfterCommit_ = false;
    ListKind listKind_ = ListKind::None;
    LineRef lref_;
    bool haveLref_ = false;
    uint8_t matchedKeyword_ = 0xFF;
};

// The line being built.
struct LineBuilder {
    std::vector<uint8_t> code;
    struct OpenIf {
        size_t targetWord;  // offset of the IF's target word in `code`
    };
    std::vector<OpenIf> openIfs;  // single-line IFs on this line without their ELSE yet
    bool anyExecutable = false;
    uint32_t number = 0;
    std::vector<std::pair<uint16_t, uint16_t>> options;  // OPTION settings of the line
};

// ---- statement table ----
StatementDef definition(uint8_t code) {
    switch (code) {
        case StGosub:
        case StGoto: return {P_LREF, ListKind::None, false};
        case StRestore: return {P_RESTORE, ListKind::None, true};
        case StNext: return {P_NEXT, ListKind::None, false};
        case StStop:
        case StEnd: return {P_OPTNUM, ListKind::None, false};
        case StDo:
        case StLoop: return {P_DOLOOP, ListKind::None, false};
        case StOpen: return {P_OPEN, ListKind::None, true};
        case StClose: return {P_CLOSE, ListKind::None, true};
        case StReserve:
        case StRelease: return {P_FILECOLON, ListKind::None, true};
        case StRead: return {P_READ, ListKind::Targets, true};
        case StWrite: return {P_WRITE, ListKind::Values, true};
        case StRewrite: return {P_REWRITE, ListKind::Values, true};
        case StReread: return {P_REREAD, ListKind::Targets, true};
        case StDelete: return {P_DELETE, ListKind::None, true};
        case StInput: return {P_INPUT, ListKind::Targets, true};
        case StRinput: return {P_RINPUT, ListKind::Targets, true};
        case StLinput: return {P_LINPUT, ListKind::StringTarget, true};
        case StPrint: return {P_PRINT, ListKind::Print, true};
        case StDisplay: return {P_DISPLAY, ListKind::Values, true};
        case StChain: return {P_CHAIN, ListKind::None, false};
        case StTrace: return {P_TRACE, ListKind::None, false};
        case StExecute: return {P_STR, ListKind::None, false};
        case StPause:
        case StRandomize:
        case StRem:
        case StReturn:
        case StBreak:
        case StIgnore:
        case StSystem:
        case StSelect:
        case StCase:
        case 60:
        case 61: return {P_EMPTY, ListKind::None, false};
        default: return {P_OWN, ListKind::None, false};
    }
}

// ---- clause assembly ----

void ClauseCompiler::begin() {
    c_.expr.reset(true);
    c_.parts.reset(false);
    c_.partRecorded = false;
    code_ = 0;
    direct_ = false;
    words_.clear();
    end_ = kClauseEnd;
    haveLref_ = false;
    matchedKeyword_ = 0xFF;
}

// Joins the expression section, the statement item, the parts and the end onto the line.
int ClauseCompiler::finish() {
    c_.expr.close();
    c_.parts.close();
    if (c_.expr.error()) return c_.expr.error();
    if (c_.parts.error()) return c_.parts.error();
    std::vector<uint8_t>& out = line_.code;
    out.insert(out.end(), c_.expr.data(), c_.expr.data() + c_.expr.size());
    if (direct_) {
        if (static_cast<int>(words_.size()) != directWords(code_)) return kCeSyntax;
        out.push_back(static_cast<uint8_t>(kDirect | code_));
    } else {
        if (words_.size() > 63) return kCeWords;
        out.push_back(kTerminator);
        if (words_.empty()) {
            out.push_back(code_);
        } else if (words_.size() == 1) {
            out.push_back(static_cast<uint8_t>(0x80 | code_));
        } else {
            out.push_back(static_cast<uint8_t>(0xC0 | code_));
            out.push_back(static_cast<uint8_t>(words_.size()));
        }
    }
    for (uint16_t w : words_) {
        out.push_back(static_cast<uint8_t>(w));
        out.push_back(static_cast<uint8_t>(w >> 8));
    }
    if (!direct_) {
        out.insert(out.end(), c_.parts.data(), c_.parts.data() + c_.parts.size());
        out.push_back(end_);
    }
    if (out.size() > 254) return kCeLineTooLong;  // room for the line end
    if (code_ != StRem && code_ != StLabel) line_.anyExecutable = true;
    return 0;
}

// ---- small scanners ----

bool ClauseCompiler::atClauseEnd() {
    size_t p = c_.pos;
    while (c_.at(p) == ' ' || c_.at(p) == '\t') ++p;
    const char ch = c_.at(p);
    if (ch == '\0' || ch == '\\' || ch == '!') return true;
    return c_.upper.compare(p, 4, "ELSE") == 0 && !isNameChar(c_.at(p + 4)) && c_.at(p + 4) != '$';
}

bool ClauseCompiler::atExpressionStart() {
    c_.skipBlanks();
    const char ch = c_.cur();
    return isDigitChar(ch) || ch == '.' || ch == '-' || ch == '+' || ch == '(' || ch == '"' ||
           ch == '\'' || ch == '~' || isNameStart(ch);
}

void ClauseCompiler::optionalComma() {
    c_.skipBlanks();
    if (c_.cur() == ',' && (c_.partRecorded || !c_.expr.empty())) {
        ++c_.pos;
        c_.skipBlanks();
    }
}

bool ClauseCompiler::matchWord(const char* word) {
    c_.skipBlanks();
    const size_t n = strlen(word);
    if (c_.upper.compare(c_.pos, n, word) != 0) return false;
    if (isNameChar(c_.at(c_.pos + n)) || c_.at(c_.pos + n) == '$') return false;
    return true;
}

// A clause keyword at the cursor: the letters with a following "=" or ">=".  Abbreviations of
// fewer than three letters are only taken when they are the whole keyword (so that a variable
// such as B in a print list is not read as BORDER).  Returns 0 with the code and the typed range.
int ClauseCompiler::matchClauseWord(uint8_t& code, size_t& from, size_t& to, bool emitSource) {
    c_.skipBlanks();
    from = c_.pos;
    size_t p = from;
    while (c_.at(p) >= 'A' && c_.at(p) <= 'Z') ++p;
    if (p == from) return kFail;
    if (isNameChar(c_.at(p)) || c_.at(p) == '$' || c_.at(p) == '(') return kFail;
    std::string word = c_.upper.substr(from, p - from);
    if (c_.at(p) == '=') {
        word += '=';
        ++p;
    } else if (c_.at(p) == '>' && c_.at(p + 1) == '=') {
        word += ">=";
        p += 2;
    }
    const KeywordTable& t = clauseKeywords();
    const int k = t.lookup(word);
    if (!k) return kFail;
    const std::string_view name = t.name(k);
    if (name.back() == '=' && word.back() != '=') return kFail;
    const size_t letters = word.find_first_of("=>");
    if ((letters == std::string::npos ? word.size() : letters) < 3 && word != name) return kFail;
    code = t.code(k);
    to = p;
    if (emitSource) {
        if (c_.typed.compare(from, to - from, name) == 0)
            c_.source.clauseKeyword(from, to, code);
        else
            c_.source.copyTo(to);
    }
    c_.pos = p;
    return kMatch;
}

bool ClauseCompiler::matchStatementWord(uint8_t code) {
    c_.skipBlanks();
    const size_t n = nameLength(c_.upper, c_.pos);
    if (n == 0 || c_.at(c_.pos + n) == '$') return false;
    const KeywordTable& t = statementKeywords();
    const int k = t.lookup(c_.upper.substr(c_.pos, n));
    if (!k || t.code(k) != code) return false;
    c_.source.keyword(c_.pos, c_.pos + n);
    c_.pos += n;
    return true;
}

int ClauseCompiler::requireColon() {
    c_.skipBlanks();
    if (c_.cur() != ':') return c_.partRecorded ? kCeColonAfterPart : kCeColon;
    ++c_.pos;
    return 0;
}

// line := digits | labelname      (1..99999, at most 5 digits; not a statement keyword)
// A line number (1..99999) or a label name.  `found` is false when neither stands there.
int ClauseCompiler::lineReference(LineRef& ref, bool& found) {
    c_.skipBlanks();
    found = false;
    const size_t from = c_.pos;
    if (isDigitChar(c_.cur())) {
        size_t p = from;
        uint32_t n = 0;
        while (isDigitChar(c_.at(p))) {
            if (n <= kMaxLineNumber) n = n * 10 + static_cast<uint32_t>(c_.at(p) - '0');
            ++p;
        }
        if (n == 0 || n > kMaxLineNumber || p - from > 5) return kCeLineNumber;
        c_.source.lineNumber(from, p, n);
        c_.pos = p;
        ref = LineRef{};
        ref.number = n;
        found = true;
        return 0;
    }
    const size_t n = nameLength(c_.upper, from);
    if (n == 0 || n > static_cast<size_t>(kMaxNameLength)) return 0;
    const char after = c_.at(from + n);
    if (after == '$' || after == '(') return 0;
    const std::string name = c_.upper.substr(from, n);
    if (const int k = statementKeywords().lookup(name); k && name == statementKeywords().name(k))
        return 0;  // a statement keyword is never a label
    int index = 0;
    if (int err = internName(c_, ":" + name, 0, index)) return err;
    c_.pos = from + n;
    ref = LineRef{};
    ref.label = index;
    found = true;
    return 0;
}

// #file := '#' nexpr
int ClauseCompiler::fileNumber(bool& found) {
    c_.skipBlanks();
    found = c_.cur() == '#';
    if (!found) return 0;
    ++c_.pos;
    int small = -1;
    if (int err = compileExpression(c_, ExprType::Numeric, nullptr, &small)) return err;
    c_.parts.header(kPartFile);
    if (small >= 0) c_.parts.word(static_cast<uint16_t>(small));
    c_.partRecorded = true;
    return 0;
}

// ---- the syntax walker ----

int ClauseCompiler::walk(const uint8_t* program) {
    program_ = program;
    pc_ = 0;
    committed_ = false;
    keywordAfterCommit_ = false;
    Closer closer;
    const int r = runSeq(0, closer);
    return r == kFail ? kCeSyntax : r;
}

// Skips forward to the end of the current level: returns the closer found.
ClauseCompiler::Closer ClauseCompiler::skipLevel() {
    int depth = 0;
    for (;;) {
        const uint8_t b = program_[pc_];
        if ((b & 0xC0) == 0x80) {  // keyword and its code
            pc_ += 2;
            if ((b & CLOSE) && depth-- == 0) return Closer::Close;
            continue;
        }
        ++pc_;
        if ((b & 0xC0) == 0x40) {
            const int step = b & 7;
            if (step == 2 || step == 3) {
                ++depth;
                continue;
            }
            if (step == 7) return Closer::End;  // an own routine ends the program
            if (step == 0 || step == 1) {
                if (depth == 0) return step == 0 ? Closer::End : Closer::Alt;
                if (step == 0) --depth;
                continue;
            }
            if ((b & CLOSE) && depth-- == 0) return Closer::Close;
            continue;
        }
        if (b == 0) return Closer::End;  // the end of the elements
        if ((b & CLOSE) && depth-- == 0) return Closer::Close;
    }
}

// Runs the items of one level until its closer.  An optional item that does not match fails the
// level (kFail, after skipping to its closer) when the level is above 0, and is passed over at
// level 0.
int ClauseCompiler::runSeq(int level, Closer& closer) {
    if (level > 7) return kCeWorkArea;
    for (;;) {
        const uint8_t b = program_[pc_];
        int r = kMatch;
        bool required = false;
        if ((b & 0xC0) == 0x80) {  // a clause keyword
            const uint8_t code = program_[pc_ + 1];
            pc_ += 2;
            required = b & REQ;
            r = clauseKeyword(code, b & 7, b & ALSO);
            // Required means required for its level: at level 0 for the statement.
            if (r == kFail && required && level == 0) return kCeKeywordMissing;
        } else if ((b & 0xC0) == 0) {  // an element
            ++pc_;
            if ((b & 7) == 0) {
                closer = Closer::End;
                return kMatch;
            }
            required = b & REQ;
            r = element(b & 7, required && level == 0, b & ALSO);
            if (r == kFail && required && level == 0) return kCeSyntax;
        } else {  // a control step
            ++pc_;
            switch (b & 7) {
                case 0: closer = Closer::End; return kMatch;
                case 1: closer = Closer::Alt; return kMatch;
                case 2: {
                    const CompileMark mark = markState(c_);
                    Closer inner;
                    const int g = runSeq(level + 1, inner);
                    if (g < 0) return g;
                    if (g == kFail) restoreState(c_, mark);  // a failing group is passed over
                    break;
                }
                case 3: {
                    bool matched = false;
                    for (;;) {
                        const CompileMark mark = markState(c_);
                        Closer inner = Closer::End;
                        const int a = runSeq(level + 1, inner);
                        if (a < 0) return a;
                        if (a == kMatch) {
                            matched = true;
                            if (inner == Closer::Alt) {  // pass over the other alternatives
                                while (skipLevel() == Closer::Alt) {
                                }
                            }
                            break;
                        }
                        restoreState(c_, mark);
                        if (inner != Closer::Alt) break;  // that was the last alternative
                    }
                    if (!matched) r = kFail;
                    break;
                }
                case 4: committed_ = true; break;
                case 5:
                    c_.parts.header(kPartList);
                    c_.partRecorded = true;
                    break;
                case 6:
                    if (int err = requireColon()) return err;
                    break;
                case 7: return controlOwn();
            }
        }
        if (r < 0) return r;
        if (r == kFail) {
            if (level > 0) {
                closer = skipLevel();
                return kFail;
            }
        }
        if (b & CLOSE && (b & 0xC0) != 0x40) {
            closer = Closer::Close;
            return kMatch;
        }
    }
}

int ClauseCompiler::element(uint8_t kind, bool required, bool also, bool afterKeyword) {
    const CompileMark mark = markState(c_);
    if (!afterKeyword) optionalComma();  // a keyword's own value follows it directly
    int r = kFail;
    switch (kind) {
        case E_STR:
        case E_NUM:
            if (!atExpressionStart() || atClauseEnd()) break;
            r = compileExpression(c_, kind == E_STR ? ExprType::String : ExprType::Numeric);
            if (r < 0 && !required) r = kFail;  // an optional value that does not fit
            break;
        case E_LIST: r = list(listKind_, required); break;
        case E_SVAR:
        case E_NVAR: {
            if (!atExpressionStart() || atClauseEnd()) break;
            Target t;
            r = compileTarget(c_, t);
            if (r == 0 && t.type != (kind == E_SVAR ? ExprType::String : ExprType::Numeric))
                r = kind == E_SVAR ? kCeNotAllowed : kCeAfterString;
            break;
        }
        case E_LREF: {
            LineRef ref;
            bool found = false;
            r = lineReference(ref, found);
            if (r == 0 && found) {
                c_.parts.header(kPartLine);
                uint8_t b[6];
                writeLineRef(b, ref);
                for (int i = 0; i < 3; ++i) c_.parts.word(readWord(b + 2 * i));
                c_.partRecorded = true;
                lref_ = ref;
                haveLref_ = true;
            } else if (r == 0 && also && atExpressionStart()) {
                r = compileExpression(c_, ExprType::String);
            } else if (r == 0) {
                r = kFail;
            }
            break;
        }
        case E_FILE: {
            bool found = false;
            r = fileNumber(found);
            if (r == 0 && !found) r = kFail;
            break;
        }
    }
    if (r == kFail) restoreState(c_, mark);
    return r;
}

int ClauseCompiler::clauseKeyword(uint8_t code, uint8_t kind, bool also) {
    const CompileMark mark = markState(c_);
    optionalComma();
    uint8_t found = 0;
    size_t from = 0, to = 0;
    if (matchClauseWord(found, from, to, true) != kMatch || found != code) {
        restoreState(c_, mark);
        return kFail;
    }
    if (code < 64) {
        c_.parts.header(code);
        c_.partRecorded = true;
    }
    matchedKeyword_ = code;
    if (committed_) keywordAfterCommit_ = true;
    if (kind != 0) {
        const int r = element(kind, false, also, true);
        if (r != kMatch) {
            // After a commit point a keyword must be followed by what it takes; before one, the
            // keyword without it is not this keyword.
            if (keywordAfterCommit_) return r < 0 ? r : kCeAfterCommit;
            restoreState(c_, mark);
            return r < 0 ? r : kFail;
        }
    }
    return kMatch;
}

// ---- lists ----

// list := target, ... | expr, ... | starget   (by the statement's list kind)
int ClauseCompiler::list(ListKind kind, bool required) {
    if (kind == ListKind::Print) return printList();
    const CompileMark mark = markState(c_);
    c_.skipBlanks();
    int count = 0;
    if (!atClauseEnd() && atExpressionStart()) {
        for (;;) {
            if (kind == ListKind::Values) {
                if (int err = compileExpression(c_, ExprType::Any)) return err;
            } else {
                Target t;
                if (int err = compileTarget(c_, t, true)) return err;
                if (kind == ListKind::StringTarget &&
                    (t.type != ExprType::String || t.kind == TargetKind::Array))
                    return kCeNotAllowed;
            }
            ++count;
            c_.skipBlanks();
            if (kind == ListKind::StringTarget || c_.cur() != ',') break;
            ++c_.pos;
        }
    }
    if (count == 0) {
        restoreState(c_, mark);
        return required ? kCeSyntax : kFail;
    }
    c_.parts.header(kPartList);
    c_.parts.word(static_cast<uint16_t>(count));
    c_.partRecorded = true;
    return 0;
}

// printlist := [item] [{, | ;} [item]] ...      item := expr | TAB(nexpr)
int ClauseCompiler::printList() {
    std::vector<uint8_t> items;
    int values = 0;
    for (;;) {
        c_.skipBlanks();
        if (atClauseEnd()) break;
        uint8_t item = 0;
        if (c_.cur() != ',' && c_.cur() != ';') {
            if (c_.upper.compare(c_.pos, 4, "TAB(") == 0) {
                c_.pos += 3;
                if (int err = compileExpression(c_, ExprType::Numeric)) return err;
                item = kPrintTab;
            } else {
                if (int err = compileExpression(c_, ExprType::Any)) return err;
                item = 1;
            }
            ++values;
            c_.skipBlanks();
        }
        if (c_.cur() == ',') {
            item |= kPrintComma;
            ++c_.pos;
        } else if (c_.cur() == ';') {
            item |= kPrintSemicolon;
            ++c_.pos;
        } else {
            items.push_back(item);  // end of line after it
            break;
        }
        items.push_back(item);
    }
    if (items.empty()) items.push_back(kPrintEmpty);
    items.back() |= kPrintLast;
    c_.parts.header(kPartList);
    c_.parts.word(static_cast<uint16_t>(values));
    for (uint8_t i : items) c_.parts.header(i);
    c_.partRecorded = true;
    return 0;
}

// exits := condition line, ...
// condition := EOF | NOKEY | NOREC | DUPREC | IOERR | ERROR | CONV | SOFLOW | OFLOW | ZDIV
//            | LOCKED | TIMEOUT | PAGEOFLOW | EXIT | HELP
int ClauseCompiler::exitList(bool required) {
    int count = 0;
    for (;;) {
        const CompileMark mark = markState(c_);
        if (count > 0) {
            c_.skipBlanks();
            if (c_.cur() != ',') break;
            ++c_.pos;
        }
        uint8_t code = 0;
        size_t from = 0, to = 0;
        if (matchClauseWord(code, from, to, true) != kMatch || !isExitCondition(code)) {
            restoreState(c_, mark);
            break;
        }
        LineRef ref;
        bool found = false;
        if (int err = lineReference(ref, found)) return err;
        if (!found) return kCeSyntax;
        c_.parts.header(kPartExit);
        c_.parts.word(code);
        uint8_t b[6];
        writeLineRef(b, ref);
        for (int i = 0; i < 3; ++i) c_.parts.word(readWord(b + 2 * i));
        c_.partRecorded = true;
        ++count;
    }
    if (count == 0 && required) return kCeSyntax;
    return 0;
}

// ---- own routines of the walker's statements ----

// The rest of a walked statement after OWN: DO and LOOP (stDoLoop), CHAIN (stChain), and
//   DISPLAY ... [{BUTTONS | MENU | TEXT | DATA | STATUS}] [:] [expr, ...]
//   {INPUT | RINPUT | LINPUT} ... [:] list        (':' required once a part is written)
//   PRINT ... [:] printlist
int ClauseCompiler::controlOwn() {
    switch (code_) {
        case StDo:
        case StLoop: return stDoLoop(code_ == StLoop);
        case StChain: return stChain();
        case StDisplay: {
            for (size_t p = pc_; program_[p] & KW; p += 2) {
                if (clauseKeyword(program_[p + 1], 0, false) == kMatch) break;
            }
            c_.skipBlanks();
            if (c_.cur() == ':') ++c_.pos;
            return list(ListKind::Values, false) < 0 ? kCeSyntax : kMatch;
        }
        case StInput:
        case StRinput:
        case StLinput:
        case StPrint: {
            // A colon ends the clause parts; it is required once a part has been written.
            c_.skipBlanks();
            if (c_.cur() == ':')
                ++c_.pos;
            else if (c_.partRecorded)
                return kCeColonAfterPart;
            if (code_ == StPrint) return printList();
            const int r = list(listKind_, true);
            return r == kFail ? kCeSyntax : r;
        }
        default: return ownRoutine();
    }
}

// ---- statements ----

// [LET] target {= | += | -= | *= | /=} expr    (compound: numeric target, not a substring)
int ClauseCompiler::assignment() {
    setStatement(StLet, false);
    Target t;
    if (int err = compileTarget(c_, t)) return err;
    c_.skipBlanks();
    const char ch = c_.cur();
    uint8_t op = OpAssign;
    if (ch == '=') {
        ++c_.pos;
    } else if ((ch == '+' || ch == '-' || ch == '*' || ch == '/') && c_.at(c_.pos + 1) == '=') {
        op = ch == '+'   ? OpAddAssign
             : ch == '-' ? OpSubAssignNum
             : ch == '*' ? OpMulAssign
                         : OpDivAssign;
        if (t.type != ExprType::Numeric) return kCeNotAllowed;
        c_.pos += 2;
    } else {
        return kCeSyntax;
    }
    if (t.kind == TargetKind::Substring && op != OpAssign) return kCeNotAllowed;
    if (int err = compileExpression(c_, t.type)) return err;
    c_.expr.header(t.kind == TargetKind::Substring ? static_cast<uint8_t>(OpSubAssign) : op);
    return 0;
}

// IF nexpr THEN      (what follows THEN, if anything, is compileLine's: see there)
int ClauseCompiler::stIf() {
    setStatement(StIf, false);
    if (int err = compileExpression(c_, ExprType::Numeric)) return err;
    uint8_t code = 0;
    size_t from = 0, to = 0;
    if (matchClauseWord(code, from, to, true) != kMatch || code != K_THEN) return kCeKeywordMissing;
    stmtWord(static_cast<uint16_t>(kTargetUnresolved));
    end_ = kThenEnd;
    kind = ClauseKind::If;
    return 0;
}

// ELSE               (what follows, as after THEN, is compileLine's)
int ClauseCompiler::stElse() {
    setStatement(StSkip, true);
    stmtWord(static_cast<uint16_t>(kTargetUnresolved));
    stmtWord(0);  // the block kind: set by the line compiler
    kind = ClauseKind::Else;
    return 0;
}

// FOR nvar = nexpr TO nexpr [STEP nexpr]
int ClauseCompiler::stFor() {
    setStatement(StFor, false);
    Target t;
    if (int err = compileTarget(c_, t)) return err;
    if (t.kind != TargetKind::Scalar || t.type != ExprType::Numeric) return kCeNotAllowed;
    c_.expr.word(static_cast<uint16_t>(t.index));  // the assignment's target above the variable
    c_.skipBlanks();
    if (c_.cur() != '=') return kCeSyntax;
    ++c_.pos;
    if (int err = compileExpression(c_, ExprType::Numeric)) return err;
    c_.expr.header(OpAssign);
    uint8_t code = 0;
    size_t from = 0, to = 0;
    if (matchClauseWord(code, from, to, true) != kMatch || code != K_TO) return kCeKeywordMissing;
    if (int err = compileExpression(c_, ExprType::Numeric)) return err;
    const CompileMark mark = markState(c_);
    if (matchClauseWord(code, from, to, true) == kMatch && code == K_STEP) {
        if (int err = compileExpression(c_, ExprType::Numeric)) return err;
    } else {
        restoreState(c_, mark);
        int one = 0;
        if (int err = internNumber(c_, 1.0, one)) return err;
        c_.expr.word(static_cast<uint16_t>(one));
    }
    stmtWord(static_cast<uint16_t>(kTargetUnresolved));  // position after the matching NEXT
    stmtWord(static_cast<uint16_t>(kTargetUnresolved));
    return 0;
}

// {DO | LOOP} [{WHILE | UNTIL} nexpr]
int ClauseCompiler::stDoLoop(bool isLoop) {
    // The keyword bytes after the own-routine step: WHILE (60) and UNTIL (61).
    bool test = false, until = false;
    for (size_t p = pc_; program_[p] & KW; p += 2) {
        if (matchStatementWord(program_[p + 1])) {
            test = true;
            until = program_[p + 1] == 61;
            break;
        }
    }
    if (test) {
        if (int err = compileExpression(c_, ExprType::Numeric)) return err;
        if (until) c_.expr.header(OpNot);
    }
    // Without a test DO is a marker and LOOP jumps back always: both direct forms.
    setStatement(isLoop ? StLoop : StDo, !test);
    if (isLoop) {
        stmtWord(static_cast<uint16_t>(kTargetUnresolved));  // the DO's position
        stmtWord(static_cast<uint16_t>(kTargetUnresolved));
    } else if (test) {
        stmtWord(static_cast<uint16_t>(kTargetUnresolved));  // the LOOP's line
    }
    return 0;
}

// ON condition {IGNORE | SYSTEM | [GOTO] line}
// ON FNKEY nexpr {IGNORE | SYSTEM | [GOTO] line}
// ON nexpr {GOTO | GOSUB} line, ... [NONE line]
// condition := ERROR | CONV | IOERR | PAGEOFLOW | SOFLOW | OFLOW | HELP | ZDIV | ATTN | LOCKED
//            | EVENT
int ClauseCompiler::stOn() {
    const CompileMark mark = markState(c_);
    uint8_t cond = 0;
    size_t from = 0, to = 0;
    if (matchClauseWord(cond, from, to, true) == kMatch && isOnCondition(cond)) {
        setStatement(StOn, false);
        if (cond == K_FNKEY)
            if (int err = compileExpression(c_, ExprType::Numeric)) return err;
        stmtWord(cond);
        c_.skipBlanks();
        if (matchStatementWord(StIgnore)) {
            stmtWord(kOnIgnore);
            stmtLref(LineRef{});
            return 0;
        }
        if (matchStatementWord(StSystem)) {
            stmtWord(kOnSystem);
            stmtLref(LineRef{});
            return 0;
        }
        matchStatementWord(StGoto);  // GOTO is optional before the line
        LineRef ref;
        bool found = false;
        if (int err = lineReference(ref, found)) return err;
        if (!found) return kCeSyntax;
        stmtWord(kOnGoto);
        stmtLref(ref);
        return 0;
    }
    restoreState(c_, mark);
    // ON expression GOTO|GOSUB line, line ... [NONE line]
    if (int err = compileExpression(c_, ExprType::Numeric)) return err;
    if (matchStatementWord(StGoto))
        setStatement(StGoto, false);
    else if (matchStatementWord(StGosub))
        setStatement(StGosub, false);
    else
        return kCeKeywordMissing;
    std::vector<LineRef> targets;
    for (;;) {
        LineRef ref;
        bool found = false;
        if (int err = lineReference(ref, found)) return err;
        if (!found) return kCeSyntax;
        targets.push_back(ref);
        c_.skipBlanks();
        if (c_.cur() != ',') break;
        ++c_.pos;
    }
    stmtWord(static_cast<uint16_t>(targets.size()));
    for (const LineRef& r : targets) stmtLref(r);
    uint8_t code = 0;
    const CompileMark beforeNone = markState(c_);
    if (matchClauseWord(code, from, to, true) == kMatch && code == K_NONE) {
        LineRef ref;
        bool found = false;
        if (int err = lineReference(ref, found)) return err;
        if (!found) return kCeSyntax;
        stmtWord(1);
        stmtLref(ref);
    } else {
        restoreState(c_, beforeNone);
        stmtWord(0);
    }
    return words_.size() > 63 ? kCeWords : 0;
}

// TRACE [{ON | OFF | PRINT}]      (after the walk of P_TRACE: the keyword becomes the word)
int ClauseCompiler::stTrace() {
    setStatement(StTrace, false);
    stmtWord(matchedKeyword_ == 0xFF ? static_cast<uint8_t>(K_ON) : matchedKeyword_);
    c_.parts.reset(false);  // the keyword is carried by the word
    c_.partRecorded = false;
    return 0;
}

// END [nexpr] | END IF | END SELECT | END DEF
// STOP [nexpr]
int ClauseCompiler::stEnd(uint8_t code) {
    c_.skipBlanks();
    const size_t from = c_.pos;
    if (code == StEnd && matchWord("IF")) {
        c_.source.copyTo(from);
        c_.pos += 2;
        setStatement(StSkip, true);
        stmtWord(static_cast<uint16_t>(kTargetNextLine));
        stmtWord(kBlockEndIf);
        return 0;
    }
    if (code == StEnd && matchWord("SELECT")) {
        c_.pos += 6;
        setStatement(StSkip, true);
        stmtWord(static_cast<uint16_t>(kTargetNextLine));
        stmtWord(kBlockEndSelect);
        return 0;
    }
    if (code == StEnd && matchWord("DEF")) {
        c_.pos += 3;
        setStatement(StFnend, true);
        return 0;
    }
    setStatement(code, true);
    const int r = walk(P_OPTNUM);
    return r;
}

// SYSTEM [nexpr]
int ClauseCompiler::stSystem() {
    setStatement(StSystem, true);
    if (!atClauseEnd()) return compileExpression(c_, ExprType::Numeric);
    return 0;
}

// CHAIN sexpr [, {FILES | name | MAT name}] ...    (the walk of P_CHAIN has read sexpr; FILES
//                                                   once, a second one is a name)
int ClauseCompiler::stChain() {
    setStatement(StChain, false);
    int operands = 1, files = 0;
    for (;;) {
        c_.skipBlanks();
        if (c_.cur() != ',') break;
        ++c_.pos;
        const CompileMark mark = markState(c_);
        uint8_t code = 0;
        size_t from = 0, to = 0;
        if (!files && matchClauseWord(code, from, to, true) == kMatch && code == K_FILES) {
            files = 1;
            continue;
        }
        restoreState(c_, mark);
        Target t;
        if (int err = compileTarget(c_, t, true)) return err;
        if (t.kind == TargetKind::Element || t.kind == TargetKind::Substring) return kCeNotAllowed;
        ++operands;
    }
    stmtWord(static_cast<uint16_t>(operands));
    stmtWord(static_cast<uint16_t>(files));
    return 0;
}

// LIBRARY [RELEASE [,]] [sexpr] [: fnname, ...]     (sexpr or at least one fnname)
int ClauseCompiler::stLibrary() {
    if (c_.options.programActive) return kCeActive;
    setStatement(StLibrary, false);
    int operands = 0, release = 0;
    const CompileMark mark = markState(c_);
    uint8_t code = 0;
    size_t from = 0, to = 0;
    if (matchClauseWord(code, from, to, true) == kMatch && code == K_RELEASE) {
        release = 1;
        c_.skipBlanks();
        if (c_.cur() == ',') ++c_.pos;
    } else {
        restoreState(c_, mark);
    }
    c_.skipBlanks();
    if (c_.cur() != ':') {
        if (int err = compileExpression(c_, ExprType::String)) return err;
        ++operands;
    }
    c_.skipBlanks();
    if (c_.cur() == ':') {
        ++c_.pos;
        for (;;) {
            c_.skipBlanks();
            const size_t n = nameLength(c_.upper, c_.pos);
            if (n < 3 || c_.upper.compare(c_.pos, 2, "FN") != 0) return kCeFunction;
            if (n > static_cast<size_t>(kMaxNameLength)) return kCeExpression;
            std::string nm = c_.upper.substr(c_.pos, n);
            size_t p = c_.pos + n;
            const bool s = c_.at(p) == '$';
            if (s) {
                nm += '$';
                ++p;
            }
            int fn = 0, text = 0;
            if (int err =
                    internName(c_, nm, static_cast<uint8_t>(DE_FUNCTION | (s ? DE_STRING : 0)), fn))
                return err;
            if (int err = internString(c_, nm, text)) return err;
            c_.expr.word(static_cast<uint16_t>(fn));
            c_.expr.word(static_cast<uint16_t>(text));
            operands += 2;
            c_.pos = p;
            c_.skipBlanks();
            if (c_.cur() != ',') break;
            ++c_.pos;
        }
    }
    if (operands == 0) return kCeSyntax;
    stmtWord(static_cast<uint16_t>(operands));
    stmtWord(static_cast<uint16_t>(release));
    return 0;
}

// CALL expr, ...
int ClauseCompiler::stCall() {
    setStatement(StCall, false);
    int operands = 0;
    while (!atClauseEnd()) {
        if (int err = compileExpression(c_, ExprType::Any)) return err;
        ++operands;
        c_.skipBlanks();
        if (c_.cur() != ',') break;
        ++c_.pos;
    }
    if (operands == 0) return kCeExpression;
    stmtWord(static_cast<uint16_t>(operands));
    return 0;
}

// FORM text          (to the end of the clause; quoted parts may hold '\' and '!')
int ClauseCompiler::stForm() {
    setStatement(StForm, false);
    c_.skipBlanks();
    // The text runs to the end of the clause; quotes may hold '\' and '!'.
    const size_t from = c_.pos;
    size_t p = from;
    char quote = 0;
    for (; p < c_.typed.size(); ++p) {
        const char ch = c_.typed[p];
        if (quote) {
            if (ch == quote) quote = 0;
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == '\\' || ch == '!') {
            break;
        }
    }
    size_t e = p;
    while (e > from && c_.typed[e - 1] == ' ') --e;
    if (e == from) return kCeSyntax;
    if (e - from > static_cast<size_t>(kMaxStringLiteral)) return kCeString;
    int text = 0;
    if (int err = internString(c_, c_.typed.substr(from, e - from), text)) return err;
    c_.expr.word(static_cast<uint16_t>(text));
    c_.pos = e;
    return 0;
}

// DATA item, ...     item := number | quoted string | unquoted text up to ','
int ClauseCompiler::stData() {
    setStatement(StData, false);
    for (;;) {
        c_.skipBlanks();
        const char ch = c_.cur();
        int index = 0;
        double value = 0;
        std::string text;
        const int n = scanNumber(c_, c_.pos, value);
        if (n < 0) return n;
        if (n > 0 && (c_.at(c_.pos + static_cast<size_t>(n)) == ',' || atClauseEnd() ||
                      c_.at(c_.pos + static_cast<size_t>(n)) == ' ')) {
            if (int err = internNumber(c_, value, index)) return err;
            c_.pos += static_cast<size_t>(n);
        } else if (ch == '"' || ch == '\'') {
            const int m = scanString(c_, c_.pos, text);
            if (m < 0) return m;
            if (int err = internString(c_, text, index)) return err;
            c_.pos += static_cast<size_t>(m);
        } else {
            // An unquoted string: up to the next comma, blanks around it removed.
            size_t e = c_.pos;
            while (e < c_.typed.size() && c_.typed[e] != ',' && c_.typed[e] != '!' &&
                   c_.typed[e] != '\\')
                ++e;
            size_t t = e;
            while (t > c_.pos && c_.typed[t - 1] == ' ') --t;
            text = c_.typed.substr(c_.pos, t - c_.pos);
            if (text.size() > static_cast<size_t>(kMaxStringLiteral)) return kCeString;
            if (int err = internString(c_, text, index)) return err;
            c_.pos = e;
        }
        stmtWord(static_cast<uint16_t>(index));
        c_.skipBlanks();
        if (c_.cur() != ',') break;
        ++c_.pos;
    }
    return words_.size() > 63 ? kCeWords : 0;
}

// OPTION {BASE {0 | 1} | COLLATE {NATIVE | ALTERNATE}}, ...
int ClauseCompiler::stOption() {
    setStatement(StOption, false);
    for (;;) {
        uint8_t code = 0, value = 0;
        size_t from = 0, to = 0;
        if (matchClauseWord(code, from, to, true) != kMatch) return kCeSyntax;
        if (code == K_BASE) {
            c_.skipBlanks();
            if ((c_.cur() != '0' && c_.cur() != '1') || isDigitChar(c_.at(c_.pos + 1)))
                return kCeSyntax;
            value = static_cast<uint8_t>(c_.cur() - '0');
            ++c_.pos;
        } else if (code == K_COLLATE) {
            if (matchClauseWord(value, from, to, true) != kMatch ||
                (value != K_NATIVE && value != K_ALTERNATE))
                return kCeSyntax;
        } else {
            return kCeSyntax;
        }
        stmtWord(code);
        stmtWord(value);
        line_.options.emplace_back(code, value);
        c_.skipBlanks();
        if (c_.cur() != ',') break;
        ++c_.pos;
    }
    return 0;
}

// DIM dimitem, ...
// dimitem := name ( nexpr, ... ) | name$ ( nexpr, ... ) [* length] | name$ * length
//            (1..7 bounds; length 1..32767)
int ClauseCompiler::stDim() {
    if (c_.options.programActive) return kCeActive;
    setStatement(StDim, false);
    for (;;) {
        c_.skipBlanks();
        const size_t n = nameLength(c_.upper, c_.pos);
        if (n == 0 || n > static_cast<size_t>(kMaxNameLength)) return kCeSyntax;
        std::string nm = c_.upper.substr(c_.pos, n);
        size_t p = c_.pos + n;
        const bool s = c_.at(p) == '$';
        if (s) {
            nm += '$';
            ++p;
        }
        if (nm.compare(0, 2, "FN") == 0 && nm.size() > 2) return kCeFunction;
        c_.pos = p;
        int bounds = 0;
        if (c_.cur() == '(') {
            ++c_.pos;
            for (;;) {
                if (int err = compileExpression(c_, ExprType::Numeric)) return err;
                if (++bounds > kMaxDims) return kCeSyntax;
                c_.skipBlanks();
                if (c_.cur() == ',') {
                    ++c_.pos;
                    continue;
                }
                if (c_.cur() != ')') return kCeParen;
                ++c_.pos;
                break;
            }
        }
        int capacity = 0;
        c_.skipBlanks();
        if (c_.cur() == '*') {
            if (!s) return kCeSyntax;
            ++c_.pos;
            c_.skipBlanks();
            size_t q = c_.pos;
            while (isDigitChar(c_.at(q)) && capacity <= 32767)
                capacity = capacity * 10 + (c_.at(q++) - '0');
            if (q == c_.pos || capacity < 1 || capacity > 32767) return kCeSyntax;
            c_.pos = q;
        }
        if (bounds == 0 && capacity == 0) return kCeSyntax;  // nothing to dimension
        int index = 0;
        if (int err = internName(c_, nm, s ? DE_STRING : 0, index, bounds > 0, bounds)) return err;
        // A name new on this line gets its shape now, so that later lines see an array.
        for (PendingEntry& pe : c_.pending->nodes) {
            if (pe.index != index) continue;
            if (bounds > 0) pe.entry->attr = static_cast<uint8_t>(DA_DIMENSIONED | bounds);
            if (capacity) pe.entry->dimlen = static_cast<uint16_t>(capacity);
        }
        c_.expr.header(OpDim);
        c_.expr.word(static_cast<uint16_t>(index));
        c_.expr.word(static_cast<uint16_t>(bounds));
        c_.expr.word(static_cast<uint16_t>(capacity));
        c_.skipBlanks();
        if (c_.cur() != ',') break;
        ++c_.pos;
    }
    return 0;
}

// array := [MAT] name [( range )]
// One array operand of MAT: a name (optionally written MAT name) with an optional range.
int ClauseCompiler::matOperand(ExprType& type) {
    c_.skipBlanks();
    if (c_.upper.compare(c_.pos, 4, "MAT ") == 0) c_.pos += 4;
    c_.skipBlanks();
    const size_t n = nameLength(c_.upper, c_.pos);
    if (n == 0) return kCeSyntax;
    if (n > static_cast<size_t>(kMaxNameLength)) return kCeExpression;
    std::string nm = c_.upper.substr(c_.pos, n);
    size_t p = c_.pos + n;
    const bool s = c_.at(p) == '$';
    if (s) nm += '$';
    // A statement keyword or a function name cannot name an array.
    const int k = statementKeywords().lookup(nm);
    if (!s && k && nm == statementKeywords().name(k)) return kCeArrayName;
    if ((s ? stringFunctions() : numericFunctions()).lookup(nm)) return kCeArrayName;
    Target t;
    if (int err = compileTarget(c_, t, true)) return err;
    if (t.kind == TargetKind::Substring || t.kind == TargetKind::Function) return kCeNotAllowed;
    type = t.type;
    return 0;
}

// MAT array = { AIDX(array) | DIDX(array) | ( expr ) [{* | / | + | -} array]
//             | array [{+ | -} array] | expr }
int ClauseCompiler::stMat() {
    setStatement(StMat, false);
    ExprType targetType;
    if (int err = matOperand(targetType)) return err;
    c_.skipBlanks();
    if (c_.cur() != '=') return kCeSyntax;
    ++c_.pos;
    c_.skipBlanks();
    uint16_t sub = 0;
    if (matchWord("AIDX") || matchWord("DIDX")) {
        sub = c_.cur() == 'A' ? 48 : 49;
        c_.pos += 4;
        c_.skipBlanks();
        if (c_.cur() != '(') return kCeSyntax;
        ++c_.pos;
        ExprType t;
        if (int err = matOperand(t)) return err;
        c_.skipBlanks();
        if (c_.cur() != ')') return kCeParen;
        ++c_.pos;
        if (targetType != ExprType::Numeric) return kCeNotAllowed;  // subscripts are numbers
    } else if (c_.cur() == '(') {
        // (scalar) alone fills; (scalar) * B, / B, + C, - C combine with an array.
        ++c_.pos;
        ExprType scalar;
        if (int err = compileExpression(c_, targetType, &scalar)) return err;
        c_.skipBlanks();
        if (c_.cur() != ')') return kCeParen;
        ++c_.pos;
        c_.skipBlanks();
        const char op = c_.cur();
        if (op == '*' || op == '/' || op == '+' || op == '-') {
            ++c_.pos;
            ExprType t;
            if (int err = matOperand(t)) return err;
            if (targetType != ExprType::Numeric || t != ExprType::Numeric) return kCeNotAllowed;
            sub = op == '*' ? 8 : op == '/' ? 9 : op == '+' ? 11 : 12;
        }
    } else if (isNameStart(c_.cur())) {
        ExprType t;
        if (int err = matOperand(t)) return err;
        if (t != targetType) return kCeNotAllowed;
        c_.skipBlanks();
        const char op = c_.cur();
        if (op == '+' || op == '-') {
            ++c_.pos;
            if (int err = matOperand(t)) return err;
            if (targetType != ExprType::Numeric || t != ExprType::Numeric) return kCeNotAllowed;
            sub = op == '+' ? 11 : 12;
        }
    } else {
        if (int err = compileExpression(c_, targetType)) return err;  // a constant fill
    }
    stmtWord(sub);
    return 0;
}

// DEF fnname [( {formal, ... [; formal, ...] | ; formal, ...} )] [= expr]
// formal := [& | MAT] name
int ClauseCompiler::stDef() {
    setStatement(StDef, false);
    c_.skipBlanks();
    const size_t n = nameLength(c_.upper, c_.pos);
    if (n < 3 || c_.upper.compare(c_.pos, 2, "FN") != 0) return kCeFunction;
    if (n > static_cast<size_t>(kMaxNameLength)) return kCeExpression;
    std::string nm = c_.upper.substr(c_.pos, n);
    size_t p = c_.pos + n;
    const bool s = c_.at(p) == '$';
    if (s) {
        nm += '$';
        ++p;
    }
    int fn = 0;
    if (int err = internName(c_, nm, static_cast<uint8_t>(DE_FUNCTION | (s ? DE_STRING : 0)), fn))
        return err;
    c_.pos = p;
    stmtWord(static_cast<uint16_t>(fn));
    stmtWord(0);  // body offset: patched for a one-line function
    stmtWord(0);  // formal count
    int formals = 0;
    bool optional = false;
    c_.skipBlanks();
    if (c_.cur() == '(') {
        ++c_.pos;
        for (;;) {
            c_.skipBlanks();
            if (c_.cur() == ';' && !optional) {  // the formals after ';' are optional
                ++c_.pos;
                optional = true;
                stmtWord(kFormalOptional);
                stmtWord(0);
                continue;
            }
            uint16_t marker = kFormalValue;
            if (c_.cur() == '&') {
                marker = kFormalReference;
                ++c_.pos;
                c_.skipBlanks();
            } else if (c_.upper.compare(c_.pos, 4, "MAT ") == 0) {
                marker = kFormalArray;
                c_.pos += 4;
                c_.skipBlanks();
            }
            const size_t m = nameLength(c_.upper, c_.pos);
            if (m == 0 || m > static_cast<size_t>(kMaxNameLength)) return kCeSyntax;
            std::string formal = c_.upper.substr(c_.pos, m);
            size_t q = c_.pos + m;
            const bool fs = c_.at(q) == '$';
            if (fs) {
                formal += '$';
                ++q;
            }
            if (formal.compare(0, 2, "FN") == 0 && formal.size() > 2) return kCeFunction;
            int index = 0;
            if (int err =
                    internName(c_, formal, fs ? DE_STRING : 0, index, marker == kFormalArray, 1))
                return err;
            c_.pos = q;
            stmtWord(marker);
            stmtWord(static_cast<uint16_t>(index));
            ++formals;
            c_.skipBlanks();
            if (c_.cur() == ',') {
                ++c_.pos;
                continue;
            }
            if (c_.cur() == ';' && !optional) continue;
            if (c_.cur() != ')') return kCeParen;
            ++c_.pos;
            break;
        }
    }
    words_[2] = static_cast<uint16_t>(formals);
    if (words_.size() > 63) return kCeWords;
    c_.skipBlanks();
    const bool oneLine = c_.cur() == '=';
    if (oneLine) ++c_.pos;
    // The DEF clause, then the skip over the body.
    const size_t defAt = line_.code.size();
    if (int err = finish()) return err;
    const size_t bodyWordAt = defAt + c_.expr.size() + 3 + 2;  // term, header, count, fn
    begin();
    setStatement(StSkip, true);
    stmtWord(static_cast<uint16_t>(kTargetUnresolved));
    stmtWord(kBlockDef);
    if (int err = finish()) return err;
    if (!oneLine) {
        begin();
        code_ = 0xFF;  // nothing more: the caller has no clause to finish
        return 0;
    }
    // FNx = expression, then the function return.
    writeWord(line_.code.data() + bodyWordAt, static_cast<uint16_t>(line_.code.size()));
    begin();
    setStatement(StLet, false);
    c_.expr.word(static_cast<uint16_t>(fn));
    if (int err = compileExpression(c_, s ? ExprType::String : ExprType::Numeric)) return err;
    c_.expr.header(OpAssign);
    if (int err = finish()) return err;
    begin();
    setStatement(StFnend, true);
    return 0;
}

// SELECT CASE expr
int ClauseCompiler::stSelect() {
    if (!matchStatementWord(StCase)) return kCeKeywordMissing;
    setStatement(StSelect, false);
    // The value is kept in a variable of the SELECT's own, which the CASE tests read.
    const CompileMark mark = markState(c_);
    ExprType type;
    if (int err = compileExpression(c_, ExprType::Any, &type)) return err;
    restoreState(c_, mark);
    std::string hidden = "*SELECT" + std::to_string(line_.number);
    if (type == ExprType::String) hidden += '$';
    int index = 0;
    if (int err = internName(c_, hidden, type == ExprType::String ? DE_STRING : 0, index))
        return err;
    for (PendingEntry& pe : c_.pending->nodes)
        if (pe.index == index && type == ExprType::String) pe.entry->dimlen = 32767;
    c_.expr.word(static_cast<uint16_t>(index));
    if (int err = compileExpression(c_, type)) return err;
    c_.expr.header(OpAssign);
    return 0;
}

// CASE {ELSE | value, ...}      value := number | string literal | name
int ClauseCompiler::stCase() {
    // Every CASE line begins with the skip that ends the previous CASE's statements.
    setStatement(StSkip, true);
    stmtWord(static_cast<uint16_t>(kTargetUnresolved));
    stmtWord(kBlockCase);
    uint8_t code = 0;
    size_t from = 0, to = 0;
    const CompileMark mark = markState(c_);
    if (matchClauseWord(code, from, to, true) == kMatch && code == K_ELSE) return 0;
    restoreState(c_, mark);
    if (int err = finish()) return err;
    begin();
    setStatement(StCase, false);
    c_.expr.word(0);  // the SELECT's variable, filled in by resolution
    int values = 0;
    for (;;) {
        c_.skipBlanks();
        int index = 0;
        double value = 0;
        std::string text;
        const int n = scanNumber(c_, c_.pos, value);
        if (n < 0) return n;
        if (n > 0) {
            if (int err = internNumber(c_, value, index)) return err;
            c_.pos += static_cast<size_t>(n);
        } else if (c_.cur() == '"' || c_.cur() == '\'') {
            const int m = scanString(c_, c_.pos, text);
            if (m < 0) return m;
            if (int err = internString(c_, text, index)) return err;
            c_.pos += static_cast<size_t>(m);
        } else if (const size_t m = nameLength(c_.upper, c_.pos); m > 0) {
            if (m > static_cast<size_t>(kMaxNameLength)) return kCeExpression;
            std::string nm = c_.upper.substr(c_.pos, m);
            size_t p = c_.pos + m;
            const bool s = c_.at(p) == '$';
            if (s) {
                nm += '$';
                ++p;
            }
            if (c_.at(p) == '(') return kCeNotAllowed;
            if (int err = internName(c_, nm, s ? DE_STRING : 0, index)) return err;
            c_.pos = p;
        } else {
            return kCeExpression;
        }
        if (values == 0) {
            c_.expr.word(static_cast<uint16_t>(index));
            c_.expr.header(OpMatch);
        } else {
            c_.expr.word(static_cast<uint16_t>(index));
        }
        ++values;
        c_.skipBlanks();
        if (c_.cur() != ',') break;
        ++c_.pos;
    }
    stmtWord(static_cast<uint16_t>(kTargetUnresolved));
    return 0;
}

// labelname :        (first on the line, or after another label)
int ClauseCompiler::stLabel() {
    const size_t n = nameLength(c_.upper, c_.pos);
    int index = 0;
    if (int err = internName(c_, ":" + c_.upper.substr(c_.pos, n), 0, index)) return err;
    c_.pos += n + 1;  // the name and its ':'
    setStatement(StLabel, true);
    stmtWord(static_cast<uint16_t>(index));
    kind = ClauseKind::Label;
    return 0;
}

// The statements parsed by their own routines; beside those above:
//   EXIT exits
//   FNEND | CONTINUE | RETRY | USE
int ClauseCompiler::ownRoutine() {
    switch (code_) {
        case StLet: return assignment();
        case StIf: return stIf();
        case StFor: return stFor();
        case StOn: return stOn();
        case StDef: return stDef();
        case StDim: return stDim();
        case StMat: return stMat();
        case StData: return stData();
        case StOption: return stOption();
        case StLibrary: return stLibrary();
        case StCall: return stCall();
        case StForm: return stForm();
        case StExit: {
            setStatement(StExit, false);
            return exitList(true);
        }
        case StFnend:
        case StContinue:
        case StRetry:
        case StUse: setStatement(code_, true); return 0;
        default: return kCeSyntax;
    }
}

// line               (directly after THEN or ELSE: GOTO line)
int ClauseCompiler::impliedGoto(bool& done) {
    done = false;
    c_.skipBlanks();
    const size_t n = nameLength(c_.upper, c_.pos);
    if (n > 0) {
        const std::string word = c_.upper.substr(c_.pos, n);
        const char after = c_.at(c_.pos + n);
        if (statementKeywords().lookup(word) || word == "FOR" || after == '$' || after == '(')
            return 0;
        const size_t save = c_.pos;
        c_.pos += n;
        const bool ends = atClauseEnd();
        c_.pos = save;
        if (!ends) return 0;  // NAME = ... and the like: a statement
    } else if (!isDigitChar(c_.cur())) {
        return 0;
    }
    begin();
    LineRef ref;
    bool found = false;
    if (int err = lineReference(ref, found)) return err;
    if (!found) return kCeSyntax;
    setStatement(StGoto, true);
    stmtLref(ref);
    done = true;
    return finish();
}

// clause := labelname : | ELSE | REM text | assignment | statement
//           (REM text runs to the end of the line; a statement is its keyword and its rule)
int ClauseCompiler::compileStatement(bool lineStart) {
    begin();
    kind = ClauseKind::Plain;
    c_.skipBlanks();
    const size_t start = c_.pos;

    // A label at the start of the line: a name followed directly by ':'.
    const size_t n = nameLength(c_.upper, start);
    if (lineStart && n > 0 && c_.at(start + n) == ':' && c_.at(start + n + 1) != '=' &&
        n <= static_cast<size_t>(kMaxNameLength) &&
        statementKeywords().lookup(c_.upper.substr(start, n)) == 0) {
        if (int err = stLabel()) return err;
        return finish();
    }
    if (n == 4 && c_.upper.compare(start, 4, "ELSE") == 0 && c_.at(start + 4) != '$') {
        const size_t to = start + 4;
        if (c_.typed.compare(start, 4, "ELSE") == 0)
            c_.source.clauseKeyword(start, to, K_ELSE);
        else
            c_.source.copyTo(to);  // typed otherwise: kept as typed
        c_.pos = to;
        if (int err = stElse()) return err;
        return finish();
    }
    if (n == 0) return kCeSyntax;

    const std::string word = c_.upper.substr(start, n);
    const KeywordTable& table = statementKeywords();
    int k = table.lookup(word);
    uint8_t code = k ? table.code(k) : 0;
    if (!k && word == "FOR") code = StFor;  // FOR is ambiguous with FORM as an abbreviation
    // A keyword followed by '=' (or '$', or an operator assignment) names a variable.
    size_t after = start + n;
    const char a0 = c_.at(after);
    size_t q = after;
    while (c_.at(q) == ' ') ++q;
    const char a1 = c_.at(q), a2 = c_.at(q + 1);
    bool assignment =
        a0 == '$' || a1 == '=' || ((a1 == '+' || a1 == '-' || a1 == '*' || a1 == '/') && a2 == '=');
    if (a0 == '(') {  // NAME(...) = : an element of an array named like a keyword
        int depth = 0;
        char quote = 0;
        size_t p = after;
        for (; p < c_.typed.size(); ++p) {
            const char ch = c_.typed[p];
            if (quote) {
                if (ch == quote) quote = 0;
            } else if (ch == '"' || ch == '\'') {
                quote = ch;
            } else if (ch == '(') {
                ++depth;
            } else if (ch == ')' && --depth == 0) {
                break;
            }
        }
        size_t e = p + 1;
        while (c_.at(e) == ' ') ++e;
        const char b1 = c_.at(e), b2 = c_.at(e + 1);
        if (p < c_.typed.size() &&
            ((b1 == '=' && b2 != '=') ||
             ((b1 == '+' || b1 == '-' || b1 == '*' || b1 == '/') && b2 == '=')))
            assignment = true;
    }
    if (code == 0 || assignment) {
        if (int err = this->assignment()) return err;
        return finish();
    }
    c_.source.keyword(start, after);
    c_.pos = after;
    code_ = code;

    int err = 0;
    switch (code) {
        case StRem: {
            // The rest of the line is the remark, as typed.
            c_.source.copyTo(c_.typed.size());
            c_.pos = c_.typed.size();
            setStatement(StRem, true);
            kind = ClauseKind::Rem;
            return finish();
        }
        case StIf: err = stIf(); break;
        case StEnd:
        case StStop: err = stEnd(code); break;
        case StSystem: err = stSystem(); break;
        case StSelect: err = stSelect(); break;
        case StCase: err = stCase(); break;
        case StTrace:
            err = walk(P_TRACE);
            if (!err) err = stTrace();
            break;
        case StPause:
        case StRandomize:
        case StReturn:
        case StIgnore: setStatement(code, true); break;
        case StBreak: setStatement(StBreak, false); break;
        case 60:
        case 61: return kCeSyntax;  // WHILE and UNTIL belong to DO and LOOP
        default: {
            const StatementDef def = definition(code);
            listKind_ = def.list;
            setStatement(code, false);
            c_.skipBlanks();
            // READ without a file number reads the program's DATA.
            const bool readData = code == StRead && c_.cur() != '#';
            err = walk(readData ? P_READDATA : def.program);
            if (!err && code == StRewrite && !c_.partRecorded) err = kCeSyntax;
            if (err) break;
            if (code == StGoto || code == StGosub) {
                // GOTO line: the direct form, the target's words after the statement byte.
                c_.parts.reset(false);
                setStatement(code, true);
                stmtLref(lref_);
            } else if (code == StNext) {
                stmtWord(static_cast<uint16_t>(kTargetUnresolved));
                stmtWord(static_cast<uint16_t>(kTargetUnresolved));
            }
            if (def.exits && err == 0) err = exitList(false);
            break;
        }
    }
    if (err) return err;
    if (code_ == 0xFF) return 0;  // the statement finished its own clauses
    return finish();
}

// Upper-cases the text outside quotes.
std::string upperOutsideQuotes(std::string_view text) {
    std::string u(text);
    char quote = 0;
    for (char& ch : u) {
        if (quote) {
            if (ch == quote) quote = 0;
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == '!') {
            break;  // a comment stays as typed
        } else if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
    return u;
}

}  // namespace

// typed := [number] [clause [\ clause] ...] [! comment]      (number exactly when `numbered`)
// After IF ... THEN and after ELSE the next clause may be a bare line (a GOTO); an ELSE may
// follow the clause after THEN without a '\'.
int compileLine(pcb& pc, std::string_view text, PendingDict& pending, const CompileOptions& options,
                CompiledLine& out, bool numbered) {
    out = CompiledLine{};
    CompileCtx c;
    c.pc = &pc;
    c.pending = &pending;
    c.options = options;
    c.typed.assign(text);
    while (!c.typed.empty() && (c.typed.back() == ' ' || c.typed.back() == '\r' ||
                                c.typed.back() == '\n' || c.typed.back() == '\t'))
        c.typed.pop_back();
    c.upper = upperOutsideQuotes(c.typed);
    LineBuilder line;
    auto failAt = [&](int err) {
        out.errorPos = c.pos;
        pendingDiscard(pending);
        return err;
    };
    // A zero byte cannot be part of a line: the text after it would be kept but not compiled.
    if (const size_t nul = c.typed.find('\0'); nul != std::string::npos) {
        c.pos = nul;
        return failAt(kCeSyntax);
    }

    c.skipBlanks();
    if (numbered) {
        const size_t from = c.pos;
        uint32_t n = 0;
        while (isDigitChar(c.cur())) {
            if (n <= kMaxLineNumber) n = n * 10 + static_cast<uint32_t>(c.cur() - '0');
            ++c.pos;
        }
        if (c.pos == from || n == 0 || n > kMaxLineNumber || c.pos - from > 5)
            return failAt(kCeLineNumber);
        out.number = n;
        line.number = n;
        if (c.cur() == ' ') ++c.pos;  // one blank separates the number from the text
        size_t rest = c.pos;
        while (c.at(rest) == ' ') ++rest;
        if (rest >= c.typed.size()) {
            out.empty = true;
            return 0;
        }
    }
    c.source.reset(c.typed, c.pos);

    ClauseCompiler cc(c, line);
    bool lineStart = true;
    bool afterThen = false;
    for (;;) {
        c.skipBlanks();
        if (c.cur() == '\0') break;
        if (c.cur() == '!') {  // a comment runs to the end of the line
            c.source.comment(c.pos + 1, c.typed.size());
            c.pos = c.typed.size();
            break;
        }
        // A line number or label after THEN or ELSE is a GOTO to it.
        if (afterThen) {
            bool done = false;
            if (int err = cc.impliedGoto(done)) return failAt(err);
            if (done) {
                afterThen = false;
                lineStart = false;
                continue;
            }
        }
        const size_t clauseAt = line.code.size();
        if (int err = cc.compileStatement(lineStart)) return failAt(err);
        if (cc.kind == ClauseKind::Else) {
            // An ELSE first on its line ends a block IF's THEN part; inside a line it ends the
            // THEN part of that line's IF.
            writeWord(line.code.data() + clauseAt + 4, lineStart ? kBlockElse : kBlockLineElse);
            if (!lineStart) {
                if (line.openIfs.empty()) return failAt(kCeSyntax);
                const size_t target = line.code.size();
                writeWord(line.code.data() + line.openIfs.back().targetWord,
                          static_cast<uint16_t>(-static_cast<int>(target)));
                line.openIfs.pop_back();
            }
            afterThen = true;
        } else if (cc.kind == ClauseKind::If) {
            // The target word follows the terminator and the statement header.
            size_t p = clauseAt;
            p += 1 + 2 * static_cast<size_t>(line.code[p]);  // count byte and words
            // Walk the operator items up to the terminator.
            while (line.code[p] != kTerminator) {
                const uint8_t h = line.code[p++];
                if ((h & 0xC0) == 0x80)
                    p += 2;
                else if ((h & 0xC0) == 0xC0)
                    p += 1 + 2 * static_cast<size_t>(line.code[p]);
            }
            const size_t targetWord = p + 2;  // terminator, header
            size_t rest = c.pos;
            while (c.at(rest) == ' ') ++rest;
            const bool block = c.at(rest) == '\0' || c.at(rest) == '!';
            if (!block) line.openIfs.push_back({targetWord});
            afterThen = true;
        } else {
            afterThen = false;
        }
        if (cc.kind == ClauseKind::Label) {
            lineStart = true;  // what follows a label is still the start of the line
            continue;
        }
        lineStart = false;
        c.skipBlanks();
        if (c.cur() == '\\') {
            ++c.pos;
            afterThen = false;
            continue;
        }
        if (c.cur() == '\0' || c.cur() == '!') continue;
        if (afterThen) continue;  // the statement after THEN or ELSE
        if (c.upper.compare(c.pos, 4, "ELSE") == 0 && !isNameChar(c.at(c.pos + 4))) continue;
        return failAt(kCeSyntax);
    }
    // IFs whose line has no ELSE for them: false continues with the next line.
    for (const LineBuilder::OpenIf& oi : line.openIfs)
        writeWord(line.code.data() + oi.targetWord, static_cast<uint16_t>(kTargetNextLine));
    c.source.copyTo(c.typed.size());
    line.code.push_back(kLineEnd);
    if (line.code.size() > 255) return failAt(kCeLineTooLong);
    out.code = std::move(line.code);
    out.source = c.source.text();
    out.executable = line.anyExecutable;
    if (out.source.size() > 65535) return failAt(kCeLineTooLong);
    // OPTION statements take effect when the line is stored.
    for (const auto& [option, value] : line.options) {
        if (option == K_BASE) pc.progoptions[1] = static_cast<uint8_t>(value);
        if (option == K_COLLATE) pc.progoptions[2] = value == K_ALTERNATE ? 1 : 0;
    }
    return 0;
}

int enterLine(pcb& pc, std::string_view text, const CompileOptions& options, size_t* errorPos) {
    PendingDict pending;
    CompiledLine line;
    if (int err = compileLine(pc, text, pending, options, line, true)) {
        if (errorPos) *errorPos = line.errorPos;
        return err;
    }
    if (line.empty) {
        deleteLine(pc, line.number);
        return 0;
    }
    if (int err = storeLine(pc, line.number, line.code, line.source, line.executable)) {
        pendingDiscard(pending);
        return -err;
    }
    pendingCommit(pc, pending);
    return 0;
}

}  // namespace vxs
