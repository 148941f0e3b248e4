// The help screen (see helpview.h): layout, drawing and the keys that scroll and close it.
#include "vxs/screen/helpview.h"

// Functions rather than macros: the library's macro names (clear, erase, move) would rewrite
// member calls of the standard containers.
#define NCURSES_NOMACROS
#include <curses.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vxs/base/process.h"

namespace vxs {

namespace {

constexpr size_t kTextWidth = 80;  // the text is wrapped for the console's width
constexpr char kKeysLine[] = " Up/Down PgUp/PgDn Home/End: scroll   Esc, q, Enter: close";

// A byte as the screen shows it.
char shown(unsigned char c) {
    if (c < 32 || c == 127) return ' ';
    if (c > 126) return '?';
    return static_cast<char>(c);
}

// Writes `text` at the row from column 0, cut or blank-filled to `width` columns.
void putRow(int row, std::string_view text, int width) {
    move(row, 0);
    for (int c = 0; c < width; ++c)
        addch(static_cast<size_t>(c) < text.size()
                  ? static_cast<chtype>(static_cast<unsigned char>(text[c]))
                  : ' ');
}

}  // namespace

std::vector<std::string> helpScreenLines(std::string_view text, size_t width) {
    if (width == 0) width = 1;
    std::vector<std::string> out;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string line;
        for (char c : text.substr(0, end)) line += shown(static_cast<unsigned char>(c));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        // A long line goes on, at a blank where there is one, indented as it began.
        size_t indent = 0;
        while (indent < line.size() && line[indent] == ' ') ++indent;
        if (indent > width / 2) indent = 0;
        std::string rest = line;
        bool first = true;
        while (rest.size() > width) {
            size_t cut = rest.rfind(' ', width);
            const size_t lead = first ? indent : indent + 2;
            if (cut == std::string::npos || cut <= lead) cut = width;
            std::string piece = rest.substr(0, cut);
            while (!piece.empty() && piece.back() == ' ') piece.pop_back();
            out.push_back(piece);
            size_t from = cut;
            while (from < rest.size() && rest[from] == ' ') ++from;
            rest = std::string(std::min(indent + 2, width / 2), ' ') + rest.substr(from);
            first = false;
        }
        out.push_back(rest);
    }
    return out;
}

std::string showHelpScreen(std::string_view title, std::string_view text) {
    const std::vector<std::string> lines = helpScreenLines(text, kTextWidth);
    std::string heading;
    for (char c : title) heading += shown(static_cast<unsigned char>(c));
    size_t top = 0;
    curs_set(0);
    for (bool open = true; open;) {
        const int rows = std::max(LINES, 3), columns = std::max(COLS, 1);
        const size_t page = static_cast<size_t>(rows - 2);
        const size_t last = lines.size() > page ? lines.size() - page : 0;
        top = std::min(top, last);
        erase();
        attron(A_REVERSE);
        putRow(0, " " + heading, columns);
        char where[48];
        const size_t shownTo = std::min(lines.size(), top + page);
        snprintf(where, sizeof where, "%zu-%zu of %zu ", lines.empty() ? 0 : top + 1, shownTo,
                 lines.size());
        std::string keys = kKeysLine;
        const size_t room = static_cast<size_t>(columns);
        if (keys.size() + strlen(where) + 1 <= room)
            keys += std::string(room - keys.size() - strlen(where), ' ') + where;
        putRow(rows - 1, keys, columns);
        attroff(A_REVERSE);
        for (size_t r = 0; r < page && top + r < lines.size(); ++r)
            putRow(static_cast<int>(r) + 1, lines[top + r], columns);
        refresh();
        int ch = ERR;
        // The wait serves a linked debugger as every wait for a key does.
        while (ch == ERR) {
            timeout(linkOpen() ? 10 : -1);
            ch = getch();
            if (ch == ERR && linkOpen()) yieldControl();
        }
        switch (ch) {
            case KEY_UP:
            case 'k':
                if (top > 0) --top;
                break;
            case KEY_DOWN:
            case 'j':
                if (top < last) ++top;
                break;
            case KEY_PPAGE:
            case 'b': top = top > page ? top - page : 0; break;
            case KEY_NPAGE:
            case ' ': top = std::min(last, top + page); break;
            case KEY_HOME: top = 0; break;
            case KEY_END: top = last; break;
            case 27:  // Escape
            case 'q':
            case 'Q':
            case '\r':
            case '\n':
            case KEY_ENTER:
            case 1:  // the attention key closes it too
            case 3: open = false; break;
            default: break;  // KEY_RESIZE and any other key: drawn again
        }
    }
    nodelay(stdscr, TRUE);
    curs_set(1);
    return {};
}

}  // namespace vxs
