// The line editor of one input field (see fieldedit.h): entry (insert mode, help, undo copy),
// the key loop with masks stepped over in the direction of travel, the key table of edit and
// select mode, and the checks of typed characters by mask class and case modifier.
#include "vxs/screen/fieldedit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vxs {

namespace {

// The Insert key's choice, per kind of field (shorter than INSERT MIN_LENGTH, or not).
struct InsertChoice {
    bool chosen = false;
    bool insert = false;
};
InsertChoice g_choice[2];

constexpr int kMaxPaste = 1020;

bool movesLeft(int32_t key) {
    return key == 7 || key == 8 || key == 11 || key == 14 || key == 18;
}

class Editor {
  public:
    Editor(EditField& f, bool select, FieldEditorHost& host, const FieldEditSettings& s)
        : f_(f), select_(select && f.maskKind != EditField::Mask::kPic), host_(host), s_(s) {}

    EditResult run();

  private:
    int length() const { return static_cast<int>(f_.text.size()); }
    bool masked() const { return f_.maskKind != EditField::Mask::kNone; }
    bool marked() const { return f_.markStart >= 0 && f_.markEnd > f_.markStart; }
    // Whether the operator types into position i.
    bool enterable(int i) const;
    // The end of the data: after the last character that is not blank.
    int dataEnd() const {
        int e = length();
        while (e > 0 && f_.text[static_cast<size_t>(e - 1)] == ' ') --e;
        return e;
    }
    bool typeCharacter(int32_t key);
    bool checkCharacter(int position, char& c) const;
    void deleteAt(int position);
    void replaceMark();
    void clearToEnd();
    void exit(int code) { exit(code, code); }
    void exit(int code, int second) {
        result_.exitCode = code;
        result_.second = second;
        done_ = true;
    }
    void handle(int32_t key);
    void handleSelect(int32_t key);
    void paste();
    void showRowColumn();
    int kindOfField() const {
        return s_.insertSetting == 3 && length() < s_.insertMinLength ? 0 : 1;
    }

    EditField& f_;
    const bool select_;
    FieldEditorHost& host_;
    const FieldEditSettings& s_;
    EditResult result_;
    bool done_ = false;
    bool insert_ = false;
    std::string savedText_;
    int savedCursor_ = 0;
    int32_t lastKey_ = 0;
};

bool Editor::enterable(int i) const {
    if (i < 0 || i >= static_cast<int>(f_.mask.size())) return true;
    const char m = f_.mask[static_cast<size_t>(i)];
    if (f_.maskKind == EditField::Mask::kPic) return m == '#';
    return std::string_view("XxAaGg9Yy").find(m) != std::string_view::npos;
}

// Checks and converts a typed character for its position: by the FMT class, else by the field's
// case modifier.
bool Editor::checkCharacter(int position, char& c) const {
    const auto u = static_cast<unsigned char>(c);
    const bool letter = std::isalpha(u), digit = std::isdigit(u);
    auto upper = [&c]() { c = static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    if (f_.maskKind == EditField::Mask::kFmt && position < static_cast<int>(f_.mask.size())) {
        switch (f_.mask[static_cast<size_t>(position)]) {
            case '9': return digit || c == ' ';
            case 'A': upper(); return letter || c == ' ';
            case 'a':
                if (!std::islower(u)) upper();
                return letter || c == ' ';
            case 'G': upper(); return letter || digit || c == ' ';
            case 'g':
                if (!std::islower(u)) upper();
                return letter || digit || c == ' ';
            case 'X': upper(); return true;
            case 'x': return true;
            case 'Y': upper(); return c == 'Y' || c == 'N';
            case 'y': return c == 'Y' || c == 'y' || c == 'N' || c == 'n';
            default: return false;
        }
    }
    if (f_.maskKind == EditField::Mask::kPic) return digit || c == ' ' || c == '-' || c == '.';
    if (f_.caseModifier == 'U') upper();
    if (f_.caseModifier == 'L') c = static_cast<char>(std::tolower(u));
    return true;
}

void Editor::deleteAt(int position) {
    if (position < 0 || position >= length()) return;
    if (masked()) {
        if (enterable(position)) f_.text[static_cast<size_t>(position)] = ' ';
        return;
    }
    f_.text.erase(static_cast<size_t>(position), 1);
    f_.text.push_back(' ');
}

// A marked range goes before a character or a deleting key: with a mask its enterable
// positions become blanks, without one it is deleted.
void Editor::replaceMark() {
    const int start = std::clamp(f_.markStart, 0, length());
    const int end = std::clamp(f_.markEnd, start, length());
    if (masked()) {
        for (int i = start; i < end; ++i)
            if (enterable(i)) f_.text[static_cast<size_t>(i)] = ' ';
    } else {
        f_.text.erase(static_cast<size_t>(start), static_cast<size_t>(end - start));
        f_.text.append(static_cast<size_t>(end - start), ' ');
    }
    f_.cursor = start;
    f_.markStart = f_.markEnd = -1;
}

void Editor::clearToEnd() {
    for (int i = f_.cursor; i < length(); ++i)
        if (!masked() || enterable(i)) f_.text[static_cast<size_t>(i)] = ' ';
}

// A typed character at the cursor; false when it was refused.
bool Editor::typeCharacter(int32_t key) {
    char c = static_cast<char>(key);
    if (f_.cursor >= length() || !checkCharacter(f_.cursor, c)) return false;
    if (insert_ && !masked()) {
        // A full field takes no more: its last character would be lost.
        if (f_.text.back() != ' ') return false;
        f_.text.insert(static_cast<size_t>(f_.cursor), 1, c);
        f_.text.pop_back();
    } else {
        f_.text[static_cast<size_t>(f_.cursor)] = c;
    }
    ++f_.cursor;
    return true;
}

void Editor::paste() {
    std::string text = host_.clipboard().substr(0, kMaxPaste);
    const size_t eol = text.find_first_of("\r\n");
    if (eol != std::string::npos) {
        const size_t next = text.find_first_not_of("\r\n", eol);
        if (next != std::string::npos && !f_.wrap) return exit(132);
        text.resize(eol);
    }
    for (char c : text)
        if (!typeCharacter(static_cast<unsigned char>(c))) break;
}

void Editor::showRowColumn() {
    if (!s_.statusRowCol) return;
    const int width = std::max(1, f_.windowWidth);
    int row = f_.row, column = f_.column + f_.cursor;
    if (f_.wrap) {
        const int offset = f_.column - 1 + f_.cursor;
        row = f_.row + offset / width;
        column = offset % width + 1;
    }
    char text[16];
    snprintf(text, sizeof text, "%2d:%02d", row, column);
    host_.showRowColumn(text);
}

void Editor::handle(int32_t key) {
    const int end = dataEnd();
    switch (key) {
        case 2: return exit(90);
        case 3:
            if (marked())
                host_.clipboard() = f_.text.substr(static_cast<size_t>(f_.markStart),
                                                   static_cast<size_t>(f_.markEnd - f_.markStart));
            return;
        case 4: return deleteAt(f_.cursor);
        case 5:
            if (f_.braceExits) return exit(123);
            if (f_.cursor == end && !marked()) return exit(113);
            f_.cursor = end;
            return;
        case 6: return exit(91);
        case 7:
            if (!f_.wrap) return exit(111);
            f_.cursor = std::max(0, f_.cursor - 7);
            return;
        case 8:
            if (f_.cursor > 0) deleteAt(--f_.cursor);
            return;
        case 9:
            if (!f_.wrap) return exit(110);
            f_.cursor = std::min(end, f_.cursor + 7);
            return;
        case 10: return exit(104);
        case 11: return exit(102);
        case 12:
            if (f_.cursor < length()) {
                ++f_.cursor;
                return;
            }
            if (marked()) return handle(5);
            if (f_.wrap) return;
            return exit(s_.rightArrowDown ? 104 : 116);
        case 13: return exit(0);
        case 14:
            if (f_.cursor == 0) return exit(103);
            --f_.cursor;
            return;
        case 15:
        case 21:
            clearToEnd();
            if (key == 15) result_.negative = true;
            return exit(f_.chgexit ? 0 : 104, f_.wrap ? 0 : (key == 15 ? 115 : 114));
        case 17:
            if (masked()) return;
            insert_ = !insert_;
            g_choice[kindOfField()] = {true, insert_};
            host_.showMode(insert_ ? "INSERT" : "OVER");
            return;
        case 18: return exit(105);
        case 20: return exit(106);
        case 22: return paste();
        case 23:
            if (f_.braceExits) return exit(122);
            if (f_.cursor == 0) return exit(112);
            f_.cursor = 0;
            return;
        case 24:  // cut: copied, then deleted as key 4 deletes a marked range
            handle(3);
            if (marked()) return replaceMark();
            return deleteAt(f_.cursor);
        case 25:
        case 0xB400:
            if (f_.help.size() > 1 && !f_.helpSuppressed) {
                if (host_.showHelp(std::string_view(f_.help).substr(1))) exit(0);
                return;
            }
            return exit(100);
        case 26:
            f_.text = savedText_;
            f_.cursor = savedCursor_;
            return;
        case 27: return;
        case 0x6300:
        case 0xB300: return exit(99);
        case 0x7500: return exit(117);
        case 0x7600: return exit(118);
        case 0x7700: f_.cursor = 0; return;
        case 0x7800: f_.cursor = end; return;
        case 0x7C00: return exit(124);
        case 0x7D00: return exit(125);
        case 0x8900: return exit(90);
        case 0x8A00: return exit(91);
        case 0xA000: f_.cursor = std::max(0, f_.cursor - 1); return;
        case 0xA100: f_.cursor = std::min(length(), f_.cursor + 1); return;
        case 0xA200:
            if (f_.cursor - f_.windowWidth >= 0) f_.cursor -= f_.windowWidth;
            return;
        case 0xA300:
            if (f_.cursor + f_.windowWidth <= length()) f_.cursor += f_.windowWidth;
            return;
        case 0xB000: return exit(200);
        case 0xB100: return exit(201, f_.exitFlag ? 201 : 0);
        case 0xB600: {
            const int at = host_.mousePosition(f_);
            if (at == kMouseOtherField) return exit(kExitMouseField);
            if (at >= 0 && at <= length()) {
                f_.cursor = at;
                f_.markStart = f_.markEnd = -1;  // placed by hand: keys edit there
            }
            return;
        }
        default: break;
    }
    const bool character = (key >= 32 && key <= 254) ||
                           (s_.controlCharacters && key > 0 && key < 32 && key != 27);
    if (character) {
        if (!typeCharacter(key)) {
            host_.beep();
            return;
        }
        if (f_.cursor >= length()) {
            if (f_.advance) return exit(f_.chgexit ? 0 : 107);
        }
        return;
    }
    // A key with a number of its own that the editor does not handle ends the field with it.
    if (key > 0 && (key & 0xFF) == 0 && (key >> 8) >= 1 && (key >> 8) <= 9999) exit(key >> 8);
}

// Select mode: the text stays; cursor keys and characters end the field.
void Editor::handleSelect(int32_t key) {
    switch (key) {
        case 0x7700: return exit(119);
        case 0x7800: return exit(120);
        case 0xA000: return exit(160);
        case 0xA100: return exit(161);
        case 0xA200: return exit(162);
        case 0xA300: return exit(163);
        case 8:
        case 14:
        case 0x7600: return exit(108);
        case 10:
        case 20: return exit(106);
        case 11:
        case 18: return exit(105);
        case 12:
        case 0x7500: return exit(109);
        case 15:
        case 21:
            if (key == 15) result_.negative = true;
            return exit(f_.chgexit ? 0 : 104, f_.wrap ? 0 : (key == 15 ? 115 : 114));
        case ' ':
        case 17:
        case 27: return;
        default: break;
    }
    // Keys that would change the text or the clipboard, and every character, end the field
    // with the character code plus 256.
    const bool textKey = key == 3 || key == 4 || key == 22 || key == 24 || key == 26;
    if ((key > 32 && key <= 254) || textKey) return exit(key + 256);
    handle(key);
}

EditResult Editor::run() {
    // 1. Insert or overwrite.
    if (masked()) {
        insert_ = false;
    } else if (g_choice[kindOfField()].chosen) {
        insert_ = g_choice[kindOfField()].insert;
    } else {
        switch (s_.insertSetting) {
            case 1: insert_ = false; break;
            case 2: insert_ = true; break;
            case 3: insert_ = length() >= s_.insertMinLength; break;
            default: insert_ = !s_.dataHiliteOff; break;
        }
    }
    host_.showMode(insert_ ? "INSERT" : "OVER");
    f_.cursor = std::clamp(f_.cursor, 0, length());
    // A marked range lies within the text, or there is none.
    f_.markStart = std::min(f_.markStart, length());
    f_.markEnd = std::min(f_.markEnd, length());
    if (f_.markStart < 0 || f_.markEnd <= f_.markStart) f_.markStart = f_.markEnd = -1;
    // 2. Help shown on entry when its level is within the user's.
    if (!f_.help.empty() && !f_.helpSuppressed && f_.help[0] <= s_.userLevel &&
        host_.showHelp(std::string_view(f_.help).substr(1))) {
        exit(0);
        return result_;
    }
    // 3. The undo copy.
    savedText_ = f_.text;
    savedCursor_ = f_.cursor;
    while (!done_) {
        showRowColumn();
        host_.showField(f_);
        // A position not typed into is entered by the editor itself, in the direction of
        // travel: literals are stepped over both ways.
        if (masked() && f_.cursor < length() && !marked() && !enterable(f_.cursor)) {
            if (movesLeft(lastKey_) && f_.cursor > 0) {
                --f_.cursor;
                continue;
            }
            const char m = f_.mask[static_cast<size_t>(f_.cursor)];
            const bool keep = f_.maskKind == EditField::Mask::kFmt &&
                              std::string_view("PpR#").find(m) != std::string_view::npos;
            if (!keep) f_.text[static_cast<size_t>(f_.cursor)] =
                           f_.maskKind == EditField::Mask::kPic && m == 'D' ? '-' : m;
            ++f_.cursor;
            lastKey_ = 0;
            if (f_.cursor >= length() && f_.advance) exit(f_.chgexit ? 0 : 107);
            continue;
        }
        int32_t key = host_.readKey();
        lastKey_ = key;
        if (key == -1) {
            exit(101);
            break;
        }
        if (s_.numpadSigns && (key == 15 || key == 21)) key = key == 15 ? '-' : '+';
        if (key == 1) {
            result_.attention = true;
            exit(0);
            break;
        }
        if (select_) {
            handleSelect(key);
            continue;
        }
        if (marked() && ((key >= 32 && key <= 127) || key == 4 || key == 8 || key == 15 ||
                         key == 21 || key == 22)) {
            replaceMark();
            if (key == 4 || key == 8) continue;  // the range was what they deleted
        }
        handle(key);
        // Moving the cursor takes the highlight off: later keys edit where the cursor is.
        if (key == 12 || key == 14 || key == 0x7700 || key == 0x7800 || key == 0xA000 ||
            key == 0xA100 || key == 0xA200 || key == 0xA300)
            f_.markStart = f_.markEnd = -1;
    }
    host_.showField(f_);
    return result_;
}

}  // namespace

EditResult editField(EditField& field, bool selectMode, FieldEditorHost& host,
                     const FieldEditSettings& settings) {
    // The text is exactly as long as the field; a mask covers every position.
    if (field.maskKind != EditField::Mask::kNone && field.mask.size() < field.text.size())
        field.mask.resize(field.text.size(), field.maskKind == EditField::Mask::kPic ? '#' : 'x');
    return Editor(field, selectMode, host, settings).run();
}

void resetFieldEditor() {
    g_choice[0] = g_choice[1] = {};
}

}  // namespace vxs
