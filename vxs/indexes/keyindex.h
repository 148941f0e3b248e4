// What every kind of key file offers the record engine: positioned search over (key, record
// number) pairs, stepping in key order from a remembered position, insertion, deletion and
// verification; the byte access a key file goes through (a file handle, or memory in tests);
// and the position a file number keeps between statements.
//
// Entries are ordered by their key bytes compared as unsigned bytes, then by record number, so
// a (key, record number) pair names one entry; equal keys may repeat with other numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vxs {

// Byte access to a key file.  Reads shorter than asked happen only at the end of the file.
class KeyIo {
  public:
    virtual ~KeyIo() = default;
    [[nodiscard]] virtual int read(int64_t offset, uint8_t* buf, size_t count, size_t& got) = 0;
    [[nodiscard]] virtual int write(int64_t offset, const uint8_t* data, size_t count) = 0;
    [[nodiscard]] virtual int size(int64_t& bytes) = 0;
    // Holds (or lets go) the file's update lock taken shared, which keeps every writer out: a
    // reader that finds a change under way reads under it.  Nothing to do in memory.
    [[nodiscard]] virtual int holdShared(bool /*on*/) { return 0; }
    // The file's bytes at `offset` as they are now, read without a call when the file's start
    // is mapped (for a value other copies change often); null when it is not.
    virtual const uint8_t* view(int64_t /*offset*/, size_t /*count*/) { return nullptr; }
};

// A key file held in memory (tests and the fuzz targets).
class MemoryKeyIo final : public KeyIo {
  public:
    MemoryKeyIo() = default;
    explicit MemoryKeyIo(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    int read(int64_t offset, uint8_t* buf, size_t count, size_t& got) override;
    int write(int64_t offset, const uint8_t* data, size_t count) override;
    int size(int64_t& bytes) override {
        bytes = static_cast<int64_t>(bytes_.size());
        return 0;
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
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
    // Verify the whole file after every insertion and deletion (a file on the checking list).
    void setVerifyAfterChange(bool on) { verifyAfterChange_ = on; }

  protected:
    bool verifyAfterChange_ = false;
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
