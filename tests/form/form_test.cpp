// FORM compiler and item conversions: compiled bytes, golden field bytes for each item, the
// compiler's errors, the cursor's walk, and a random round trip through every numeric item.
#include "vxs/form/form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "tests/support/compile_support.h"
#include "tests/support/test_support.h"
#include "vxs/form/dates.h"

namespace vxs {
namespace {

std::string hexOf(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// The compiled bytes of `text`, or "error N".
std::string compiled(std::string_view text) {
    CompiledForm f;
    if (int err = formCompile(text, f)) return "error " + std::to_string(err);
    return hexOf(f.view());
}

// The first data item of `text`.  Its picture or date format points into the compiled form,
// which is therefore kept for the whole test program.
FormField fieldOf(std::string_view text) {
    static std::deque<CompiledForm> forms;
    CompiledForm& f = forms.emplace_back();
    EXPECT_EQ(formCompile(text, f), 0) << text;
    FormSettings s;
    uint8_t none = 0;
    FormCursor c(f, s, &none, 0, false);
    FormField field;
    EXPECT_EQ(c.next(field), 0) << text;
    return field;
}

// `value` written by the item `item`, or "error N".
std::string put(std::string_view item, double value, const FormSettings& s = {}) {
    const FormField f = fieldOf(item);
    std::string out(static_cast<size_t>(f.length), '?');
    size_t written;
    if (int err = formPutNumber(f, s, value, reinterpret_cast<uint8_t*>(out.data()), out.size(),
                                written))
        return "error " + std::to_string(err);
    return out;
}
std::string putHex(std::string_view item, double value, const FormSettings& s = {}) {
    const std::string r = put(item, value, s);
    return r.rfind("error", 0) == 0 ? r : hexOf(r);
}
std::string putText(std::string_view item, std::string_view value) {
    const FormField f = fieldOf(item);
    std::string out(f.length ? static_cast<size_t>(f.length) : value.size(), '?');
    size_t written;
    if (int err = formPutString(f, {}, value, reinterpret_cast<uint8_t*>(out.data()), out.size(),
                                written))
        return "error " + std::to_string(err);
    return out;
}
// The number the item `item` reads from `bytes`; NAN for a conversion error.
double get(std::string_view item, std::string_view bytes, const FormSettings& s = {}) {
    const FormField f = fieldOf(item);
    double v;
    size_t used;
    if (formGetNumber(f, s, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), v, used))
        return NAN;
    return v;
}

TEST(FormCompiler, CompiledLayout) {
    // size, reference count, items, zero
    EXPECT_EQ(compiled("FORM POS 10,C 5"), "08 00 81 0A 49 05 00 00");
    EXPECT_EQ(compiled("pos 300, 3*n 5.2"), "0A 00 C1 2C 01 91 03 05 02 00");
    EXPECT_EQ(compiled("X 3,'a''b'"), "0B 00 82 03 47 03 61 27 62 5F 00");
    EXPECT_EQ(compiled("2*(PD 3, ZD 4.1),B 2,BH 4,BL 1.2"),
              "15 00 84 02 53 03 00 54 04 01 45 55 02 00 57 04 00 56 01 02 00");
    EXPECT_EQ(compiled("D,S,L,DT,DH 4,DL 3"), "0C 00 59 5A 58 5C 03 5D 04 5E 03 00");
    EXPECT_EQ(compiled("PIC(ZZ,ZZ#.##)"), "0F 00 46 09 02 5A 5A 2C 5A 5A 23 2E 23 23 00");
    EXPECT_EQ(compiled("PIC(#.##^^^^)"), "0E 00 46 88 12 23 2E 23 23 5E 5E 5E 5E 00");
    EXPECT_EQ(compiled("DATE(CYMD)"), "09 00 61 04 43 59 4D 44 00");
    EXPECT_EQ(compiled("0*GF 10,GZ 3,G 2,NZ 4"),
              "10 00 8E 00 0A 00 4F 03 00 52 02 00 50 04 00 00");
}

TEST(FormCompiler, MatchingOrderAndBareCharacterItems) {
    EXPECT_EQ(fieldOf("CC 5").code, kFormCC);
    EXPECT_EQ(fieldOf("CR 5").code, kFormCR);
    EXPECT_EQ(fieldOf("C 5").code, kFormC);
    EXPECT_EQ(fieldOf("C").code, kFormC);
    EXPECT_EQ(fieldOf("V ,N 2").code, kFormV);
    EXPECT_EQ(fieldOf("V").length, 0);
    EXPECT_EQ(fieldOf("DATE(M/D/CY)").length, 10);
    EXPECT_EQ(fieldOf("DATE(DAY, MONTH D)").length, 9 + 2 + 9 + 1 + 2);
    EXPECT_EQ(compiled("C5"), "error 1020") << "bare C only before the end, ',' or ')'";
    EXPECT_EQ(compiled("CX"), "error 1020");
}

TEST(FormCompiler, Errors) {
    CompiledForm f;
    EXPECT_EQ(formCompile("C 5, Q 3", f), kErrFormStructure);
    EXPECT_EQ(f.errorAt, 6u);
    EXPECT_EQ(compiled("(N 3,(N 2))"), "error 1020");
    EXPECT_EQ(compiled("(N 3"), "error 1020");
    EXPECT_EQ(compiled("N 3)"), "error 1020");
    EXPECT_EQ(compiled("()"), "error 1020");
    EXPECT_EQ(compiled("N 3,"), "error 1020");
    EXPECT_EQ(compiled("'abc"), "error 1020");
    EXPECT_EQ(compiled("3*POS 4"), "error 1020");
    EXPECT_EQ(compiled("PIC(#.##^^)"), "error 1020");
    EXPECT_EQ(compiled("PIC(################.#^^^)"), "error 1020");
    EXPECT_EQ(compiled("PIC()"), "error 1020");
    EXPECT_EQ(compiled("PIC(#.#.#)"), "error 1020") << "two points could not be read back";
    EXPECT_EQ(compiled("PIC(#^^^.##)"), "error 1020") << "digits after the exponent field";
    EXPECT_EQ(compiled("PIC(#.##^^^^-)"), "0F 00 46 89 12 23 2E 23 23 5E 5E 5E 5E 2D 00");
    EXPECT_EQ(compiled("N 127"), "error 1070");
    EXPECT_EQ(compiled("N 0"), "error 1070");
    EXPECT_EQ(compiled("N 5.6"), "error 1070");
    EXPECT_EQ(compiled("B 5"), "error 1070");
    EXPECT_EQ(compiled("GF 5.1"), "error 1070");
    EXPECT_EQ(compiled("DT 5"), "error 1070");
    EXPECT_EQ(compiled("POS 0"), "error 1070");
    EXPECT_EQ(compiled("POS 65536"), "error 1070");
    EXPECT_EQ(compiled("POS P"), "error 1070") << "no variables without a lookup";
    std::string many = "N 5";
    for (int i = 0; i < 90; ++i) many += ",N 5";
    EXPECT_EQ(compiled(many), "error 1050");
}

TEST(FormCompiler, TheCheckOfCompiledBytesTakesWhatTheCompilerMakes) {
    // Binary items take up to 9 decimals whatever their length; packed ones 2n-1; text n.
    for (const char* text : {"FORM B 1.5", "FORM BH 2.9", "FORM PD 3.5", "FORM N 4.4", "FORM ZD 3.3"}) {
        CompiledForm f, again;
        ASSERT_EQ(formCompile(text, f), 0) << text;
        EXPECT_EQ(formFromBytes(f.view(), again), 0) << text;
    }
    CompiledForm f;
    EXPECT_EQ(formCompile("FORM B 1.10", f), kErrFormNumber);
    EXPECT_EQ(formCompile("FORM PD 3.6", f), kErrFormNumber);
    EXPECT_EQ(formCompile("FORM N 4.5", f), kErrFormNumber);
}

TEST(FormCompiler, VariableReferencesAndCompiledBytesCheck) {
    const FormNameLookup lookup = [](std::string_view name, uint16_t& index) {
        index = static_cast<uint16_t>(256 + name[0] - 'A');
        return name.size() == 1 ? 0 : kErrFormNumber;
    };
    CompiledForm f;
    ASSERT_EQ(formCompile("pos p, r*c w, x q", f, lookup), 0);
    EXPECT_EQ(hexOf(f.view()), "10 04 0F 01 11 01 16 01 10 01 01 09 02 80 02 00");
    CompiledForm g;
    EXPECT_EQ(formFromBytes(f.view(), g), 0);
    EXPECT_EQ(g.view(), f.view());
    // Damaged compiled bytes are refused, never read past.
    std::string bad(f.view());
    bad[0] = 5;
    EXPECT_EQ(formFromBytes(bad, g), kErrFormStructure);
    EXPECT_EQ(formFromBytes(std::string("\x05\x00\x49\x05", 4), g), kErrFormStructure);
    EXPECT_EQ(formFromBytes(std::string("\x05\x00\x45\x49\x00", 5), g), kErrFormStructure);

    // The cursor takes the references in order: POS 3, 2 * C 4, X 1.
    FormSettings s;
    s.variable = [](uint16_t index, double& v) {
        v = index == 256 + 'P' - 'A' ? 3 : index == 256 + 'R' - 'A' ? 2 : index == 256 + 'W' - 'A' ? 4 : 1;
        return 0;
    };
    uint8_t rec[20];
    std::fill(rec, rec + 20, '.');
    FormCursor c(f, s, rec, sizeof rec, true);
    EXPECT_EQ(c.writeString("ab"), 0);
    EXPECT_EQ(c.writeString("cd"), 0);
    EXPECT_EQ(c.writeString("ef"), 0) << "the walk starts again at POS 3, after X 1";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rec), 20), "..ef  cd   .........");
}

TEST(FormItems, NumericText) {
    EXPECT_EQ(put("N 6.2", 12.5), " 12.50");
    EXPECT_EQ(put("N 6.2", -1), " -1.00");
    EXPECT_EQ(put("N 6.2", -0.001), "  0.00");
    EXPECT_EQ(put("N 6.2", 1234.5), "error 2");
    FormSettings fill;
    fill.overflowFill = '*';
    EXPECT_EQ(put("N 6.2", 1234.5, fill), " *****");
    EXPECT_EQ(put("NZ 5.2", 0.004), "     ");
    EXPECT_EQ(put("GZ 3", 0), "   ");
    EXPECT_EQ(put("G 3", 0), "  0");
    EXPECT_EQ(put("N 20", 1234567890123456789.0), " 1234567890123460000");
    EXPECT_EQ(put("GF 10", 2.5), "       2.5");
    EXPECT_EQ(put("GF 10", 1e12), "     1E+12");
    EXPECT_EQ(put("GF 12", -1.25e-11), "   -1.25E-11");
    FormSettings comma;
    comma.decimalChar = ',';
    EXPECT_EQ(put("N 5.1", 2.5, comma), "  2,5");

    EXPECT_DOUBLE_EQ(get("N 5.2", " 1234"), 12.34);
    EXPECT_DOUBLE_EQ(get("N 5.2", " 12.3"), 12.3);
    EXPECT_DOUBLE_EQ(get("N 5", " -1E3"), -1000);
    FormSettings explicitOnly;
    explicitOnly.impliedDecimals = false;
    EXPECT_DOUBLE_EQ(get("N 5.2", " 1234", explicitOnly), 1234);
    EXPECT_DOUBLE_EQ(get("NZ 5.2", "     "), 0);
    EXPECT_TRUE(std::isnan(get("N 5", "     ")));
    EXPECT_TRUE(std::isnan(get("N 5", " 12x4")));
    EXPECT_TRUE(std::isnan(get("N 6", "1E999 ")));
}

TEST(FormItems, PackedAndZonedDecimal) {
    EXPECT_EQ(putHex("PD 3", 12345), "12 34 5F");
    EXPECT_EQ(putHex("PD 3", -12345), "12 34 5D");
    EXPECT_EQ(putHex("PD 3", 7), "00 00 7F");
    EXPECT_EQ(putHex("PD 2.1", -1.25), "01 3D") << "rounded half away from zero";
    EXPECT_EQ(put("PD 3", 123456), "error 2");
    EXPECT_DOUBLE_EQ(get("PD 3", "\x12\x34\x5C"), 12345);
    EXPECT_DOUBLE_EQ(get("PD 3", "\x12\x34\x5D"), -12345);
    EXPECT_DOUBLE_EQ(get("PD 3.2", std::string("\x00\x12\x3F", 3)), 1.23);
    EXPECT_TRUE(std::isnan(get("PD 3", "\x12\x34\x5A")));
    EXPECT_TRUE(std::isnan(get("PD 3", "\x1A\x34\x5F")));

    EXPECT_EQ(put("ZD 3", -12), "01K");
    EXPECT_EQ(put("ZD 3", -10), "01}");
    EXPECT_EQ(put("ZD 3", 12), "012");
    EXPECT_EQ(put("ZD 3.1", 1.25), "013");
    EXPECT_EQ(put("ZD 2", 100), "error 2");
    EXPECT_DOUBLE_EQ(get("ZD 3", "  5"), 5);
    EXPECT_DOUBLE_EQ(get("ZD 3", "01}"), -10);
    EXPECT_DOUBLE_EQ(get("ZD 3", "01{"), 10);
    EXPECT_DOUBLE_EQ(get("ZD 3", "01A"), 11);
    EXPECT_DOUBLE_EQ(get("ZD 3", "01R"), -19);
    EXPECT_TRUE(std::isnan(get("ZD 3", "0A1")));
    EXPECT_TRUE(std::isnan(get("ZD 3", "01S")));
}

TEST(FormItems, BinaryIntegers) {
    EXPECT_EQ(putHex("B 1", -128), "80");
    EXPECT_EQ(putHex("B 1", 127.4), "7F");
    EXPECT_EQ(put("B 1", 127.5), "error 2");
    EXPECT_EQ(put("B 1", -128.5), "error 2");
    EXPECT_EQ(putHex("BH 2", 258), "01 02");
    EXPECT_EQ(putHex("BL 2", 258), "02 01");
    EXPECT_EQ(putHex("B 2", 258), "02 01");
    FormSettings swapped;
    swapped.swapBytes = true;
    EXPECT_EQ(putHex("B 2", 258, swapped), "01 02");
    EXPECT_EQ(putHex("B 3", -1), "FF FF FF");
    EXPECT_EQ(putHex("B 4", -2147483648.0), "00 00 00 80");
    EXPECT_EQ(put("B 4", 2147483648.0), "error 2");
    EXPECT_EQ(putHex("B 2.2", 1.5), "96 00");
    EXPECT_EQ(put("B 2", NAN), "error 2");
    EXPECT_DOUBLE_EQ(get("B 3", "\xFF\xFF\xFF"), -1);
    EXPECT_DOUBLE_EQ(get("BH 2", std::string("\x80\x00", 2)), -32768);
    EXPECT_DOUBLE_EQ(get("BL 2.2", std::string("\x96\x00", 2)), 1.5);
}

TEST(FormItems, FloatsAndDates) {
    EXPECT_EQ(putHex("D", 1), "00 00 00 00 00 00 F0 3F");
    EXPECT_EQ(putHex("L", -2), "00 00 00 00 00 00 00 C0 00");
    EXPECT_EQ(putHex("S", 1), "00 00 80 3F");
    FormSettings swapped;
    swapped.swapBytes = true;
    EXPECT_EQ(putHex("D", 1, swapped), "3F F0 00 00 00 00 00 00");
    EXPECT_EQ(put("S", 1e39), "error 2");
    EXPECT_DOUBLE_EQ(get("D", std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8)), 1);
    EXPECT_TRUE(std::isnan(get("D", std::string("\x00\x00\x00\x00\x00\x00\xF0\x7F", 8))));

    FormSettings cymd;
    cymd.dateFormat = "CYMD";
    EXPECT_EQ(putHex("DT", 20231231, cymd), "EA B0 00");
    EXPECT_EQ(putHex("DH 4", 20231231, cymd), "00 00 B0 EA");
    EXPECT_EQ(putHex("DL", 0, cymd), "00 00 00");
    EXPECT_EQ(put("DT", 20231232, cymd), "error 2");
    EXPECT_DOUBLE_EQ(get("DT", std::string("\xEA\xB0\x00", 3), cymd), 20231231);
    EXPECT_DOUBLE_EQ(get("DH 4", std::string("\x00\x00\x00\x00", 4), cymd), 0);

    EXPECT_EQ(put("DATE(CYMD)", 45290), "20231231");
    EXPECT_EQ(put("DATE(M/D/CY)", 1), "01/01/1900");
    EXPECT_EQ(put("DATE(CYMD)", 0), "        ");
    EXPECT_EQ(put("DATE(CYMD)", 1e6), "error 2");
    EXPECT_DOUBLE_EQ(get("DATE(CYMD)", "20231231"), 45290);
    EXPECT_TRUE(std::isnan(get("DATE(CYMD)", "20231332")));
}

TEST(FormItems, Pictures) {
    EXPECT_EQ(put("PIC(ZZ,ZZ#.##)", 1234.5), " 1,234.50");
    EXPECT_EQ(put("PIC(ZZ,ZZ#.##)", 5), "     5.00");
    EXPECT_EQ(put("PIC(**,**#.##)", 5), "*****5.00");
    EXPECT_EQ(put("PIC($$$,$$#.##)", 1234.5), " $1,234.50");
    EXPECT_EQ(put("PIC($$$,$$#.##)", 5), "     $5.00");
    EXPECT_EQ(put("PIC(-###)", -5), "-005");
    EXPECT_EQ(put("PIC(---#)", -5), "  -5");
    EXPECT_EQ(put("PIC(ZZZ-)", -5), "  5-");
    EXPECT_EQ(put("PIC(ZZZ+)", 5), "  5+");
    EXPECT_EQ(put("PIC(((#)", -5), " (5");
    EXPECT_EQ(put("PIC(((#)", 5), "  5");
    EXPECT_EQ(put("PIC(ZZZ)", -5), "error 2") << "a negative value without a sign position";
    EXPECT_EQ(put("PIC(ZZ)", 100), "error 2");
    EXPECT_EQ(put("PIC(ZZZ)", 0), "   ");
    EXPECT_EQ(put("PIC(#.##^^^^)", 12345), "1.23E+04");
    EXPECT_EQ(put("PIC(#.##^^^^)", -0.000125), "error 2");
    EXPECT_EQ(put("PIC(-#.##^^^^)", -0.000125), "-1.25E-04");
    EXPECT_EQ(put("PIC(#.##^^^)", 1e10), "error 2") << "exponent too wide";

    EXPECT_DOUBLE_EQ(get("PIC(ZZ,ZZ#.##)", " 1,234.50"), 1234.5);
    EXPECT_DOUBLE_EQ(get("PIC($$$,$$#.##)", "     $5.00"), 5);
    EXPECT_DOUBLE_EQ(get("PIC(((#)", " (5"), -5);
    EXPECT_DOUBLE_EQ(get("PIC(ZZZ-)", "  5-"), -5);
    EXPECT_DOUBLE_EQ(get("PIC(ZZZ#)", " 123"), 123);
    EXPECT_DOUBLE_EQ(get("PIC(ZZ#.##)", "  1234"), 12.34) << "implied decimals";
    EXPECT_DOUBLE_EQ(get("PIC(-#.##^^^^)", "-1.25E-04"), -0.000125);
    EXPECT_TRUE(std::isnan(get("PIC(ZZZ)", " x1")));
    // A zero shown without digits reads back as zero.
    EXPECT_EQ(put("PIC(+.)", 0), "+.");
    EXPECT_DOUBLE_EQ(get("PIC(+.)", "+."), 0);
    EXPECT_DOUBLE_EQ(get("PIC(ZZ.Z)", "    "), 0);
    // A zero with an exponent field: the mantissa shows no digit, the exponent field its own.
    EXPECT_EQ(put("PIC(-+/+^^^)", 0), "   +E+0");
    EXPECT_DOUBLE_EQ(get("PIC(-+/+^^^)", "   +E+0"), 0);
    EXPECT_EQ(put("PIC(ZZ^^^^)", 0), "  E+00");
    EXPECT_DOUBLE_EQ(get("PIC(ZZ^^^^)", "  E+00"), 0);
    EXPECT_DOUBLE_EQ(get("PIC(-+/+^^^)", " -/5E+1"), -50);
    EXPECT_TRUE(std::isnan(get("PIC(ZZ^^^^)", "  E+0x")));
    // Digits where the picture has its own characters are not a number it wrote.
    EXPECT_TRUE(std::isnan(get("PIC(DAT+^^^)", "1(00000")));
    EXPECT_TRUE(std::isnan(get("PIC(##/##)", "12345")));
    EXPECT_DOUBLE_EQ(get("PIC(##/##)", "12/34"), 1234);
    EXPECT_EQ(put("PIC(#.#Z1)", 0), "0.001");
    EXPECT_DOUBLE_EQ(get("PIC(#.#Z1)", "0.001"), 0) << "the 1 is the picture's own";
}

TEST(FormItems, CharacterItems) {
    EXPECT_EQ(putText("C 5", "ab"), "ab   ");
    EXPECT_EQ(putText("V 5", "ab"), "ab   ");
    EXPECT_EQ(putText("CR 5", "ab"), "   ab");
    EXPECT_EQ(putText("CC 6", "ab"), "  ab  ");
    EXPECT_EQ(putText("C", "abc"), "abc");
    EXPECT_EQ(putText("C 5", "abcdef"), "error 58");
    FormField v = fieldOf("V 5"), cr = fieldOf("CR 5"), c = fieldOf("C 5");
    std::string out;
    size_t used;
    const auto* bytes = reinterpret_cast<const uint8_t*>(" ab  ");
    ASSERT_EQ(formGetString(v, {}, bytes, 5, out, used), 0);
    EXPECT_EQ(out, " ab");
    ASSERT_EQ(formGetString(cr, {}, bytes, 5, out, used), 0);
    EXPECT_EQ(out, "ab  ");
    ASSERT_EQ(formGetString(c, {}, bytes, 5, out, used), 0);
    EXPECT_EQ(out, " ab  ");
    EXPECT_EQ(formGetString(c, {}, bytes, 4, out, used), kErrConversion) << "record too short";
    double n;
    EXPECT_EQ(formGetNumber(c, {}, bytes, 5, n, used), kErrConversion);
    EXPECT_EQ(formPutString(fieldOf("N 5"), {}, "1", nullptr, 0, used), kErrConversion);
}

TEST(FormCursor, GroupsLiteralsAndRestart) {
    CompiledForm f;
    ASSERT_EQ(formCompile("'<',2*(N 2,C 1),X 1,0*ZD 1", f), 0);
    uint8_t rec[16];
    std::fill(rec, rec + 16, '.');
    FormSettings s;
    s.defaultCount = 2;
    FormCursor out(f, s, rec, sizeof rec, true);
    EXPECT_EQ(out.writeNumber(1), 0);
    EXPECT_EQ(out.writeString("a"), 0);
    EXPECT_EQ(out.writeNumber(2), 0);
    EXPECT_EQ(out.writeString("b"), 0);
    EXPECT_EQ(out.writeNumber(3), 0);
    EXPECT_EQ(out.writeNumber(4), 0);
    EXPECT_EQ(out.writeNumber(5), 0) << "the items start again";
    EXPECT_EQ(out.writeNumber(6), kErrConversion) << "C 1 takes no number";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rec), 16), "< 1a 2b 34< 5...");
    EXPECT_EQ(out.highest(), 13u);

    FormCursor in(f, s, rec, sizeof rec, false);
    double n;
    std::string t;
    ASSERT_EQ(in.readNumber(n), 0);
    EXPECT_EQ(n, 1);
    ASSERT_EQ(in.readString(t), 0);
    EXPECT_EQ(t, "a");
    ASSERT_EQ(in.readNumber(n), 0);
    ASSERT_EQ(in.readString(t), 0);
    ASSERT_EQ(in.readNumber(n), 0);
    ASSERT_EQ(in.readNumber(n), 0);
    EXPECT_EQ(n, 4);

    // Past the buffer's end, and a form without data items.
    uint8_t small[2];
    CompiledForm g;
    ASSERT_EQ(formCompile("N 3", g), 0);
    FormCursor tooSmall(g, s, small, sizeof small, true);
    EXPECT_EQ(tooSmall.writeNumber(1), kErrConversion);
    ASSERT_EQ(formCompile("X 1", g), 0);
    FormCursor noData(g, s, small, sizeof small, true);
    EXPECT_EQ(noData.writeNumber(1), kErrFormStructure);
}

// Random values through random numeric items come back equal within the item's precision.
TEST(FormItems, RoundTripProperty) {
    std::mt19937 rng(12345);
    const char* specs[] = {"N 12.3", "G 10.2",  "NZ 9.1", "GZ 8",       "GF 24",
                           "PD 6.2", "ZD 9.3",  "B 4.2",  "BH 3",       "BL 2.1",
                           "D",      "L",       "S",      "PIC(-ZZZ,ZZ#.##)", "PIC(-#.####^^^^)"};
    std::uniform_real_distribution<double> magnitude(-3, 6);
    for (const char* item : specs) {
        const FormField f = fieldOf(item);
        for (int i = 0; i < 300; ++i) {
            double v = std::pow(10.0, magnitude(rng)) * (rng() % 2 ? -1 : 1);
            if (f.code == kFormB || f.code == kFormBL || f.code == kFormBH) {
                const double limit = std::ldexp(1.0, 8 * f.length - 1) / std::pow(10, f.decimals);
                v = std::fmod(v, limit - 1);
            }
            std::string bytes(static_cast<size_t>(f.length), '?');
            size_t n;
            const int err = formPutNumber(f, {}, v, reinterpret_cast<uint8_t*>(bytes.data()),
                                          bytes.size(), n);
            if (err) {
                EXPECT_EQ(err, kErrConversion);
                continue;  // too large for the field
            }
            double back;
            ASSERT_EQ(formGetNumber(f, {}, reinterpret_cast<const uint8_t*>(bytes.data()),
                                    bytes.size(), back, n),
                      0)
                << item << " " << v << " [" << bytes << "]";
            double tolerance = 0.5000001 * std::pow(10.0, -f.decimals);
            if (f.code == kFormGF) tolerance = std::max(1e-9 * std::fabs(v), 0.5e-9);
            if (f.code == kFormD || f.code == kFormL) tolerance = 0;
            if (f.code == kFormS) tolerance = 1e-6 * std::fabs(v);
            if (f.picExponent) tolerance = 1e-4 * std::fabs(v);
            EXPECT_NEAR(back, v, tolerance) << item << " [" << bytes << "]";
        }
    }
}

// Random pictures: whatever a picture writes it reads back, within its decimals.
TEST(FormItems, RandomPicturesReadBackWhatTheyWrite) {
    std::mt19937 rng(99);
    const std::string chars = "#Z*$+-(,/#Z#";
    std::uniform_real_distribution<double> magnitude(-3, 7);
    int written = 0;
    for (int i = 0; i < 400; ++i) {
        std::string pic;
        const int before = 1 + static_cast<int>(rng() % 8), after = static_cast<int>(rng() % 4);
        for (int k = 0; k < before; ++k) pic.push_back(chars[rng() % chars.size()]);
        if (after) pic.push_back('.');
        for (int k = 0; k < after; ++k) pic.push_back(rng() % 3 ? '#' : 'Z');
        const bool exponent = rng() % 4 == 0;
        if (exponent) pic.append(3 + rng() % 3, '^');
        if (rng() % 3 == 0) pic.push_back(rng() % 2 ? '-' : '+');
        CompiledForm form;
        if (formCompile("PIC(" + pic + ")", form)) continue;
        const FormField f = fieldOf("PIC(" + pic + ")");
        const double v = std::pow(10.0, magnitude(rng)) * (rng() % 2 ? -1 : 1);
        std::string bytes(static_cast<size_t>(f.length), '?');
        size_t n;
        if (formPutNumber(f, {}, v, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), n))
            continue;
        ++written;
        double back;
        ASSERT_EQ(formGetNumber(f, {}, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                back, n),
                  0)
            << pic << " " << v << " [" << bytes << "]";
        const double tolerance =
            exponent ? 0.5000001 * std::pow(10.0, -f.picAfter) * std::pow(10.0, std::floor(std::log10(std::fabs(v))))
                     : 0.5000001 * std::pow(10.0, -f.decimals);
        EXPECT_NEAR(back, v, tolerance) << pic << " [" << bytes << "]";
    }
    EXPECT_GT(written, 100);
}

TEST(FormFunctions, ConvertAndCompileFromPrograms) {
    std::string out;
    EXPECT_EQ(formConvertNumber("PIC(ZZ#.##)", 3.14159, {}, out), 0);
    EXPECT_EQ(out, "  3.14");
    EXPECT_EQ(formConvertNumber("X 2,N 3", 5, {}, out), 0);
    EXPECT_EQ(out, "    5");
    EXPECT_EQ(formConvertNumber("N 2", 500, {}, out), kErrConversion);
    EXPECT_EQ(formConvertNumber("N 2,Q", 5, {}, out), kErrFormSpec);
    EXPECT_EQ(formConvertNumber("X 2", 5, {}, out), kErrFormSpec);

    const test::RunResult r = test::runProgram(
        {"10 PRINT \"[\" & CNVRT$(\"PIC(ZZ,ZZ#.##)\", 1234.5) & \"]\"",
         "20 PRINT LEN(CFORM$(\"FORM C 10, N 5.2\")); HEX$(CFORM$(\"C 3\"))", "30 END"});
    ASSERT_TRUE(r.errors.empty()) << r.errors[0];
    ASSERT_EQ(r.output.size(), 2u);
    EXPECT_EQ(r.output[0], "[ 1,234.50]");
    EXPECT_EQ(r.output[1], "9 060049030000");
}

TEST(FormPlan, PlacesAndWhatAWriteThroughThemNeeds) {
    CompiledForm form;
    ASSERT_EQ(formCompile("FORM POS 10, C 2, POS 30, POS 3, 2*N 3, X 1, PD 2", form), 0);
    FormPlan plan;
    formPlan(form, FormSettings{}, plan);
    ASSERT_TRUE(plan.usable);
    ASSERT_EQ(plan.fields.size(), 4u);
    // Each field's place; the bytes a record needs up to it (POS 30 is passed on the way,
    // though no field lies there); and no X before the last one.
    EXPECT_EQ(plan.fields[0].at, 9u);
    EXPECT_EQ(plan.fields[0].need, 11u);
    EXPECT_EQ(plan.fields[1].at, 2u);
    EXPECT_EQ(plan.fields[1].need, 29u);
    EXPECT_EQ(plan.fields[2].at, 5u);
    EXPECT_TRUE(plan.fields[2].plain);
    EXPECT_EQ(plan.fields[3].at, 9u);
    EXPECT_EQ(plan.fields[3].need, 29u);
    EXPECT_FALSE(plan.fields[3].plain);
    // Variable places and items without a length are not planned.
    ASSERT_EQ(formCompile("FORM C 2, C", form), 0);
    formPlan(form, FormSettings{}, plan);
    EXPECT_FALSE(plan.usable);
}

}  // namespace
}  // namespace vxs
