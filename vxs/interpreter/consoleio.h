// PRINT, INPUT, LINPUT and RINPUT on the console window (#0): the window's output line buffer
// with its current column, the print-list layout (zones, TAB, wrapping at the window's width),
// and the input statements reading one typed line each.  Other files get their own line buffer
// of the same kind when files can be opened.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "vxs/compiler/vxexe.h"
#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/values.h"

namespace vxs {

// The operands of a clause, in source order from the RPN stack's base, as its statement takes
// them.
struct Operands {
    RpnEntry* at;
    size_t count;
    size_t next = 0;
    bool take(RpnEntry& e) {
        if (next >= count) return false;
        e = at[next++];
        return true;
    }
    static Operands ofStack() { return {rpnStack().rpn_stkbase, rpnStack().size(), 0}; }
};
// The number an operand holds (a cell's, or a small integer).
inline double numberOf(RpnEntry e) {
    const Cell* c = rpnCellOf(e);
    return c ? cellNumber(c) : rpnSmallValue(e);
}

// The console's line being built (an OutputLine, state.h: one output line of a display file,
// printer or window).
OutputLine& consoleLine();

// Writes the line (even an empty one) and starts a new one.
void writeLine(OutputLine& line);
// Writes the line when anything is placed on it (before input, at the end of a run).
void flushPartialLine(OutputLine& line);
// Places bytes at the current column, writing the line first whenever a byte would go past
// the width.
void placeText(OutputLine& line, std::string_view bytes);

// One value of a typed line from byte p: blanks before it skipped, a quoted value with its
// doubled quotes made single (its commas kept), else the text up to the next comma with its
// trailing blanks removed.  Returns the position of the comma after it, or the end.
size_t takeTypedValue(std::string_view typed, size_t p, std::string& value);

// Reads one line typed at the console for a running program (input statements, READ of #0,
// a file opened on "CON:"): 0, or 9999 when the attention key or the end of the input stops it
// (the end is remembered as below).
[[nodiscard]] int readConsoleLine(std::string& line, int maxLength);

// End of the console's input while an input statement waited: the statement stops the run with
// error 9999, as the attention key does.  inputEndedInStatement() stays true from then on;
// takeEndedInputReport() is true once after it, for command mode to report the error.
bool inputEndedInStatement();
// Records that end (an input statement that found no more keys): returns 9999.
[[nodiscard]] int consoleInputEnded();
bool takeEndedInputReport();
void resetEndedInput();  // tests

// The statement handlers.  `v` is the clause (its parts describe the list); the operands are
// on the RPN stack from its base.  Return 0 or an error number.
[[nodiscard]] int printStatement(const EvalEnv& env, std::span<const uint8_t> code,
                                 const ClauseView& v, char decimalChar);
[[nodiscard]] int inputStatement(const EvalEnv& env, std::span<const uint8_t> code,
                                 const ClauseView& v, char decimalChar);
// DISPLAY MENU: texts [, data [, statuses]] sets the menu bar (screen/menu.h), each an array
// (or one value); DISPLAY TEXT, DATA or STATUS: the values, in order, change that part of the
// items; DISPLAY BUTTONS: captions [, keys] sets the tool bar.  Numbers show as PRINT shows
// them.  Errors: 9005 (a fourth list for MENU, a third for BUTTONS).
[[nodiscard]] int displayStatement(std::span<const uint8_t> code, const ClauseView& v,
                                   char decimalChar);

}  // namespace vxs
