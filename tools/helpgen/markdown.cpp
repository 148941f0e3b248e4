// Markdown read into blocks and written as plain text (see markdown.h).  Only what the
// documentation uses is understood: ATX headings, paragraphs, "-", "*" and "1." list items with
// their indented continuations, fenced and indented code, pipe tables, code spans, emphasis and
// links.
#include "tools/helpgen/markdown.h"

#include <cctype>

namespace helpgen {

namespace {

size_t indentOf(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && line[n] == ' ') ++n;
    return n;
}

bool isBlank(std::string_view line) {
    return indentOf(line) == line.size();
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool isFence(std::string_view line) {
    return trimmed(line).substr(0, 3) == "```";
}

bool isHeading(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && line[n] == '#') ++n;
    return n >= 1 && n <= 6 && n < line.size() && line[n] == ' ';
}

bool isTableLine(std::string_view line) {
    const std::string_view t = trimmed(line);
    return !t.empty() && t.front() == '|';
}

// The marker of a list item at the start of `t` ("-", "*", "12."), or "".
std::string itemMarker(std::string_view t) {
    if (t.size() >= 2 && (t[0] == '-' || t[0] == '*') && t[1] == ' ') return std::string(1, t[0]);
    size_t n = 0;
    while (n < t.size() && std::isdigit(static_cast<unsigned char>(t[n]))) ++n;
    if (n > 0 && n + 1 < t.size() && t[n] == '.' && t[n + 1] == ' ')
        return std::string(t.substr(0, n + 1));
    return "";
}

// Whether a line begins a block of its own (and so ends a paragraph).
bool beginsBlock(std::string_view line) {
    const std::string_view t = line.substr(indentOf(line));
    return isFence(line) || isHeading(line) || isTableLine(line) || !itemMarker(t).empty();
}

bool isSeparatorRow(const std::vector<std::string>& cells) {
    if (cells.empty()) return false;
    for (const std::string& c : cells) {
        const std::string_view t = trimmed(c);
        if (t.empty()) return false;
        for (char ch : t)
            if (ch != '-' && ch != ':') return false;
    }
    return true;
}

std::string joined(const std::vector<std::string>& parts, std::string_view between) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += between;
        out += parts[i];
    }
    return out;
}

// Emphasis marks and links of text outside code spans.
std::string plainOutsideCode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\' && i + 1 < s.size() && std::ispunct(static_cast<unsigned char>(s[i + 1]))) {
            out += s[++i];
        } else if (c == '*') {
            // "*" and "**" mark emphasis; a "*" between blanks is a star.
            const bool alone =
                (i == 0 || s[i - 1] == ' ') && (i + 1 == s.size() || s[i + 1] == ' ');
            if (alone) out += c;
        } else if (c == '[') {
            // [text](target) is its text.
            const size_t close = s.find(']', i);
            if (close != std::string_view::npos && close + 1 < s.size() && s[close + 1] == '(') {
                const size_t end = s.find(')', close);
                if (end != std::string_view::npos) {
                    out += plainOutsideCode(s.substr(i + 1, close - i - 1));
                    i = end;
                    continue;
                }
            }
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string asciiText(std::string_view utf8) {
    struct Map {
        const char* from;
        const char* to;
    };
    static const Map kMap[] = {
        {"\xC3\x97", "x"},       {"\xE2\x80\x93", "-"},  {"\xE2\x80\x94", "-"},
        {"\xE2\x80\xA6", "..."}, {"\xE2\x89\xA4", "<="}, {"\xE2\x89\xA5", ">="},
        {"\xE2\x86\x92", "->"},  {"\xE2\x80\x98", "'"},  {"\xE2\x80\x99", "'"},
        {"\xE2\x80\x9C", "\""},  {"\xE2\x80\x9D", "\""}, {"\xE2\x94\x80", "-"},
        {"\xE2\x94\x82", "|"},   {"\xE2\x94\x8C", "+"},  {"\xE2\x94\x90", "+"},
        {"\xE2\x94\x94", "+"},   {"\xE2\x94\x98", "+"},  {"\xE2\x94\x9C", "+"},
        {"\xE2\x94\xA4", "+"},   {"\xE2\x94\xAC", "+"},  {"\xE2\x94\xB4", "+"},
        {"\xE2\x94\xBC", "+"},   {"\xC2\xA0", " "},
    };
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += c == '\t' ? ' ' : static_cast<char>(c);
            ++i;
            continue;
        }
        bool mapped = false;
        for (const Map& m : kMap) {
            const std::string_view from(m.from);
            if (utf8.substr(i, from.size()) == from) {
                out += m.to;
                i += from.size();
                mapped = true;
                break;
            }
        }
        if (mapped) continue;
        out += '?';
        ++i;  // the rest of the sequence: continuation bytes
        while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
    }
    return out;
}

std::vector<std::string> codeSpans(std::string_view s) {
    std::vector<std::string> spans;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '`') continue;
        const size_t end = s.find('`', i + 1);
        if (end == std::string_view::npos) break;
        spans.emplace_back(s.substr(i + 1, end - i - 1));
        i = end;
    }
    return spans;
}

std::string plainText(std::string_view s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        const size_t tick = s.find('`', i);
        if (tick == std::string_view::npos) {
            out += plainOutsideCode(s.substr(i));
            break;
        }
        out += plainOutsideCode(s.substr(i, tick - i));
        const size_t end = s.find('`', tick + 1);
        if (end == std::string_view::npos) {
            out += s.substr(tick + 1);
            break;
        }
        std::string code(s.substr(tick + 1, end - tick - 1));
        // A "|" in a table's code span is written "\|".
        for (size_t p; (p = code.find("\\|")) != std::string::npos;) code.erase(p, 1);
        out += code;
        i = end + 1;
    }
    return asciiText(out);
}

std::vector<std::string> tableCells(const std::string& row) {
    std::vector<std::string> cells;
    size_t at = 0;
    for (size_t tab; (tab = row.find('\t', at)) != std::string::npos; at = tab + 1)
        cells.push_back(row.substr(at, tab - at));
    cells.push_back(row.substr(at));
    return cells;
}

namespace {

// The cells of a Markdown table row ("| a | b |"), trimmed, still in Markdown.
std::vector<std::string> pipeCells(std::string_view row) {
    std::vector<std::string> cells;
    std::string_view t = trimmed(std::string_view(row));
    if (!t.empty() && t.front() == '|') t.remove_prefix(1);
    if (!t.empty() && t.back() == '|' && (t.size() < 2 || t[t.size() - 2] != '\\'))
        t.remove_suffix(1);
    std::string cell;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\\' && i + 1 < t.size() && t[i + 1] == '|') {
            cell += "\\|";
            ++i;
        } else if (t[i] == '|') {
            cells.emplace_back(trimmed(cell));
            cell.clear();
        } else {
            cell += t[i];
        }
    }
    cells.emplace_back(trimmed(cell));
    return cells;
}

}  // namespace

std::vector<Block> parseMarkdown(std::string_view text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view l = text.substr(at, end - at);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        lines.emplace_back(l);
        at = end + 1;
    }
    std::vector<Block> out;
    bool inList = false;     // a list item came last, and no unindented text since
    int itemDepth = 0;       // that item's depth
    size_t itemContent = 0;  // the column where its text begins
    bool blankBefore = true;
    for (size_t i = 0; i < lines.size();) {
        const std::string& line = lines[i];
        if (isBlank(line)) {
            blankBefore = true;
            ++i;
            continue;
        }
        const size_t indent = indentOf(line);
        const std::string_view t = std::string_view(line).substr(indent);
        Block b;
        b.line = static_cast<int>(i) + 1;
        if (isFence(line)) {
            b.kind = Block::kCode;
            b.inItem = inList && indent >= 2;
            b.level = itemDepth;
            for (++i; i < lines.size() && !isFence(lines[i]); ++i) {
                const std::string& l = lines[i];
                const size_t cut = std::min(indentOf(l), indent);
                b.lines.push_back(l.substr(cut));
            }
            ++i;  // the closing fence
        } else if (indent == 0 && isHeading(line)) {
            b.kind = Block::kHeading;
            size_t n = 0;
            while (line[n] == '#') ++n;
            b.level = static_cast<int>(n);
            b.lines.emplace_back(trimmed(std::string_view(line).substr(n)));
            inList = false;
            ++i;
        } else if (isTableLine(line)) {
            b.kind = Block::kTable;
            for (; i < lines.size() && isTableLine(lines[i]); ++i) {
                const std::vector<std::string> cells = pipeCells(lines[i]);
                if (isSeparatorRow(cells)) continue;
                b.lines.push_back(joined(cells, "\t"));
            }
            inList = false;
        } else if (const std::string marker = itemMarker(t); !marker.empty()) {
            b.kind = Block::kItem;
            b.marker = marker;
            b.level = static_cast<int>(indent / 2);
            std::vector<std::string> parts{std::string(t.substr(marker.size() + 1))};
            for (++i; i < lines.size() && !isBlank(lines[i]) && !beginsBlock(lines[i]); ++i)
                parts.emplace_back(trimmed(lines[i]));
            b.lines.push_back(joined(parts, " "));
            inList = true;
            itemDepth = b.level;
            itemContent = indent + marker.size() + 1;
        } else if (indent >= 4 && blankBefore && (!inList || indent >= itemContent + 4)) {
            // Indented code: its lines keep their place relative to the first.
            b.kind = Block::kCode;
            b.inItem = inList;
            b.level = itemDepth;
            size_t last = i;
            for (size_t j = i; j < lines.size(); ++j) {
                if (isBlank(lines[j])) continue;
                if (indentOf(lines[j]) < indent) break;
                last = j;
            }
            for (; i <= last; ++i)
                b.lines.push_back(isBlank(lines[i]) ? "" : lines[i].substr(indent));
        } else {
            b.kind = Block::kParagraph;
            if (inList && blankBefore && indent >= 2) {
                b.inItem = true;
                b.level = itemDepth;
            } else if (indent == 0 && blankBefore) {
                inList = false;
            } else if (inList) {
                b.inItem = true;
                b.level = itemDepth;
            }
            std::vector<std::string> parts{std::string(trimmed(line))};
            for (++i; i < lines.size() && !isBlank(lines[i]) && !beginsBlock(lines[i]); ++i)
                parts.emplace_back(trimmed(lines[i]));
            b.lines.push_back(joined(parts, " "));
        }
        blankBefore = false;
        out.push_back(std::move(b));
    }
    return out;
}

std::vector<std::string> wrapText(std::string_view text, std::string_view first, size_t hang,
                                  size_t width) {
    std::vector<std::string> out;
    std::string line(first);
    bool empty = true;  // no word on the line yet
    const std::string indent(hang, ' ');
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size()) break;
        size_t end = text.find(' ', i);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(i, end - i);
        i = end;
        if (!empty && line.size() + 1 + word.size() > width) {
            out.push_back(line);
            line = indent;
            empty = true;
        }
        if (!empty) line += ' ';
        line += word;
        empty = false;
    }
    if (!empty || out.empty()) {
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> renderBlocks(const std::vector<Block>& blocks, size_t width) {
    std::vector<std::string> out;
    const auto add = [&out](const std::vector<std::string>& lines) {
        for (std::string l : lines) {
            while (!l.empty() && l.back() == ' ') l.pop_back();
            out.push_back(std::move(l));
        }
    };
    const Block* previous = nullptr;
    for (const Block& b : blocks) {
        // Blocks are set apart by an empty line, but for items of one list.
        const bool together =
            previous && previous->kind == Block::kItem && (b.kind == Block::kItem);
        if (previous && !together) out.emplace_back();
        const std::string itemIndent(b.inItem ? 2 * static_cast<size_t>(b.level + 1) : 0, ' ');
        switch (b.kind) {
            case Block::kHeading: add({plainText(b.lines[0])}); break;
            case Block::kParagraph:
                add(wrapText(plainText(b.lines[0]), itemIndent, itemIndent.size(), width));
                break;
            case Block::kItem: {
                const std::string first =
                    std::string(2 * static_cast<size_t>(b.level), ' ') + b.marker + " ";
                add(wrapText(plainText(b.lines[0]), first, first.size(), width));
                break;
            }
            case Block::kCode:
                for (const std::string& l : b.lines)
                    add({l.empty() ? "" : "    " + itemIndent + asciiText(l)});
                break;
            case Block::kTable:
                for (const std::string& row : b.lines) {
                    std::vector<std::string> cells;
                    for (const std::string& c : tableCells(row)) cells.push_back(plainText(c));
                    add(wrapText(joined(cells, " | "), "  ", 4, width));
                }
                break;
        }
        previous = &b;
    }
    return out;
}

}  // namespace helpgen
