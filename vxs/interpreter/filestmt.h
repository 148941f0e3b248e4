// The file statements of a running program: OPEN, CLOSE, READ, WRITE, REWRITE, REREAD, DELETE,
// RESTORE and RELEASE on file numbers, READ and RESTORE of the program's DATA, the FORM of a
// USING clause (compiled once per FORM line and kept), the conversion between a statement's
// values and a record image, and the file functions (FILE, REC, LREC, RLN, FILE$, ...).
#pragma once

#include <span>
#include <string>

#include "vxs/compiler/vxexe.h"
#include "vxs/form/form.h"
#include "vxs/interpreter/primop.h"

namespace vxs {

struct RunCtx;
struct Ufcb;

// Runs an I/O statement other than PRINT and the input statements (run-codes 16-31).  Returns
// 0 or an error number.
[[nodiscard]] int fileStatement(RunCtx& r, const ClauseView& v);

// The FORM of a USING clause: the FORM statement on line index `line` of the running program
// (a line reference), or the FORM text `text` (a string operand).  The form stays valid until
// the next call; so is its plan (form.h), when `plan` asks for it.
[[nodiscard]] int usingForm(const EvalEnv& env, int line, std::string_view text,
                            const CompiledForm*& form, const FormPlan** plan = nullptr);
// Forgets every compiled form kept (a program is about to run, or programs were loaded or
// freed: their variables' dictionary indexes may mean other variables now).
void forgetForms();
// The conversion settings of `form` on file `u` (null: the console); without a form, those of
// any form.
FormSettings formSettingsFor(const EvalEnv& env, const Ufcb* u, const CompiledForm* form = nullptr);

// The file of a statement's file number: 0 with the ufcb (the console for #0), 706 or 704.
[[nodiscard]] int statementFile(int number, Ufcb*& u);
// Records the outcome of a statement on file `number` for FILE, FILENUM, FILE$ and CNT.
void noteFileOutcome(Ufcb* u, int number, int err, bool input, int items);

// The numeric file functions (FILE, FREESP, KLN, KPS, REC, RLN, LREC, KREC, LINES, LINESPP,
// VERSION, EXISTS) and FILE$: `code` as the function tables give it; `argc` numbers in
// `args`.  Return 0 with the result, or an error number.
[[nodiscard]] int fileNumberFunction(int code, const double* args, int argc, double& result);
[[nodiscard]] int existsFunction(std::string_view name, double& result);
[[nodiscard]] int fileNameFunction(const double* args, int argc, std::string& result);

// Installs the console as a file for the data-file layer (#0 and "CON:").
void installConsoleFile();

}  // namespace vxs
