// Field specifications ("10,5,C 20,UH"): the parser of FIELDS lists into field records, the
// attribute grammar shared with window OPEN strings and the display configuration, the attribute
// value FontFlags, and the named colour and attribute tables.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

struct DisplayConfig;

// ---- FontFlags: the attribute value of a field or of a window ----
struct FontFlags {
    uint32_t flags = 0;       // display bits, below
    uint32_t foreground = 0;  // 0xRRGGBB, valid with kFontFgRgb
    uint32_t background = 0;  // 0xRRGGBB, valid with kFontBgRgb
    uint16_t value1 = 0, value2 = 0;  // carried for the display layer
    bool operator==(const FontFlags&) const = default;
};

// Display bits of FontFlags::flags.
inline constexpr uint32_t kFontFgBlue = 0x1, kFontFgGreen = 0x2, kFontFgRed = 0x4,
                          kFontFgIntense = 0x8;
inline constexpr uint32_t kFontBgBlue = 0x10, kFontBgGreen = 0x20, kFontBgRed = 0x40,
                          kFontBgIntense = 0x80;
inline constexpr uint32_t kFontSunken = 0x100;
inline constexpr uint32_t kFontFgWhite = 0x1000, kFontBgWhite = 0x2000;
inline constexpr uint32_t kFontInvisible = 0x10000;
inline constexpr uint32_t kFontTransparent = 0x20000;
inline constexpr uint32_t kFontProtected = 0x40000;  // set together with kFontFgGreen by P
inline constexpr uint32_t kFontFont = 0x80000;       // a font is attached (ATTRIBUTE FONT=)
inline constexpr uint32_t kFontFgRgb = 0x100000, kFontBgRgb = 0x200000;
inline constexpr uint32_t kFontNoTheme = 0x400000;
// Look letters of an attribute, kept in FontFlags::value2 for the terminal, which shows them in
// its own way (bold, blink, underline, reverse) beside the colours of the screen table.
inline constexpr uint16_t kLookH = 0x1, kLookB = 0x2, kLookU = 0x4, kLookR = 0x8, kLookI = 0x10;
// What a colour clause clears first; the intensity bits unless the table keeps intensity.
inline constexpr uint32_t kFontColorBits = 0x303077;
inline constexpr uint32_t kFontIntensityBits = 0x88;

// Field flags (FieldSpec::fieldFlags and the attribute parse).
inline constexpr uint32_t kFieldNowait = 0x1, kFieldAdvance = 0x2, kFieldChgexit = 0x4,
                          kFieldLeave = 0x8, kFieldProtect = 0x10, kFieldTab = 0x20,
                          kFieldExit = 0x40, kFieldLabel = 0x80, kFieldNoTheme = 0x100,
                          kFieldAttrGiven = 0x200, kFieldButton = 0x400, kFieldHotText = 0x800,
                          kFieldCursorHere = 0x1000,  // C: the cursor starts in this field
                          kFieldAt = 0x2000,          // "@": the further display flag
                          kFieldRawKey = 0x4000;      // fkey is a raw key code (X item)

// Control flags (FieldSpec::controlFlags).
inline constexpr uint32_t kCtlGrid = 0x1, kCtlList = 0x2, kCtlCombo = 0x4, kCtlRadio = 0x8,
                          kCtlCheck = 0x10, kCtlSearch = 0x20, kCtlPicture = 0x40,
                          kCtlCenter = 0x80, kCtlRight = 0x100, kCtlZeroFill = 0x200,
                          kCtlGF = 0x400;  // G with the F modifier

// ---- named colours and attributes ----
// Names are kept as written between the square brackets (the configuration upper-cases them).
struct ColorList {
    std::map<std::string, uint32_t, std::less<>> colors;
    // Built-in names only.
    ColorList();
    // 0, or kErrBadRgb for a name not in the list.
    [[nodiscard]] int lookup(std::string_view name, uint32_t& rgb) const;
};

struct NamedAttribute {
    FontFlags color, mono;
    std::string font;  // FONT=, empty when none
};
struct AttributeList {
    std::map<std::string, NamedAttribute, std::less<>> entries;
    // 0, or kErrUnknownAttribute for a name not in the list.
    [[nodiscard]] int lookup(std::string_view name, const NamedAttribute*& found) const;
};

// Screen attribute table: the looks of the letters H, B, U, I, S, R, N, C.
struct ScreenTable {
    static constexpr const char* kLetters = "HBUISRNC";
    FontFlags slot[8];
    bool defined[8] = {};
    bool keepIntensity = false;  // a colour clause leaves the intensity bits alone
    // Index of `letter` (upper case) in kLetters, or -1.
    static int index(char letter);
};

// Everything the attribute grammar consults.  Pointers left null fall back to the process's tables.
struct AttributeContext {
    const ColorList* colors = nullptr;
    const AttributeList* attributes = nullptr;
    const ScreenTable* screen = nullptr;  // the table of the display mode
    bool monochrome = false;
};

// Result of an attribute text.
struct AttributeResult {
    FontFlags attr;
    uint32_t fieldFlags = 0;
    uint32_t controlFlags = 0;
    int cursorStart = -1;  // 0-based, -1 when none given
    bool colorClause = false;
};

// Parses an attribute run from `text` up to "," or ";" or the end; `used` (optional) receives the
// characters taken.  Errors: 858 an unknown letter or character, 9500 an unknown "^" word or
// bracketed attribute name, 812 a "#" without six hex digits or an unknown colour name.
[[nodiscard]] int parseAttributes(std::string_view text, const AttributeContext& ctx,
                                  AttributeResult& out, size_t* used = nullptr);
// The whole of `text` as one attribute text in the colour display mode of the process's tables;
// text after a "," or ";" gives 858.
[[nodiscard]] int parseAttributeText(std::string_view text, FontFlags& out);
// `f` written back in the attribute grammar: the looks first ("I", "S", "P", "^NOTHEME"), then a
// colour clause ("/fg:bg" with letters or "#RRGGBB").  Parsing the result gives the same display
// bits and colours back (for the protected look, with the green it implies).
std::string formatAttributeText(const FontFlags& f);

// ---- the process's tables ----
ColorList& colorList();
AttributeList& attributeList();
ScreenTable& screenTable(bool monochrome);
// Rebuilds the colour list, the attribute list and both screen tables from the raw COLOR,
// ATTRIBUTE and SCREEN statements kept by the configuration.  The tables are built into
// temporaries and replace the process's tables only when every statement parses; returns the
// first error (812, 858, 9500) otherwise.
[[nodiscard]] int buildDisplayTables(const DisplayConfig& d);
// The same from explicit lists (a COLOR item "[NAME]#RRGGBB", an ATTRIBUTE item
// "[NAME]spec[,] [FONT=name]", a SCREEN item "x?value"), into the given tables.
[[nodiscard]] int buildColorList(const std::vector<std::string>& items, ColorList& out);
[[nodiscard]] int buildAttributeList(const std::vector<std::string>& items, const ColorList& colors,
                                     AttributeList& out);
[[nodiscard]] int buildScreenTables(const std::vector<std::string>& items, const ColorList& colors,
                                    const AttributeList& attrs, ScreenTable& color,
                                    ScreenTable& mono);
// Built-in looks of the screen letters.
ScreenTable defaultScreenTable(bool monochrome);

// Whether `c` is a data position of a FMT mask (the others are literals).
bool fmtDataPosition(char c);

// ---- field specifications ----
enum class ListOp : uint8_t {
    None, Replace, Append, Insert, Headers, Cell, Sub, Cnt, Row, RowSub, RowCnt, Attr, Sort
};
enum class ListSelect : uint8_t { None, AllR, AllC, All, Sel, SelOne, Chg, Cur };
inline constexpr uint8_t kListOpC = 0x1, kListOpL = 0x2;  // letters after "+", "-" or "="

// One parsed field.
struct FieldSpec {
    int row = 0, column = 0;  // 0-based in the window
    int width = 0;            // display width
    int length = 0;           // data length
    int decimals = 0;         // decimals, or the data positions of a FMT mask
    char kind = 'C';          // C V N G P L F D, or X for a control
    uint32_t controlFlags = 0;
    char caseConv = 0;  // 'U', 'L' or 0
    uint32_t fieldFlags = 0;
    FontFlags attribute;
    int cursorStart = -1;
    int size[2] = {0, 0};  // GRID/LIST dimensions, picture size
    ListOp listOp = ListOp::None;
    uint8_t listOpOptions = 0;
    ListSelect listSelect = ListSelect::None;
    int fkey = 0;  // 0 none; 1..512, 1000..10000, -1, or a raw key code with kFieldRawKey
    int searchRow = -1, searchColumn = -1;
    std::string mask;  // PIC, FMT or DATE mask
};

// The window a list is parsed for, and the settings that change the grammar.
struct FieldWindow {
    int rows = 24, columns = 80;
    FontFlags defaultAttr;  // applies when a field gives no colour
};
struct FieldOptions {
    bool skipUnparsed = false;  // skip bad text up to the next separator; no 853 or 875
    bool buttonDefault = false;  // an fkey item without B or T is a button (else hot text)
    bool widthSlashLength = false;  // "C 10/20": width 10, length 20 for data fields
};
// The options as the configuration sets them (OPTION 38, 40, 45).
FieldOptions fieldOptionsFromConfig();

// Parses every specification of `specs` (each string may hold several, separated by ";") into
// `out` (cleared first).  Errors: 802, 805, 812, 853, 854, 857, 858, 861, 862, 867, 875, 9500;
// on an error `out` is left empty.
[[nodiscard]] int parseFieldSpecs(const std::vector<std::string_view>& specs,
                                  const FieldWindow& win, const FieldOptions& opt,
                                  const AttributeContext& ctx, std::vector<FieldSpec>& out);
// A format and attributes without a position ("C 20,UH", a window's or control's own), taken as
// at row 1, column 1 of an unbounded window; `used` receives the characters taken.
[[nodiscard]] int parseFormatAttributes(std::string_view text, const FieldOptions& opt,
                                        const AttributeContext& ctx, FieldSpec& out,
                                        size_t* used = nullptr);

}  // namespace vxs
