// Field specifications: positions and window bounds, every format kind with its modifiers and
// errors, attributes and colour clauses to FontFlags and back, qualifiers and fkey items, and the
// named tables built from the display configuration's statements.
#include "vxs/screen/fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

// Tables of their own, so that no test depends on the process's.
struct Fixture : ::testing::Test {
    ColorList colors;
    AttributeList attrs;
    ScreenTable screen = defaultScreenTable(false);
    FieldOptions opt;
    FieldWindow win;
    bool mono = false;
    std::vector<FieldSpec> fields;

    AttributeContext ctx() {
        AttributeContext c;
        c.colors = &colors;
        c.attributes = &attrs;
        c.screen = &screen;
        c.monochrome = mono;
        return c;
    }
    int parse(std::string_view spec) { return parseFieldSpecs({spec}, win, opt, ctx(), fields); }
    FieldSpec one(std::string_view spec) {
        EXPECT_EQ(parse(spec), 0) << spec;
        EXPECT_EQ(fields.size(), 1u) << spec;
        return fields.empty() ? FieldSpec{} : fields[0];
    }
    FontFlags attr(std::string_view text) {
        AttributeResult r;
        size_t used = 0;
        EXPECT_EQ(parseAttributes(text, ctx(), r, &used), 0) << text;
        EXPECT_EQ(used, text.size()) << text;
        return r.attr;
    }
};

using FieldPositions = Fixture;
TEST_F(FieldPositions, RowsAndColumnsAreOneBasedAndBoundedByTheWindow) {
    FieldSpec f = one(" 10,5,C 20,UH");
    EXPECT_EQ(f.row, 9);
    EXPECT_EQ(f.column, 4);
    EXPECT_EQ(f.length, 20);
    EXPECT_EQ(f.width, 20);
    EXPECT_EQ(f.kind, 'C');
    EXPECT_EQ(parse("24,75,C 10"), kErrFieldColumn);
    EXPECT_EQ(parse("24,70,C 10"), 0);
    EXPECT_EQ(parse("24,71,C 10"), 0);  // ends in the last cell
    EXPECT_EQ(parse("25,1,C 1"), kErrFieldRow);
    EXPECT_EQ(parse("0,1,C 1"), kErrFieldRow);
    EXPECT_EQ(parse("1,81,C 1"), kErrFieldColumn);
    EXPECT_EQ(parse("1,0,C 1"), kErrFieldColumn);
    EXPECT_EQ(parse("5 10,C 1"), kErrFieldSeparator);
    EXPECT_EQ(parse("5,10 C 1"), kErrFieldSeparator);
    EXPECT_EQ(parse("5,10,C 1 x"), kErrFieldSeparator);
    // A field may run onto the following lines while it ends inside the window.
    EXPECT_EQ(parse("1,75,C 100"), 0);
    win.rows = 5;
    win.columns = 20;
    EXPECT_EQ(parse("5,1,C 20"), 0);
    EXPECT_EQ(parse("5,2,C 20"), kErrFieldColumn);
    EXPECT_EQ(parse("1,1,C 99999999999"), kErrFieldColumn);
}

TEST_F(FieldPositions, ListsOfSpecificationsAndTheirEnd) {
    ASSERT_EQ(parseFieldSpecs({"1,1,C 5;2,2,N 3", "3,3,V 4"}, win, opt, ctx(), fields), 0);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[1].kind, 'N');
    EXPECT_EQ(fields[2].row, 2);
    // An empty specification ends the list.
    ASSERT_EQ(parseFieldSpecs({"1,1,C 5; ;2,2,C 1", "3,3,C 1"}, win, opt, ctx(), fields), 0);
    EXPECT_EQ(fields.size(), 1u);
    ASSERT_EQ(parseFieldSpecs({"1,1,C 5", "", "3,3,C 1"}, win, opt, ctx(), fields), 0);
    EXPECT_EQ(fields.size(), 1u);
    // The first error stops the parse and no field is kept.
    EXPECT_EQ(parseFieldSpecs({"1,1,C 5;2,2,Q 3"}, win, opt, ctx(), fields), kErrFieldKind);
    EXPECT_TRUE(fields.empty());
    // Only the last field marked C keeps the cursor mark.
    ASSERT_EQ(parse("1,1,C 5,C;2,2,C 5,C;3,3,C 5"), 0);
    EXPECT_FALSE(fields[0].fieldFlags & kFieldCursorHere);
    EXPECT_TRUE(fields[1].fieldFlags & kFieldCursorHere);
}

using FieldFormats = Fixture;
TEST_F(FieldFormats, LengthsDecimalsWidthsAndModifiers) {
    FieldSpec f = one("5,10,N 7.2,UH");
    EXPECT_EQ(f.kind, 'N');
    EXPECT_EQ(f.length, 7);
    EXPECT_EQ(f.decimals, 2);
    f = one("5,10,3/C 20");
    EXPECT_EQ(f.width, 3);
    EXPECT_EQ(f.length, 20);
    f = one("1,1,CR 5");
    EXPECT_TRUE(f.controlFlags & kCtlRight);
    f = one("1,1,VCU 5");
    EXPECT_TRUE(f.controlFlags & kCtlCenter);
    EXPECT_EQ(f.caseConv, 'U');
    f = one("1,1,GZF 5");
    EXPECT_TRUE(f.controlFlags & kCtlZeroFill);
    EXPECT_TRUE(f.controlFlags & kCtlGF);
    EXPECT_TRUE(one("1,1,NZ 5").controlFlags & kCtlZeroFill);
    EXPECT_EQ(one("1,1,L 5").kind, 'L');
    EXPECT_EQ(parse("1,1,NU 5"), kErrFieldKind);
    EXPECT_EQ(parse("1,1,CZ 5"), kErrFieldKind);
    EXPECT_EQ(parse("1,1,CF 5"), kErrFieldKind);
    EXPECT_EQ(parse("1,1,LU 5"), kErrFieldKind);
    EXPECT_EQ(parse("1,1,Q 5"), kErrFieldKind);
    EXPECT_EQ(parse("1,1,F 5"), kErrFieldKind);
    EXPECT_EQ(parse("1,1,C"), kErrFieldLength);
    EXPECT_EQ(parse("1,1,C -1"), kErrFieldLength);
    EXPECT_EQ(parse("1,1,N 5."), kErrFieldLength);
    EXPECT_EQ(parse("1,1,N 5.10"), kErrFieldLength);
    EXPECT_EQ(parse("1,1,C 10/0"), kErrFieldLength);
}

TEST_F(FieldFormats, SecondLengthNeedsTheOption) {
    EXPECT_EQ(parse("2,2,C 10/20"), kErrFieldKind);
    opt.widthSlashLength = true;
    FieldSpec f = one("2,2,C 10/20");
    EXPECT_EQ(f.width, 10);
    EXPECT_EQ(f.length, 20);
    EXPECT_EQ(one("2,2,CHECK 3/8").length, 8);
}

TEST_F(FieldFormats, PicFmtAndDateMasks) {
    FieldSpec f = one("2,2,PIC(ZZ,ZZ#.##)");
    EXPECT_EQ(f.kind, 'P');
    EXPECT_EQ(f.decimals, 2);
    EXPECT_EQ(f.length, 9);
    EXPECT_EQ(f.mask, "ZZ,ZZ#.##");
    EXPECT_EQ(one("1,1,pic(--#.(*$))").decimals, 3);  // nested parentheses run to the match
    EXPECT_EQ(parse("1,1,PIC(#.(#)"), kErrBadPic);
    EXPECT_EQ(parse("1,1,PIC()"), kErrBadPic);
    EXPECT_EQ(parse("1,1,PIC(##"), kErrBadPic);

    f = one("2,2,FMT(99/99/99)");
    EXPECT_EQ(f.kind, 'F');
    EXPECT_EQ(f.length, 8);
    EXPECT_EQ(f.decimals, 6);
    EXPECT_EQ(f.mask, "99/99/99");
    EXPECT_EQ(one("1,1,FMT(R#9)").decimals, 3);
    EXPECT_EQ(parse("1,1,FMT(pp)"), kErrBadFmt);
    EXPECT_EQ(parse("1,1,FMT(--)"), kErrBadFmt);
    EXPECT_EQ(parse("1,1,FMT()"), kErrBadFmt);
    EXPECT_EQ(parse("1,1,FMT(R-9)"), kErrBadFmt);
    EXPECT_EQ(parse("1,1,FMT(99#)"), 0);
    EXPECT_EQ(parse("1,1,FMT(99"), kErrBadFmt);

    f = one("1,1,DATE(m/d/cy)");
    EXPECT_EQ(f.kind, 'D');
    EXPECT_EQ(f.length, 10);  // as wide as "05/12/2025"
    EXPECT_EQ(parse("1,1,DATE()"), kErrBadFmt);
    EXPECT_EQ(parse("1,1,DATE(" + std::string(201, 'y') + ")"), kErrBadFmt);
}

TEST_F(FieldFormats, ControlsAndPictures) {
    FieldSpec f = one("2,2,LIST 5/30,HEADERS");
    EXPECT_EQ(f.kind, 'X');
    EXPECT_TRUE(f.controlFlags & kCtlList);
    EXPECT_EQ(f.size[0], 5);
    EXPECT_EQ(f.size[1], 30);
    EXPECT_EQ(f.width, 1);
    EXPECT_EQ(f.listOp, ListOp::Headers);
    EXPECT_EQ(parse("2,2,LIST 5"), kErrFieldLength);
    EXPECT_EQ(parse("2,2,GRID"), kErrFieldLength);
    EXPECT_EQ(parse("24,80,GRID 50/50"), 0);  // a width of 1 for the fit check
    EXPECT_TRUE(one("1,1,COMBO 10").controlFlags & kCtlCombo);
    EXPECT_TRUE(one("1,1,RADIO 10").controlFlags & kCtlRadio);
    EXPECT_TRUE(one("1,1,CHECKR 10").controlFlags & kCtlRight);
    f = one("1,1,P 3/4");
    EXPECT_TRUE(f.controlFlags & kCtlPicture);
    EXPECT_EQ(f.length, 0);
    EXPECT_EQ(f.size[1], 4);
    EXPECT_EQ(parse("1,1,P3"), kErrFieldKind);
}

using FieldQualifiers = Fixture;
TEST_F(FieldQualifiers, FkeyItems) {
    EXPECT_EQ(one("2,2,C 10,N,F0").fkey, 10000);
    EXPECT_EQ(one("2,2,C 10,N,F512").fkey, 512);
    EXPECT_EQ(parse("2,2,C 10,N,F513"), kErrBadFkey);
    EXPECT_EQ(parse("2,2,C 10,N,F999"), kErrBadFkey);
    EXPECT_EQ(parse("2,2,C 10,N,F10001"), kErrBadFkey);
    EXPECT_EQ(one("2,2,C 10,N,F1000").fkey, 1000);
    FieldSpec f = one("2,2,C 10,N,-1");
    EXPECT_EQ(f.fkey, -1);
    EXPECT_TRUE(f.fieldFlags & kFieldHotText);
    f = one("2,2,C 10,N,BX6300");
    EXPECT_EQ(f.fkey, 0x6300);
    EXPECT_TRUE(f.fieldFlags & kFieldRawKey);
    EXPECT_TRUE(f.fieldFlags & kFieldButton);
    EXPECT_EQ(parse("2,2,C 10,N,X630"), kErrBadFkey);
    opt.buttonDefault = true;
    EXPECT_TRUE(one("2,2,C 10,,F5").fieldFlags & kFieldButton);
    EXPECT_TRUE(one("2,2,C 10,,TF5").fieldFlags & kFieldHotText);
    // Without attributes the item may be the fkey itself.
    EXPECT_EQ(one("2,2,C 10,F5").fkey, 5);
    EXPECT_TRUE(one("2,2,C 10,N,NOWAIT").fieldFlags & kFieldNowait);
    EXPECT_EQ(parse("2,2,C 10,N,F5,F6"), kErrFieldText);
    EXPECT_EQ(parse("2,2,C 10,N,F5;3,3,C 1"), 0);
}

TEST_F(FieldQualifiers, SkippingUnparsedText) {
    opt.skipUnparsed = true;
    EXPECT_EQ(parse("2,2,C 10 junk,N,F999,more"), 0);
    EXPECT_EQ(one("2,2,C 10,HZZ,F3").fkey, 3);
}

TEST_F(FieldQualifiers, ListOperationsSelectionsAndSearch) {
    FieldSpec f = one("1,1,GRID 5/5,+CL");
    EXPECT_EQ(f.listOp, ListOp::Append);
    EXPECT_EQ(f.listOpOptions, kListOpC | kListOpL);
    EXPECT_EQ(one("1,1,LIST 5/5,-").listOp, ListOp::Insert);
    EXPECT_EQ(one("1,1,COMBO 5,=").listOp, ListOp::Replace);
    EXPECT_EQ(one("1,1,LIST 5/5,ROWCNT").listOp, ListOp::RowCnt);
    f = one("1,1,LIST 5/5,HEADERS,/W:B,F7");
    EXPECT_EQ(f.listOp, ListOp::Headers);
    EXPECT_TRUE(f.attribute.flags & kFontFgWhite);
    EXPECT_EQ(f.fkey, 7);
    EXPECT_EQ(one("1,1,LIST 5/5,,SELONE").listSelect, ListSelect::SelOne);
    EXPECT_EQ(one("1,1,LIST 5/5,ALLC").listSelect, ListSelect::AllC);
    EXPECT_EQ(parse("1,1,C 5,,SELONE"), kErrBadFkey);  // only for lists
    f = one("1,1,SEARCH 10,,4,6,F2");
    EXPECT_EQ(f.searchRow, 3);
    EXPECT_EQ(f.searchColumn, 5);
    EXPECT_EQ(f.fkey, 2);
    EXPECT_EQ(parse("1,1,SEARCH 10,,40,6"), kErrFieldRow);
    EXPECT_EQ(parse("1,1,SEARCH 10,,4,90"), kErrFieldColumn);
}

using FieldAttributes = Fixture;
TEST_F(FieldAttributes, LettersAndWords) {
    FieldSpec f = one("2,2,C 10,3");
    EXPECT_EQ(f.cursorStart, 2);
    EXPECT_EQ(parse("2,2,C 2,3"), kErrCursorStart);
    EXPECT_EQ(parse("2,2,C 2,2"), 0);
    f = one("1,1,C 5,aceglpqtx@");
    const uint32_t want = kFieldAdvance | kFieldCursorHere | kFieldChgexit | kFieldNowait |
                          kFieldLeave | kFieldProtect | kFieldTab | kFieldExit | kFieldAt |
                          kFieldAttrGiven;
    EXPECT_EQ(f.fieldFlags & want, want);
    EXPECT_TRUE(f.controlFlags & kCtlCombo);
    EXPECT_EQ(f.attribute.flags & (kFontProtected | kFontFgGreen), kFontProtected | kFontFgGreen);
    f = one("1,1,C 5,^advance^LABEL^NOTHEME^SUNKEN");
    EXPECT_TRUE(f.fieldFlags & kFieldLabel);
    EXPECT_TRUE(f.attribute.flags & kFontNoTheme);
    EXPECT_TRUE(f.attribute.flags & kFontSunken);
    EXPECT_EQ(parse("1,1,C 5,^BOLD"), kErrUnknownAttribute);
    EXPECT_EQ(parse("1,1,C 5,K"), kErrFieldSeparator);
    EXPECT_EQ(parse("1,1,C 5,[NONE]"), kErrUnknownAttribute);
}

TEST_F(FieldAttributes, ScreenLettersInvisibleAndTheWindowDefault) {
    screen.slot[ScreenTable::index('U')].flags = kFontFgRed;
    screen.slot[ScreenTable::index('H')].flags = kFontFgIntense;
    EXPECT_EQ(attr("UH").flags, kFontFgRed | kFontFgIntense);
    EXPECT_EQ(attr("I").flags, kFontInvisible);  // slot I undefined
    screen.defined[ScreenTable::index('I')] = true;
    screen.slot[ScreenTable::index('I')].flags = kFontBgBlue;
    EXPECT_EQ(attr("I").flags, kFontInvisible | kFontBgBlue);
    win.defaultAttr.flags = kFontBgGreen | kFontFgWhite;
    EXPECT_EQ(one("1,1,C 5").attribute.flags, kFontBgGreen | kFontFgWhite);
    EXPECT_EQ(one("1,1,C 5,S").attribute.flags, kFontSunken | kFontBgGreen | kFontFgWhite);
    EXPECT_EQ(one("1,1,C 5,UH").attribute.flags, kFontFgRed | kFontFgIntense);
    EXPECT_EQ(one("1,1,C 5,/").attribute.flags, 0u);  // an empty clause still counts
}

TEST_F(FieldAttributes, ColourClauses) {
    FontFlags f = one("2,2,C 10,/W:B").attribute;
    EXPECT_EQ(f.flags, kFontFgWhite | kFontBgBlue);
    f = one("2,2,C 10,/#FF0000").attribute;
    EXPECT_EQ(f.flags, kFontFgRgb);
    EXPECT_EQ(f.foreground, 0xFF0000u);
    f = attr("/rgbh:t");
    EXPECT_EQ(f.flags, 0x0Fu | kFontTransparent);
    f = attr("/[RED]:#00ff80");
    EXPECT_EQ(f.foreground, 0xFF0000u);
    EXPECT_EQ(f.background, 0x00FF80u);
    // The clause replaces the colours that letters brought, intensity too unless kept.
    screen.slot[ScreenTable::index('H')].flags = 0x0E;
    EXPECT_EQ(attr("H/B").flags, kFontFgBlue);
    screen.keepIntensity = true;
    EXPECT_EQ(attr("H/B").flags, kFontFgBlue | kFontFgIntense);
    EXPECT_EQ(parse("1,1,C 5,/#12345"), kErrBadRgb);
    EXPECT_EQ(parse("1,1,C 5,/#12345G"), kErrBadRgb);
    EXPECT_EQ(parse("1,1,C 5,/[NOPE]"), kErrBadRgb);
    EXPECT_EQ(parse("1,1,C 5,/[RED"), kErrBadRgb);
}

TEST_F(FieldAttributes, MonochromeIgnoresColoursAndShowsBlueOnWhiteAsBlack) {
    mono = true;
    EXPECT_EQ(attr("/R:B").flags, 0u);
    screen.slot[ScreenTable::index('R')].flags = kFontFgBlue | kFontBgWhite;
    EXPECT_EQ(one("1,1,C 5,R").attribute.flags, kFontBgWhite);
    screen.slot[ScreenTable::index('R')].flags = kFontFgBlue | 0x70;
    EXPECT_EQ(one("1,1,C 5,R").attribute.flags, 0x70u);
}

TEST_F(FieldAttributes, TextRoundTrip) {
    for (const char* text : {"/W:B", "/RGH:T", "/#102030:#A0B0C0", "IS/B", "P", "P/R", "PH", "P/RGB:B", "P/",
                             "^NOTHEME/W:RGB", "S/#FFFFFF:W"}) {
        const FontFlags f = attr(text);
        const std::string back = formatAttributeText(f);
        EXPECT_EQ(attr(back), f) << text << " -> " << back;
    }
    EXPECT_EQ(formatAttributeText(FontFlags{}), "");
    EXPECT_EQ(formatAttributeText(attr("/W:B")), "/W:B");
    EXPECT_EQ(formatAttributeText(attr("/#ff0000")), "/#FF0000");
}

using FieldTables = Fixture;
TEST_F(FieldTables, ColourAttributeAndScreenStatements) {
    ColorList c;
    ASSERT_EQ(buildColorList({"[SKY]#87CEEB", "[DARK] #000010"}, c), 0);
    uint32_t rgb = 0;
    ASSERT_EQ(c.lookup("SKY", rgb), 0);
    EXPECT_EQ(rgb, 0x87CEEBu);
    ASSERT_EQ(c.lookup("RED", rgb), 0);  // built-in names stay
    EXPECT_EQ(c.lookup("sky", rgb), kErrBadRgb);
    EXPECT_EQ(buildColorList({"[X]#12345"}, c), kErrBadRgb);
    EXPECT_EQ(buildColorList({"X#123456"}, c), kErrBadRgb);

    AttributeList a;
    ASSERT_EQ(buildAttributeList({"[HOT]/[SKY]:B, FONT=Arial Bold [COLD]/W", "[P]P,"}, c, a), 0);
    const NamedAttribute* hot = nullptr;
    ASSERT_EQ(a.lookup("HOT", hot), 0);
    EXPECT_EQ(hot->color.foreground, 0x87CEEBu);
    EXPECT_TRUE(hot->color.flags & kFontFont);
    EXPECT_EQ(hot->mono.flags & (kFontFgRgb | kFontBgBlue), 0u);  // colours not in mono
    EXPECT_EQ(hot->font, "Arial Bold");
    ASSERT_EQ(a.lookup("COLD", hot), 0);
    EXPECT_EQ(hot->color.flags, kFontFgWhite);
    EXPECT_EQ(buildAttributeList({"[BAD]/#XYZ"}, c, a), kErrBadRgb);
    EXPECT_EQ(buildAttributeList({"[BAD]^WHAT"}, c, a), kErrUnknownAttribute);

    colors = c;
    attrs = a;
    EXPECT_EQ(attr("[COLD]").flags, kFontFgWhite);

    ScreenTable col = defaultScreenTable(false), mon = defaultScreenTable(true);
    ASSERT_EQ(buildScreenTables({"H=1E", "U=[/R:W]", "I 0107", "N=[COLD]"}, c, a, col, mon), 0);
    EXPECT_EQ(col.slot[ScreenTable::index('H')].flags, 0x1Eu);
    EXPECT_EQ(col.slot[ScreenTable::index('U')].flags, kFontFgRed | kFontBgWhite);
    EXPECT_EQ(mon.slot[ScreenTable::index('U')].flags, 0u);
    EXPECT_TRUE(col.defined[ScreenTable::index('I')]);
    EXPECT_EQ(col.slot[ScreenTable::index('I')].flags, 0x0107u);
    EXPECT_EQ(col.slot[ScreenTable::index('N')].flags, kFontFgWhite);
    EXPECT_EQ(buildScreenTables({"Z=1E"}, c, a, col, mon), kErrFieldSeparator);
    EXPECT_EQ(buildScreenTables({"H=1"}, c, a, col, mon), kErrBadRgb);
}

TEST_F(FieldTables, FormatAndAttributesWithoutAPosition) {
    FieldSpec f;
    size_t used = 0;
    ASSERT_EQ(parseFormatAttributes("C 20,/W:B", opt, ctx(), f, &used), 0);
    EXPECT_EQ(f.length, 20);
    EXPECT_EQ(f.attribute.flags, kFontFgWhite | kFontBgBlue);
    EXPECT_EQ(used, 9u);
    EXPECT_EQ(parseFormatAttributes("Q 20", opt, ctx(), f), kErrFieldKind);
}

}  // namespace
}  // namespace vxs
