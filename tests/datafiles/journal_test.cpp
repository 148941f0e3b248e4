// The journal's stored format: its header and each kind of entry to the byte, the checksum, and
// reading that stops at the first entry that is torn, damaged or out of sequence; a journal
// file of this copy made, written and removed, and a dead copy's journal finished by another.
#include "vxs/datafiles/journal.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// A scratch directory of the test, removed with it.
class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/vxjournal-XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

JournalFile file(uint64_t device, uint64_t inode, const std::string& path) {
    return JournalFile{device, inode, path};
}

TEST(JournalFormat, Crc32cOfTheStandardCheckString) {
    const std::string check = "123456789";
    EXPECT_EQ(crc32c(0, reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xE3069283u);
    // Continuing from a value gives the checksum of the whole.
    const uint32_t part = crc32c(0, reinterpret_cast<const uint8_t*>(check.data()), 4);
    EXPECT_EQ(crc32c(part, reinterpret_cast<const uint8_t*>(check.data()) + 4, 5), 0xE3069283u);
}

TEST(JournalFormat, HeaderToTheByte) {
    JournalHeader h;
    h.wsid = 7;
    h.session = 2;
    h.processId = 0x1234;
    h.boot = "boot";
    const std::string bytes = encodeJournalHeader(h);
    ASSERT_EQ(bytes.size(), kJournalHeaderBytes);
    EXPECT_EQ(hex(bytes.substr(0, 28)),
              "56584a524e4c0d0a"    // "VXJRNL" CR LF
              "0100"                // format 1
              "0700"                // workstation 7
              "02000000"            // session 2, zeros
              "3412000000000000"    // process 0x1234
              "626f6f74");          // "boot"
    EXPECT_EQ(bytes.substr(28, 32), std::string(32, '\0'));
    JournalHeader back;
    ASSERT_EQ(decodeJournalHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), back), 0);
    EXPECT_EQ(back.wsid, 7);
    EXPECT_EQ(back.session, 2);
    EXPECT_EQ(back.processId, 0x1234);
    EXPECT_EQ(back.boot, "boot");
    // Any byte changed is not a journal's header.
    for (size_t i : {size_t{0}, size_t{9}, size_t{30}, size_t{63}}) {
        std::string bad = bytes;
        bad[i] ^= 1;
        EXPECT_EQ(decodeJournalHeader(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), back),
                  kErrNotProgramFile)
            << i;
    }
}

TEST(JournalFormat, EntriesToTheByte) {
    JournalEntry s;
    s.kind = JournalKind::kStatement;
    s.sequence = 5;
    s.flags = kStatementShared;
    s.record = 3;
    s.slotOffset = 0x120;
    s.before = {' ', 'A'};
    s.after = {'D', 'A'};
    s.data = file(1, 2, "/d");
    s.keys = {file(1, 3, "/k")};
    const std::string st = encodeJournalEntry(s);
    EXPECT_EQ(hex(st.substr(0, st.size() - 4)),
              "58000000" "01000000" "0500000000000000"  // length 88, STATEMENT, sequence 5
              "07000000"                                // shared, before, after
              "03000000" "2001000000000000"             // record 3 at 0x120
              "02000000" "0100" "0000"                  // slots of 2 bytes, one key file
              "0100000000000000" "0200000000000000" "0200" "2f64"  // the data file
              "0100000000000000" "0300000000000000" "0200" "2f6b"  // the key file
              "2041" "4441");                           // the slot before and after
    JournalEntry k;
    k.kind = JournalKind::kKeyChange;
    k.sequence = 6;
    k.marker = 9;
    k.size = 1024;
    k.keys = {file(1, 3, "/k")};
    k.images = {PageImage{512, {1, 2}}};
    const std::string kc = encodeJournalEntry(k);
    EXPECT_EQ(hex(kc.substr(0, kc.size() - 4)),
              "46000000" "02000000" "0600000000000000"  // length 70, KEYCHANGE, sequence 6
              "09000000" "01000000" "0004000000000000"  // marker 9, one image, size 1024
              "0100000000000000" "0300000000000000" "0200" "2f6b"
              "0002000000000000" "02000000" "0102");    // 2 bytes at 512
    JournalEntry c;
    c.kind = JournalKind::kCheckpoint;
    c.sequence = 7;
    c.dataRecords = 40;
    c.size = 768;
    c.slotLength = 61;
    c.dataType = 4;
    c.keys = {file(1, 3, "/k")};
    c.data = file(1, 2, "/d");
    const std::string cp = encodeJournalEntry(c);
    EXPECT_EQ(hex(cp.substr(0, cp.size() - 4)),
              "54000000" "03000000" "0700000000000000"  // length 84, CHECKPOINT, sequence 7
              "28000000" "00000000" "0003000000000000"  // 40 records, no images, size 768
              "3d000000" "04000000"                     // slots of 61 bytes, INTERNAL
              "0100000000000000" "0300000000000000" "0200" "2f6b"
              "0100000000000000" "0200000000000000" "0200" "2f64");
    // The checksum closes each entry.
    for (const std::string& e : {st, kc, cp}) {
        uint32_t crc = 0;
        for (int i = 0; i < 4; ++i) crc |= uint32_t{static_cast<uint8_t>(e[e.size() - 4 + i])} << (8 * i);
        EXPECT_EQ(crc, crc32c(0, reinterpret_cast<const uint8_t*>(e.data()), e.size() - 4));
    }
}

// A journal of the header and three entries, with sequences from `first`.
std::string journal(uint64_t first) {
    JournalHeader h;
    std::string j = encodeJournalHeader(h);
    for (uint64_t i = 0; i < 3; ++i) {
        JournalEntry e;
        e.kind = JournalKind::kFlush;
        e.sequence = first + i;
        e.dataRecords = static_cast<uint32_t>(i);
        e.keys = {file(1, 3, "/k")};
        e.data = file(1, 2, "/d");
        e.images = {PageImage{512 + 256 * static_cast<int64_t>(i), std::vector<uint8_t>(8, static_cast<uint8_t>(i))}};
        j += encodeJournalEntry(e);
    }
    return j;
}

TEST(JournalFormat, ReadingStopsAtTheFirstEntryThatIsNotWhole) {
    std::vector<JournalEntry> out;
    const std::string j = journal(10);
    ASSERT_EQ(decodeJournal(reinterpret_cast<const uint8_t*>(j.data()), j.size(), out), 0);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].sequence, 12u);
    EXPECT_EQ(out[2].images[0].offset, 1024);
    EXPECT_EQ(out[2].images[0].bytes, std::vector<uint8_t>(8, 2));
    // Torn: the last entry cut short; damaged: a byte of the second changed.
    std::string torn = j.substr(0, j.size() - 3);
    ASSERT_EQ(decodeJournal(reinterpret_cast<const uint8_t*>(torn.data()), torn.size(), out), 0);
    EXPECT_EQ(out.size(), 2u);
    std::string damaged = j;
    damaged[kJournalHeaderBytes + (j.size() - kJournalHeaderBytes) / 3 + 30] ^= 0x40;
    ASSERT_EQ(decodeJournal(reinterpret_cast<const uint8_t*>(damaged.data()), damaged.size(), out), 0);
    EXPECT_EQ(out.size(), 1u);
    // A shorter run written over a longer one: the older entries after it are out of sequence.
    const std::string older = journal(1);
    std::string over = journal(20).substr(0, kJournalHeaderBytes + (j.size() - kJournalHeaderBytes) / 3);
    over += older.substr(over.size());
    ASSERT_EQ(decodeJournal(reinterpret_cast<const uint8_t*>(over.data()), over.size(), out), 0);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].sequence, 20u);
    // Not a journal at all.
    const std::string text = "not a journal, not at all, but long enough to have a header's room ...";
    EXPECT_EQ(decodeJournal(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out),
              kErrNotProgramFile);
}

TEST(JournalFile, MadeLockedAndRemovedWithTheLastUse) {
    TempDir dir;
    const std::string d = dir.path() + "/";
    Journal* j = nullptr;
    ASSERT_EQ(Journal::of(d, j), 0);
    Journal* again = nullptr;
    ASSERT_EQ(Journal::of(d, again), 0);
    EXPECT_EQ(j, again);  // one journal a directory
    ASSERT_TRUE(std::filesystem::exists(j->path()));
    JournalEntry e;
    e.kind = JournalKind::kCheckpoint;
    e.sequence = j->nextSequence();
    e.keys = {file(1, 3, "/k")};
    ASSERT_EQ(j->append(encodeJournalEntry(e)), 0);
    std::ifstream in(j->path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<JournalEntry> out;
    ASSERT_EQ(decodeJournal(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out), 0);
    ASSERT_EQ(out.size(), 1u);
    // The journal of a living copy is left alone by the recovery of the directory.
    int live = 0;
    const std::string path = j->path();
    EXPECT_EQ(recoverDirectory(d, live), 0);
    EXPECT_EQ(live, 0);  // this copy's own journal is not looked at
    closeJournal(d);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(JournalFile, ADeadCopysJournalIsFinishedAndRemoved) {
    TempDir dir;
    const std::string d = dir.path() + "/";
    // A journal left by a copy that died: its entries name a key file that is gone, so there is
    // nothing to finish, and the journal goes.
    JournalHeader h;
    std::string j = encodeJournalHeader(h);
    JournalEntry e;
    e.kind = JournalKind::kKeyChange;
    e.sequence = 1;
    e.marker = 3;
    e.keys = {file(9, 9, d + "gone.key")};
    j += encodeJournalEntry(e);
    const std::string path = d + "ktjrnl9991.jnl";
    std::ofstream(path, std::ios::binary) << j;
    int live = 0;
    EXPECT_EQ(recoverDirectory(d, live), 0);
    EXPECT_EQ(live, 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    // A file of a journal's name that is not one (its header never reached the disk) goes too.
    std::ofstream(d + "ktjrnl9992.jnl") << "something else";
    EXPECT_EQ(recoverDirectory(d, live), 0);
    EXPECT_FALSE(std::filesystem::exists(d + "ktjrnl9992.jnl"));
}

}  // namespace
}  // namespace vxs
