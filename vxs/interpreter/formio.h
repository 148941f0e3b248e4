// Records read and written through a FORM whose items stand at fixed places (a FormPlan): the
// fields go straight from the record's bytes into the statement's targets and straight from its
// values into the record, item by item off the RPN stack, with no list of items or text copies
// in between.  The general path (filestmt.cpp's cursor walk) stays the reference: this one gives
// the same values, errors and item counts, and declines, having changed nothing, where the list
// or the record does not fit the plan.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vxs/form/form.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/interpreter/primop.h"

namespace vxs {

// Whether READ, WRITE and REWRITE take this path and keep their clauses' preparation for the
// run (on unless turned off): off, they take the general path every time, so that tests can
// hold the two against each other.
void setFastRecordForms(bool on);
bool fastRecordFormsOn();

// What the functions below answer when the statement is not theirs: nothing has been changed.
inline constexpr int kFormIoDeclined = -1;

// Counts the values or targets of `count` operands from `ops`, each whole array as its
// elements: 0 with `items`, or 9005 when operands are missing (as expand does).
[[nodiscard]] int countItems(Operands ops, int count, size_t& items);

// READ: the record `rec` (`len` bytes) into the `count` targets at `ops`, `items` of them with
// arrays expanded (countItems).  0 or the first error, with `done` the targets assigned before
// it; kFormIoDeclined when the targets are more than the plan's fields.
[[nodiscard]] int readPlanned(const EvalEnv& env, const FormSettings& s, const FormPlan& plan,
                              const uint8_t* rec, size_t len, Operands ops, int count,
                              size_t items, int& done);

// WRITE and REWRITE: the `count` values at `ops` (`items` with arrays expanded) into the record
// `rec` of `recl` bytes, whose other bytes stay as they are.  0 or the first error;
// kFormIoDeclined when the values are more than the plan's fields, an X, literal or SKIP item
// comes before the last field written, or the record is too short for the fields.
[[nodiscard]] int writePlanned(const FormSettings& s, const FormPlan& plan, Operands ops,
                               int count, size_t items, uint8_t* rec, size_t recl);

}  // namespace vxs
