// KEYED access through the record engine: the checks of OPEN for key files, the bytes of a new
// key file's header, two key files of one data file kept in step by WRITE, REWRITE and DELETE,
// keys of deleted records passed over, writes whose keys cannot be stored taken back, DROP,
// and ISAM key files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "tests/support/test_support.h"
#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/platform.h"

namespace vxs {
namespace {

class KeyedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxkeyed-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fb_, true);
        setOption(22, false);
        setOption(5, false);
        std::filesystem::remove_all(dir_);
    }
    std::string at(const std::string& file) const { return dir_ + "/" + file; }
    // NAME= the data file, KFNAME= the key file, then `rest`.
    std::string keyed(const std::string& keyFile, const std::string& rest) const {
        return "NAME=" + at("data.int") + ",KFNAME=" + at(keyFile) + (rest.empty() ? "" : "," + rest);
    }
    int open(int number, const std::string& items, int mode, int access, Ufcb*& u) {
        text_ = items;
        OpenRequest r;
        r.number = number;
        r.text = text_;
        r.type = kFileInternal;
        r.mode = mode;
        r.access = access;
        return openFile(fb_, r, u);
    }
    Ufcb* openOk(int number, const std::string& items, int mode = kModeOutin,
                 int access = kAccessKeyed) {
        Ufcb* u = nullptr;
        EXPECT_EQ(open(number, items, mode, access, u), 0) << items;
        return u;
    }
    static int put(Ufcb* u, const std::string& data) {
        return writeRecord(*u, reinterpret_cast<const uint8_t*>(data.data()), data.size(), 0,
                           RecordOptions{});
    }
    static int byKey(Ufcb* u, const std::string& key, KeyFind how = KeyFind::kEqual) {
        return readKeyed(*u, how, key, RecordOptions{});
    }
    static std::string current(const Ufcb* u) {
        std::string s(reinterpret_cast<const char*>(u->record.data()), u->recordLength);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    // Every record in key order, as "record" strings.
    static std::string inOrder(Ufcb* u, bool backward = false) {
        EXPECT_EQ(restoreFile(*u, 0), 0);
        std::string out;
        int err;
        while ((err = readRecord(*u, backward ? ReadHow::kPrevious : ReadHow::kNext, 0,
                                 RecordOptions{})) == 0)
            out += current(u) + "|";
        EXPECT_EQ(err, kErrEndOfRecords);
        return out;
    }

    FileBlocks fb_;
    std::string dir_, text_;
};

TEST_F(KeyedTest, OpenChecksKeyFilesAndTheirParts) {
    Ufcb* u = nullptr;
    // KFNAME= belongs to KEYED access, and KEYED access needs it.
    EXPECT_EQ(open(1, keyed("k1", "RECL=20,REPLACE,KPS=1,KLN=4"), kModeOutin, kAccessRelative, u),
              kErrKeyFileAccess);
    EXPECT_EQ(open(1, "NAME=" + at("data.int") + ",RECL=20,REPLACE", kModeOutin, kAccessKeyed, u),
              kErrKeyFileAccess);
    // The key file may not be the data file; parts must lie inside the record.
    EXPECT_EQ(open(1, "NAME=" + at("d") + ",KFNAME=" + at("d") + ",RECL=20,REPLACE,KPS=1,KLN=4",
                   kModeOutin, kAccessKeyed, u),
              kErrKeyFileSame);
    EXPECT_EQ(open(1, keyed("k1", "RECL=20,REPLACE,KPS=18,KLN=4"), kModeOutin, kAccessKeyed, u),
              kErrKeyParts);
    EXPECT_EQ(open(1, keyed("k1", "RECL=20,REPLACE"), kModeOutin, kAccessKeyed, u), kErrKeyParts);
    // 125 key bytes fit a format 1 file but not a format 2 one, whose entries are key + 4 bytes
    // of at most 128.
    const std::string long125 = "RECL=200,REPLACE,KPS=1/101,KLN=100/25";
    setOption(22, true);
    EXPECT_EQ(open(1, keyed("k1", long125), kModeOutin, kAccessKeyed, u), kErrKeyParts);
    setOption(22, false);
    ASSERT_EQ(open(1, keyed("k1", long125), kModeOutin, kAccessKeyed, u), 0);
    ASSERT_EQ(closeFile(fb_, u), 0);
    // A file that exists keeps its parts: none need be given, other ones are ignored unless USE
    // says they must agree.
    u = openOk(1, keyed("k1", ""));
    EXPECT_EQ(u->ufkbfcb->keyParts, 2);
    EXPECT_EQ(u->ufkbfcb->keys[1].length, 25);
    ASSERT_EQ(closeFile(fb_, u), 0);
    EXPECT_EQ(open(1, keyed("k1", "USE,KPS=1,KLN=9"), kModeOutin, kAccessKeyed, u), kErrRecordLength);
    // A B-tree key file opened as ISAM is a file of the wrong type; a missing one is not found.
    EXPECT_EQ(open(1, keyed("k1", "ISAM"), kModeOutin, kAccessKeyed, u), kErrWrongFileType);
    EXPECT_EQ(open(1, keyed("none", ""), kModeInput, kAccessKeyed, u), kErrFileNotFound);
    // Two key files of one data file are of one kind.
    Ufcb* a = openOk(1, keyed("k1", ""));
    EXPECT_EQ(open(2, keyed("k2", "ISAM,USE,KPS=3,KLN=2"), kModeOutin, kAccessKeyed, u), kErrKeyTypes);
    EXPECT_EQ(closeFile(fb_, a), 0);
}

TEST_F(KeyedTest, NewBtreeKeyFileHeaderCarriesTheKeyParts) {
    Ufcb* u = openOk(1, keyed("k1", "RECL=30,REPLACE,KPS=3/1U,KLN=4/2"));
    ASSERT_EQ(closeFile(fb_, u), 0);
    const std::string b = test::fileContents(at("k1"));
    ASSERT_EQ(b.size(), 512u + 256u);  // format 1, 6 key bytes: nodes of 256 bytes
    const std::string want = std::string("\0\0\0\0\0\0\0\0\x07\x00\x01\x00\x01\x02\x10", 15) +
                             std::string("\x03\x00\x04\x00\x01\x00\x02\x01", 8);
    EXPECT_EQ(b.substr(0, 23), want);
    EXPECT_EQ(b.substr(23, 256 - 23), std::string(256 - 23, '\0'));
    EXPECT_EQ(static_cast<uint8_t>(b[256 + 252]), 1);  // the version of the tree
}

TEST_F(KeyedTest, EveryKeyFileOfADataFileFollowsItsRecords) {
    // Two key files: the first 4 bytes, and bytes 5-6 upper-cased.
    Ufcb* a = openOk(1, keyed("k1", "RECL=12,REPLACE,KPS=1,KLN=4"));
    Ufcb* b = openOk(2, keyed("k2", "USE,KPS=5U,KLN=2"));
    ASSERT_NE(b, nullptr);
    for (const char* r : {"0003zzC", "0001yyA", "0002xxB", "0004xxD"}) ASSERT_EQ(put(a, r), 0);
    EXPECT_EQ(inOrder(a), "0001yyA|0002xxB|0003zzC|0004xxD|");
    EXPECT_EQ(inOrder(b), "0002xxB|0004xxD|0001yyA|0003zzC|");
    EXPECT_EQ(inOrder(b, true), "0003zzC|0001yyA|0004xxD|0002xxB|");
    // Searches convert the argument as the parts do (U), and select by a leading part.
    ASSERT_EQ(byKey(b, "yy"), 0);
    EXPECT_EQ(current(b), "0001yyA");
    ASSERT_EQ(byKey(a, "000"), 0);
    EXPECT_EQ(current(a), "0001yyA");
    EXPECT_EQ(byKey(a, "0005"), kErrKeyNotFound);
    ASSERT_EQ(byKey(a, "00025", KeyFind::kNotLess), 0);  // the argument cut to the key's 4
    EXPECT_EQ(current(a), "0002xxB");
    // REWRITE of the current record: only the key file whose key changed changes.
    ASSERT_EQ(byKey(a, "0002"), 0);
    const std::string moved = "0002wwB";
    ASSERT_EQ(rewriteRecord(*a, reinterpret_cast<const uint8_t*>(moved.data()), moved.size(), 0,
                            RecordOptions{}), 0);
    EXPECT_EQ(byKey(b, "XX"), 0);
    EXPECT_EQ(current(b), "0004xxD");
    ASSERT_EQ(byKey(b, "WW"), 0);
    EXPECT_EQ(current(b), "0002wwB");
    // DELETE takes the keys out of both.
    ASSERT_EQ(byKey(a, "0003"), 0);
    ASSERT_EQ(deleteRecord(*a, 0, RecordOptions{}), 0);
    EXPECT_EQ(byKey(b, "ZZ"), kErrKeyNotFound);
    EXPECT_EQ(inOrder(a), "0001yyA|0002wwB|0004xxD|");
    EXPECT_EQ(inOrder(b), "0002wwB|0004xxD|0001yyA|");
    // RESTORE KEY=: the next READ takes the record found.
    ASSERT_EQ(restoreFile(*a, 0), 0);
    ASSERT_EQ(readKeyed(*a, KeyFind::kNotLess, "0003", RecordOptions{}, false), 0);
    ASSERT_EQ(readRecord(*a, ReadHow::kNext, 0, RecordOptions{}), 0);
    EXPECT_EQ(current(a), "0004xxD");
    EXPECT_EQ(closeFile(fb_, b), 0);
    EXPECT_EQ(closeFile(fb_, a), 0);
    // Reopened, the key files still agree with the records.
    a = openOk(1, keyed("k1", ""), kModeInput);
    EXPECT_EQ(inOrder(a), "0001yyA|0002wwB|0004xxD|");
}

TEST_F(KeyedTest, AKeyOfADeletedRecordIsPassedOver) {
    Ufcb* a = openOk(1, keyed("k1", "RECL=8,REPLACE,KPS=1,KLN=2"));
    for (const char* x : {"AA1", "AA2", "BB3"}) ASSERT_EQ(put(a, x), 0);
    // Deleted while the key file was not open with the data file: its key stays behind.
    Fcb* keys = a->ufkbfcb;
    a->ufkbfcb = nullptr;
    ASSERT_EQ(deleteRecord(*a, 1, RecordOptions{}), 0);
    a->ufkbfcb = keys;
    ASSERT_EQ(byKey(a, "AA"), 0);
    EXPECT_EQ(current(a), "AA2");
    ASSERT_EQ(deleteRecord(*a, 0, RecordOptions{}), 0);
    EXPECT_EQ(byKey(a, "AA"), kErrKeyNotFound);
    EXPECT_EQ(inOrder(a), "BB3|");
}

TEST_F(KeyedTest, AWriteWhoseKeyCannotBeStoredIsTakenBack) {
    Ufcb* a = openOk(1, keyed("k1", "RECL=10,REPLACE,KPS=1Y,KLN=6,SHR"));
    ASSERT_EQ(put(a, "991231one"), 0);
    // A date key part that is not a date: nothing is written.
    EXPECT_EQ(put(a, "99X231two"), kErrKeyDate);
    int64_t n = 0;
    ASSERT_EQ(lastRecordNumber(*a, n), 0);
    EXPECT_EQ(n, 1);
    {
        // The key file's write fails after the record went in: the record goes again.  (The
        // file is shared, so the key file is written at once.)
        platform::FaultPlatform faults(platform::posixPlatform());
        platform::ScopedPlatform guard(faults);
        faults.failNth(platform::Call::kWriteAt, 2, ENOSPC);
        EXPECT_NE(put(a, "000101three"), 0);
        EXPECT_EQ(faults.failures(platform::Call::kWriteAt), 1);
    }
    ASSERT_EQ(lastRecordNumber(*a, n), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(a->ufkbfcb->index->verify(), 0);
    EXPECT_EQ(inOrder(a), "991231one|");
    ASSERT_EQ(put(a, "000101four"), 0);
    EXPECT_EQ(inOrder(a), "000101four|991231one|");
}

// A shared file's REWRITE of the record it read and holds locked takes the keys' old image from
// that read; it must still move the keys that change, and keep to the disk's bytes whenever the
// image could be out of date (another number on the file, a translated read).
TEST_F(KeyedTest, RewritesOfHeldRecordsMoveTheirKeys) {
    Ufcb* a = openOk(1, keyed("k1", "RECL=8,REPLACE,KPS=1,KLN=3,SHR"));
    for (const char* x : {"AAA1", "BBB2", "CCC3"}) ASSERT_EQ(put(a, x), 0);
    ASSERT_EQ(byKey(a, "BBB"), 0);  // locks record 2
    ASSERT_EQ(rewriteRecord(*a, reinterpret_cast<const uint8_t*>("ZZZ2"), 4, 0, RecordOptions{}), 0);
    EXPECT_EQ(inOrder(a), "AAA1|CCC3|ZZZ2|");
    EXPECT_EQ(byKey(a, "BBB"), kErrKeyNotFound);
    // Another number on the file rewrites record 1 between this one's read and rewrite.
    ASSERT_EQ(byKey(a, "AAA"), 0);
    Ufcb* b = openOk(2, keyed("k1", "SHR"));
    RecordOptions reserve;
    reserve.lock = kLockReserve;
    ASSERT_EQ(rewriteRecord(*a, reinterpret_cast<const uint8_t*>("MMM1"), 4, 0, reserve), 0);
    ASSERT_EQ(byKey(a, "MMM"), 0);
    ASSERT_EQ(rewriteRecord(*a, reinterpret_cast<const uint8_t*>("NNN1"), 4, 0, RecordOptions{}), 0);
    EXPECT_EQ(inOrder(b), "CCC3|NNN1|ZZZ2|");
    EXPECT_EQ(a->ufkbfcb->index->verify(), 0);
    EXPECT_EQ(closeFile(fb_, b), 0);
    EXPECT_EQ(closeFile(fb_, a), 0);
}

TEST_F(KeyedTest, DropEmptiesTheDataAndKeyFiles) {
    Ufcb* a = openOk(1, keyed("k1", "RECL=8,REPLACE,KPS=1,KLN=2"));
    for (const char* x : {"AA1", "BB2"}) ASSERT_EQ(put(a, x), 0);
    ASSERT_EQ(closeFile(fb_, a, kCloseDrop), 0);
    a = openOk(1, keyed("k1", ""));
    EXPECT_EQ(inOrder(a), "");
    ASSERT_EQ(put(a, "CC3"), 0);
    EXPECT_EQ(inOrder(a), "CC3|");
}

TEST_F(KeyedTest, IsamKeyFilesServeTheSameStatements) {
    setOption(5, true);  // ISAM unless BTREE is asked for
    Ufcb* a = openOk(1, keyed("k1", "RECL=8,REPLACE,KPS=1,KLN=3"));
    EXPECT_EQ(a->ufkbfcb->type, kFileInternal);
    EXPECT_EQ(a->ufkbfcb->recl, 7);
    for (const char* x : {"CCC", "AAA", "BBB", "AAB"}) ASSERT_EQ(put(a, x), 0);
    EXPECT_EQ(inOrder(a), "AAA|AAB|BBB|CCC|");
    ASSERT_EQ(byKey(a, "AA"), 0);
    EXPECT_EQ(current(a), "AAA");
    ASSERT_EQ(byKey(a, "BBA", KeyFind::kNotLess), 0);
    EXPECT_EQ(current(a), "BBB");
    ASSERT_EQ(deleteRecord(*a, 0, RecordOptions{}), 0);
    EXPECT_EQ(inOrder(a, true), "CCC|AAB|AAA|");
    ASSERT_EQ(closeFile(fb_, a), 0);
    // Its header counts its key records (4 slots of status, key and record number).
    const std::string b = test::fileContents(at("k1"));
    EXPECT_EQ(static_cast<uint8_t>(b[0]), 4);
    EXPECT_EQ(static_cast<uint8_t>(b[8]), 4);
}

}  // namespace
}  // namespace vxs
