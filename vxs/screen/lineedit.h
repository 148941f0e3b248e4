// The command and input line editor that the full-screen front ends share: the keys that edit a
// line (cursor keys, Home/End, Backspace/Delete, Escape, Insert for insert or overwrite, Up/Down
// through the recall list) and what ends it (Enter, F1 or the help key at the command prompt,
// the attention key in an input statement).  The front end supplies the keys and shows the
// field; the editor keeps the text and the cursor.
// Invariants: the text never holds more than `max` bytes and the cursor lies within it; the
// recall list never holds more lines than its limit, and never the same line twice in a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "vxs/screen/screenmodel.h"

namespace vxs {

// Where a line being typed shows: the console's bottom row (window -1), or a field of `width`
// columns at a row and column of a window (an input statement's place, kScreenInputPlace).
struct InputPlace {
    int window = -1, row = 0, column = 0, width = 0;
};
// Shows the part of `text` that a field of `width` columns holds at `place` in `model`, moving
// `offset` (the first byte shown) so that the cursor at `at` shows; the cursor's absolute row
// and column go to `cursorRow`/`cursorColumn`.  Returns true when the field is in a window (the
// whole screen may have changed), false for the console's bottom row.
bool showInputField(ScreenModel& model, const InputPlace& place, const std::string& text, size_t at,
                    size_t& offset, size_t width, int& cursorRow, int& cursorColumn);
// One console line as the front ends write it: a text longer than the console goes on in the
// rows below.  `fresh` tells that the bottom row is the blank one an Enter made, where the first
// part goes; it is false afterwards.  Returns the last part's length (where the cursor stands).
int writeConsoleText(ScreenModel& model, std::string_view text, bool& fresh);

// The lines typed at the command prompt, to be recalled with Up and Down.
class RecallList {
  public:
    // Keeps `line` (not an empty one, nor the line kept last) within `limit` lines.
    void remember(const std::string& line, size_t limit);
    size_t size() const { return lines_.size(); }
    const std::string& operator[](size_t i) const { return lines_[i]; }

  private:
    std::deque<std::string> lines_;
};

class LineEditor {
  public:
    // What the front end does for the editor.
    class Host {
      public:
        virtual ~Host() = default;
        // The next key (waiting without limit); -1 when no further key can come.
        virtual int32_t nextKey() = 0;
        // Shows the field: `text` with the cursor at `at`; `offset` is the first byte shown in
        // a field of `width` columns, moved by the host so that the cursor shows.
        virtual void showField(const std::string& text, size_t at, size_t& offset,
                               size_t width) = 0;
        virtual void beep() = 0;
        // Insert or overwrite mode changed (shown on the status line).
        virtual void modeChanged(bool insert) = 0;
        // The attention key at the command prompt dropped what was typed.
        virtual void dropped() {}
    };

    // Edits a line of at most `max` bytes in a field `width` columns wide, starting from
    // `preset` (the first key typed replaces it when `selected`).  `purpose` is kInputCommand or
    // kInputStatement.  Returns kInputLine, kInputHelp, kInputInterrupted or kInputEnded
    // (remoteops.h), with the text in `text` (kept for kInputHelp and kInputEnded too).
    // `insert` is the mode, kept by the front end from line to line.
    static int32_t edit(Host& host, std::string& text, std::string_view preset, bool selected,
                        size_t max, size_t width, int32_t purpose, const RecallList& recall,
                        bool& insert);
};

}  // namespace vxs
