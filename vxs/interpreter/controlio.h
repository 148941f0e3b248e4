// The controls of the field statements (GRID, LIST, COMBO, CHECK, RADIO): what a field's values
// become on the terminal side's control, and what a control gives back to the statement's
// targets.  A GRID or LIST field takes a whole part of the statement's list, one entry per
// column (an array for many rows); a COMBO given an output operation takes its choices the same
// way; the other controls take one value, as a data field does.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/interpreter/items.h"
#include "vxs/screen/fields.h"

namespace vxs {

struct EvalEnv;
struct FormSettings;

// Whether a parsed field is a control that the terminal side keeps.
bool isControlField(const FieldSpec& f);
// Whether it takes list entries (one per column) rather than one value.
bool takesEntries(const FieldSpec& f);

// The entries a field was given: one span of items per entry of the statement's list.
using FieldEntries = std::vector<std::span<const Item>>;

// Shows the field's values on its control.  `group` ties the RADIO fields of one statement.  A
// picture field's value names an image file (PNG, JPEG, GIF, BMP), whose bytes go with it:
// 4152 when it cannot be read, 6248 when it is no such picture or above 16 MiB.
// Errors: 106 (entries of different lengths, or cells that do not fill the columns), 2 (a value
// a column cannot show), 861 (an operation the control does not take), 120 (a row or column
// outside the control), and the specification errors of a column's form.
[[nodiscard]] int showControl(const EvalEnv& env, const FormSettings& s, int window,
                              const FieldSpec& f, const FieldEntries& entries, int group);
// Stores what the control gives into the field's targets: arrays take as many elements as
// there are answers (they are redimensioned), a scalar the first.  Errors: 2 (a text that a
// numeric target cannot take), 4 (a text too long), 106 (no target), 315 (a fixed array).
[[nodiscard]] int storeControl(const EvalEnv& env, const FormSettings& s, int window,
                               const FieldSpec& f, const FieldEntries& entries);

// Stores texts into one entry of an input list: a whole array takes them all (redimensioned to
// their number), a scalar the first.  Errors as storeControl's.
[[nodiscard]] int storeTexts(const EvalEnv& env, const FormSettings& s, std::span<const Item> entry,
                             const std::vector<std::string>& texts);

// A SEARCH field's text as it stands: the GRID or LIST it names moves to the first row that
// begins with it (on every change while the field is edited).
int searchControl(int window, const FieldSpec& f, std::string_view text);

// A hot field (an fkey with B or T) that PRINT FIELDS showed: the terminal side keeps a Button
// or HotText control over it, whose press queues the field's key.  Nothing for other fields.
int showHotField(int window, const FieldSpec& f, const std::string& text);

}  // namespace vxs
