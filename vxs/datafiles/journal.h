// The journal of a writing copy: one file per copy in each directory whose keyed files it
// changes ("ktjrnlWWWS.jnl", WWW the workstation, S the session), locked while the copy lives,
// in which each change of a keyed file is written before it reaches the files it changes, so
// that a copy that dies in the middle of a change leaves what is needed to finish or undo it.
// The byte layout (docs/file-formats.md, "Journals") is a stored format: encoded and decoded
// here only.
//
// What is written, and when:
//  - STATEMENT: a record's change (its number, the slot before and after, the data file and
//    the key files it touches), before any of them is changed;
//  - KEYCHANGE: for a key file other copies share, the bytes its change overwrites and its
//    size before, with the odd change count that marks the change under way;
//  - CHECKPOINT and FLUSH: for a key file held alone whose changed nodes are held back, the
//    state the file holds (the data records its keys cover) and, before held-back nodes are
//    written, their new contents.
// Entries follow one another from offset 64 with sequence numbers that rise by one; reading
// stops at the first entry that is torn, fails its checksum or breaks the sequence, so that
// entries left behind by an earlier, longer run are never taken for new ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/storage/pager.h"

namespace vxs {

inline constexpr size_t kJournalHeaderBytes = 64;
inline constexpr uint32_t kJournalMaxEntry = 256u << 20;  // a checkpoint of 256 MB at most
inline constexpr int64_t kJournalLockByte = int64_t{1} << 30;  // held while the owner lives

// CRC-32C (Castagnoli) of `size` bytes, continuing from `crc` (0 to start).
uint32_t crc32c(uint32_t crc, const uint8_t* data, size_t size);

// A file as the journal names it: its identity (equal for every name of one file, different
// once the name has been given to another file) and its operating-system path.
struct JournalFile {
    uint64_t device = 0, inode = 0;
    std::string path;
    bool same(const JournalFile& o) const { return device == o.device && inode == o.inode; }
};

enum class JournalKind : uint8_t {
    kStatement = 1,
    kKeyChange = 2,
    kCheckpoint = 3,
    kFlush = 4,
};

// STATEMENT flags.
inline constexpr uint8_t kStatementShared = 1;  // key files other copies share: one group
inline constexpr uint8_t kStatementBefore = 2;  // the slot held a record (live or deleted)
inline constexpr uint8_t kStatementAfter = 4;   // the slot holds one after the change
inline constexpr uint8_t kStatementExternal = 8;  // an EXTERNAL data file: slots without status
inline constexpr uint8_t kStatementLinked = 16;   // a LINKED file: the record's chain changes too

struct JournalEntry {
    JournalKind kind = JournalKind::kStatement;
    uint64_t sequence = 0;
    // STATEMENT
    uint8_t flags = 0;
    uint32_t record = 0;
    uint64_t slotOffset = 0;
    std::vector<uint8_t> before, after;  // whole slots (the status byte first in INTERNAL files)
    JournalFile data;                    // STATEMENT, CHECKPOINT, FLUSH
    std::vector<JournalFile> keys;       // STATEMENT: the key files; others: the key file in [0]
    // KEYCHANGE
    uint32_t marker = 0;
    // KEYCHANGE: the size before; CHECKPOINT and FLUSH: the size it holds or will hold
    uint64_t size = 0;
    // CHECKPOINT and FLUSH: the data records whose keys the key file holds, and what the data
    // file's records are (its slot length, its type: 4 INTERNAL, 1 EXTERNAL)
    uint32_t dataRecords = 0;
    uint32_t slotLength = 0;
    uint8_t dataType = 0;
    // KEYCHANGE: before-images; FLUSH: after-images
    std::vector<PageImage> images;
};

// ---- the stored format ----
// The 64-byte header of a journal: who writes it, and this start of the machine (a journal
// from an earlier start was left by a power loss or a crash of the machine, when writes may
// have reached the disk torn).
struct JournalHeader {
    int wsid = 0, session = 0;
    int64_t processId = 0;
    std::string boot;  // at most 36 bytes
};
std::string encodeJournalHeader(const JournalHeader& h);
// 0, or 4122 when `bytes` is not a journal header.
[[nodiscard]] int decodeJournalHeader(const uint8_t* bytes, size_t size, JournalHeader& h);
// One entry, whole (length, kind, sequence, body, checksum).
std::string encodeJournalEntry(const JournalEntry& e);
// The entries of a journal's bytes (header included) in order, up to the first that is torn,
// damaged or out of sequence.  4122 when the header is not a journal's.
[[nodiscard]] int decodeJournal(const uint8_t* bytes, size_t size, std::vector<JournalEntry>& out,
                                JournalHeader* header = nullptr);

// ---- the journal of this copy in one directory ----
class Journal final {
  public:
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;
    // The journal of this copy for the directory `dir` (with its trailing "/"), made and locked
    // the first time it is wanted.  A journal of the same name left by a copy that died is
    // finished first.  0, or the error of making it.
    [[nodiscard]] static int of(const std::string& dir, Journal*& out);
    const std::string& path() const { return path_; }
    // Appends entries (already encoded, one after another); with SYNC on they are on the disk
    // when this returns 0.  On failure the file is cut back to where the entries began.
    [[nodiscard]] int append(const std::string& entries);
    // The next sequence number (each entry takes one).
    uint64_t nextSequence() { return sequence_++; }
    // The next entries are written from the start again: nothing before them is needed.
    void restart() { at_ = kJournalHeaderBytes; }
    bool empty() const { return at_ == kJournalHeaderBytes; }
    int64_t bytes() const { return at_; }
    // Key files held alone with changes held back that the journal still speaks for: while any
    // is, the journal is not started again.
    int pending = 0;

  private:
    friend void closeJournals();
    friend void closeJournal(const std::string& dir);
    friend void finishJournalsAbout(const std::string& path);
    Journal() = default;
    std::string path_;
    int handle_ = 0;
    int64_t at_ = kJournalHeaderBytes;
    uint64_t sequence_ = 1;
};

// Every journal in `dir` whose owner is gone: each is locked, read, finished (recoverJournal,
// keyjournal.h) and removed when that succeeds.  Journals of living copies are left alone (`live` counts them).
// 0, or the first error of a recovery.
[[nodiscard]] int recoverDirectory(const std::string& dir, int& live);

// Before a file is deleted, emptied, renamed, copied or replaced by a new key file (FREE, DROP,
// RENAME, COPY, INDEX): what dead copies' journals in its directory left unfinished is finished
// (they name files by identity and path, and neither may mean that file afterwards), and this
// copy's own journal there, when it speaks for nothing held back, starts empty again.
void finishJournalsAbout(const std::string& path);
// Closes and removes this copy's journal for `dir`, when it speaks for nothing held back (its
// keyed files there are all closed).
void closeJournal(const std::string& dir);
// Closes and removes every journal of this copy (shut-down, once every file is closed).
void closeJournals();
// The directory part of an operating-system path, with its trailing "/" ("./" for none).
std::string directoryOf(const std::string& path);

}  // namespace vxs
