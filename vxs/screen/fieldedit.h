// The line editor of one input field: it reads keys through its host, changes the field's text
// under the field's mask and case rules, moves the cursor, and ends with an exit code that the
// INPUT FIELDS statement turns into FKEY.  In select mode (INPUT SELECT) the text stays as it is
// and most keys end the field at once.
//
// State kept between fields: the insert mode the operator chose with the Insert key, separately
// for fields shorter than INSERT MIN_LENGTH and for the others (resetFieldEditor forgets it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vxs {

// One field as the editor sees it; the statement fills it from the parsed field record.
struct EditField {
    std::string text;  // exactly the field's data length; edited in place
    enum class Mask : uint8_t { kNone, kFmt, kPic } maskKind = Mask::kNone;
    // FMT: one class letter per position ("9", "A", "X", ... or a literal); PIC: the picture,
    // "#" the only position typed into ("D" shows "-"); as long as `text`.
    std::string mask;
    char caseModifier = 0;  // 'U' upper-cases typed letters, 'L' lower-cases them
    bool wrap = false;      // the field runs over several window lines
    bool advance = false;   // a full field ends by itself (107)
    bool chgexit = false;   // ... with 0 instead, and field-minus/plus end with 0
    bool exitFlag = false;  // 0xB100 reports 201 as its second result
    bool braceExits = false;  // keys 5 and 23 end the field with "{" (123) and "z" (122)
    bool helpSuppressed = false;
    int windowWidth = 80;  // columns of the window: wrapping lines and the row keys
    int row = 1, column = 1;  // the field's first position in its window (1-based)
    std::string help;  // the help text; its first character is its user level
    int cursor = 0;    // 0 .. text.size()
    int markStart = -1, markEnd = -1;  // a marked range [start, end), -1 when none
};

// The settings the editor reads (from the configuration: INSERT, DATAHILITE, USERLEVEL,
// STATUSLINE ROWCOL and OPTIONs 2, 37 and 46).
struct FieldEditSettings {
    int insertSetting = 0;  // 0 not defined, 1 OFF, 2 ON, 3 MIN_LENGTH
    int insertMinLength = 0;
    bool dataHiliteOff = false;
    char userLevel = '3';
    bool statusRowCol = true;
    bool controlCharacters = false;  // OPTION 2: other control codes are typed as characters
    bool rightArrowDown = false;     // OPTION 37: right at the end exits as the down arrow
    bool numpadSigns = false;        // OPTION 46: field minus and plus type "-" and "+"
};

// What the editor needs from the terminal side.
class FieldEditorHost {
  public:
    virtual ~FieldEditorHost() = default;
    // The next key code, or -1 when the wait for a key timed out.
    virtual int32_t readKey() = 0;
    // The error signal: a refused character.
    virtual void beep() = 0;
    // The status line's mode text ("INSERT", "OVER") and its row/column text ("%2d:%02d").
    virtual void showMode(std::string_view text) = 0;
    virtual void showRowColumn(std::string_view text) = 0;
    // Shows the help text; true when showing it reports a result (the field then ends).
    virtual bool showHelp(std::string_view text) = 0;
    // The text as it now stands, with the cursor (after each change).
    virtual void showField(const EditField&) {}
    // The clipboard of copy, cut and paste.
    virtual std::string& clipboard() = 0;
    // Where the last click (keys::kMouseClick) fell: its text position within the field, -1 when
    // it chose nothing, or kMouseOtherField when it chose another field of the statement.
    virtual int mousePosition(const EditField&) { return -1; }
};

// mousePosition's answer for a click on another field, and the editor's exit then: no key's
// exit code, the statement goes on at that field.
inline constexpr int kMouseOtherField = -2;
inline constexpr int kExitMouseField = -2;

struct EditResult {
    int exitCode = 0;
    int second = 0;          // what the statement reads beside the exit code
    bool attention = false;  // ended by the attention key
    bool negative = false;   // the field-minus key was used
};

// Edits the field until a key ends it.
EditResult editField(EditField& field, bool selectMode, FieldEditorHost& host,
                     const FieldEditSettings& settings);

// Forgets the insert mode chosen with the Insert key (a new session).
void resetFieldEditor();

}  // namespace vxs
