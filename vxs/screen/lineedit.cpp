// The shared line editor (see lineedit.h).
#include "vxs/screen/lineedit.h"

#include "vxs/clientserver/remoteops.h"
#include "vxs/screen/keyboard.h"

namespace vxs {

namespace {

// Ctrl-C: at the command prompt as the attention key.
constexpr int32_t kKeyCtrlC = 3;

}  // namespace

bool showInputField(ScreenModel& model, const InputPlace& place, const std::string& text, size_t at,
                    size_t& offset, size_t width, int& cursorRow, int& cursorColumn) {
    if (at < offset) offset = at;
    if (at >= offset + width) offset = at - width + 1;
    const std::string_view shown = std::string_view(text).substr(offset, width);
    int y = 0, x = 0;
    if (place.window >= 0 && model.absolute(place.window, place.row, place.column, y, x) == 0) {
        // A line typed in a window: its field, blank-filled to the field's width.
        std::string field(shown);
        field.resize(width, ' ');
        (void)model.writeText(place.window, place.row, place.column, field, CellAttr{});
        cursorRow = y;
        cursorColumn = x + static_cast<int>(at - offset);
        return true;
    }
    model.setBottomRow(shown, false);
    cursorRow = ScreenModel::kRows - 1;
    cursorColumn = static_cast<int>(at - offset);
    return false;
}

int writeConsoleText(ScreenModel& model, std::string_view text, bool& fresh) {
    std::string_view part;
    do {
        part = text.substr(0, ScreenModel::kColumns);
        text.remove_prefix(part.size());
        if (!fresh) model.newBottomRow();
        fresh = false;
        model.setBottomRow(part, true);
    } while (!text.empty());
    return static_cast<int>(part.size());
}

void RecallList::remember(const std::string& line, size_t limit) {
    if (line.empty() || (!lines_.empty() && lines_.back() == line)) return;
    lines_.push_back(line);
    while (lines_.size() > limit) lines_.pop_front();
}

int32_t LineEditor::edit(Host& host, std::string& text, std::string_view preset, bool selected,
                         size_t max, size_t width, int32_t purpose, const RecallList& recall,
                         bool& insert) {
    text.assign(preset.substr(0, max));
    size_t at = text.size();
    bool replace = selected && !text.empty();  // the first typed character replaces the offer
    size_t offset = 0;
    size_t recallAt = recall.size();  // the recalled line; the end is the line being typed
    std::string typed;                // what was typed before recalling
    host.modeChanged(insert);
    for (;;) {
        host.showField(text, at, offset, width);
        const int32_t key = host.nextKey();
        if (key < 0) return kInputEnded;
        const bool wasReplace = replace;
        replace = false;
        switch (key) {
            case keys::kEnter: return kInputLine;
            case keys::kF1:
            case keys::kHelp:  // help on what is typed, or on the error shown
                if (purpose == kInputCommand) return kInputHelp;
                break;
            case keys::kAttention:
            case kKeyCtrlC:
                if (purpose == kInputStatement) return kInputInterrupted;
                text.clear();  // at the command prompt it drops what was typed
                at = 0;
                host.dropped();
                break;
            case keys::kLeft:
                if (at > 0) --at;
                break;
            case keys::kRight:
                if (at < text.size()) ++at;
                break;
            case keys::kHome: at = 0; break;
            case keys::kEnd: at = text.size(); break;
            case keys::kBackspace:
                if (wasReplace) {
                    text.clear();
                    at = 0;
                } else if (at > 0) {
                    text.erase(--at, 1);
                }
                break;
            case keys::kDelete:
                if (wasReplace) {
                    text.clear();
                    at = 0;
                } else if (at < text.size()) {
                    text.erase(at, 1);
                }
                break;
            case keys::kEscapeTyped:
            case keys::kEscape:
                text.clear();
                at = 0;
                break;
            case keys::kInsert:
                insert = !insert;
                host.modeChanged(insert);
                break;
            case keys::kUp:
            case keys::kDown:
                if (key == keys::kUp && recallAt == 0) {
                    host.beep();
                    break;
                }
                if (key == keys::kDown && recallAt >= recall.size()) break;
                if (recallAt == recall.size()) typed = text;
                recallAt += key == keys::kUp ? -1 : 1;
                text = recallAt < recall.size() ? recall[recallAt] : typed;
                if (text.size() > max) text.resize(max);
                at = text.size();
                break;
            default:
                if (key < 32 || key > 255 || key == 127) break;  // other keys do not edit
                if (wasReplace) {
                    text.clear();
                    at = 0;
                }
                if (at < text.size() && !insert) {
                    text[at++] = static_cast<char>(key);
                } else if (text.size() < max) {
                    text.insert(at++, 1, static_cast<char>(key));
                } else {
                    host.beep();  // the field is full
                }
                break;
        }
    }
}

}  // namespace vxs
