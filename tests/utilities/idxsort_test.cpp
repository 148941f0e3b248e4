// The INDEX utility on real files: key files built by INDEX hold, entry for entry, what keyed
// WRITEs, REWRITEs and DELETEs built (B-trees of both formats and ISAM, in memory and through
// the work file); duplicates, bad date keys and their listings; VERIFY finding damage that
// REORG repairs; failures and interrupts that leave the old key file as it was and no work or
// temporary file behind; parameter sets from procedure lines.
#include "vxs/utilities/idxsort.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/platform.h"

namespace vxs {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class IndexUtilityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxindex-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        old_ = fs::current_path();
        fs::current_path(dir_);
        host_.message = [this](std::string_view t) { messages_.emplace_back(t); };
        host_.screenLine = [this](std::string_view t) { screen_.emplace_back(t); };
        host_.procedureLine = [this](std::string& line) {
            if (procedure_.empty()) return false;
            line = procedure_.front();
            procedure_.erase(procedure_.begin());
            return true;
        };
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fb_, true);
        (void)closeFilesAtEnd(fileBlocks(), true);
        setOption(22, false);
        setOption(5, false);
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    int index(const std::string& tail) {
        messages_.clear();
        return runIndexUtility(tail, host_);
    }
    // Only the files named are left in the directory (no work or temporary files).
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    Ufcb* openData(const std::string& items, int mode, int access) {
        Ufcb* u = nullptr;
        OpenRequest r;
        text_ = items;
        r.number = 1;
        r.text = text_;
        r.type = kFileInternal;
        r.mode = mode;
        r.access = access;
        EXPECT_EQ(openFile(fb_, r, u), 0) << items;
        return u;
    }
    static int put(Ufcb* u, const std::string& data, uint32_t n = 0) {
        return writeRecord(*u, reinterpret_cast<const uint8_t*>(data.data()), data.size(), n,
                           RecordOptions{});
    }
    // A plain data file of the records given.
    void makeData(const std::vector<std::string>& records, int recl = 20) {
        Ufcb* u = openData("NAME=data,RECL=" + std::to_string(recl) + ",REPLACE", kModeOutput,
                           kAccessSequential);
        for (const std::string& r : records) ASSERT_EQ(put(u, r), 0);
        ASSERT_EQ(closeFile(fb_, u), 0);
    }
    // Every entry of a key file in order, as "key:record" with the key's bytes.
    std::vector<std::string> entries(const std::string& name) {
        OpenBlock b;
        b.number = 202;
        b.name = name;
        b.keyType = keyType_;
        Ufcb* u = nullptr;
        std::vector<std::string> out;
        const int err = openFileBlock(fileBlocks(), b, u);
        EXPECT_EQ(err, 0) << name;
        if (err) return out;
        KeyIndex& ix = *u->uffcb->index;
        EXPECT_EQ(ix.verify(), 0);
        KeyCursor c;
        KeyEntry e;
        int step;
        while ((step = ix.step(c, true, e)) == 0)
            out.push_back(std::string(reinterpret_cast<const char*>(e.key),
                                      static_cast<size_t>(ix.keyLength())) +
                          ":" + std::to_string(e.record));
        EXPECT_EQ(step, kErrEndOfRecords);
        EXPECT_EQ(closeFile(fileBlocks(), u), 0);
        return out;
    }

    FileBlocks fb_;
    UtilityHost host_;
    std::string dir_, text_;
    fs::path old_;
    std::vector<std::string> messages_, screen_, procedure_;
    int keyType_ = 0;
};

// Random inserts, rewrites and deletes through keyed access build one key file; INDEX builds
// another from the data file they leave.  Both hold the same entries.
TEST_F(IndexUtilityTest, BuildsWhatKeyedWritesBuildInEveryFormat) {
    struct Case {
        int format;  // 1, 2 B-tree versions; 4 ISAM
        size_t memory;
    };
    for (const Case c : {Case{1, 0}, Case{2, 0}, Case{4, 0}, Case{2, 4096}, Case{4, 4096}}) {
        SCOPED_TRACE("format " + std::to_string(c.format) + " memory " + std::to_string(c.memory));
        setOption(22, c.format == 2);
        setOption(5, c.format == 4);
        keyType_ = c.format == 4 ? 4 : 7;
        host_.sortMemory = c.memory;  // 4096: about 70 sort records at a time, many runs
        std::mt19937 rng(static_cast<unsigned>(c.format * 100 + c.memory));
        Ufcb* u = openData("NAME=data,KFNAME=keyed,RECL=24,REPLACE,KPS=3/1,KLN=6/2", kModeOutin,
                           kAccessKeyed);
        ASSERT_TRUE(u);
        // Keys of 8 bytes over 2 parts, from a small range so that duplicates are common.
        std::uniform_int_distribution<int> key(0, 400), pick(0, 9);
        std::vector<uint32_t> live;
        for (int i = 0; i < 3000; ++i) {
            char rec[32];
            snprintf(rec, sizeof rec, "%02dK%05d record %d", key(rng) % 7, key(rng), i);
            const int what = pick(rng);
            if (what < 6 || live.empty()) {
                ASSERT_EQ(put(u, rec), 0);
                live.push_back(u->position);
            } else {
                const size_t at = static_cast<size_t>(key(rng)) % live.size();
                const uint32_t n = live[at];
                if (what < 8) {
                    ASSERT_EQ(rewriteRecord(*u, reinterpret_cast<const uint8_t*>(rec), strlen(rec), n,
                                            RecordOptions{}), 0);
                } else {
                    ASSERT_EQ(deleteRecord(*u, n, RecordOptions{}), 0);
                    live.erase(live.begin() + static_cast<long>(at));
                }
            }
        }
        ASSERT_EQ(closeFile(fb_, u), 0);
        ASSERT_EQ(index("data built 3/1 6/2 dupkeys -n"), 0);
        EXPECT_TRUE(messages_.empty());  // -N: no messages
        const std::vector<std::string> built = entries("built");
        EXPECT_EQ(built.size(), live.size());
        EXPECT_EQ(built, entries("keyed"));
        // VERIFY agrees, and without parts the file's own are taken.
        EXPECT_EQ(index("data built verify"), 0);
        EXPECT_EQ(messages_.back(), "Index File verify successful.");
        EXPECT_EQ(files(), (std::vector<std::string>{"built", "data", "keyed"}));
        fs::remove("built");
    }
}

TEST_F(IndexUtilityTest, ResultsMessagesAndTheFilesLeft) {
    setOption(22, true);
    keyType_ = 7;
    std::vector<std::string> records;
    for (int i = 0; i < 3000; ++i) records.push_back("R" + std::to_string(100000 + (i * 7919) % 3000));
    makeData(records);
    ASSERT_EQ(index("data keys 1 7"), 0);
    ASSERT_GE(messages_.size(), 3u);
    EXPECT_EQ(messages_.front(), "Create Index File in progress");
    EXPECT_EQ(messages_[1], " indexing ..");    // at 1000 records
    EXPECT_EQ(messages_[2], " indexing ....");  // at 1500
    EXPECT_EQ(messages_.back(), "Create Index File successful.");
    ASSERT_EQ(entries("keys").size(), 3000u);
    EXPECT_EQ(entries("keys").front(), "R100000:1");
    // An existing key file is kept unless REPLACE (or -M) says otherwise.
    const std::vector<uint8_t> before = bytesOf("keys");
    EXPECT_EQ(index("data keys 1 7"), kErrFileExists);
    EXPECT_EQ(bytesOf("keys"), before);
    EXPECT_EQ(index("data keys 2 6 rep"), 0);
    EXPECT_EQ(entries("keys").front(), "100000:1");
    EXPECT_EQ(index("data keys 1 7 -m -n"), 0);
    EXPECT_EQ(entries("keys").front(), "R100000:1");
    // Key parts checked against the record: beyond it, empty, longer than 128 bytes in all.
    EXPECT_EQ(index("data k2 15 7"), kErrKeyBeyondRecord);
    EXPECT_EQ(index("data k2 1 0"), kErrKeyLength);
    makeData(records, 200);
    EXPECT_EQ(index("data k2 1/70 70/60"), kErrKeyLength);
    // No parameters, an unknown option, a key file that is not a data file.
    EXPECT_EQ(index("data k2 1 7 bogus"), kErrBadOption);
    EXPECT_EQ(index("keys k2 1 7"), kErrDataFileType);
    EXPECT_EQ(index("data"), kErrNoParameters);
    EXPECT_EQ(files(), (std::vector<std::string>{"data", "keys"}));
    // An empty data file makes an empty key file.
    makeData({});
    ASSERT_EQ(index("data keys 1 4 rep"), 0);
    EXPECT_TRUE(entries("keys").empty());
}

TEST_F(IndexUtilityTest, DuplicatesAndBadDateKeysWithTheirListings) {
    setOption(5, true);  // ISAM
    keyType_ = 4;
    makeData({"B1", "A1", "B2", "C1", "B3", "99X1xx", "A2"});
    // The key file is complete, but the run ends with 7603.
    EXPECT_EQ(index("data keys 1 1"), kErrDuplicateKeys);
    EXPECT_EQ(entries("keys"),
              (std::vector<std::string>{"9:6", "A:2", "A:7", "B:1", "B:3", "B:5", "C:4"}));
    // Runs of duplicates listed, first of a run too, to a file that ends with Ctrl-Z.
    ASSERT_EQ(index("data keys 1 1 rep dup listdup >dups.txt"), 0);
    const std::vector<uint8_t> list = bytesOf("dups.txt");
    const std::string listed(list.begin(), list.end());
    EXPECT_EQ(listed, "A    2\r\nA    7\r\nB    1\r\nB    3\r\nB    5\r\n\x1a");
    // ">>" appends after the last listing (its Ctrl-Z goes).
    ASSERT_EQ(index("data keys 1 1 rep dup listdup >>dups.txt"), 0);
    EXPECT_EQ(bytesOf("dups.txt").size(), 2 * list.size() - 1);
    // A date part that is not a date: an error unless BADKEYS, listed with LISTBADKEYS; the
    // record keeps an entry either way.
    makeData({"991231", "99X231", "000101"});
    EXPECT_EQ(index("data keys 1y 6 rep"), kErrBadKeys);
    EXPECT_EQ(entries("keys").size(), 3u);
    screen_.clear();
    EXPECT_EQ(index("data keys 1y 6 rep listbad"), 0);
    EXPECT_EQ(screen_, (std::vector<std::string>{"99X231    2"}));
    EXPECT_EQ(index("data keys 1y 6 rep badkeys"), 0);
    EXPECT_EQ(entries("keys").size(), 3u);
}

// Where a key is in a version 2 leaf of keys of `k` bytes: its record number's offset.
int64_t recordNumberOffset(const std::vector<uint8_t>& file, const std::string& key, int k) {
    const auto at = std::search(file.begin() + 512, file.end(), key.begin(), key.end());
    if (at == file.end()) return -1;
    const int64_t offset = at - file.begin();
    const int64_t node = (offset + 512) / 1024 * 1024 - 512;
    const int64_t c = 1016 / (k + 8);
    const int64_t i = (offset - node - 8 - 4 * c) / (k + 4);
    return node + 8 + 4 * i;
}

TEST_F(IndexUtilityTest, VerifyFindsDamageThatReorgRepairs) {
    setOption(22, true);
    keyType_ = 7;
    std::vector<std::string> records;
    for (int i = 0; i < 2000; ++i) {
        char r[16];
        snprintf(r, sizeof r, "K%07d", (i * 7919) % 2000);
        records.push_back(r);
    }
    makeData(records);
    ASSERT_EQ(index("data keys 1 8 -n"), 0);
    const std::vector<uint8_t> good = bytesOf("keys");
    const std::vector<std::string> all = entries("keys");
    auto damaged = [&](const char* what, const std::vector<uint8_t>& bytes) {
        SCOPED_TRACE(what);
        writeBytes("keys", bytes);
        EXPECT_EQ(index("data keys verify -n"), kErrKeyFileDamaged);
        // REORG takes the parts given when the file is past reading them.
        EXPECT_EQ(index("data keys 1 8 reorg -n"), 0);
        EXPECT_EQ(index("data keys verify"), 0);
        EXPECT_EQ(entries("keys"), all);
    };
    const std::string name = "K0001234";
    const int64_t at = recordNumberOffset(good, name, 8);
    ASSERT_GT(at, 0);
    // A key byte flipped (the order may still hold), a wrong record number.
    const auto key = std::search(good.begin() + 512, good.end(), name.begin(), name.end());
    std::vector<uint8_t> flipped = good;
    flipped[static_cast<size_t>(key - good.begin()) + 7] = '5';
    damaged("flipped key byte", flipped);
    std::vector<uint8_t> renumbered = good;
    renumbered[static_cast<size_t>(at)] ^= 1;
    damaged("wrong record number", renumbered);
    // A file cut in the middle of a node, and a leaf lost (zeroed).
    std::vector<uint8_t> cut(good.begin(), good.end() - 300);
    damaged("truncated node", cut);
    std::vector<uint8_t> lost = good;
    const int64_t node = (at + 512) / 1024 * 1024 - 512;
    std::fill(lost.begin() + node, lost.begin() + node + 1024, 0);
    damaged("lost node", lost);
    // Parts that differ from the file's.
    EXPECT_EQ(index("data keys 2 7 reorg"), kErrReorgKeyLength);
}

TEST_F(IndexUtilityTest, FailuresLeaveTheOldKeyFileAndNoWorkFiles) {
    setOption(22, true);
    keyType_ = 7;
    std::vector<std::string> records;
    for (int i = 0; i < 5000; ++i) records.push_back(std::to_string(900000 - i * 13));
    makeData(records);
    ASSERT_EQ(index("data keys 1 6 -n"), 0);
    const std::vector<uint8_t> before = bytesOf("keys");
    host_.sortMemory = 4096;  // spills: the work file is written and merged
    struct Fault {
        const char* what;
        int nth;  // the nth positioned write from the start of the run
    };
    for (const Fault f : {Fault{"at the start", 1}, Fault{"a little later", 20},
                          Fault{"later still", 60}}) {
        SCOPED_TRACE(f.what);
        platform::FaultPlatform faults(platform::posixPlatform());
        platform::ScopedPlatform guard(faults);
        faults.failNth(platform::Call::kWriteAt, f.nth, ENOSPC, 1000000);
        faults.failNth(platform::Call::kWrite, f.nth, ENOSPC, 1000000);
        EXPECT_EQ(index("data keys 1 6 rep -n"), kErrDiskFull);
    }
    EXPECT_EQ(bytesOf("keys"), before);
    EXPECT_EQ(files(), (std::vector<std::string>{"data", "keys"}));
    // The work file goes to the directory named: one that does not exist fails the spill.
    fs::create_directory("wrk");
    EXPECT_EQ(index("data keys 1 6 rep -n -wrk"), 0);
    EXPECT_TRUE(fs::is_empty("wrk"));
    EXPECT_NE(index("data keys 1 6 rep -n -nowhere"), 0);
    fs::remove("wrk");
    EXPECT_EQ(bytesOf("keys"), before);
    // The attention key ends the run the same way.
    int polls = 0;
    host_.attention = [&] { return ++polls == 3; };
    EXPECT_EQ(index("data keys 1 6 rep"), kErrUtilityInterrupted);
    EXPECT_EQ(messages_.back(), " print GO to proceed");
    EXPECT_EQ(bytesOf("keys"), before);
    EXPECT_EQ(files(), (std::vector<std::string>{"data", "keys"}));
    // Too little memory for 20 sort records.
    host_.attention = nullptr;
    host_.sortMemory = 100;
    EXPECT_EQ(index("data keys 1 6 rep"), kErrSortMemory);
    EXPECT_EQ(bytesOf("keys"), before);
}

TEST_F(IndexUtilityTest, ParameterSetsFromProcedureLines) {
    setOption(22, true);
    keyType_ = 7;
    makeData({"AB", "BA", "CC"});
    procedure_ = {"MASFILE=data", "IDXFILE=k1 ! by the first letter", "KEYSTART=1", "KEYLGTH=1",
                  "CONT", "MASFILE=data", "IDXFILE=k2", "KEYSTART=2", "KEYLGTH=1", "ENDLINK",
                  "LIST"};
    ASSERT_EQ(index(""), 0);
    EXPECT_EQ(entries("k1"), (std::vector<std::string>{"A:1", "B:2", "C:3"}));
    EXPECT_EQ(entries("k2"), (std::vector<std::string>{"A:2", "B:1", "C:3"}));
    EXPECT_EQ(procedure_, std::vector<std::string>{"LIST"});  // the rest is command mode's
    // An unknown line is shown and ends the run.
    procedure_ = {"MASFILE=data", "BOGUS=1"};
    screen_.clear();
    EXPECT_EQ(index(""), kErrUnrecognized);
    EXPECT_EQ(screen_, std::vector<std::string>{"BOGUS=1"});
    procedure_.clear();
    EXPECT_EQ(index(""), kErrNoParameters);
}

}  // namespace
}  // namespace vxs
