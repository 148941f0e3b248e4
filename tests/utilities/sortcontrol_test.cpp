// Sort control lines and key forms: every line kind with its error numbers, and key forms that
// order as the values do (every numeric type, signs, descending, dates by century, the
// collating tables), bounds padded over the whole field, and the I and O rules combined.
#include "vxs/utilities/sortcontrol.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <cstdio>
#include <fstream>

#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/openstr.h"
#include "vxs/form/form.h"

namespace vxs {
namespace {

int parse(const std::vector<std::string>& lines, SortControl& c) {
    c = SortControl{};
    return parseSortControl(lines, c);
}

int parse(const std::vector<std::string>& lines) {
    SortControl c;
    return parse(lines, c);
}

TEST(SortControlLines, FileLineFieldsAndOptions) {
    SortControl c;
    ASSERT_EQ(parse({"  FILE master.dat, \"Out.Dat\", work, B, A, SHRU REPLACE \x1a", "MASK 1,5,C"}, c), 0);
    EXPECT_EQ(c.input, "MASTER.DAT");
    EXPECT_EQ(c.output, "Out.Dat");  // quoted text is kept as written
    EXPECT_EQ(c.workDir, "WORK");
    EXPECT_EQ(c.kind, SortOutput::kNumbers4);
    EXPECT_EQ(c.collation, 'A');
    EXPECT_EQ(c.share, kShareAll);
    EXPECT_TRUE(c.lockFree);
    EXPECT_TRUE(c.replace);
    ASSERT_EQ(parse({"file in,out", "mask 1,5,c"}, c), 0);
    EXPECT_EQ(c.kind, SortOutput::kRecords);
    EXPECT_EQ(c.collation, 0);
    EXPECT_EQ(c.share, kShareNone);
    EXPECT_FALSE(c.replace);
    ASSERT_EQ(parse({"FILE in,out,,3,,SHRI", "MASK 1,5,C"}, c), 0);
    EXPECT_EQ(c.kind, SortOutput::kNumbers3);
    EXPECT_EQ(c.share, kShareInput);
    EXPECT_FALSE(c.lockFree);
    ASSERT_EQ(parse({"FILE in,out,,I", "MASK 1,5,C"}, c), 0);
    EXPECT_EQ(c.kind, SortOutput::kKeyFile);

    for (const char* bad : {"FILE", "FILE in", "FILE ,out", "FILE in,out,,X", "FILE in,out,,RR",
                            "FILE in,out,,R,Q", "FILE in,out,,R,SHR,A", "FILE \"in,out",
                            "FILE in\"x\",out"})
        EXPECT_EQ(parse({bad, "MASK 1,5,C"}), kErrSortFileLine) << bad;
    EXPECT_EQ(parse({"FILE " + std::string(513, 'n') + ",out", "MASK 1,5,C"}), kErrSortFileLine);
    EXPECT_EQ(parse({"FILE a,b", "FILE a,b", "MASK 1,5,C"}), kErrSortFileLine);
}

TEST(SortControlLines, OrderCountsAndUnknownLines) {
    EXPECT_EQ(parse({"MASK 1,5,C"}), kErrSortBeforeFile);
    EXPECT_EQ(parse({"RECORD I,1,5,C,\"A\",\"B\""}), kErrSortBeforeFile);
    EXPECT_EQ(parse({"FILE a,b"}), kErrSortNoMask);
    EXPECT_EQ(parse({}), kErrSortNoMask);
    EXPECT_EQ(parse({"FILE a,b", "SORT 1,5,C"}), kErrSortLine);
    EXPECT_EQ(parse({"FILE a,b", "FILES a", "MASK 1,2,C"}), kErrSortLine);
    // Up to 20 RECORD lines.
    std::vector<std::string> lines = {"FILE a,b"};
    for (int i = 0; i < 20; ++i) lines.push_back("RECORD I,1,2,C,\"A\",\"Z\"");
    lines.push_back("MASK 1,2,C");
    SortControl c;
    EXPECT_EQ(parse(lines, c), 0);
    EXPECT_EQ(c.rules.size(), 20u);
    lines.insert(lines.end() - 1, "RECORD O,1,2,C,\"A\",\"Z\"");
    EXPECT_EQ(parse(lines), kErrSortRecordCount);
    // MASK ends the reading: later lines are not looked at.
    EXPECT_EQ(parse({"FILE a,b", "MASK 1,2,C", "nonsense"}), 0);
    // Blank lines, comments, SUM.
    ASSERT_EQ(parse({"", "   ", "! Monthly report sort", "!" + std::string(60, 'x'),
                     "FILE a,b", "SUM ,'Read:', ,\"Out\"", "MASK 1,2,C"}, c), 0);
    ASSERT_EQ(c.comments.size(), 2u);
    EXPECT_EQ(c.comments[0], " Monthly report sort");
    EXPECT_EQ(c.comments[1].size(), kSortCommentWidth);
    EXPECT_TRUE(c.sum);
    EXPECT_EQ(c.sumLines[0], "Sort successfully completed");
    EXPECT_EQ(c.sumLines[1], "Read:");
    EXPECT_EQ(c.sumLines[2], "Records selected");
    EXPECT_EQ(c.sumLines[3], "Out");
    lines.assign(25, "! note");
    lines.push_back("FILE a,b");
    lines.push_back("MASK 1,2,C");
    ASSERT_EQ(parse(lines, c), 0);
    EXPECT_EQ(c.comments.size(), kMaxSortComments);
}

TEST(SortControlLines, RecordRules) {
    SortControl c;
    ASSERT_EQ(parse({"FILE a,b", "RECORD O Y,3,6,N,\"000101\",\"991231\"",
                     "RECORD I,Y,1,4,PD 4.2,'1','2'", "RECORD I,10,5,C,12,20", "MASK 1,2,C"}, c), 0);
    ASSERT_EQ(c.rules.size(), 3u);
    EXPECT_TRUE(c.rules[0].omit);
    EXPECT_TRUE(c.rules[0].field.date);
    EXPECT_EQ(c.rules[0].low.constant, "000101");
    EXPECT_EQ(c.rules[1].field.code, kFormPD);
    EXPECT_EQ(c.rules[1].field.decimals, 2);
    EXPECT_TRUE(c.rules[1].field.date);
    EXPECT_TRUE(c.rules[2].low.isField);
    EXPECT_EQ(c.rules[2].low.position, 12);
    EXPECT_EQ(c.rules[2].high.position, 20);
    EXPECT_EQ(parse({"FILE a,b", "RECORD I,1,5,C,\"" + std::string(40, 'x') + "\",\"z\"", "MASK 1,2,C"}), 0);
    for (const char* bad : {"RECORD X,1,5,C,'a','b'", "RECORD I,0,5,C,'a','b'",
                            "RECORD I,1,0,C,'a','b'", "RECORD I,1,5,Q,'a','b'", "RECORD I,1,5,C,'a'",
                            "RECORD I,1,5,C,'a','b','c'", "RECORD I,1,5,C,a,'b'",
                            "RECORD I,1,5,C,0,'b'", "RECORD I,1,5,B,'1','2'", "RECORD I,1,5,C 6,'a','b'",
                            "RECORD I Z,1,5,C,'a','b'", "RECORD I,1,5,C,'a,'b'"})
        EXPECT_EQ(parse({"FILE a,b", bad, "MASK 1,2,C"}), kErrSortRecordLine) << bad;
    EXPECT_EQ(parse({"FILE a,b", "RECORD I,1,50,C,\"" + std::string(41, 'x') + "\",\"z\"", "MASK 1,2,C"}),
              kErrSortRecordLine);
}

TEST(SortControlLines, MaskFields) {
    SortControl c;
    ASSERT_EQ(parse({"FILE a,b", "MASK 1,10,C,D, 11,4,PD, 15,2,BH,A,Y, 17,6,N DY, 23,8,D"}, c), 0);
    ASSERT_EQ(c.keys.size(), 5u);
    EXPECT_TRUE(c.keys[0].descending);
    EXPECT_EQ(c.keys[1].code, kFormPD);
    EXPECT_FALSE(c.keys[2].descending);
    EXPECT_TRUE(c.keys[2].date);
    EXPECT_TRUE(c.keys[3].descending && c.keys[3].date);
    EXPECT_EQ(c.keyLength(), 10 + 8 + 4 + 8 + 8);
    std::string twenty = "MASK ";
    for (int i = 0; i < 20; ++i) twenty += std::to_string(i + 1) + ",1,C,";
    EXPECT_EQ(parse({"FILE a,b", twenty}, c), 0);
    EXPECT_EQ(c.keys.size(), 20u);
    EXPECT_EQ(parse({"FILE a,b", twenty + "21,1,C"}), kErrSortMaskLine);
    for (const char* bad : {"MASK", "MASK 1,5", "MASK 1,5,X", "MASK 1,5,C,Q", "MASK 1,5,B",
                            "MASK 1,4,D", "MASK 1,5,C,'A'", "MASK 0,5,C", "MASK 1,3,DT 4"})
        EXPECT_EQ(parse({"FILE a,b", bad}), kErrSortMaskLine) << bad;
    // A key file holds at most 6 parts within 128 bytes.
    EXPECT_EQ(parse({"FILE a,b,,I", "MASK 1,1,C,2,1,C,3,1,C,4,1,C,5,1,C,6,1,C"}), 0);
    EXPECT_EQ(parse({"FILE a,b,,I", "MASK 1,1,C,2,1,C,3,1,C,4,1,C,5,1,C,6,1,C,7,1,C"}), kErrSortMaskLine);
    EXPECT_EQ(parse({"FILE a,b,,I", "MASK 1,121,C,200,3,PD"}), kErrSortMaskLine);
}

TEST(SortControlLines, AltsEntries) {
    SortControl c;
    ASSERT_EQ(parse({"ALTS RO,200,\"a,b,c\" EQ 65 'x,y'", "FILE a,b", "MASK 1,1,C"}, c), 0);
    EXPECT_TRUE(c.haveAlts);
    EXPECT_EQ(c.alts['a'], 200);
    EXPECT_EQ(c.alts['b'], 201);
    EXPECT_EQ(c.alts['c'], 202);
    EXPECT_EQ(c.alts['x'], 65);
    EXPECT_EQ(c.alts['y'], 65);
    EXPECT_EQ(c.alts['d'], 'd');
    EXPECT_EQ(parse({"ALTS RO 254 'a,b'", "FILE a,b", "MASK 1,1,C"}), 0);
    EXPECT_EQ(parse({"ALTS RO 254 'a,b,c'", "FILE a,b", "MASK 1,1,C"}), kErrSortAltsCode);
    EXPECT_EQ(parse({"ALTS EQ 256 'a'", "FILE a,b", "MASK 1,1,C"}), kErrSortAltsCode);
    EXPECT_EQ(parse({"ALTS EQ 99999999999 'a'", "FILE a,b", "MASK 1,1,C"}), kErrSortAltsCode);
    for (const char* bad : {"ALTS", "ALTS RO 5", "ALTS XX 5 'a'", "ALTS RO x 'a'", "ALTS RO 5 a",
                            "ALTS RO 5 'a"})
        EXPECT_EQ(parse({bad, "FILE a,b", "MASK 1,1,C"}), kErrSortLine) << bad;
}

// ---- key forms ----

// The key of one field over a record.
std::vector<uint8_t> key(const SortControl& c, const std::string& record) {
    std::vector<uint8_t> k(static_cast<size_t>(c.keyLength()));
    buildSortKey(c, reinterpret_cast<const uint8_t*>(record.data()), record.size(), k.data());
    return k;
}

SortControl prepared(const std::vector<std::string>& lines, int recl, bool alternate = false) {
    SortControl c;
    EXPECT_EQ(parseSortControl(lines, c), 0);
    EXPECT_EQ(prepareSortControl(c, recl, alternate), 0);
    return c;
}

// The bytes of `value` in a field of type `type`.
std::string fieldBytes(uint8_t code, int length, int decimals, double value) {
    FormField f;
    f.code = code;
    f.length = length;
    f.decimals = decimals;
    std::string out(static_cast<size_t>(length), ' ');
    size_t written = 0;
    EXPECT_EQ(formPutNumber(f, FormSettings{}, value, reinterpret_cast<uint8_t*>(out.data()), out.size(), written), 0)
        << value;
    return out;
}

TEST(SortKeys, NumericTypesOrderAsTheirValues) {
    struct Type {
        const char* word;
        uint8_t code;
        int length, decimals;
    };
    const Type types[] = {{"N", kFormN, 10, 2}, {"ZD", kFormZD, 8, 0}, {"PD", kFormPD, 6, 2},
                          {"B", kFormB, 4, 0},  {"BH", kFormBH, 3, 0}, {"BL", kFormBL, 2, 0},
                          {"D", kFormD, 8, 0},  {"S", kFormS, 4, 0},  {"G", kFormG, 12, 3},
                          {"L", kFormL, 9, 0}};
    std::mt19937 rng(7);
    for (const Type& t : types) {
        for (bool down : {false, true}) {
            const std::string len = std::to_string(t.length);
            const SortControl c = prepared({"FILE a,b", std::string("MASK 1,") + len + "," + t.word + " " + len +
                                            "." + std::to_string(t.decimals) + (down ? ",D" : "")},
                                           t.length);
            std::vector<double> values = {0, -0.0, 1, -1, 0.5, -0.5, 99, -99, 100, -100, 127, -128};
            const double range = t.length == 2 ? 30000 : t.code == kFormBH ? 8000000 : 999999;
            for (int i = 0; i < 200; ++i) {
                double v = std::uniform_real_distribution<double>(-range, range)(rng);
                v = std::round(v * 100) / 100;
                if (t.code == kFormB || t.code == kFormBH || t.code == kFormBL || t.code == kFormZD ||
                    t.code == kFormL || t.code == kFormD || t.code == kFormS)
                    v = std::round(v);
                values.push_back(v);
            }
            if (t.decimals == 0)
                for (double& v : values) v = std::round(v);
            for (size_t i = 0; i + 1 < values.size(); ++i) {
                const double a = values[i], b = values[i + 1];
                const int want = a < b ? -1 : a > b ? 1 : 0;
                const std::vector<uint8_t> ka = key(c, fieldBytes(t.code, t.length, t.decimals, a));
                const std::vector<uint8_t> kb = key(c, fieldBytes(t.code, t.length, t.decimals, b));
                const int got = memcmp(ka.data(), kb.data(), ka.size());
                const int sign = got < 0 ? -1 : got > 0 ? 1 : 0;
                EXPECT_EQ(sign, down ? -want : want) << t.word << " " << a << " " << b;
            }
        }
    }
}

TEST(SortKeys, InvalidNumbersSortFirst) {
    const SortControl c = prepared({"FILE a,b", "MASK 1,4,N"}, 4);
    EXPECT_LT(key(c, "12X4"), key(c, "-999"));
}

TEST(SortKeys, BinaryDatesOrderAsDayNumbers) {
    const SortControl dh = prepared({"FILE a,b", "MASK 1,3,DH"}, 3);
    EXPECT_LT(key(dh, std::string("\x00\x01\x00", 3)), key(dh, std::string("\x01\x00\x00", 3)));
    const SortControl dl = prepared({"FILE a,b", "MASK 1,3,DL,D"}, 3);
    EXPECT_LT(key(dl, std::string("\x00\x00\x01", 3)), key(dl, std::string("\x00\x01\x00", 3)));
}

// With BASEYEAR 1950, years 00 to 49 are of the next century: with Y they order after 99.
TEST(SortKeys, TwoDigitYearsOrderByCentury) {
    char name[] = "/tmp/vxsortcfg-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    std::ofstream(name) << "BASEYEAR 1950\n";
    ASSERT_EQ(processConfigFile(name), 0);
    const SortControl text = prepared({"FILE a,b", "MASK 1,6,C,Y"}, 6);
    EXPECT_GT(key(text, "491231"), key(text, "991231"));
    EXPECT_LT(key(text, "500101"), key(text, "991231"));
    EXPECT_GT(key(text, "00/1/1"), key(text, "99/1/1"));
    const SortControl plain = prepared({"FILE a,b", "MASK 1,6,C"}, 6);
    EXPECT_LT(key(plain, "491231"), key(plain, "991231"));
    const SortControl number = prepared({"FILE a,b", "MASK 1,6,N,Y"}, 6);
    EXPECT_GT(key(number, " 10101"), key(number, "991231"));  // 2001 after 1999
    const SortControl binary = prepared({"FILE a,b", "MASK 1,3,BH,Y"}, 3);
    EXPECT_GT(key(binary, fieldBytes(kFormBH, 3, 0, 491231)), key(binary, fieldBytes(kFormBH, 3, 0, 991231)));
    // A range across the turn of the century: 1999-01-01 to 2049-12-31.
    const SortControl range = prepared({"FILE a,b", "RECORD I Y,1,6,C,'990101','491231'", "MASK 1,1,C"}, 6);
    auto keeps = [&](const std::string& r) {
        return sortSelects(range, reinterpret_cast<const uint8_t*>(r.data()), r.size());
    };
    EXPECT_TRUE(keeps("000101"));
    EXPECT_TRUE(keeps("481231"));
    EXPECT_TRUE(keeps("991231"));
    EXPECT_FALSE(keeps("500101"));
    EXPECT_FALSE(keeps("981231"));
    resetConfiguration();
    close(fd);
    std::remove(name);
}

TEST(SortKeys, CollatingTables) {
    // Native order: digits before letters; the system's alternate table: after them.
    const SortControl native = prepared({"FILE a,b,,R,N", "MASK 1,1,C"}, 1);
    EXPECT_LT(key(native, "1"), key(native, "A"));
    const SortControl alt = prepared({"FILE a,b,,R,A", "MASK 1,1,C"}, 1);
    EXPECT_GT(key(alt, "1"), key(alt, "A"));
    const SortControl system = prepared({"FILE a,b", "MASK 1,1,C"}, 1, true);
    EXPECT_GT(key(system, "1"), key(system, "A"));
    // ALTS: lower case equal to upper case, "-" after everything else.
    const SortControl alts = prepared({"FILE a,b,,R,A", "ALTS EQ 98 'b,B' RO 255 '-'", "MASK 1,2,C"}, 2);
    EXPECT_EQ(key(alts, "bx"), key(alts, "Bx"));
    EXPECT_GT(key(alts, "-a"), key(alts, "za"));
    EXPECT_LT(key(alts, "aa"), key(alts, "Ba"));
    EXPECT_GT(key(alts, "Bx"), key(alts, "Cx"));
}

TEST(SortKeys, KeysConcatenateWithDirections) {
    const SortControl c = prepared({"FILE a,b", "MASK 1,2,C,D,3,3,N"}, 5);
    std::vector<std::string> recs = {"AA  5", "AB  5", "AB -5", "AA 10", "ZZ  0"};
    std::sort(recs.begin(), recs.end(), [&](const std::string& a, const std::string& b) { return key(c, a) < key(c, b); });
    EXPECT_EQ(recs, (std::vector<std::string>{"ZZ  0", "AB -5", "AB  5", "AA  5", "AA 10"}));
}

// ---- selection ----
bool keeps(const SortControl& c, const std::string& record) {
    return sortSelects(c, reinterpret_cast<const uint8_t*>(record.data()), record.size());
}

TEST(SortSelection, RangesPaddedOverTheWholeField) {
    // A 40-character bound is taken whole: the field must lie within it in all its 45 bytes.
    const std::string low(40, 'M'), high = std::string(39, 'M') + "N";
    const SortControl c =
        prepared({"FILE a,b", "RECORD I,1,45,C,\"" + low + "\",\"" + high + "\"", "MASK 1,1,C"}, 45);
    EXPECT_TRUE(keeps(c, std::string(45, 'M')));
    EXPECT_TRUE(keeps(c, std::string(39, 'M') + "N" + std::string(5, 'Z')));
    EXPECT_FALSE(keeps(c, std::string(39, 'M') + "O" + std::string(5, ' ')));
    EXPECT_FALSE(keeps(c, std::string(39, 'M') + "L" + std::string(5, 'Z')));
    // Prefix bounds: "B" to "C" takes every field beginning with B or C.
    const SortControl p = prepared({"FILE a,b", "RECORD I,1,5,C,'B','C'", "MASK 1,1,C"}, 5);
    EXPECT_TRUE(keeps(p, "B    "));
    EXPECT_TRUE(keeps(p, "Czzzz"));
    EXPECT_FALSE(keeps(p, "Azzzz"));
    EXPECT_FALSE(keeps(p, "D    "));
}

TEST(SortSelection, NumericBoundsAndFieldBounds) {
    const SortControl c = prepared({"FILE a,b", "RECORD I,1,4,N,'-5','10'", "MASK 1,1,C"}, 12);
    EXPECT_TRUE(keeps(c, "  -5"));
    EXPECT_TRUE(keeps(c, "  10"));
    EXPECT_TRUE(keeps(c, "   0"));
    EXPECT_FALSE(keeps(c, "  11"));
    EXPECT_FALSE(keeps(c, "  -6"));
    // Between two other fields of the record.
    const SortControl f = prepared({"FILE a,b", "RECORD I,1,4,PD,5,9", "MASK 1,1,C"}, 12);
    auto rec = [](double v, double lo, double hi) {
        return fieldBytes(kFormPD, 4, 0, v) + fieldBytes(kFormPD, 4, 0, lo) + fieldBytes(kFormPD, 4, 0, hi);
    };
    EXPECT_TRUE(keeps(f, rec(5, -3, 5)));
    EXPECT_FALSE(keeps(f, rec(6, -3, 5)));
    EXPECT_FALSE(keeps(f, rec(-4, -3, 5)));
}

TEST(SortSelection, OmitWinsOverInclude) {
    const SortControl c = prepared({"FILE a,b", "RECORD I,1,1,C,'A','M'", "RECORD I,1,1,C,'X','Z'",
                                    "RECORD O,2,1,C,'9','9'", "MASK 1,1,C"}, 2);
    EXPECT_TRUE(keeps(c, "B1"));
    EXPECT_TRUE(keeps(c, "Y1"));
    EXPECT_FALSE(keeps(c, "N1"));
    EXPECT_FALSE(keeps(c, "B9"));
    const SortControl omitOnly = prepared({"FILE a,b", "RECORD O,1,1,C,'A','M'", "MASK 1,1,C"}, 2);
    EXPECT_TRUE(keeps(omitOnly, "N1"));
    EXPECT_FALSE(keeps(omitOnly, "C1"));
}

TEST(SortSelection, PreparingChecksFieldsAndConstants) {
    SortControl c;
    ASSERT_EQ(parseSortControl({"FILE a,b", "MASK 5,6,C"}, c), 0);
    EXPECT_EQ(prepareSortControl(c, 10, false), 0);
    EXPECT_EQ(prepareSortControl(c, 9, false), kErrSortFieldBeyond);
    ASSERT_EQ(parseSortControl({"FILE a,b", "RECORD I,1,4,C,8,1", "MASK 1,1,C"}, c = SortControl{}), 0);
    EXPECT_EQ(prepareSortControl(c, 10, false), kErrSortFieldBeyond);  // 8..11 is beyond
    for (const char* rule : {"RECORD I,1,4,N,'x','9'", "RECORD I,1,2,N,'1','100'", "RECORD I,1,2,C,'abc','z'",
                             "RECORD I,1,1,B,'1','300'", "RECORD I,1,4,N,'',''"}) {
        c = SortControl{};
        ASSERT_EQ(parseSortControl({"FILE a,b", rule, "MASK 1,1,C"}, c), 0) << rule;
        EXPECT_EQ(prepareSortControl(c, 10, false), kErrNotPlainString) << rule;
    }
}

}  // namespace
}  // namespace vxs
