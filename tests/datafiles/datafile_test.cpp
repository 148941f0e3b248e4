// The record engine under the file statements, driven through a FileBlocks of the test's own:
// the exact bytes of INTERNAL files, reads and writes by record number and in sequence, the
// read-ahead and write-behind buffers, the checks of OPEN with their error numbers, sharing
// between file numbers of one process, CLOSE FREE and DROP, and failed writes that must leave
// what was written before them whole.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/datafiles/header.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/platform.h"

namespace vxs {
namespace {

// The header of a new INTERNAL file as its bytes: count, version, type 4, RECL, header
// length, no key parts, no flags, zeros up to the header length.
std::string headerBytes(uint32_t count, int32_t version, uint16_t recl, uint16_t length) {
    std::string h(length, '\0');
    for (int i = 0; i < 4; ++i) h[i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    for (int i = 0; i < 4; ++i)
        h[4 + i] = static_cast<char>((static_cast<uint32_t>(version) >> (8 * i)) & 0xFF);
    h[8] = 4;
    h[9] = static_cast<char>(recl & 0xFF);
    h[10] = static_cast<char>(recl >> 8);
    h[11] = static_cast<char>(length & 0xFF);
    h[12] = static_cast<char>(length >> 8);
    return h;
}

// A slot: the status byte, then the data blank-padded to RECL.
std::string slot(char status, const std::string& data, size_t recl) {
    std::string s(1, status);
    s += data;
    s.resize(recl + 1, ' ');
    return s;
}

// The record for number i of a long file: its number in digits, then a pattern.
std::string numbered(uint32_t i, size_t recl) {
    std::string s = std::to_string(i) + ":";
    while (s.size() < recl) s += static_cast<char>('A' + (i + s.size()) % 26);
    return s;
}

class DataFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxdatafile-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        path_ = dir_ + "/data.int";
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fb_, true);
        std::filesystem::remove_all(dir_);
    }

    int open(int number, const std::string& items, int type, int mode, int access,
             Ufcb*& u) {
        text_ = items;
        OpenRequest r;
        r.number = number;
        r.text = text_;
        r.type = type;
        r.mode = mode;
        r.access = access;
        return openFile(fb_, r, u);
    }
    // NAME= of the test's file, then `rest`.
    std::string name(const std::string& rest = "") const {
        return "NAME=" + path_ + (rest.empty() ? "" : "," + rest);
    }
    Ufcb* openOk(int number, const std::string& items, int type, int mode,
                 int access = kAccessSequential) {
        Ufcb* u = nullptr;
        EXPECT_EQ(open(number, items, type, mode, access, u), 0) << items;
        return u;
    }
    static int put(Ufcb* u, const std::string& data, uint32_t n = 0) {
        return writeRecord(*u, reinterpret_cast<const uint8_t*>(data.data()), data.size(), n,
                           RecordOptions{});
    }
    static int rewrite(Ufcb* u, const std::string& data, uint32_t n = 0) {
        return rewriteRecord(*u, reinterpret_cast<const uint8_t*>(data.data()), data.size(), n,
                             RecordOptions{});
    }
    static int get(Ufcb* u, ReadHow how, uint32_t n = 0) {
        return readRecord(*u, how, n, RecordOptions{});
    }
    // The current record, trailing blanks removed.
    static std::string current(const Ufcb* u) {
        std::string s(reinterpret_cast<const char*>(u->record.data()), u->recordLength);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    // A new INTERNAL file of these records (RECL 10), closed.
    void makeFile(const std::vector<std::string>& records, int recl = 10) {
        Ufcb* u = openOk(1, name("RECL=" + std::to_string(recl) + ",REPLACE"), kFileInternal,
                         kModeOutput);
        ASSERT_NE(u, nullptr);
        for (const std::string& r : records) ASSERT_EQ(put(u, r), 0);
        ASSERT_EQ(closeFile(fb_, u), 0);
    }
    std::string bytes() const { return test::fileContents(path_); }
    // An open by another copy of the system: its own control blocks and handle on the file, so
    // that nothing it writes passes through this process's buffers.
    Ufcb* openCopy(FileBlocks& copy, const std::string& items, int mode,
                   int access = kAccessSequential) {
        copyText_ = items;
        OpenRequest r;
        r.number = 1;
        r.text = copyText_;
        r.type = kFileInternal;
        r.mode = mode;
        r.access = access;
        Ufcb* u = nullptr;
        EXPECT_EQ(openFile(copy, r, u), 0) << items;
        return u;
    }

    FileBlocks fb_;
    std::string dir_, path_, text_, copyText_;
};

// ---- the bytes of the file ----

TEST_F(DataFileTest, NewInternalFileHasTheExactHeaderAndSlots) {
    makeFile({"ONE", "TWO", "THREE"});
    EXPECT_EQ(bytes(), headerBytes(3, 0, 10, 22) + slot(' ', "ONE", 10) +
                           slot(' ', "TWO", 10) + slot(' ', "THREE", 10));

    Ufcb* u = openOk(1, name(), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(rewrite(u, "NEW2", 2), 0);
    EXPECT_EQ(deleteRecord(*u, 3, RecordOptions{}), 0);
    ASSERT_EQ(closeFile(fb_, u), 0);
    // The deleted slot keeps its data and still counts in the header.
    EXPECT_EQ(bytes(), headerBytes(3, 0, 10, 22) + slot(' ', "ONE", 10) +
                           slot(' ', "NEW2", 10) + slot('D', "THREE", 10));
}

TEST_F(DataFileTest, HeaderLengthIsOneSlotAtMost256Bytes) {
    makeFile({"A"}, 300);
    const std::string b = bytes();
    ASSERT_EQ(b.size(), 256u + 301u);
    EXPECT_EQ(b.substr(0, 256), headerBytes(1, 0, 300, 256));
    EXPECT_EQ(b.substr(256), slot(' ', "A", 300));

    // RECL 14: the slot of 15 bytes is the header on its own.
    makeFile({"B"}, 14);
    EXPECT_EQ(bytes(), headerBytes(1, 0, 14, 15) + slot(' ', "B", 14));
    // RECL 4: three slots of 5 reach 15.
    makeFile({"C"}, 4);
    EXPECT_EQ(bytes(), headerBytes(1, 0, 4, 15) + slot(' ', "C", 4));
}

TEST_F(DataFileTest, VersionIsStoredAndCheckedOnReopening) {
    Ufcb* u = openOk(1, name("RECL=10,VERSION=7,REPLACE"), kFileInternal, kModeOutput);
    ASSERT_NE(u, nullptr);
    ASSERT_EQ(put(u, "X"), 0);
    ASSERT_EQ(closeFile(fb_, u), 0);
    EXPECT_EQ(bytes(), headerBytes(1, 7, 10, 22) + slot(' ', "X", 10));

    const std::string before = bytes();
    for (int mode : {kModeInput, kModeOutin}) {
        Ufcb* v = nullptr;
        EXPECT_EQ(open(1, name("VERSION=8"), kFileInternal, mode, kAccessSequential, v),
                  kErrVersionMismatch);
        EXPECT_EQ(fb_.find(1), nullptr);
        EXPECT_EQ(bytes(), before);
    }
    u = openOk(1, name("VERSION=7"), kFileInternal, kModeInput);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(closeFile(fb_, u), 0);
}

// ---- reads ----

TEST_F(DataFileTest, DeletedRecordsAreSkippedInSequenceAndMissingByNumber) {
    makeFile({"R1", "R2", "R3", "R4"});
    Ufcb* w = openOk(1, name(), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(deleteRecord(*w, 3, RecordOptions{}), 0);
    EXPECT_EQ(deleteRecord(*w, 3, RecordOptions{}), kErrNoRecord);
    ASSERT_EQ(closeFile(fb_, w), 0);

    for (int access : {kAccessSequential, kAccessRelative}) {
        Ufcb* u = openOk(2, name(), kFileInternal, kModeInput, access);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(get(u, ReadHow::kRecord, 3), kErrNoRecord);
        EXPECT_EQ(get(u, ReadHow::kRecord, 5), kErrNoRecord);
        EXPECT_EQ(get(u, ReadHow::kRecord, 0), kErrNoRecord);
        ASSERT_EQ(get(u, ReadHow::kRecord, 2), 0);
        EXPECT_EQ(current(u), "R2");
        ASSERT_EQ(get(u, ReadHow::kNext), 0);
        EXPECT_EQ(current(u), "R4");
        EXPECT_EQ(u->position, 4u);
        EXPECT_EQ(get(u, ReadHow::kNext), kErrEndOfRecords);
        ASSERT_EQ(get(u, ReadHow::kPrevious), 0);  // backwards from 4: 3 is skipped
        EXPECT_EQ(current(u), "R2");
        ASSERT_EQ(get(u, ReadHow::kLast), 0);
        EXPECT_EQ(current(u), "R4");
        ASSERT_EQ(get(u, ReadHow::kAgain), 0);
        EXPECT_EQ(current(u), "R4");
        ASSERT_EQ(restoreFile(*u, 0), 0);
        ASSERT_EQ(get(u, ReadHow::kNext), 0);
        EXPECT_EQ(current(u), "R1");
        ASSERT_EQ(restoreFile(*u, 3), 0);  // the next read takes 3, deleted: so 4
        ASSERT_EQ(get(u, ReadHow::kNext), 0);
        EXPECT_EQ(current(u), "R4");
        ASSERT_EQ(closeFile(fb_, u), 0);
    }
}

TEST_F(DataFileTest, ARecordViewShowsLiveRecordsAndChangesButNotLaterAppends) {
    makeFile({"R1", "R2", "R3"});
    Ufcb* w = openOk(1, name("SHR"), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(deleteRecord(*w, 2, RecordOptions{}), 0);
    Ufcb* u = openOk(2, name("SHR"), kFileInternal, kModeInput, kAccessRelative);
    ASSERT_NE(u, nullptr);
    RecordView view;
    ASSERT_EQ(view.open(*u), 0);
    const uint8_t* data = nullptr;
    size_t length = 0;
    auto text = [&] { return std::string(reinterpret_cast<const char*>(data), 2); };
    ASSERT_TRUE(view.record(3, data, length));
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(text(), "R3");
    EXPECT_FALSE(view.record(2, data, length));  // deleted
    EXPECT_FALSE(view.record(0, data, length));
    EXPECT_FALSE(view.record(4, data, length));
    // A record rewritten through another number shows changed; one appended is outside.
    ASSERT_EQ(rewrite(w, "X1", 1), 0);
    ASSERT_EQ(put(w, "R4"), 0);
    ASSERT_EQ(flushFile(*w), 0);
    ASSERT_TRUE(view.record(1, data, length));
    EXPECT_EQ(text(), "X1");
    EXPECT_FALSE(view.record(4, data, length));
    EXPECT_EQ(closeFile(fb_, u), 0);
    EXPECT_EQ(closeFile(fb_, w), 0);
}

TEST_F(DataFileTest, SyncOnPutsEveryChangeOnTheDiskBeforeTheStatementReturns) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    auto syncs = [&] { return faults.calls(platform::Call::kSync); };
    for (const bool on : {false, true}) {
        ASSERT_EQ(processConfigStatement(on ? "SYNC ON" : "SYNC OFF"), 0);
        const int before = syncs();
        Ufcb* u = openOk(1, "NAME=" + dir_ + "/k.int,KFNAME=" + dir_ + "/k.key,RECL=10,REPLACE,KPS=1,KLN=2",
                         kFileInternal, kModeOutin, kAccessKeyed);
        ASSERT_NE(u, nullptr);
        // Each statement puts the data file on the disk (the key file held alone keeps its
        // changes back: the journal and the data file make them again), and so does the close.
        int last = syncs();
        auto flushed = [&] {
            const int now = syncs();
            const bool some = now > last;
            last = now;
            return some;
        };
        ASSERT_EQ(put(u, "AA1"), 0);
        EXPECT_EQ(flushed(), on);
        ASSERT_EQ(rewrite(u, "AA2", 1), 0);
        EXPECT_EQ(flushed(), on);
        ASSERT_EQ(deleteRecord(*u, 1, RecordOptions{}), 0);
        EXPECT_EQ(flushed(), on);
        ASSERT_EQ(closeFile(fb_, u), 0);
        EXPECT_EQ(flushed(), on);
        EXPECT_EQ(syncs() - before == 0, !on);
        // A failed flush is the statement's error.
        if (on) {
            u = openOk(1, "NAME=" + dir_ + "/k.int,KFNAME=" + dir_ + "/k.key", kFileInternal,
                       kModeOutin, kAccessKeyed);
            faults.failNth(platform::Call::kSync, 1, EIO);
            EXPECT_NE(put(u, "BB1"), 0);
            ASSERT_EQ(closeFile(fb_, u), 0);
        }
    }
    ASSERT_EQ(processConfigStatement("SYNC OFF"), 0);
    EXPECT_NE(processConfigStatement("SYNC MAYBE"), 0);
}

TEST_F(DataFileTest, APartialLastSlotIsReportedNotRead) {
    makeFile({"P1", "P2"});
    test::writeFile(path_, bytes() + "\x20junk");  // half a third slot
    for (int access : {kAccessSequential, kAccessRelative}) {
        Ufcb* u = openOk(1, name(), kFileInternal, kModeInput, access);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(get(u, ReadHow::kLast), kErrPartialRecord);
        ASSERT_EQ(get(u, ReadHow::kNext), 0);
        EXPECT_EQ(current(u), "P1");
        ASSERT_EQ(get(u, ReadHow::kNext), 0);
        EXPECT_EQ(current(u), "P2");
        const int tail = get(u, ReadHow::kNext);
        EXPECT_TRUE(tail == kErrPartialRecord || tail == kErrEndOfRecords) << tail;
        EXPECT_EQ(get(u, ReadHow::kRecord, 3), kErrPartialRecord);
        int64_t lrec = -1;
        ASSERT_EQ(lastRecordNumber(*u, lrec), 0);
        EXPECT_EQ(lrec, 2);
        ASSERT_EQ(closeFile(fb_, u), 0);
    }
}

// A killed copy's append cut short: the next append, by a copy holding the file alone or
// sharing it, writes its slot whole where the torn one began.
TEST_F(DataFileTest, AnAppendAfterATornOneWritesWhole) {
    for (const char* share : {"", ",SHR"}) {
        SCOPED_TRACE(share);
        makeFile({"T1", "T2"});
        test::writeFile(path_, bytes() + "\x20junk");
        Ufcb* u = openOk(1, name() + share, kFileInternal, kModeOutin, kAccessRelative);
        ASSERT_NE(u, nullptr);
        ASSERT_EQ(put(u, "T3"), 0);
        int64_t lrec = -1;
        ASSERT_EQ(lastRecordNumber(*u, lrec), 0);
        EXPECT_EQ(lrec, 3);
        ASSERT_EQ(get(u, ReadHow::kRecord, 3), 0);
        EXPECT_EQ(current(u), "T3");
        EXPECT_EQ(get(u, ReadHow::kLast), 0);
        const size_t header = static_cast<size_t>(u->uffcb->headerLength);
        ASSERT_EQ(closeFile(fb_, u), 0);
        EXPECT_EQ(bytes().size(), header + 3 * 11);
    }
}

// ---- writes ----

TEST_F(DataFileTest, WritesByRecordNumber) {
    makeFile({"W1", "W2", "W3"});
    Ufcb* u = openOk(1, name(), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(put(u, "W5", 5), kErrNoRecord);  // beyond the end plus one
    EXPECT_EQ(put(u, "W4", 4), 0);             // just past the end: appended
    EXPECT_EQ(put(u, "XX", 2), kErrDuplicateRecord);
    ASSERT_EQ(deleteRecord(*u, 2, RecordOptions{}), 0);
    EXPECT_EQ(put(u, "NEW2", 2), 0);  // a deleted slot takes a new record
    EXPECT_EQ(put(u, "W5"), 0);       // no number: appended
    int64_t lrec = 0;
    ASSERT_EQ(lastRecordNumber(*u, lrec), 0);
    EXPECT_EQ(lrec, 5);
    ASSERT_EQ(closeFile(fb_, u), 0);
    EXPECT_EQ(bytes(), headerBytes(5, 0, 10, 22) + slot(' ', "W1", 10) +
                           slot(' ', "NEW2", 10) + slot(' ', "W3", 10) +
                           slot(' ', "W4", 10) + slot(' ', "W5", 10));
}

TEST_F(DataFileTest, AStaleHeaderCountNeverMakesAnAppendOverwriteOrLeaveAHole) {
    // A copy that stopped before its close left counts of 2 and of 9 behind for 4 records.
    for (uint32_t stale : {2u, 9u}) {
        test::writeFile(path_, headerBytes(stale, 0, 10, 22) + slot(' ', "A", 10) +
                                   slot(' ', "B", 10) + slot(' ', "C", 10) + slot(' ', "D", 10));
        Ufcb* u = openOk(1, name(), kFileInternal, kModeOutput);
        ASSERT_NE(u, nullptr);
        ASSERT_EQ(put(u, "E"), 0);
        ASSERT_EQ(closeFile(fb_, u), 0);
        EXPECT_EQ(bytes(), headerBytes(5, 0, 10, 22) + slot(' ', "A", 10) + slot(' ', "B", 10) +
                               slot(' ', "C", 10) + slot(' ', "D", 10) + slot(' ', "E", 10))
            << "stale count " << stale;
    }
}

TEST_F(DataFileTest, NullRecordsAreRefusedWhenTheOptionIsOn) {
    const bool was = nullRecordCheck();
    setOption(99, true);
    makeFile({"N1"});
    Ufcb* u = openOk(1, name(), kFileInternal, kModeOutin, kAccessRelative);
    std::string null(8, '\0');
    null += "text";
    EXPECT_EQ(put(u, null), kErrNullWrite);
    EXPECT_EQ(put(u, null, 2), kErrNullWrite);
    EXPECT_EQ(put(u, std::string(7, '\0') + "x"), 0);  // seven zeros are not a null record
    ASSERT_EQ(closeFile(fb_, u), 0);
    setOption(98, true);
    EXPECT_FALSE(nullRecordCheck());
    makeFile({null});  // allowed with the check off
    setOption(99, was);
    EXPECT_EQ(nullRecordCheck(), was);
}

// ---- the read-ahead and write-behind buffers ----

TEST_F(DataFileTest, SequentialReadsAcrossManyBuffersReturnEveryRecord) {
    constexpr uint32_t kCount = 5000, kRecl = 64;
    Ufcb* w = openOk(1, name("RECL=64,REPLACE"), kFileInternal, kModeOutput);
    ASSERT_NE(w, nullptr);
    for (uint32_t i = 1; i <= kCount; ++i) ASSERT_EQ(put(w, numbered(i, kRecl)), 0) << i;
    ASSERT_EQ(closeFile(fb_, w), 0);
    EXPECT_EQ(bytes().size(), 65u + kCount * 65u);

    Ufcb* u = openOk(1, name(), kFileInternal, kModeInput);
    ASSERT_NE(u, nullptr);
    for (uint32_t i = 1; i <= 2000; ++i) {
        ASSERT_EQ(get(u, ReadHow::kNext), 0) << i;
        ASSERT_EQ(current(u), numbered(i, kRecl)) << i;
    }
    // A read by number in between moves the sequence on from there.
    ASSERT_EQ(get(u, ReadHow::kRecord, 4000), 0);
    EXPECT_EQ(current(u), numbered(4000, kRecl));
    ASSERT_EQ(get(u, ReadHow::kNext), 0);
    EXPECT_EQ(current(u), numbered(4001, kRecl));
    ASSERT_EQ(get(u, ReadHow::kRecord, 7), 0);
    EXPECT_EQ(current(u), numbered(7, kRecl));
    ASSERT_EQ(restoreFile(*u, 2001), 0);
    for (uint32_t i = 2001; i <= kCount; ++i) {
        ASSERT_EQ(get(u, ReadHow::kNext), 0) << i;
        ASSERT_EQ(current(u), numbered(i, kRecl)) << i;
    }
    EXPECT_EQ(get(u, ReadHow::kNext), kErrEndOfRecords);
    // Backwards through buffer boundaries too.
    for (uint32_t i = kCount - 1; i >= kCount - 1700; --i) {
        ASSERT_EQ(get(u, ReadHow::kPrevious), 0) << i;
        ASSERT_EQ(current(u), numbered(i, kRecl)) << i;
    }
    ASSERT_EQ(closeFile(fb_, u), 0);
}

TEST_F(DataFileTest, ReadAheadSeesWritesThroughAnotherNumber) {
    std::vector<std::string> records;
    for (uint32_t i = 1; i <= 100; ++i) records.push_back("REC" + std::to_string(i));
    makeFile(records);
    // Output first: a file this process opened for input only takes no output number.
    Ufcb* out = openOk(2, name("SHR"), kFileInternal, kModeOutin, kAccessRelative);
    Ufcb* in = openOk(1, name("SHR"), kFileInternal, kModeInput);
    Ufcb* other = nullptr;
    EXPECT_EQ(open(3, name("SHR"), kFileInternal, kModeInput, kAccessSequential, other), 0);
    EXPECT_EQ(closeFile(fb_, other), 0);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(get(in, ReadHow::kNext), 0);  // fills the read-ahead with all 100
    EXPECT_EQ(current(in), "REC1");
    ASSERT_EQ(rewrite(out, "CHANGED2", 2), 0);
    ASSERT_EQ(deleteRecord(*out, 3, RecordOptions{}), 0);
    ASSERT_EQ(get(in, ReadHow::kNext), 0);
    EXPECT_EQ(current(in), "CHANGED2");
    ASSERT_EQ(get(in, ReadHow::kNext), 0);
    EXPECT_EQ(current(in), "REC4");  // 3 was deleted after the buffer was filled
    ASSERT_EQ(restoreFile(*in, 100), 0);
    ASSERT_EQ(get(in, ReadHow::kNext), 0);
    EXPECT_EQ(current(in), "REC100");
    ASSERT_EQ(put(out, "REC101"), 0);  // appended after the buffer's end
    ASSERT_EQ(get(in, ReadHow::kNext), 0);
    EXPECT_EQ(current(in), "REC101");
    EXPECT_EQ(get(in, ReadHow::kNext), kErrEndOfRecords);
    EXPECT_EQ(closeFile(fb_, in), 0);
    EXPECT_EQ(closeFile(fb_, out), 0);
}

TEST_F(DataFileTest, ReadsByNumberAndRereadsSeeWhatAnotherCopyRewrote) {
    std::vector<std::string> records;
    for (uint32_t i = 1; i <= 10; ++i) records.push_back("REC" + std::to_string(i));
    makeFile(records);
    Ufcb* in = openOk(1, name("SHR"), kFileInternal, kModeInput);
    ASSERT_NE(in, nullptr);
    FileBlocks copy;
    Ufcb* out = openCopy(copy, name("SHR"), kModeOutin, kAccessRelative);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(get(in, ReadHow::kNext), 0);  // the read-ahead holds all ten
    ASSERT_EQ(rewrite(out, "NEW1", 1), 0);
    ASSERT_EQ(rewrite(out, "NEW5", 5), 0);
    ASSERT_EQ(get(in, ReadHow::kAgain), 0);
    EXPECT_EQ(current(in), "NEW1");
    ASSERT_EQ(get(in, ReadHow::kRecord, 5), 0);
    EXPECT_EQ(current(in), "NEW5");
    ASSERT_EQ(get(in, ReadHow::kNext), 0);  // in sequence the buffer serves
    EXPECT_EQ(current(in), "REC6");
    EXPECT_EQ(closeFilesAtEnd(copy, true), 0);
}

TEST_F(DataFileTest, PendingAppendsCountAndReachTheFileAtClose) {
    Ufcb* w = openOk(1, name("RECL=10,REPLACE"), kFileInternal, kModeOutput);
    ASSERT_NE(w, nullptr);
    for (int i = 1; i <= 500; ++i) ASSERT_EQ(put(w, "B" + std::to_string(i)), 0);
    EXPECT_EQ(bytes().size(), 22u);  // still in the buffer
    int64_t lrec = 0;
    ASSERT_EQ(lastRecordNumber(*w, lrec), 0);
    EXPECT_EQ(lrec, 500);
    for (int i = 501; i <= 700; ++i) ASSERT_EQ(put(w, "B" + std::to_string(i)), 0);
    ASSERT_EQ(lastRecordNumber(*w, lrec), 0);
    EXPECT_EQ(lrec, 700);
    int64_t size = 0;
    ASSERT_EQ(dataFileSize(*w, size), 0);
    EXPECT_EQ(size, 22 + 700 * 11);
    for (int i = 701; i <= 750; ++i) ASSERT_EQ(put(w, "B" + std::to_string(i)), 0);
    ASSERT_EQ(closeFile(fb_, w), 0);
    const std::string b = bytes();
    ASSERT_EQ(b.size(), 22u + 750u * 11u);
    EXPECT_EQ(b.substr(0, 22), headerBytes(750, 0, 10, 22));
    EXPECT_EQ(b.substr(22 + 749 * 11), slot(' ', "B750", 10));
}

// ---- EXTERNAL and DISPLAY files ----

TEST_F(DataFileTest, ExternalRecordsAndAShortLastOne) {
    Ufcb* w = openOk(1, name("RECL=4,REPLACE"), kFileExternal, kModeOutin, kAccessRelative);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(put(w, "ABCD"), 0);
    ASSERT_EQ(put(w, "EF"), 0);
    EXPECT_EQ(put(w, "GH", 1), kErrDuplicateRecord);
    ASSERT_EQ(closeFile(fb_, w), 0);
    EXPECT_EQ(bytes(), "ABCDEF  ");  // no header, blank-padded records
    test::writeFile(path_, "ABCDEF  XY");
    Ufcb* u = openOk(1, name("RECL=4"), kFileExternal, kModeInput, kAccessRelative);
    ASSERT_NE(u, nullptr);
    int64_t lrec = 0;
    ASSERT_EQ(lastRecordNumber(*u, lrec), 0);
    EXPECT_EQ(lrec, 2);
    ASSERT_EQ(get(u, ReadHow::kLast), 0);  // the short record, padded with zeros
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(u->record.data()), u->recordLength),
              std::string("XY\0\0", 4));
    ASSERT_EQ(get(u, ReadHow::kRecord, 2), 0);
    EXPECT_EQ(current(u), "EF");
    EXPECT_EQ(get(u, ReadHow::kRecord, 4), kErrNoRecord);
    ASSERT_EQ(closeFile(fb_, u), 0);
}

// The records of an EXTERNAL file that exists are counted when it is opened, its short last
// record among them (appends go after it); RLN counts them again in the new length.
TEST_F(DataFileTest, ExternalRecordsAreCountedAtOpenAndAgainInANewLength) {
    test::writeFile(path_, "ABCDEFGHXY");
    Ufcb* u = openOk(1, name("RECL=4"), kFileExternal, kModeOutput);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(put(u, "ZZZZ", 3), kErrDuplicateRecord);
    ASSERT_EQ(put(u, "IJKL"), 0);
    EXPECT_EQ(u->position, 4u);
    EXPECT_EQ(bytes(), std::string("ABCDEFGHXY\0\0IJKL", 16));
    ASSERT_EQ(setRecordLength(*u, 6), 0);  // 16 bytes: two records of 6 and a short third
    ASSERT_EQ(put(u, "MNOPQR"), 0);
    EXPECT_EQ(u->position, 4u);
    EXPECT_EQ(bytes().substr(16), std::string("\0\0MNOPQR", 8));
    ASSERT_EQ(closeFile(fb_, u), 0);
}

TEST_F(DataFileTest, DisplayLinesOfRecordLengthAndLonger) {
    for (const char* eol : {"CRLF", "LF"}) {
        SCOPED_TRACE(eol);
        Ufcb* w = openOk(1, name("RECL=5,REPLACE,EOL=" + std::string(eol)), kFileDisplay,
                         kModeOutput);
        ASSERT_NE(w, nullptr);
        for (const char* line : {"12345", "", "1234", "HELLOWORLD!", "X"})
            ASSERT_EQ(writeTextLine(*w, line), 0);
        ASSERT_EQ(closeFile(fb_, w), 0);
        const std::string end = std::string(eol) == "LF" ? "\n" : "\r\n";
        EXPECT_EQ(bytes(), "12345" + end + end + "1234" + end + "HELLOWORLD!" + end + "X" + end);

        Ufcb* u = openOk(1, name("RECL=5"), kFileDisplay, kModeInput);
        ASSERT_NE(u, nullptr);
        std::vector<std::string> lines;
        std::string line;
        while (readTextLine(*u, line) == 0) lines.push_back(line);
        // A line of exactly RECL bytes is one record; a longer one goes on as the next.
        EXPECT_EQ(lines, (std::vector<std::string>{"12345", "", "1234", "HELLO", "WORLD", "!",
                                                   "X"}));
        ASSERT_EQ(closeFile(fb_, u), 0);
    }
    // Full-length lines across the boundaries of the read buffer.
    Ufcb* w = openOk(1, name("RECL=5,REPLACE"), kFileDisplay, kModeOutput);
    ASSERT_NE(w, nullptr);
    // A first line of 5 bytes puts a CR as the last byte of the first 16384-byte read.
    ASSERT_EQ(writeTextLine(*w, "123"), 0);
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(writeTextLine(*w, "12345"), 0);
    ASSERT_EQ(closeFile(fb_, w), 0);
    Ufcb* u = openOk(1, name("RECL=5"), kFileDisplay, kModeInput);
    ASSERT_NE(u, nullptr);
    std::string line;
    ASSERT_EQ(readTextLine(*u, line), 0);
    EXPECT_EQ(line, "123");
    int count = 0;
    while (readTextLine(*u, line) == 0) {
        ASSERT_EQ(line, "12345") << count;
        ++count;
    }
    EXPECT_EQ(count, 4000);
}

// ---- OPEN ----

TEST_F(DataFileTest, OpenChecksReportTheirErrors) {
    Ufcb* u = nullptr;
    EXPECT_EQ(open(200, name("RECL=10,REPLACE"), kFileInternal, kModeOutput, 0, u),
              kErrFileNumber);
    EXPECT_EQ(open(1000, name("RECL=10,REPLACE"), kFileInternal, kModeOutput, 0, u),
              kErrFileNumber);
    EXPECT_EQ(fileOfNumber(fb_, 5, u), kErrFileNotOpen);
    EXPECT_EQ(fileOfNumber(fb_, 200, u), kErrFileNumber);
    EXPECT_EQ(open(1, name(), kFileDisplay, kModeOutin, 0, u), kErrDisplayOutin);
    EXPECT_EQ(open(1, name("KFNAME=" + dir_ + "/k"), kFileInternal, kModeInput, 0, u),
              kErrKeyFileAccess);
    EXPECT_EQ(open(1, name(), kFileInternal, kModeInput, kAccessKeyed, u), kErrKeyFileAccess);
    EXPECT_EQ(open(1, name("RECL=10,NEW"), kFileInternal, kModeInput, 0, u), kErrWrongMode);
    EXPECT_EQ(open(1, "OBJECT=" + path_, kFileInternal, kModeInput, 0, u), kErrWrongFileType);
    EXPECT_EQ(open(1, name("SHR,REPLACE"), kFileDisplay, kModeOutput, 0, u), kErrSharedDisplay);
    EXPECT_EQ(open(1, name("REPLACE"), kFileExternal, kModeOutput, 0, u), kErrOpenSyntax);
    EXPECT_EQ(open(1, name(), kFileInternal, kModeInput, 0, u), kErrFileNotFound);
    EXPECT_EQ(open(1, name("RECL=10"), kFileInternal, kModeOutput, 0, u), kErrFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(path_));
    EXPECT_EQ(fb_.find(1), nullptr);

    makeFile({"E1"});
    const std::string before = bytes();
    EXPECT_EQ(open(1, name("RECL=10,NEW"), kFileInternal, kModeOutput, 0, u), kErrFileExists);
    EXPECT_EQ(bytes(), before);
    u = openOk(1, name(), kFileInternal, kModeInput);
    Ufcb* again = nullptr;
    EXPECT_EQ(open(1, name(), kFileInternal, kModeInput, 0, again), kErrFileOpen);
    EXPECT_EQ(fb_.find(1), u);
    EXPECT_EQ(closeFile(fb_, u), 0);
}

TEST_F(DataFileTest, OpeningAFileThatIsNoInternalFileLeavesItAlone) {
    const std::string garbage = "this is plain text, not a data file at all\n";
    test::writeFile(path_, garbage);
    for (int mode : {kModeInput, kModeOutin, kModeOutput}) {
        Ufcb* u = nullptr;
        EXPECT_EQ(open(1, name(), kFileInternal, mode, kAccessSequential, u),
                  kErrWrongFileType)
            << mode;
        EXPECT_EQ(fb_.find(1), nullptr);
        EXPECT_EQ(bytes(), garbage) << mode;
    }
    // A RECL= that differs from the file's is refused without touching it either.
    makeFile({"L1", "L2"});
    const std::string before = bytes();
    for (int mode : {kModeOutin, kModeOutput}) {
        Ufcb* u = nullptr;
        EXPECT_EQ(open(1, name("RECL=20,USE"), kFileInternal, mode, kAccessRelative, u),
                  kErrRecordLength)
            << mode;
        EXPECT_EQ(fb_.find(1), nullptr);
        EXPECT_EQ(bytes(), before) << mode;
    }
}

// ---- sharing within the process, FREE and DROP ----

TEST_F(DataFileTest, WhenTheFirstNumberClosesAWritingOneLeadsTheFile) {
    makeFile({"S1"});
    Ufcb* a = openOk(1, name("SHR"), kFileInternal, kModeOutin, kAccessRelative);
    Ufcb* b = openOk(2, name("SHR"), kFileInternal, kModeInput, kAccessRelative);
    Ufcb* c = openOk(3, name("SHR"), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(b->lockingActive, 1) << "the first number writes shared: reads lock";
    ASSERT_EQ(closeFile(fb_, a), 0);
    EXPECT_EQ(c->uffcb->firstUfcb, c);
    // A number opened now still finds the file led by a writer: its reads lock records.
    Ufcb* d = openOk(4, name("SHR"), kFileInternal, kModeInput, kAccessRelative);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->lockingActive, 1);
}

TEST_F(DataFileTest, ShareClassesOfTwoNumbersOnOneFile) {
    makeFile({"S1"});
    Ufcb* a = openOk(1, name("SHR"), kFileInternal, kModeOutin, kAccessRelative);
    Ufcb* b = nullptr;
    EXPECT_EQ(open(2, name("SHRI"), kFileInternal, kModeInput, 0, b), kErrSharing);
    EXPECT_EQ(fb_.find(2), nullptr);
    EXPECT_EQ(open(2, name(), kFileInternal, kModeInput, 0, b), kErrSharing);  // NOSHR
    ASSERT_EQ(closeFile(fb_, a), 0);

    a = openOk(1, name("SHRI"), kFileInternal, kModeInput);
    b = openOk(2, name("SHR"), kFileInternal, kModeInput);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->uffcb, b->uffcb);
    EXPECT_EQ(a->uffcb->openCount, 2);
    ASSERT_EQ(get(b, ReadHow::kNext), 0);
    EXPECT_EQ(current(b), "S1");
    // FREE and DROP of a shared number are refused before anything is closed.
    const std::string before = bytes();
    EXPECT_EQ(closeFile(fb_, a, kCloseFree), kErrSharing);
    EXPECT_EQ(fb_.find(1), a);
    EXPECT_EQ(closeFile(fb_, b, kCloseDrop), kErrSharing);
    EXPECT_EQ(fb_.find(2), b);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(closeFile(fb_, a), 0);
    EXPECT_EQ(closeFile(fb_, b), 0);
    EXPECT_EQ(bytes(), before);
}

TEST_F(DataFileTest, FreeDeletesAndDropEmptiesALoneFile) {
    makeFile({"F1", "F2"});
    Ufcb* u = openOk(1, name(), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_EQ(closeFile(fb_, u, kCloseDrop), 0);
    EXPECT_EQ(fb_.find(1), nullptr);
    EXPECT_EQ(bytes(), headerBytes(0, 0, 10, 22));
    u = openOk(1, name(), kFileInternal, kModeOutin, kAccessRelative);
    int64_t lrec = -1;
    ASSERT_EQ(lastRecordNumber(*u, lrec), 0);
    EXPECT_EQ(lrec, 0);
    EXPECT_EQ(get(u, ReadHow::kNext), kErrEndOfRecords);
    ASSERT_EQ(put(u, "AFTER"), 0);
    ASSERT_EQ(closeFile(fb_, u), 0);
    EXPECT_EQ(bytes(), headerBytes(1, 0, 10, 22) + slot(' ', "AFTER", 10));

    u = openOk(1, name(), kFileInternal, kModeInput);
    ASSERT_EQ(closeFile(fb_, u, kCloseFree), 0);
    EXPECT_FALSE(std::filesystem::exists(path_));
    EXPECT_EQ(fb_.find(1), nullptr);
}

TEST_F(DataFileTest, DropOfAnInputNumberKeepsTheHeader) {
    makeFile({"I1", "I2"});
    Ufcb* u = openOk(1, name(), kFileInternal, kModeInput);
    (void)closeFile(fb_, u, kCloseDrop);
    EXPECT_EQ(fb_.find(1), nullptr);
    // Whatever DROP did, the file is still an INTERNAL file that opens.
    const std::string b = bytes();
    ASSERT_GE(b.size(), 22u);
    EXPECT_EQ(b.substr(8, 5), headerBytes(0, 0, 10, 22).substr(8, 5));
    u = openOk(1, name(), kFileInternal, kModeInput);
    EXPECT_NE(u, nullptr);
}

// ---- failed writes ----

// The records a closed file of RECL 64 holds, checked against numbered().
void expectWholeFile(const std::string& b, uint32_t count) {
    ASSERT_EQ(b.size(), 65u + count * 65u);
    EXPECT_EQ(b.substr(0, 65), headerBytes(count, 0, 64, 65));
    for (uint32_t i = 1; i <= count; ++i)
        ASSERT_EQ(b.substr(65 * i, 65), slot(' ', numbered(i, 64), 64)) << i;
}

TEST_F(DataFileTest, AFailedFlushKeepsTheRecordsBeforeIt) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    Ufcb* w = openOk(1, name("RECL=64,REPLACE"), kFileInternal, kModeOutput);
    ASSERT_NE(w, nullptr);
    const uint32_t perBuffer = 102400 / 65;
    // The second flush fails after the first batch reached the disk.
    faults.failNth(platform::Call::kWriteAt, 2, ENOSPC);
    uint32_t failedAt = 0;
    for (uint32_t i = 1; i <= 3 * perBuffer; ++i) {
        if (put(w, numbered(i, 64)) != 0) {
            failedAt = i;
            break;
        }
    }
    EXPECT_EQ(failedAt, 2 * perBuffer);
    EXPECT_EQ(faults.failures(platform::Call::kWriteAt), 1);
    int64_t lrec = 0;
    ASSERT_EQ(lastRecordNumber(*w, lrec), 0);
    EXPECT_EQ(lrec, perBuffer);
    EXPECT_EQ(closeFile(fb_, w), 0);
    expectWholeFile(bytes(), perBuffer);
}

TEST_F(DataFileTest, AFailedFlushAtCloseKeepsTheRecordsBeforeIt) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    Ufcb* w = openOk(1, name("RECL=64,REPLACE"), kFileInternal, kModeOutput);
    ASSERT_NE(w, nullptr);
    const uint32_t perBuffer = 102400 / 65;
    for (uint32_t i = 1; i <= perBuffer + 10; ++i) ASSERT_EQ(put(w, numbered(i, 64)), 0);
    faults.failNth(platform::Call::kWriteAt, 1, ENOSPC);  // the flush of the last 10
    EXPECT_NE(closeFile(fb_, w), 0);
    EXPECT_EQ(fb_.find(1), nullptr);
    expectWholeFile(bytes(), perBuffer);
}

TEST_F(DataFileTest, AFailedRelativeWriteKeepsTheRecordsBeforeIt) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    Ufcb* w = openOk(1, name("RECL=64,REPLACE"), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_NE(w, nullptr);
    for (uint32_t i = 1; i <= 10; ++i) ASSERT_EQ(put(w, numbered(i, 64)), 0);
    faults.failNth(platform::Call::kWriteAt, 1, ENOSPC);
    EXPECT_NE(put(w, numbered(11, 64)), 0);
    int64_t lrec = 0;
    ASSERT_EQ(lastRecordNumber(*w, lrec), 0);
    EXPECT_EQ(lrec, 10);
    // A write cut short half way leaves no partial slot behind.
    faults.limitTransfers(20);
    faults.failNth(platform::Call::kWriteAt, 2, ENOSPC);
    EXPECT_NE(put(w, numbered(11, 64)), 0);
    faults.reset();
    ASSERT_EQ(get(w, ReadHow::kLast), 0);
    EXPECT_EQ(current(w), numbered(10, 64));
    EXPECT_EQ(closeFile(fb_, w), 0);
    expectWholeFile(bytes(), 10);
}

TEST_F(DataFileTest, AFailedWriteIntoADeletedSlotLeavesItDeleted) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    Ufcb* w = openOk(1, name("RECL=64,REPLACE"), kFileInternal, kModeOutin, kAccessRelative);
    ASSERT_NE(w, nullptr);
    for (uint32_t i = 1; i <= 10; ++i) ASSERT_EQ(put(w, numbered(i, 64)), 0);
    ASSERT_EQ(deleteRecord(*w, 5, RecordOptions{}), 0);
    faults.limitTransfers(20);
    faults.failNth(platform::Call::kWriteAt, 2, ENOSPC);
    EXPECT_NE(put(w, "NEW FIVE", 5), 0);
    faults.reset();
    EXPECT_EQ(get(w, ReadHow::kRecord, 5), kErrNoRecord);
    ASSERT_EQ(get(w, ReadHow::kRecord, 6), 0);
    EXPECT_EQ(current(w), numbered(6, 64));
    ASSERT_EQ(put(w, "NEW FIVE", 5), 0);
    ASSERT_EQ(get(w, ReadHow::kRecord, 5), 0);
    EXPECT_EQ(current(w), "NEW FIVE");
    EXPECT_EQ(closeFile(fb_, w), 0);
    EXPECT_EQ(bytes().size(), 65u + 10u * 65u);
}

// ---- LINKED files ----

class LinkedFileTest : public DataFileTest {
  protected:
    // A chain of five records, "L1" to "L5", in record order.
    void makeChain() {
        Ufcb* u = openOk(1, name("RECL=12,REPLACE,LINKED"), kFileInternal, kModeOutput);
        ASSERT_NE(u, nullptr);
        for (int i = 1; i <= 5; ++i) ASSERT_EQ(put(u, "........L" + std::to_string(i)), 0);
        ASSERT_EQ(closeFile(fb_, u), 0);
    }
    // Sets the previous (`which` 0) or next (1) link of record n.
    void setLink(uint32_t n, int which, uint32_t to) {
        std::string b = bytes();
        const auto byte = [&](size_t i) { return size_t{static_cast<uint8_t>(b[i])}; };
        const size_t header = byte(11) | byte(12) << 8;
        const size_t at = header + (n - 1) * 13 + 1 + 4 * static_cast<size_t>(which);
        for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<char>(to >> (24 - 8 * i));
        test::writeFile(path_, b);
    }
    // Reads along the chain (`first` then `then` until an error, at most 40 records): the
    // records read, then the error that ended the walk.
    std::string walk(ReadHow first, ReadHow then, uint32_t from = 0) {
        Ufcb* u = openOk(1, name("LINKED"), kFileInternal, kModeInput);
        if (!u) return "not open";
        std::string seen;
        int err = get(u, first, from);
        for (int i = 0; !err && i < 40; ++i) {
            seen += current(u).substr(8);
            err = get(u, then);
        }
        EXPECT_EQ(closeFile(fb_, u), 0);
        return seen + " " + std::to_string(err);
    }
};

TEST_F(LinkedFileTest, AnIntactChainIsReadBothWaysFromAnyRecord) {
    makeChain();
    EXPECT_EQ(walk(ReadHow::kNext, ReadHow::kNext), "L1L2L3L4L5 4270");
    EXPECT_EQ(walk(ReadHow::kLast, ReadHow::kPrevious), "L5L4L3L2L1 4270");
    EXPECT_EQ(walk(ReadHow::kRecord, ReadHow::kNext, 2), "L2L3L4L5 4270");
    EXPECT_EQ(walk(ReadHow::kRecord, ReadHow::kPrevious, 4), "L4L3L2L1 4270");
    // Back and forth along the chain, far more steps than it has records.
    Ufcb* u = openOk(1, name("LINKED"), kFileInternal, kModeInput);
    ASSERT_NE(u, nullptr);
    ASSERT_EQ(get(u, ReadHow::kNext), 0);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(get(u, ReadHow::kNext), 0) << i;
        ASSERT_EQ(get(u, ReadHow::kPrevious), 0) << i;
        ASSERT_EQ(get(u, ReadHow::kAgain), 0) << i;
    }
    EXPECT_EQ(current(u).substr(8), "L1");
    ASSERT_EQ(closeFile(fb_, u), 0);
}

TEST_F(LinkedFileTest, LinksRoundALoopOrPastTheEndAreADamagedChain) {
    makeChain();
    setLink(5, 1, 2);  // the last record leads back into the chain
    EXPECT_EQ(walk(ReadHow::kNext, ReadHow::kNext), "L1L2L3L4L5 4283");
    setLink(5, 1, 0);
    setLink(1, 0, 4);  // and the first one back to the fourth
    EXPECT_EQ(walk(ReadHow::kLast, ReadHow::kPrevious), "L5L4L3L2L1 4283");
    setLink(1, 0, 0);
    setLink(3, 1, 3);  // a record that is its own next: a few steps, then the damage
    EXPECT_EQ(walk(ReadHow::kNext, ReadHow::kNext), "L1L2L3L3L3 4283");
    setLink(3, 1, 9);  // past the last record
    EXPECT_EQ(walk(ReadHow::kNext, ReadHow::kNext), "L1L2L3 4283");
    setLink(3, 1, 4);
    setLink(3, 0, 7);
    EXPECT_EQ(walk(ReadHow::kLast, ReadHow::kPrevious), "L5L4L3 4283");
}

// A queue: one number takes the first record and deletes it while another appends, reusing
// the deleted slot, so the walk meets more records than the file has without any damage.
TEST_F(LinkedFileTest, AWalkThatDeletesAsItGoesMayMeetSlotsAgain) {
    makeChain();
    Ufcb* take = openOk(1, name("SHR,LINKED"), kFileInternal, kModeOutin);
    Ufcb* add = openOk(2, name("SHR,LINKED"), kFileInternal, kModeOutin);
    ASSERT_NE(take, nullptr);
    ASSERT_NE(add, nullptr);
    std::string seen;
    for (int i = 1; i <= 20; ++i) {
        ASSERT_EQ(get(take, ReadHow::kNext), 0) << i;
        seen += current(take).substr(8) + " ";
        ASSERT_EQ(deleteRecord(*take, 0, RecordOptions{}), 0) << i;
        ASSERT_EQ(put(add, "........N" + std::to_string(i)), 0) << i;
    }
    EXPECT_EQ(seen, "L1 L2 L3 L4 L5 N1 N2 N3 N4 N5 N6 N7 N8 N9 N10 N11 N12 N13 N14 N15 ");
    int64_t lrec = 0;
    ASSERT_EQ(lastRecordNumber(*take, lrec), 0);
    EXPECT_EQ(lrec, 5);
}

// The bound of the walk is the file's records as they are: another copy may append meanwhile.
TEST_F(LinkedFileTest, AChainLongerThanTheRecordsAtOpenIsReadWhole) {
    Ufcb* w = openOk(1, name("RECL=12,REPLACE,LINKED"), kFileInternal, kModeOutput);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(put(w, "........L1"), 0);
    ASSERT_EQ(put(w, "........L2"), 0);
    ASSERT_EQ(closeFile(fb_, w), 0);
    Ufcb* u = openOk(1, name("SHR,LINKED"), kFileInternal, kModeInput);
    ASSERT_NE(u, nullptr);
    ASSERT_EQ(get(u, ReadHow::kNext), 0);
    FileBlocks copy;
    w = openCopy(copy, name("SHR,LINKED"), kModeOutput);
    ASSERT_NE(w, nullptr);
    for (int i = 3; i <= 9; ++i) ASSERT_EQ(put(w, "........L" + std::to_string(i)), 0);
    std::string seen;
    int err = 0;
    while ((err = get(u, ReadHow::kNext)) == 0) seen += current(u).substr(8);
    EXPECT_EQ(seen, "L2L3L4L5L6L7L8L9");
    EXPECT_EQ(err, kErrEndOfRecords);
    EXPECT_EQ(closeFilesAtEnd(copy, true), 0);
}

}  // namespace
}  // namespace vxs
