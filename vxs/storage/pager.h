// The page layer: what the key files and the record engine ask for when they read or change the
// blocks of a file.  It keeps the pages read (the node cache of key files), holds changes back,
// and decides the order in which changed pages reach the file:
//  - a change of a file other copies share reaches the file as one: its pages are kept in
//    memory while the change is made, the bytes they overwrite go to the journal (the caller
//    hands them over), then the pages that grow the file are written, then those inside it;
//  - a file held alone keeps its changed pages (write-back) until a checkpoint writes them, their
//    new contents handed to the journal first, so that a checkpoint cut short is finished from
//    the journal;
//  - the blocks of a data file held alone are kept as read (BlockCache).
// Below it is the byte access of one file (KeyIo): the file through its handle, or memory.
//
// States of a Pager: idle -> changing (begin) -> idle (commitAppends + commitOverwrites, or
// abandon).  In write-back mode writes go to the dirty set at any time and flush empties it.
// Invariants: a page in the open change or in the dirty set is kept (never dropped by forget);
// `pages_` counts the pages the file holds plus those appended but not yet written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vxs {

// Byte access to one file.  Reads shorter than asked happen only at the end of the file.
class KeyIo {
  public:
    virtual ~KeyIo() = default;
    [[nodiscard]] virtual int read(int64_t offset, uint8_t* buf, size_t count, size_t& got) = 0;
    [[nodiscard]] virtual int write(int64_t offset, const uint8_t* data, size_t count) = 0;
    [[nodiscard]] virtual int size(int64_t& bytes) = 0;
    // Cuts (or extends) the file to `bytes`.
    [[nodiscard]] virtual int truncate(int64_t /*bytes*/) { return 0; }
    // Puts what was written so far on the disk before anything written later, when changes are
    // to survive a power loss (SYNC ON); nothing otherwise.
    [[nodiscard]] virtual int barrier() { return 0; }
    // Holds (or lets go) the file's update lock taken shared, which keeps every writer out: a
    // reader that finds a change under way reads under it.  Nothing to do in memory.
    [[nodiscard]] virtual int holdShared(bool /*on*/) { return 0; }
    // The file's bytes at `offset` as they are now, read without a call when the file's start
    // is mapped (for a value other copies change often); null when it is not.
    virtual const uint8_t* view(int64_t /*offset*/, size_t /*count*/) { return nullptr; }
};

// A file held in memory (tests and the fuzz targets).
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
    int truncate(int64_t bytes) override;
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

// Bytes of a file at an offset: what a change overwrites (before-images) or what a checkpoint
// writes (after-images).
struct PageImage {
    int64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// Where a checkpoint of held-back pages writes their new contents first (the journal).
class CheckpointLog {
  public:
    virtual ~CheckpointLog() = default;
    // Before any of them reaches the file: the pages as they will be, and the size the file will
    // have.  The log has them (on the disk when changes are synced) when this returns 0.
    [[nodiscard]] virtual int checkpointing(int64_t newSize, const std::vector<PageImage>& after) = 0;
    // Once they all reached the file (and, when changes are synced, the disk).
    [[nodiscard]] virtual int checkpointed(int64_t newSize) = 0;
};

// The pages of one file: page n (from 1) lies at n * pageSize + base.
class Pager final {
  public:
    // Pages below `keep` are kept once read; others are read into a scratch page that stays
    // valid until the next read.
    Pager(KeyIo& io, int pageSize, int64_t base, uint32_t keep);
    Pager(const Pager&) = delete;
    Pager& operator=(const Pager&) = delete;

    KeyIo& io() { return io_; }
    int pageSize() const { return size_; }
    int64_t offsetOf(uint32_t n) const { return int64_t{n} * size_ + base_; }
    // The pages the file holds as last known, with those appended and not yet written.
    uint32_t pages() const { return pages_; }
    // The file's size in pages, read again (another copy may have appended); 4123 when the
    // file is not a whole number of pages.  Pages held back keep the count at least as high.
    [[nodiscard]] int refresh();
    // Sets the count of pages (a file just made).
    void setPages(uint32_t n) { pages_ = flushedPages_ = n; }

    // Page n's bytes: kept ones without a call.  `fresh` tells whether they came from the file
    // just now (the caller checks them then).  4123 for a page beyond the end.
    [[nodiscard]] int read(uint32_t n, const uint8_t*& bytes, bool& fresh);
    // Drops a kept page that turned out to be damaged, so that it is read again.
    void discard(uint32_t n);
    // Replaces page n (at most one past the last: an append).  Outside a change and write-back,
    // the page is written at once; otherwise it is kept until the change or a checkpoint
    // writes it.
    [[nodiscard]] int write(uint32_t n, const uint8_t* bytes);
    // Forgets the kept pages (another copy changed the file); those of an open change and
    // held-back ones stay.
    void forget();

    // ---- changes (write-through) ----
    void begin();
    bool changing() const { return changing_; }
    bool changed() const { return !changed_.empty(); }
    // What the open change overwrites, as it is in the file, and the file's size before it.
    void beforeImages(std::vector<PageImage>& out, int64_t& oldSize) const;
    // Writes the pages that grow the file (in file order).  On failure the file is cut back to
    // its size before the change and the error returned; the change is still open.
    [[nodiscard]] int commitAppends();
    // Writes the pages inside the file and ends the change.  On failure the pages written are
    // put back as they were and the file cut back; `restored` tells whether that worked.  The
    // change ends either way.
    [[nodiscard]] int commitOverwrites(bool& restored);
    // Ends the change without writing: its pages go back to what the file holds.
    void abandon();

    // ---- write-back ----
    void setWriteBack(bool on) { writeBack_ = on; }
    bool writeBack() const { return writeBack_; }
    bool dirty() const { return !dirty_.empty(); }
    size_t dirtyPages() const { return dirty_.size(); }
    // Writes the held-back pages: those that grow the file first, then (their new contents
    // handed to `log` first, when given) those inside it.  Pages that could not be written stay
    // held back.
    [[nodiscard]] int flush(CheckpointLog* log);

  private:
    struct Page {
        std::unique_ptr<uint8_t[]> bytes;
    };
    uint8_t* slot(uint32_t n, bool create);
    [[nodiscard]] int writeRuns(const std::vector<uint32_t>& pages);
    const uint8_t* kept(uint32_t n) const;
    [[nodiscard]] int readInto(uint32_t n, uint8_t* buf);
    void restoreCache();

    KeyIo& io_;
    int size_;
    int64_t base_;
    uint32_t keep_;
    uint32_t pages_ = 0;
    uint32_t flushedPages_ = 0;  // the pages the file held at the last checkpoint
    std::vector<std::unique_ptr<uint8_t[]>> cache_;   // pages below keep_
    std::unordered_map<uint32_t, Page> far_;          // changed or held-back pages from keep_ on
    std::vector<uint8_t> scratch_;
    // The open change: pages written in it, and the before-image of each that the file held.
    bool changing_ = false;
    uint32_t pagesBefore_ = 0;
    std::vector<uint32_t> changed_;
    std::unordered_map<uint32_t, std::vector<uint8_t>> before_;
    // Write-back: pages changed since the last checkpoint.
    bool writeBack_ = false;
    std::vector<uint32_t> dirty_;
    std::vector<uint8_t> isDirty_;
    std::unordered_map<uint32_t, bool> farDirty_;
};

// The blocks of a data file that no other copy can change (opened NOSHR for keyed access), kept
// while it is open: reads are served from them, writes go to the file and into them.  A block
// holds `valid` bytes from its start (fewer at the end of the file).
class BlockCache final {
  public:
    static constexpr int64_t kBlockBytes = 65536;
    static constexpr size_t kMaxBlocks = 512;  // 32 MB; beyond that the blocks start again
    // Reads through the blocks; a block is read whole (through `io`) the first time it is
    // wanted.
    [[nodiscard]] int read(KeyIo& io, int64_t offset, uint8_t* buf, size_t count, size_t& got);
    // The bytes just written to the file at `offset`: the kept blocks they fall in take them.
    void wrote(int64_t offset, const uint8_t* data, size_t count);
    // The file changed in a way the blocks cannot follow (a failed write, a truncation).
    void clear() { blocks_.clear(); }

  private:
    struct Block {
        std::unique_ptr<uint8_t[]> bytes;
        size_t valid = 0;
    };
    std::unordered_map<int64_t, Block> blocks_;
};

}  // namespace vxs
