// PRINT FIELDS, INPUT FIELDS, RINPUT FIELDS and INPUT SELECT: the field specifications parsed for
// the statement's window, values shown in their fields, and the operator's editing of the fields
// one after another until a key ends the statement, with FKEY, CURFLD, CURROW and CURCOL set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vxs/interpreter/consoleio.h"

namespace vxs {

// How a field statement was written.
enum class FieldVerb : uint8_t { kPrint, kInput, kRinput, kSelect };

// The operand parts of a field statement, in the order its operands lie on the stack.
struct FieldParts {
    FieldVerb verb = FieldVerb::kPrint;
    std::vector<uint8_t> order;  // K_FIELDS, K_SELECT, K_ATTR, K_WAIT, K_HELP
    int listCount = 0;
};

// Runs the statement on window `window` (0: the console) with the operands from `ops` on.
// Errors: the specification errors (802 ... 9500), 106 (values and fields differ in number),
// 2 (a value that its field cannot show, or entered text that its target cannot take: CURFLD
// names that field), 4145 (no key within WAIT=), 9999 (the attention key, or no more input),
// 721 (a file that is not a window).
[[nodiscard]] int fieldStatement(const EvalEnv& env, int window, const FieldParts& parts,
                                 Operands& ops);

// CURFLD with arguments: the field (1-based) at which the next INPUT FIELDS starts.
void setNextField(int field);
// The values the last field input recorded.
int currentField();
int cursorRow();
int cursorColumn();

}  // namespace vxs
