// ISAM key files (a sorted part and an unsorted tail read as one order) and the building of
// keys from record parts.
#include "vxs/indexes/isam.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/errors/errors.h"
#include "vxs/indexes/keybuild.h"

namespace vxs {
namespace {

using Entry = std::pair<std::string, uint32_t>;
const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

constexpr int kHeader = 32;
// An ISAM file of 4-byte keys: `sorted` slots in key order, then the tail.
std::vector<uint8_t> isamFile(const std::vector<Entry>& sorted, const std::vector<Entry>& tail) {
    std::vector<uint8_t> b(kHeader, 0);
    for (const auto* part : {&sorted, &tail})
        for (const Entry& e : *part) {
            b.push_back(' ');
            b.insert(b.end(), e.first.begin(), e.first.end());
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(e.second >> (8 * i)));
        }
    return b;
}

std::vector<Entry> walk(IsamIndex& x, bool forward) {
    std::vector<Entry> out;
    KeyCursor c;
    KeyEntry e;
    while (x.step(c, forward, e) == 0)
        out.emplace_back(std::string(reinterpret_cast<const char*>(e.key), 4), e.record);
    return out;
}

TEST(Isam, TheSortedPartAndTheTailReadAsOneOrder) {
    std::vector<Entry> sorted;
    for (int i = 0; i < 40; ++i) sorted.emplace_back(std::to_string(1000 + i * 10), i + 1);
    const std::vector<Entry> tail = {{"1055", 100}, {"0999", 101}, {"1390", 102}, {"1055", 99}};
    MemoryKeyIo io(isamFile(sorted, tail));
    std::unique_ptr<IsamIndex> x;
    ASSERT_EQ(IsamIndex::open(io, 4, kHeader, 40, false, x), 0);
    std::set<Entry> model(sorted.begin(), sorted.end());
    model.insert(tail.begin(), tail.end());
    EXPECT_EQ(walk(*x, true), std::vector<Entry>(model.begin(), model.end()));
    EXPECT_EQ(walk(*x, false), std::vector<Entry>(model.rbegin(), model.rend()));
    KeyCursor c;
    KeyEntry e;
    ASSERT_EQ(x->find(c, KeyFind::kEqual, bytes("1055"), 4, 0, e), 0);
    EXPECT_EQ(e.record, 99u);  // the tail's smaller record number comes first
    ASSERT_EQ(x->step(c, true, e), 0);
    EXPECT_EQ(e.record, 100u);
    ASSERT_EQ(x->step(c, true, e), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.key), 4), "1060");
    ASSERT_EQ(x->find(c, KeyFind::kNotLess, bytes("1381"), 4, 0, e), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.key), 4), "1390");
    EXPECT_EQ(x->find(c, KeyFind::kEqual, bytes("1381"), 4, 0, e), kErrKeyNotFound);
    EXPECT_EQ(x->find(c, KeyFind::kNotLess, bytes("2"), 1, 0, e), kErrKeyNotFound);
    ASSERT_EQ(x->find(c, KeyFind::kEqual, bytes("13"), 2, 0, e), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.key), 4), "1300");
    EXPECT_EQ(x->verify(), 0);
}

TEST(Isam, InsertsAndRemovesAgreeWithAModel) {
    std::vector<Entry> sorted;
    for (int i = 0; i < 100; ++i) sorted.emplace_back(std::to_string(2000 + i * 7), i + 1);
    MemoryKeyIo io(isamFile(sorted, {}));
    std::unique_ptr<IsamIndex> x;
    ASSERT_EQ(IsamIndex::open(io, 4, kHeader, 100, false, x), 0);
    x->setShared(false);
    std::set<Entry> model(sorted.begin(), sorted.end());
    std::mt19937 rng(5);
    for (int step = 0; step < 600; ++step) {
        if (rng() % 3 && !model.empty()) {
            auto it = model.begin();
            std::advance(it, static_cast<long>(rng() % model.size()));
            ASSERT_EQ(x->remove(bytes(it->first), it->second), 0);
            model.erase(it);
        } else {
            const Entry e(std::to_string(2000 + rng() % 800), 200 + rng() % 500);
            ASSERT_EQ(x->insert(bytes(e.first), e.second), 0);
            model.insert(e);
        }
    }
    EXPECT_EQ(walk(*x, true), std::vector<Entry>(model.begin(), model.end()));
    EXPECT_EQ(x->remove(bytes("9999"), 1), kErrKeyNotFound);
    EXPECT_EQ(x->verify(), 0);
    // A sorted part out of order is damage.
    std::swap(sorted[3], sorted[4]);
    MemoryKeyIo bad(isamFile(sorted, {}));
    ASSERT_EQ(IsamIndex::open(bad, 4, kHeader, 100, false, x), 0);
    EXPECT_EQ(x->verify(), kErrKeyFileDamaged);
}

TEST(Isam, LoadedFilesMarkRunsOfEqualKeysAndReadInOrder) {
    MemoryKeyIo io(std::vector<uint8_t>(kHeader, 0));
    IsamLoader load(io, 4, kHeader, false);
    std::vector<Entry> in;
    for (int i = 0; i < 6000; ++i) in.emplace_back(std::to_string(1000 + i / 3), static_cast<uint32_t>(i + 1));
    int duplicates = 0;
    for (const Entry& e : in) {
        bool dup = false;
        ASSERT_EQ(load.add(bytes(e.first), e.second, dup), 0);
        duplicates += dup;
    }
    uint32_t n = 0;
    ASSERT_EQ(load.finish(n), 0);
    EXPECT_EQ(n, 6000u);
    EXPECT_EQ(duplicates, 4000);
    const std::vector<uint8_t>& b = io.bytes();
    ASSERT_EQ(b.size(), kHeader + 6000u * 9);
    EXPECT_EQ(b[kHeader], '#');
    EXPECT_EQ(b[kHeader + 9], '!');
    EXPECT_EQ(b[kHeader + 27], '#');
    // Opened with all of them sorted, the file reads back in order and verifies.
    std::unique_ptr<IsamIndex> x;
    ASSERT_EQ(IsamIndex::open(io, 4, kHeader, 6000, false, x), 0);
    EXPECT_EQ(x->verify(), 0);
    EXPECT_EQ(walk(*x, true), in);
    KeyCursor c;
    KeyEntry e;
    ASSERT_EQ(x->find(c, KeyFind::kEqual, bytes("1500"), 4, 0, e), 0);
    EXPECT_EQ(e.record, 1501u);
}

class KeyBuild : public ::testing::Test {
  protected:
    void TearDown() override {
        (void)processConfigStatement("BASEYEAR 1900");
        setOption(27, false);
    }
    static std::string build(const KeyLayout& l, const std::string& record, int* err = nullptr) {
        std::string out(static_cast<size_t>(l.total()), '\0');
        const int e = buildKey(l, bytes(record), record.size(), reinterpret_cast<uint8_t*>(out.data()));
        if (err) *err = e;
        return e ? std::string() : out;
    }
};

TEST_F(KeyBuild, PartsAreJoinedUpperCasedAndCollated) {
    KeyLayout l;
    l.parts = 2;
    l.keys[0] = {5, 3, kKeyUpper};
    l.keys[1] = {1, 2, 0};
    EXPECT_EQ(build(l, "12abcdef"), "CDE12");
    EXPECT_EQ(build(l, "12ab"), "   12");  // beyond the record: blanks
    l.alternate = true;
    const std::string k = build(l, "12ab9d");
    EXPECT_EQ(static_cast<uint8_t>(k[0]), 0xB9);  // digits above letters
    EXPECT_EQ(k[1], 'D');
    // Search arguments are converted the same way, over their own length.
    uint8_t arg[3] = {'x', '9', '1'};
    ASSERT_EQ(convertSearchKey(l, arg, 3), 0);
    EXPECT_EQ(arg[0], 'X');
    EXPECT_EQ(arg[1], 0xB9);
    EXPECT_EQ(arg[2], 0xB1);
}

TEST_F(KeyBuild, TwoDigitYearDatesOrderByCentury) {
    KeyLayout l;
    l.parts = 1;
    l.keys[0] = {1, 6, kKeyYear};
    ASSERT_EQ(processConfigStatement("BASEYEAR 1950"), 0);
    const std::string d1999 = build(l, "991231"), d2001 = build(l, "010101");
    EXPECT_EQ(d1999, "991231");
    EXPECT_LT(d1999, d2001);  // 01 is below the pivot 50: the next century
    int err = 0;
    build(l, "01X101", &err);
    EXPECT_EQ(err, kErrKeyDate);
    setOption(27, true);  // bad dates let through unconverted
    EXPECT_EQ(build(l, "01X101", &err), "01X101");
    EXPECT_EQ(err, 0);
    // Binary (B) and packed (P) dates.
    l.keys[0] = {1, 4, kKeyYear | kKeyBinary};
    const std::string b99 = build(l, std::string("\x00\x0F\x23\xBF", 4));   // 991231
    const std::string b01 = build(l, std::string("\x00\x00\x27\x75", 4));   // 010101
    EXPECT_LT(b99, b01);
    l.keys[0] = {1, 4, kKeyYear | kKeyPacked};
    const std::string p99 = build(l, std::string("\x09\x91\x23\x1F", 4));
    const std::string p01 = build(l, std::string("\x00\x10\x10\x1F", 4));
    EXPECT_LT(p99, p01);
}

// A search argument covering the start of a text date: its first year digit converts once
// both year digits are there (a single digit may be followed by a "/", which is no year).
TEST_F(KeyBuild, SearchArgumentsConvertTheYearOfATextDateOnceBothDigitsAreThere) {
    KeyLayout l;
    l.parts = 2;
    l.keys[0] = {1, 2, kKeyUpper};
    l.keys[1] = {3, 6, kKeyYear};
    ASSERT_EQ(processConfigStatement("BASEYEAR 1950"), 0);
    auto search = [&](std::string arg) {
        const int len = static_cast<int>(arg.size());
        const int err = convertSearchKey(l, reinterpret_cast<uint8_t*>(arg.data()), len);
        return err ? std::to_string(err) : arg;
    };
    EXPECT_EQ(search("ab00"), "AB\xC0" "0");
    EXPECT_EQ(search("ab 01"), "AB \xC0" "1");
    EXPECT_EQ(search("ab0"), "AB0");
    EXPECT_EQ(search("ab0/"), "AB0/");
    EXPECT_EQ(search("ab99"), "AB99");
    EXPECT_EQ(search("ab0X"), std::to_string(kErrKeyDate));
    // Every start of every year's date converts to the start of its key, or stays as typed
    // while it is undecided.
    for (int year = 0; year < 100; ++year) {
        const std::string date = (year < 10 ? "0" : "") + std::to_string(year) + "1231";
        const std::string key = build(l, "zz" + date);
        for (size_t m = 1; m <= 6; ++m) {
            const std::string got = search("zz" + date.substr(0, m));
            const std::string want = m == 1 ? "ZZ" + date.substr(0, 1) : key.substr(0, 2 + m);
            EXPECT_EQ(got, want) << date << " " << m;
        }
    }
}

// Binary and packed dates: an argument covering their first bytes converts them when every
// value that starts with those bytes would have them converted alike, and leaves them as they
// are when not; checked against the key of every such value.
TEST_F(KeyBuild, SearchArgumentsConvertBinaryAndPackedDatesWhereTheCoveredBytesDecide) {
    ASSERT_EQ(processConfigStatement("BASEYEAR 1955"), 0);
    struct Case {
        uint8_t flags;
        int length, covered;
        std::vector<uint64_t> starts;  // the covered bytes' values to try
    };
    const std::vector<Case> cases = {
        {kKeyBinary, 3, 1, {0, 1, 5, 15, 30}},
        {kKeyBinary, 3, 2, {0, 1, 39, 40, 152, 153, 390, 1000, 3800, 3906}},
        {kKeyPacked, 4, 1, {0x00, 0x04, 0x05, 0x06, 0x09, 0x10}},
        {kKeyPacked, 4, 2, {0x0012, 0x0049, 0x0051, 0x0055, 0x0056, 0x0099, 0x0149}},
        {kKeyPacked, 4, 3, {0x000112, 0x005412, 0x005512, 0x009912}},
    };
    int converted = 0, left = 0;
    for (const Case& c : cases) {
        KeyLayout l;
        l.parts = 1;
        l.keys[0] = {1, static_cast<uint8_t>(c.length), static_cast<uint8_t>(kKeyYear | c.flags)};
        const bool packed = c.flags & kKeyPacked;
        const size_t m = static_cast<size_t>(c.covered), rest = static_cast<size_t>(c.length) - m;
        // The uncovered bytes: every binary value, or every packed digit with the sign F.
        const int restDigits = static_cast<int>(2 * rest) - 1;
        uint64_t values = packed ? 1 : uint64_t{1} << (8 * rest);
        for (int d = 0; packed && d < restDigits; ++d) values *= 10;
        auto restBytes = [&](uint64_t r) {
            std::string b(rest, '\0');
            if (!packed) {
                for (size_t i = 0; i < rest; ++i)
                    b[i] = static_cast<char>(r >> (8 * (rest - 1 - i)));
                return b;
            }
            b[rest - 1] = 15;  // the sign
            for (int d = restDigits - 1; d >= 0; --d, r /= 10) {
                const uint8_t nib = static_cast<uint8_t>(r % 10);
                const size_t byte = static_cast<size_t>(d / 2);
                b[byte] = static_cast<char>(d % 2 == 0 ? (b[byte] & 0x0F) | nib << 4
                                                       : (b[byte] & 0xF0) | nib);
            }
            return b;
        };
        for (uint64_t start : c.starts) {
            std::string arg(m, '\0');
            for (size_t i = 0; i < m; ++i) arg[i] = static_cast<char>(start >> (8 * (m - 1 - i)));
            std::string searched = arg;
            uint8_t* p = reinterpret_cast<uint8_t*>(searched.data());
            ASSERT_EQ(convertSearchKey(l, p, c.covered), 0);
            std::set<std::string> starts;  // the starts of the keys of every value after `arg`
            for (uint64_t r = 0; r < values; ++r)
                starts.insert(build(l, arg + restBytes(r)).substr(0, m));
            ASSERT_FALSE(starts.empty());
            if (starts.size() == 1) {
                EXPECT_EQ(searched, *starts.begin()) << c.length << "/" << m << " " << start;
                converted += searched != arg;
            } else {
                EXPECT_EQ(searched, arg) << c.length << "/" << m << " " << start;
                ++left;
            }
        }
    }
    EXPECT_GT(converted, 4) << left;  // the cases reach both outcomes
    EXPECT_GT(left, 4) << converted;
}

}  // namespace
}  // namespace vxs
