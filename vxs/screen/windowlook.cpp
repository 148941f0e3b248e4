// The look keywords of a window's OPEN string (see windowlook.h).
#include "vxs/screen/windowlook.h"

#include <algorithm>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A whole number of at most four digits filling `s` (blanks around it allowed).
bool number(std::string_view s, int& out) {
    s = trim(s);
    if (s.empty() || s.size() > 4) return false;
    out = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

bool points(std::string_view s, int& out) {
    int v = 0;
    if (!number(s, v) || v < kLookFewestPoints || v > kLookMostPoints) return false;
    out = v;
    return true;
}

// FONT= and FONT.x=: the face, then the points when the second item is a number.
bool wholeFont(std::string_view value, LookFont& f) {
    const size_t comma = value.find(',');
    const std::string_view face = trim(value.substr(0, comma));
    if (!face.empty()) f.face.assign(face);
    if (comma == std::string_view::npos) return true;
    std::string_view rest = value.substr(comma + 1);
    const std::string_view second = trim(rest.substr(0, rest.find(',')));
    int v = 0;
    if (!number(second, v)) return true;  // a style, not a size
    if (v < kLookFewestPoints || v > kLookMostPoints) return false;
    f.points = v;
    return true;
}

}  // namespace

int parseWindowLook(std::string_view lines, WindowLook& out) {
    WindowLook look;
    LookFont common;
    LookFont* parts[] = {&look.text, &look.labels, &look.buttons};
    constexpr std::string_view names[] = {"TEXT", "LABELS", "BUTTONS"};
    while (!lines.empty()) {
        const size_t end = std::min(lines.find('\n'), lines.size());
        const std::string_view line = lines.substr(0, end);
        lines.remove_prefix(std::min(end + 1, lines.size()));
        const size_t eq = line.find('=');
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
        bool good = true;
        if (key == "MAXIMIZE") {
            look.maximize = true;
            look.restore = false;
        } else if (key == "NOMAXIMIZE") {
            look.restore = true;
            look.maximize = false;
        } else if (key == "BUTTONROWS") {
            int v = 0;
            good = number(value, v) && v >= 1 && v <= kLookMostButtonRows;
            if (good) look.buttonRows = v;
        } else if (key == "FONTSIZE") {
            const size_t x = value.find_first_of("xX");
            int w = 0, h = 0;
            good = x != std::string_view::npos && number(value.substr(0, x), w) &&
                   number(value.substr(x + 1), h) && w >= 4 && w <= 64 && h >= 6 && h <= 128;
            if (good) {
                look.cellWidth = w;
                look.cellHeight = h;
            }
        } else if (key == "CHAR.WIDTH") {
            good = number(value, look.cellWidth) && look.cellWidth >= 4 && look.cellWidth <= 64;
        } else if (key == "CHAR.HEIGHT" || key == "ROW.HEIGHT") {
            good = number(value, look.cellHeight) && look.cellHeight >= 6 && look.cellHeight <= 128;
        } else if (key.starts_with("FONT")) {
            // FONT, FONT.NAME, FONT.SIZE, FONT.x, FONT.x.NAME, FONT.x.SIZE
            std::string_view rest = key.substr(4);
            LookFont* f = &common;
            for (size_t i = 0; i < 3; ++i) {
                const std::string prefix = "." + std::string(names[i]);
                if (rest.starts_with(prefix) &&
                    (rest.size() == prefix.size() || rest[prefix.size()] == '.')) {
                    f = parts[i];
                    rest.remove_prefix(prefix.size());
                    break;
                }
            }
            if (rest.empty())
                good = wholeFont(value, *f);
            else if (rest == ".NAME") {
                if (!trim(value).empty()) f->face.assign(trim(value));
            } else if (rest == ".SIZE")
                good = points(value, f->points);
        }
        if (!good) return kErrOpenSyntax;
    }
    for (LookFont* f : parts) {
        if (f->face.empty()) f->face = common.face;
        if (f->points == 0) f->points = common.points;
    }
    out = look;
    return 0;
}

}  // namespace vxs
