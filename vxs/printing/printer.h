// The escape interpreter of native printing: turns the bytes of a printer file (text, control
// characters, ESC sequences and markup words) into a list of page items that the renderer
// (print.h) draws.  Parsing draws nothing and touches no file, so it can be tested alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

enum class PageOp : uint8_t {
    kText,         // text: the bytes to show at the current position
    kTab,          // to the next multiple of eight character widths
    kLineFeed,     // down one line (and to the left margin)
    kReturn,       // to the left margin
    kFormFeed,     // a new page
    kWidth,        // a = 0 normal, 1 condensed (SI), 2 condensed off (DC2), 3 double (SO),
                   //     4 double off (DC4)
    kRule,         // "|" or code 5 inside a box, shade or verticals: a vertical rule
    kFont,         // text: a font or PCL typeface name
    kColor,        // a = 0xRRGGBB
    kTray,         // a = the paper tray
    kMedia,        // a = the media
    kPicture,      // x, y = width and height (columns, lines); text = the image file
    kPosition,     // x, y, with relX / relY when the value had a sign
    kMarkup,       // text: a word without argument (begin_box, center, ...)
    kLineSpacing,  // a = lines per inch (6 or 8)
    kPitch,        // a = characters per inch (10, 12, 15)
    kReset,        // ESC @: the page state back to its start
    kStyle,        // a = 'I' italic, 'B' bold, 'D' double strike; b = on (1) or off (0)
    kAttribute,    // a = the command ('-', 'W', '_', 'k', 'x'), b = its setting
    kWeight,       // PCL stroke weight: a > 0 bold
    kUpright,      // PCL style: a = 1 italic, 0 upright
};

struct PageItem {
    PageOp op = PageOp::kText;
    int a = 0, b = 0;
    double x = 0, y = 0;
    bool relX = false, relY = false;
    std::string text;
};

struct EscapeOptions {
    bool suppressUnsupported = false;  // OPTION 32: unsupported sequences are only logged
};

// Parses `bytes` into `out` (appended).  Returns 0, 6270 (a markup argument without its
// closing quote), 6247 (a colour that is not "#" and six hex digits), 6248 (a malformed
// picture argument), or 6245 (an escape sequence neither interpreter knows, unless
// suppressed: then "Escape sequence ignored: %s" is logged and parsing goes on).  On an error
// `out` holds the items before it and `failedAt` the offset of the sequence.
[[nodiscard]] int parseEscapes(std::string_view bytes, const EscapeOptions& options,
                               std::vector<PageItem>& out, size_t& failedAt);

// The font family a PCL typeface name or font name stands for (fontconfig names: the
// monospace, serif and sans-serif families for the known typefaces, the name itself else).
std::string fontFamilyOf(std::string_view name);

// The sequence as the error message shows it: ESC as "<ESC>", other control bytes in hex.
std::string escapeText(std::string_view sequence);

}  // namespace vxs
