// The compiled-code contract shared by the compiler, the interpreter and program files: the
// operator kinds, the statement codes with the words each form carries, the part items that
// follow a statement, line references and the stored-source tokens.  docs/code-format.md gives
// the same contract in prose with examples; every value here is part of the stored format.
//
// A line's code:
//
//   line    := clause+ 0x7F
//   clause  := count:u8 (0..63) word[count] item* ( direct | 0x00 statement part* end )
//   item    := header (kind in bits 0-5; bits 6-7: 00 no words, 10 one word, 11 a count byte
//              1..63 follows) word*            -- words are 16-bit little-endian
//   direct  := 0x40|code word[directWords(code)]   -- a statement in its direct form; the clause
//                                                      ends after its words
//   statement := item whose kind is the statement code (its words: see the statement table)
//   part    := item (part kinds below)
//   end     := one byte 0x40..0x7F: 0x40, or 0x6C (THEN) after IF
//
// The interpreter pushes the count words, runs the items as operators (Part of evaluation) until
// the terminator 0x00 or a direct statement byte, then dispatches the statement.
#pragma once

#include <cstdint>
#include <cstring>

#include "vxs/errors/errors.h"

namespace vxs {

// ---- operator kinds (expression items) ----
// X(kind, name, precedence, parameter words, meaning)
// Parameter words are the first words of a reference item; they belong to the operator.  Every
// other word of an item is an operand that the evaluator pushes after the operator has run.
#define VX_OPERATORS(X)                                                                    \
    X(0, OpEnd, 0, 0, "end of the expression")                                             \
    X(3, OpAnd, 11, 0, "plain AND of two numbers")                                         \
    X(4, OpOr, 11, 0, "plain OR of two numbers")                                           \
    X(7, OpPower, 9, 0, "left ** right")                                                   \
    X(8, OpMul, 8, 0, "left * right")                                                      \
    X(9, OpDiv, 8, 0, "left / right")                                                      \
    X(11, OpAdd, 7, 0, "left + right")                                                     \
    X(12, OpSub, 7, 0, "left - right")                                                     \
    X(13, OpAssign, 4, 0, "assign right to the target below it")                           \
    X(14, OpSubAssign, 4, 0, "target$(x:y) = source$")                                     \
    X(15, OpConcat, 0, 0, "left$ & right$")                                                \
    X(17, OpGt, 6, 0, "left > right")                                                      \
    X(18, OpLt, 6, 0, "left < right")                                                      \
    X(19, OpGe, 6, 0, "left >= right")                                                     \
    X(20, OpLe, 6, 0, "left <= right")                                                     \
    X(21, OpNe, 6, 0, "left <> right")                                                     \
    X(22, OpEq, 6, 0, "left = right")                                                      \
    X(23, OpMatch, 6, 63, "position of left among right and the listed cells (all words)") \
    X(24, OpMulAssign, 0, 0, "left *= right")                                              \
    X(25, OpDivAssign, 0, 0, "left /= right")                                              \
    X(27, OpAddAssign, 0, 0, "left += right")                                              \
    X(28, OpSubAssignNum, 0, 0, "left -= right")                                           \
    X(31, OpGroup, 2, 0, "logical group marker (operator stack only)")                     \
    X(32, OpCallFn, 0, 2, "user function call [function, argument count]")                 \
    X(33, OpCallStr, 0, 2, "string function call [function code, argument count]")         \
    X(34, OpCallNum, 0, 2, "numeric function call [function code, argument count]")        \
    X(35, OpElement, 0, 2, "array element [array, subscript count]")                       \
    X(36, OpDim, 0, 3, "dimension [array, bound count, string capacity or 0]")             \
    X(37, OpElementConst, 0, 2, "array element, constant subscript [array, subscript]")    \
    X(38, OpRange, 0, 1, "array range A(x:y) [array]")                                     \
    X(39, OpInteger, 0, 1, "push the word as an integer [value]")                          \
    X(48, OpNot, 5, 0, "NOT")                                                              \
    X(49, OpTilde, 13, 0, "unary ~ (logical not)")                                         \
    X(50, OpNeg, 13, 0, "unary minus")                                                     \
    X(51, OpAbs, 14, 0, "ABS(x)")                                                          \
    X(52, OpInt, 14, 0, "INT(x)")                                                          \
    X(53, OpSgn, 14, 0, "SGN(x)")                                                          \
    X(58, OpChainStart, 4, 0, "start of a logical AND/OR chain")                           \
    X(59, OpChainEnd, 2, 0, "end of a logical chain")                                      \
    X(61, OpAndTest, 4, 0, "AND: skip the right operand when the left is false")           \
    X(62, OpOrTest, 4, 0, "OR: skip the right operand when the left is true")              \
    X(63, OpParen, 1, 0, "( marker (operator stack only)")

enum OperatorKind : uint8_t {
#define VX_OP_ENUM(kind, name, prec, params, meaning) name = kind,
    VX_OPERATORS(VX_OP_ENUM)
#undef VX_OP_ENUM
};

// Precedence of each of the 64 kinds (0 for kinds without one).
int operatorPrecedence(int kind);
// Parameter words of a reference operator (63: all of its words).  The evaluator asks for every
// item, so the table is reached without a call.
namespace detail {
struct OperatorParams {
    int8_t words[64] = {};
    constexpr OperatorParams() {
#define VX_OP_PARAMS(kind, name, prec, params, meaning) words[kind] = params;
        VX_OPERATORS(VX_OP_PARAMS)
#undef VX_OP_PARAMS
    }
};
inline constexpr OperatorParams kOperatorParams;
}  // namespace detail
inline int operatorParameterWords(int kind) {
    return kind >= 0 && kind < 64 ? detail::kOperatorParams.words[kind] : 0;
}
const char* operatorName(int kind);

// ---- statement codes ----
// X(code, name, direct-form words, statement-item words, meaning)
// direct-form words: -1 when the statement has no direct form.  statement-item words: the layout
// of the words of the (non-direct) statement item.
#define VX_STATEMENTS(X)                                                                  \
    X(1, StLet, -1, "none", "assignment (the expression assigned; the value is dropped)") \
    X(2, StMat, -1, "[sub-code]", "whole-array operation")                                \
    X(3, StRem, 0, "-", "remark")                                                         \
    X(4, StPause, 0, "-", "stop after the clause with status PAUSE")                      \
    X(5, StUse, 0, "-", "no effect")                                                      \
    X(6, StRandomize, 0, "-", "reseed the random generator")                              \
    X(7, StOption, -1, "[option, value]", "program option (BASE 0/1, COLLATE 8/9)")       \
    X(8, StTrace, -1, "[4 on | 5 off | 6 print]", "trace setting")                        \
    X(11, StDim, -1, "none", "dimensioning (done by the expression's items 36)")          \
    X(12, StData, -1, "[literal...]", "data constants")                                   \
    X(13, StLibrary, -1, "[operand count, release]", "attach library functions")          \
    X(16, StDisplay, -1, "none + parts", "display menu, buttons, text, data, status")     \
    X(17, StRestore, -1, "none + parts", "reposition a file or the data pointer")         \
    X(18, StOpen, -1, "none + parts", "open a file")                                      \
    X(19, StClose, -1, "none + parts", "close a file")                                    \
    X(20, StRead, -1, "none + parts", "read a record")                                    \
    X(21, StWrite, -1, "none + parts", "write a record")                                  \
    X(22, StReread, -1, "none + parts", "read the last record again")                     \
    X(23, StRewrite, -1, "none + parts", "rewrite a record")                              \
    X(24, StPrint, -1, "none + parts", "print list")                                      \
    X(25, StInput, -1, "none + parts", "input list")                                      \
    X(26, StLinput, -1, "none + parts", "line input")                                     \
    X(27, StRinput, -1, "none + parts", "re-input")                                       \
    X(28, StDelete, -1, "none + parts", "delete a record")                                \
    X(29, StRelease, -1, "none + parts", "release record locks")                          \
    X(30, StForm, -1, "none", "FORM (its text is the operand)")                           \
    X(31, StReserve, -1, "none + parts", "reserved I/O statement")                        \
    X(32, StGosub, 3, "[n, LREF x n, none, LREF]", "GOSUB / ON expression GOSUB")         \
    X(33, StReturn, 0, "-", "return from GOSUB")                                          \
    X(34, StFor, -1, "[POS after NEXT]", "FOR")                                           \
    X(35, StNext, -1, "[POS loop start]", "NEXT")                                         \
    X(36, StSkip, 2, "-", "block skip [target line, block kind]")                         \
    X(38, StDef, -1, "[function, body offset, formals...]", "function definition")        \
    X(39, StFnend, 0, "-", "function return")                                             \
    X(40, StIf, -1, "[target]", "IF: continue when true, else take the target")           \
    X(41, StOn, -1, "[condition, action, LREF]", "ON condition")                          \
    X(42, StContinue, 0, "-", "continue after the failed statement")                      \
    X(43, StRetry, 0, "-", "run the failed clause again")                                 \
    X(44, StGoto, 3, "[n, LREF x n, none, LREF]", "GOTO / ON expression GOTO")            \
    X(45, StExit, -1, "none + exit parts", "error exit list line")                        \
    X(46, StStop, 0, "-", "stop the program")                                             \
    X(47, StEnd, 0, "-", "end the program")                                               \
    X(49, StChain, -1, "[operand count, files]", "chain to a program")                    \
    X(51, StCall, -1, "[operand count]", "call an external routine")                      \
    X(53, StLabel, 1, "-", "line label [label name entry]")                               \
    X(54, StExecute, -1, "none", "run a command")                                         \
    X(55, StSystem, 0, "-", "end the program and shut down")                              \
    X(56, StIgnore, 0, "-", "no effect")                                                  \
    X(57, StSelect, -1, "none", "SELECT CASE marker (the value is assigned before it)")   \
    X(58, StCase, -1, "[target]", "CASE test: as IF")                                     \
    X(59, StDo, 0, "[target LOOP line]", "DO WHILE/UNTIL test; direct: marker")           \
    X(62, StLoop, 2, "[POS of DO]", "LOOP WHILE/UNTIL test; direct: jump back always")    \
    X(63, StBreak, -1, "none", "break point statement")

enum StatementCode : uint8_t {
#define VX_ST_ENUM(code, name, direct, words, meaning) name = code,
    VX_STATEMENTS(VX_ST_ENUM)
#undef VX_ST_ENUM
};

// Words after the direct-form byte of `code`; -1 when the statement has no direct form.
int directWords(int code);
const char* statementName(int code);

inline constexpr uint8_t kDirect = 0x40;      // direct form: kDirect | code
inline constexpr uint8_t kTerminator = 0x00;  // ends the expression before a statement item
inline constexpr uint8_t kClauseEnd = 0x40;   // the plain end of a clause
inline constexpr uint8_t kThenEnd = 0x6C;     // THEN (108) ends an IF clause
inline constexpr uint8_t kLineEnd = 0x7F;     // after the last clause of the line

// ---- part items (after the statement item, before the end) ----
// Clause keywords with element codes below 64 are parts whose kind is the element code; a
// keyword that takes a value finds it as the next operand of the clause, in source order.
inline constexpr uint8_t kPartFile = 16;  // file number: [constant] or no word (next operand)
inline constexpr uint8_t kPartLine = 18;  // a line reference: LREF (3 words)
inline constexpr uint8_t kPartList =
    20;  // the item list: [operand count]; PRINT's list bytes follow
inline constexpr uint8_t kPartExit = 63;  // an error exit: [condition code, LREF]

// Element codes of the clause keywords: the kinds of keyword parts, and the condition codes of
// error exits and ON.
enum : uint8_t {
    K_BASE = 0,
    K_RD = 1,
    K_ON = 4,
    K_OFF = 5,
    K_PRINT = 6,
    K_COLLATE = 7,
    K_NATIVE = 8,
    K_ALTERNATE = 9,
    K_SELECT = 11,
    K_WAIT = 12,
    K_EXTERNAL = 13,
    K_ATTR = 14,
    K_BORDER = 15,
    K_USING = 17,
    K_FIELDS = 19,
    K_DROP = 21,
    K_FREE = 22,
    K_RELEASE = 23,
    K_DISPLAY = 24,
    K_INTERNAL = 25,
    K_INPUT = 26,
    K_OUTPUT = 27,
    K_OUTIN = 28,
    K_SEQUENTIAL = 29,
    K_RELATIVE = 30,
    K_KEYED = 31,
    K_BUTTONS = 32,
    K_MENU = 33,
    K_TEXT = 34,
    K_DATA = 35,
    K_STATUS = 36,
    K_RESERVE = 39,
    K_KEYEQ = 48,
    K_KEYGE = 49,
    K_SEARCHEQ = 50,
    K_SEARCHGE = 51,
    K_RECEQ = 52,
    K_POSEQ = 53,
    K_SOFLOW = 96,
    K_CONV = 97,
    K_OFLOW = 98,
    K_HELP = 99,
    K_ZDIV = 100,
    K_ATTN = 101,
    K_FNKEY = 102,
    K_EVENT = 103,
    K_ERROR = 104,
    K_TO = 105,
    K_STEP = 106,
    K_LOCKED = 107,
    K_THEN = 108,
    K_ELSE = 109,
    K_NONE = 110,
    K_LIBRARY = 111,
    K_FILES = 118,
    K_EOF = 120,
    K_IOERR = 121,
    K_NOKEY = 122,
    K_NOREC = 123,
    K_DUPREC = 124,
    K_PAGEOFLOW = 125,
    K_TIMEOUT = 126,
    K_EXIT = 127,
};

// Print-list bytes (after kPartList of PRINT): bits 0-2 values (1..6, 7 a TAB item, 0 none),
// bits 3-4 what follows (0 end of line, 8 comma, 16 semicolon, 24 an empty item ending the line),
// bit 5 the last item.
inline constexpr uint8_t kPrintTab = 7;
inline constexpr uint8_t kPrintEol = 0, kPrintComma = 8, kPrintSemicolon = 16, kPrintEmpty = 24;
inline constexpr uint8_t kPrintLast = 32;

// Block kinds carried by the second word of a block skip (36).
enum BlockKind : uint16_t {
    kBlockElse = 1,       // a block ELSE line: skip to the line after END IF
    kBlockEndIf = 2,      // END IF: continue in sequence (-2)
    kBlockCase = 3,       // before a CASE: skip to the line after END SELECT
    kBlockEndSelect = 4,  // END SELECT: continue in sequence
    kBlockDef = 5,        // after a DEF: skip the function body
    kBlockLineElse = 6,   // ELSE inside one line: skip to the next line
};

// ON condition actions (StOn's second word).
inline constexpr uint16_t kOnGoto = 0, kOnSystem = 2, kOnIgnore = 3;

// DEF formal markers (StDef words after [function, body offset, formal count]: marker, entry).
inline constexpr uint16_t kFormalValue = 1, kFormalReference = 2, kFormalArray = 3;
inline constexpr uint16_t kFormalOptional = 4;  // the following formals are optional (no entry)

// Jump targets held in words.
inline constexpr int16_t kTargetUnresolved = -1;
inline constexpr int16_t kTargetNextLine = -2;  // continue with the next line in sequence
// A target -k (k >= 3) continues at byte k of the current line's code.

// ---- line references ----
// LREF: three words [line index (-1 until resolved), number low 16 bits, high word]; the high
// word holds bits 16-23 of the number in its low byte, or has bit 15 set for a label, whose name
// entry is then the low word.
inline constexpr uint16_t kLrefLabel = 0x8000;
inline constexpr int kLrefWords = 3;
struct LineRef {
    int16_t index = kTargetUnresolved;
    uint32_t number = 0;  // 1..99999 when it is a number
    int label = 0;        // dictionary index of the label's name entry, 0 for a number
};
// Reads / writes the three words at `p` (6 bytes).
LineRef readLineRef(const uint8_t* p);
void writeLineRef(uint8_t* p, const LineRef& ref);

inline uint16_t readWord(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline void writeWord(uint8_t* p, uint16_t w) {
    p[0] = static_cast<uint8_t>(w);
    p[1] = static_cast<uint8_t>(w >> 8);
}

// ---- compile errors (negative) ----
inline constexpr int kCeString = -4;             // string literal longer than 250 characters
inline constexpr int kCeArrayName = -121;        // MAT: the array name is a reserved word
inline constexpr int kCeSyntax = -1001;          // the clause does not fit its statement
inline constexpr int kCeAfterCommit = -1006;     // mismatch after a commit point
inline constexpr int kCeKeywordMissing = -1022;  // a required clause keyword is missing
inline constexpr int kCeColon = -1024;           // a required ':' is missing
inline constexpr int kCeColonAfterPart = -1026;  // ... after a clause part was recorded
inline constexpr int kCeExpression = -1030;      // not an expression where one is required
inline constexpr int kCeNotAllowed = -1032;      // construct not allowed in this statement
inline constexpr int kCeAfterString = -1034;     // incomplete expression after a string operand
inline constexpr int kCeAfterRelation = -1036;   // incomplete expression after a relation
inline constexpr int kCeOperator = -1039;        // <<, >> and % are not operators
inline constexpr int kCeFunction = -1042;        // a function reference not valid here
inline constexpr int kCeWorkArea = -1050;        // compile work area exhausted
inline constexpr int kCeLineTooLong = -1051;     // the line's code would exceed 255 bytes
inline constexpr int kCeLineNumber = -1052;      // not a line number 1..99999
inline constexpr int kCeWords = -1080;           // more than 63 words after one header
inline constexpr int kCeActive = -1152;          // DIM, LIBRARY or a new array while active
inline constexpr int kCeNoMemory = -9000;        // out of memory for a dictionary entry
inline constexpr int kCeParen = -9997;           // unbalanced parenthesis
// Command mode shows a compile error as its positive number, which the error table holds with
// its text and advice (several numbers carry a run-time meaning as well).
static_assert(-kCeString == kErrStringOverflow && -kCeArrayName == kErrDimension &&
              -kCeSyntax == kErrCompileSyntax && -kCeAfterCommit == kErrUnrecognized &&
              -kCeKeywordMissing == kErrKeywordMissing && -kCeColon == kErrColonMissing &&
              -kCeColonAfterPart == kErrColonAfterParts &&
              -kCeExpression == kErrExpressionExpected && -kCeNotAllowed == kErrNotAllowedHere &&
              -kCeAfterString == kErrStringOperand && -kCeAfterRelation == kErrAfterRelation &&
              -kCeOperator == kErrNotOperator && -kCeFunction == kErrFunctionMisplaced &&
              -kCeWorkArea == kErrFormTooLong && -kCeLineTooLong == kErrLineCodeTooLong &&
              -kCeLineNumber == kErrLineNumber && -kCeWords == kErrTooManyOperands &&
              -kCeActive == kErrActiveProgramDim && -kCeNoMemory == kErrNoMemory &&
              -kCeParen == kErrLibraryCurrent);

// Run-time error of a jump whose target line or block partner does not exist.

// ---- stored source tokens ----
// Bytes below 8 in a stored source text are tokens; any other byte is text as typed.
inline constexpr uint8_t kSrcLiteral = 1;   // 1 b: the byte b as typed (b < 8)
inline constexpr uint8_t kSrcClauseKw = 2;  // 2 c: the clause keyword of element code c
inline constexpr uint8_t kSrcLineNum = 4;   // 4 n0 n1 n2 w: line number n typed with w digits
inline constexpr uint8_t kSrcKeyword = 5;   // 5 len text: a statement keyword as typed
inline constexpr uint8_t kSrcComment = 6;   // 6 len text: comment text after '!'

}  // namespace vxs
