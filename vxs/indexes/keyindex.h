// What every kind of key file offers the record engine: positioned search over (key, record
// number) pairs, stepping in key order from a remembered position, insertion, deletion and
// verification, changes of several insertions and removals that reach the file as one; and the
// position a file number keeps between statements.  The byte access a key file goes through (a
// file handle, or memory in tests) is the page layer's (pager.h).
//
// Entries are ordered by their key bytes compared as unsigned bytes, then by record number, so
// a (key, record number) pair names one entry; equal keys may repeat with other numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "vxs/storage/pager.h"

namespace vxs {

// Where an index records a change of a shared file before it reaches the file, and the
// checkpoints of a file held alone (the journal of the writing copy; none in memory).
class IndexJournal : public CheckpointLog {
  public:
    // A change that reaches the file as one: the change count it sets while it is under way
    // (odd), the file's size before it and the bytes it overwrites.  The journal has them when
    // this returns 0.
    [[nodiscard]] virtual int keyChange(uint32_t marker, int64_t oldSize,
                                        const std::vector<PageImage>& before) = 0;
};

inline constexpr int kMaxTreeLevels = 12;
inline constexpr int kMaxKeyLength = 128;

// The path to the current entry of a B-tree: the node taken at each level from the root down,
// the index taken in it, and the node's write counter as it was read.
struct TreePath {
    int depth = -1;  // the leaf's level; -1 no position
    uint32_t brec[kMaxTreeLevels] = {};
    int bknbr[kMaxTreeLevels] = {};
    uint16_t counter[kMaxTreeLevels] = {};
};

// The key position of a file number: the last entry read (`uflastkey`) and, for B-trees, the
// path to it (`ufkw`).
struct KeyCursor {
    bool valid = false;  // an entry was read; `key` and `record` are it
    std::vector<uint8_t> key;
    uint32_t record = 0;
    int8_t end = 0;  // 1 after reading past the last entry, -1 before the first
    bool pending = false;  // found by RESTORE KEY=: the next read forward returns it
    TreePath path;
    void clear() {
        valid = false;
        end = 0;
        pending = false;
        path.depth = -1;
    }
};

// An entry as returned by a search or a step.
struct KeyEntry {
    const uint8_t* key = nullptr;  // keyLength bytes, valid until the next call on the index
    uint32_t record = 0;
};

// How a search matches.
enum class KeyFind : uint8_t {
    kExact,     // the entry (key, record) itself
    kEqual,     // the first entry whose first `len` bytes equal the key (KEY=)
    kNotLess,   // the first entry not less than the key over `len` bytes (KEY>=)
};

class KeyIndex {
  public:
    virtual ~KeyIndex() = default;
    // The total key length (the entries' key bytes).
    virtual int keyLength() const = 0;
    // Positions `c` on the entry found and returns it: 4272 when none matches.
    [[nodiscard]] virtual int find(KeyCursor& c, KeyFind how, const uint8_t* key, int len,
                                   uint32_t record, KeyEntry& out) = 0;
    // The entry after (or before) the cursor's; without a position the first (or last).  4270
    // at either end.
    [[nodiscard]] virtual int step(KeyCursor& c, bool forward, KeyEntry& out) = 0;
    // Inserts (key, record); an entry already there is left as it is.
    [[nodiscard]] virtual int insert(const uint8_t* key, uint32_t record) = 0;
    // Removes (key, record): 4272 when it is not there.
    [[nodiscard]] virtual int remove(const uint8_t* key, uint32_t record) = 0;
    // Checks the whole file: 0 or 4123.
    [[nodiscard]] virtual int verify() = 0;
    // The entries the file holds (KREC).
    [[nodiscard]] virtual int countEntries(uint32_t& n) = 0;
    // Whether other copies may change the file: nodes are then read afresh for every
    // operation; otherwise they may be kept in memory.
    virtual void setShared(bool shared) = 0;
    // Called after the update lock is taken, before a change: what is known of the file's
    // size is refreshed.
    [[nodiscard]] virtual int refresh() = 0;
    // Writes out whatever is held back (nothing for write-through indexes).
    [[nodiscard]] virtual int flush() = 0;
    // Whether changes are held back (in memory, or marked in the file as not yet written).
    virtual bool heldBack() const { return false; }
    // Verify the whole file after every insertion and deletion (a file on the checking list).
    void setVerifyAfterChange(bool on) { verifyAfterChange_ = on; }
    // Where changes are recorded before they reach the file (null: nowhere).
    void setJournal(IndexJournal* journal) { journal_ = journal; }

    // ---- a change made of several insertions and removals (the keys of one record) ----
    // In a file other copies share, with its update lock held: begin, then insert and remove as
    // needed (kept in memory), then hand the change's images to the journal, mark the file,
    // write what grows it, and commit; or abandon at any point before commitChange.  Indexes
    // that write every change at once (ISAM: one slot or one byte) do nothing here.
    [[nodiscard]] virtual int beginChange() { return 0; }
    // What the open change overwrites: the change count it sets (odd; 0 for none), the file's
    // size before it and the bytes as the file holds them.
    virtual void changeImages(uint32_t& marker, int64_t& oldSize, std::vector<PageImage>& before) {
        marker = 0;
        oldSize = 0;
        before.clear();
    }
    // Marks the file as being changed (the odd change count).
    [[nodiscard]] virtual int markChange() { return 0; }
    // Writes the nodes the change appends; on failure the file is cut back.
    [[nodiscard]] virtual int commitAppends() { return 0; }
    // Writes the rest and marks the change done.
    [[nodiscard]] virtual int commitChange() { return 0; }
    virtual void abandonChange() {}
    // Whether the last refresh or read found a change that another copy left unfinished (an
    // odd change count under the update lock, or held-back changes marked in the file).
    virtual bool unfinished() const { return false; }

  protected:
    bool verifyAfterChange_ = false;
    IndexJournal* journal_ = nullptr;
};

// Compares a key of `len` bytes with an entry's first `len` bytes, then the record numbers.
inline int compareEntry(const uint8_t* entryKey, uint32_t entryRecord, const uint8_t* key,
                        int len, uint32_t record) {
    if (len > 0)
        if (const int c = std::memcmp(entryKey, key, static_cast<size_t>(len))) return c < 0 ? -1 : 1;
    return entryRecord == record ? 0 : entryRecord < record ? -1 : 1;
}

// Whether an entry a search landed on answers it: any entry for kNotLess, the first `len` key
// bytes for kEqual, key and record number for kExact.
inline bool entryAnswers(KeyFind how, const KeyEntry& e, const uint8_t* key, int len,
                         int keyLength, uint32_t record) {
    if (how == KeyFind::kNotLess) return true;
    if (how == KeyFind::kEqual) return len <= 0 || std::memcmp(e.key, key, static_cast<size_t>(len)) == 0;
    return compareEntry(e.key, e.record, key, keyLength, record) == 0;
}

}  // namespace vxs
