// The SORT utility over real files: every output kind in key order through several merge passes
// (stable for equal keys), selection, the summary and comments, each error number with the
// files left as they were, and writes that fail anywhere in the run leaving the input intact,
// the output empty and no work file behind.
#include "vxs/utilities/sortutil.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/form/form.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/platform.h"

namespace vxs {
namespace {

namespace fs = std::filesystem;

std::string pd(double v, int len) {
    FormField f;
    f.code = kFormPD;
    f.length = len;
    std::string out(static_cast<size_t>(len), '\0');
    size_t w = 0;
    EXPECT_EQ(formPutNumber(f, FormSettings{}, v, reinterpret_cast<uint8_t*>(out.data()), out.size(), w), 0);
    return out;
}

std::string number(long v, int width) {
    std::string s = std::to_string(v);
    return std::string(static_cast<size_t>(std::max(0, width - static_cast<int>(s.size()))), ' ') + s;
}

struct Row {
    std::string name;  // C 6
    long amount;       // N 7, sorted descending
    long code;         // PD 4
    uint32_t n;        // its record number
    std::string bytes() const {
        std::string r = name + number(amount, 7) + pd(static_cast<double>(code), 4);
        r += "!tail";
        return r;  // 22 bytes
    }
};
constexpr int kRecl = 22;

class SortUtility : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxsort-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        host_.screenLine = [this](std::string_view t) { screen_.emplace_back(t); };
        host_.readKey = [this](int) {
            if (keys_.empty()) return -1;
            const int k = keys_.front();
            keys_.erase(keys_.begin());
            return k;
        };
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fileBlocks(), true);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void makeData(const std::string& name, int recl, const std::vector<std::string>& records) {
        OpenBlock b;
        b.number = 210;
        b.name = path(name);
        b.recl = recl;
        b.mode = kModeOutput;
        b.create = kCreateReplace;
        Ufcb* u = nullptr;
        ASSERT_EQ(openFileBlock(fileBlocks(), b, u), 0);
        for (const std::string& r : records)
            ASSERT_EQ(writeRecord(*u, reinterpret_cast<const uint8_t*>(r.data()), r.size(), 0, {}), 0);
        ASSERT_EQ(closeFile(fileBlocks(), u), 0);
    }
    std::vector<std::string> readData(const std::string& name) {
        OpenBlock b;
        b.number = 211;
        b.name = path(name);
        Ufcb* u = nullptr;
        std::vector<std::string> out;
        EXPECT_EQ(openFileBlock(fileBlocks(), b, u), 0);
        if (!u) return out;
        for (;;) {
            const int err = readRecord(*u, ReadHow::kNext, 0, {});
            if (err) {
                EXPECT_EQ(err, kErrEndOfRecords);
                break;
            }
            out.emplace_back(reinterpret_cast<const char*>(u->record.data()), u->recordLength);
        }
        EXPECT_EQ(closeFile(fileBlocks(), u), 0);
        return out;
    }
    // The records of a data file; 0 when it is not a data file at all.
    int64_t recordsIn(const std::string& name) {
        OpenBlock b;
        b.number = 211;
        b.name = path(name);
        Ufcb* u = nullptr;
        if (openFileBlock(fileBlocks(), b, u) != 0) return 0;
        int64_t n = 0;
        EXPECT_EQ(lastRecordNumber(*u, n), 0);
        EXPECT_EQ(closeFile(fileBlocks(), u), 0);
        return n;
    }
    // Record numbers of an output of kind A (3 bytes) or B (4 bytes).
    std::vector<uint32_t> numbers(const std::string& name) {
        std::vector<uint32_t> out;
        for (const std::string& r : readData(name)) {
            uint32_t n = 0;
            for (size_t i = 0; i < r.size(); ++i) n |= uint32_t{static_cast<uint8_t>(r[i])} << (8 * i);
            out.push_back(n);
        }
        return out;
    }
    void control(const std::vector<std::string>& lines, const std::string& name = "sort.ctl") {
        std::ofstream f(path(name), std::ios::binary);
        for (const std::string& l : lines) f << l << "\r\n";
    }
    std::string bytesOf(const std::string& name) {
        std::ifstream f(path(name), std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    // A work file, or a temporary output of REPLACE, left behind.
    bool workFileLeft() {
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("SORT", 0) == 0 || name.find(".~") != std::string::npos) return true;
        }
        return false;
    }
    int sort(const std::string& extra = "") { return runSortUtility(path("sort.ctl") + extra, host_); }
    // A name in quotes: the control file upper-cases what is not quoted.
    std::string q(const std::string& name) const { return "\"" + path(name) + "\""; }
    std::string fileLine(const std::string& kind, const std::string& options = "") {
        return "FILE " + q("in.dat") + "," + q("out.dat") + ",\"" + dir_ + "\"," + kind + options;
    }

    // Rows with many equal keys, so stability shows.
    std::vector<Row> rows(size_t count, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<Row> v;
        for (size_t i = 0; i < count; ++i) {
            Row r;
            r.name = std::string(1, static_cast<char>('A' + rng() % 4)) + "x" +
                     std::string(1, static_cast<char>('a' + rng() % 3)) + "   ";
            r.amount = static_cast<long>(rng() % 41) - 20;
            r.code = static_cast<long>(rng() % 2001) - 1000;
            r.n = static_cast<uint32_t>(i + 1);
            v.push_back(r);
        }
        return v;
    }
    void makeRows(const std::vector<Row>& v) {
        std::vector<std::string> recs;
        for (const Row& r : v) recs.push_back(r.bytes());
        makeData("in.dat", kRecl, recs);
    }

    std::string dir_;
    UtilityHost host_;
    std::vector<std::string> screen_;
    std::vector<int> keys_;
};

TEST_F(SortUtility, RecordsInKeyOrderThroughSeveralMergePasses) {
    const std::vector<Row> v = rows(3000, 1);
    makeRows(v);
    const std::string before = bytesOf("in.dat");
    // Name ascending, amount descending; equal keys keep the input's order.
    control({fileLine("R"), "MASK 1,3,C,7,7,N,D"});
    host_.sortMemory = 2 * 40 * (3 + 8 + 4);  // 40 records a run: 75 runs
    ASSERT_EQ(sort(), 0);
    std::vector<Row> want = v;
    std::stable_sort(want.begin(), want.end(), [](const Row& a, const Row& b) {
        if (a.name.substr(0, 3) != b.name.substr(0, 3)) return a.name.substr(0, 3) < b.name.substr(0, 3);
        return a.amount > b.amount;
    });
    const std::vector<std::string> got = readData("out.dat");
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[i].bytes()) << i;
    EXPECT_EQ(bytesOf("in.dat"), before);
    EXPECT_FALSE(workFileLeft());
}

TEST_F(SortUtility, RecordNumbersSelectedInKeyOrder) {
    const std::vector<Row> v = rows(500, 2);
    makeRows(v);
    // Packed code descending; rows named B.. or C.. with amount -5..5, not those of code 0..99.
    control({fileLine("B"), "RECORD I,1,1,C,'B','C'", "RECORD O,14,4,PD,'0','99'",
             "RECORD I,7,7,N,'-5','5'", "MASK 14,4,PD,D"});
    host_.sortMemory = 2 * 25 * 12;
    ASSERT_EQ(sort(), 0);
    std::vector<Row> want;
    for (const Row& r : v)
        if ((r.name[0] == 'B' || r.name[0] == 'C' || (r.amount >= -5 && r.amount <= 5)) &&
            !(r.code >= 0 && r.code <= 99))
            want.push_back(r);
    std::stable_sort(want.begin(), want.end(), [](const Row& a, const Row& b) { return a.code > b.code; });
    std::vector<uint32_t> wantNumbers;
    for (const Row& r : want) wantNumbers.push_back(r.n);
    EXPECT_EQ(numbers("out.dat"), wantNumbers);
    // Kind A: the same numbers in 3 bytes, into an output that exists and is empty.
    makeData("out.dat", 3, {});
    control({fileLine("A"), "RECORD I,1,1,C,'B','C'", "RECORD O,14,4,PD,'0','99'",
             "RECORD I,7,7,N,'-5','5'", "MASK 14,4,PD,D"});
    ASSERT_EQ(sort(), 0);
    EXPECT_EQ(readData("out.dat").at(0).size(), 3u);
    EXPECT_EQ(numbers("out.dat"), wantNumbers);
}

TEST_F(SortUtility, KeyFileOutputOfEitherType) {
    const std::vector<Row> v = rows(700, 3);
    makeRows(v);
    std::vector<Row> want = v;
    std::stable_sort(want.begin(), want.end(), [](const Row& a, const Row& b) {
        if (a.code != b.code) return a.code < b.code;
        return a.name.substr(0, 3) < b.name.substr(0, 3);
    });
    for (bool isam : {false, true}) {
        setOption(5, isam);
        control({fileLine("I", ",REPLACE"), "MASK 14,4,PD,1,3,C"});
        host_.sortMemory = 2 * 30 * 19;
        ASSERT_EQ(sort(), 0) << isam;
        setOption(5, false);
        OpenBlock b;
        b.number = 202;
        b.name = path("out.dat");
        b.keyType = isam ? 4 : 7;
        Ufcb* u = nullptr;
        ASSERT_EQ(openFileBlock(fileBlocks(), b, u), 0);
        KeyIndex& index = *u->uffcb->index;
        EXPECT_EQ(index.keyLength(), 8 + 3);
        if (isam) {
            EXPECT_EQ(u->uffcb->version, 700);  // every entry counted as in key order
        }
        KeyCursor cursor;
        KeyEntry e;
        std::vector<uint32_t> got;
        while (index.step(cursor, true, e) == 0) got.push_back(e.record);
        ASSERT_EQ(closeFile(fileBlocks(), u), 0);
        std::vector<uint32_t> wantNumbers;
        for (const Row& r : want) wantNumbers.push_back(r.n);
        EXPECT_EQ(got, wantNumbers) << isam;
    }
    // Without REPLACE the key file must be empty: it is left as it is.
    const std::string before = bytesOf("out.dat");
    control({fileLine("I"), "MASK 14,4,PD,1,3,C"});
    EXPECT_EQ(sort(), kErrSortOutputNotEmpty);
    EXPECT_EQ(bytesOf("out.dat"), before);
}

TEST_F(SortUtility, SummaryCommentsAndQuiet) {
    makeData("in.dat", 10, {"b", "a", "c"});
    control({"! Sorting the three", fileLine("R"), "RECORD O,1,1,C,'c','c'", "SUM ,'In'", "MASK 1,1,C"});
    keys_ = {13};
    ASSERT_EQ(sort(), 0);
    const std::vector<std::string> want = {
        " Sorting the three",
        "Sort successfully completed",
        // Each line centred on the longest; the counts after it, one under the other.
        std::string(12, ' ') + "In" + std::string(13, ' ') + "     3",
        std::string(5, ' ') + "Records selected" + std::string(6, ' ') + "     2",
        std::string(6, ' ') + "Records output" + std::string(7, ' ') + "     2",
        " Press any key to continue",
    };
    EXPECT_EQ(screen_, want);
    EXPECT_TRUE(keys_.empty());  // the summary waited for the key
    EXPECT_EQ(readData("out.dat"), (std::vector<std::string>{"a         ", "b         "}));
    // -N: nothing on the screen.
    screen_.clear();
    control({"! Sorting the three", fileLine("R", ",REPLACE"), "SUM", "MASK 1,1,C"});
    ASSERT_EQ(sort(" -N"), 0);
    EXPECT_TRUE(screen_.empty());
    // An empty input: an empty output, counts of 0.
    makeData("in.dat", 10, {});
    control({fileLine("R", ",REPLACE"), "SUM", "MASK 1,1,C"});
    ASSERT_EQ(sort(), 0);
    ASSERT_EQ(screen_.size(), 5u);
    EXPECT_EQ(screen_[1], std::string(7, ' ') + "Records read" + std::string(8, ' ') + "     0");
    EXPECT_EQ(screen_[3], std::string(6, ' ') + "Records output" + std::string(7, ' ') + "     0");
    EXPECT_TRUE(readData("out.dat").empty());
}

TEST_F(SortUtility, ErrorsLeaveTheFilesAsTheyWere) {
    makeData("in.dat", 10, {"b", "a"});
    makeData("full.dat", 10, {"x"});
    makeData("short.dat", 2, {});
    std::ofstream(path("text.txt")) << "not a data file\r\n";
    const std::string in = bytesOf("in.dat"), full = bytesOf("full.dat");
    const std::string files = "FILE " + q("in.dat") + ",";
    struct Case {
        std::vector<std::string> lines;
        int error;
    };
    const Case cases[] = {
        {{files + q("o1.dat")}, kErrSortNoMask},
        {{"MASK 1,1,C"}, kErrSortBeforeFile},
        {{files + q("o1.dat"), "MASK 10,2,C"}, kErrSortFieldBeyond},
        {{files + q("o1.dat"), "RECORD I,1,2,N,'x','1'", "MASK 1,1,C"}, kErrNotPlainString},
        {{files + q("full.dat"), "MASK 1,1,C"}, kErrSortOutputNotEmpty},
        {{files + q("short.dat") + ",,B", "MASK 1,1,C"}, kErrSortOutputShort},
        {{files + q("text.txt"), "MASK 1,1,C"}, kErrSortOutputType},
        {{"FILE " + q("text.txt") + "," + q("o1.dat"), "MASK 1,1,C"}, kErrSortInputType},
        {{"FILE " + q("none.dat") + "," + q("o1.dat"), "MASK 1,1,C"}, kErrFileNotFound},
        {{files + q("in.dat") + ",,R,REPLACE", "MASK 1,1,C"}, -1},  // the input as output
        {{files + q("in.dat"), "MASK 1,1,C"}, -1},
    };
    for (const Case& c : cases) {
        control(c.lines);
        const int err = sort();
        if (c.error < 0) EXPECT_NE(err, 0) << c.lines[0];
        else EXPECT_EQ(err, c.error) << c.lines.back();
        EXPECT_EQ(bytesOf("in.dat"), in);
        EXPECT_EQ(bytesOf("full.dat"), full);
        EXPECT_FALSE(fs::exists(path("o1.dat")));
        EXPECT_FALSE(workFileLeft());
    }
    // The line at fault is shown (not with -N).
    screen_.clear();
    control({files + q("o1.dat"), "  mask 1,1,Q  "});
    EXPECT_EQ(sort(), kErrSortMaskLine);
    EXPECT_EQ(screen_, std::vector<std::string>{"  mask 1,1,Q  "});
    EXPECT_EQ(sort(" -N"), kErrSortMaskLine);
    EXPECT_EQ(screen_.size(), 1u);
    EXPECT_EQ(runSortUtility(path("missing.ctl"), host_), kErrSortControlMissing);
    EXPECT_EQ(runSortUtility("", host_), kErrSortControlMissing);
    control({files + q("o2.dat"), "MASK 1,1,C"});
    host_.sortMemory = 19 * 5 * 2;
    EXPECT_EQ(sort(), kErrSortNoMemory);
}

// A write that fails anywhere (the work file, the merge passes, the output) ends the run with
// its error: the input is untouched, the output replaced only by a sort that succeeded, the
// work file and the temporary output gone.
TEST_F(SortUtility, FailedWritesLeaveTheInputAndNoWorkFile) {
    const std::vector<Row> v = rows(600, 4);
    makeRows(v);
    const std::string in = bytesOf("in.dat");
    control({fileLine("R", ",REPLACE"), "MASK 1,3,C,7,7,N"});
    host_.sortMemory = 2 * 25 * 15;
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    ASSERT_EQ(sort(), 0);
    const std::vector<std::string> good = readData("out.dat");
    const int writes = faults.calls(platform::Call::kWrite) + faults.calls(platform::Call::kWriteAt);
    ASSERT_GT(writes, 20);
    int failed = 0;
    for (platform::Call call : {platform::Call::kWrite, platform::Call::kWriteAt}) {
        for (int n = 1; n <= writes; n += 3) {
            faults.reset();
            faults.failNth(call, n, ENOSPC);
            const int err = sort();
            faults.reset();
            if (err) {
                ++failed;
                EXPECT_EQ(err, kErrDiskFull) << n;
            }
            EXPECT_EQ(readData("out.dat"), good) << n;
            EXPECT_EQ(bytesOf("in.dat"), in) << n;
            EXPECT_FALSE(workFileLeft()) << n;
        }
    }
    EXPECT_GT(failed, 10);
    // A disk that is full from the start.
    faults.failAlways(platform::Call::kWrite, ENOSPC);
    faults.failAlways(platform::Call::kWriteAt, ENOSPC);
    EXPECT_EQ(sort(), kErrDiskFull);
    faults.reset();
    EXPECT_EQ(bytesOf("in.dat"), in);
    EXPECT_FALSE(workFileLeft());
}

}  // namespace
}  // namespace vxs
