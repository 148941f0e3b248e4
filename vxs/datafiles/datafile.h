// The data-file engine below the I/O statements: OPEN and CLOSE of a file number (the checks in
// their order, creation, sharing within the process and with other processes), and the record
// operations on an open ufcb: read by number, in sequence or backwards, write, rewrite, delete
// and restore, with the record locks of shared files, the read-ahead and write-behind buffers of
// INTERNAL files, and the text lines of DISPLAY files.  Values and FORM conversion belong to the
// statements above; everything here moves record images (bytes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vxs/datafiles/fcb.h"

namespace vxs {

// ---- OPEN and CLOSE ----
struct OpenRequest {
    int number = 0;
    std::string_view text;          // the open string
    int type = kFileDisplay;        // from the trailing keywords
    int mode = kModeOutput;
    int access = kAccessSequential;
    bool trailing = true;           // false: no trailing keywords (254 and 255 only)
};
// Opens file number `r.number` (0..199, 250, 255, 300..999; 706 otherwise).  Returns 0 or an
// error number; on failure nothing stays linked and the open string is kept as the text of the
// last file error (lastFileErrorText).
[[nodiscard]] int openFile(FileBlocks& fb, const OpenRequest& r, Ufcb*& out);

enum CloseOption { kCloseNone = 0, kCloseFree = 1, kCloseDrop = 2, kCloseRelease = 3 };
// The open parameter block of the utilities: INDEX and SORT open their files with numbers 200
// to 299 (other than 254 and 255) by handing a block instead of an open string.  Number 202
// opens a key file by itself as the ufcb's data fcb (`u.uffcb->index` is its index): a new one
// gets the block's key parts, an existing one keeps its own.
inline constexpr int kCreateTemporary = 4;  // REPLACE, as an operating-system temporary file
struct OpenBlock {
    int number = 0;
    std::string name;        // the file name, mapped as NAME= is
    bool osPath = false;     // `name` is an operating-system path already
    int recl = 0;            // RECL= (0: none); for 202 the data record length the parts must fit
    KeyPart keys[kMaxKeyParts];  // 202: the key parts of a new key file
    int parts = 0;
    int keyType = 0;         // 202: 4 ISAM, 7 B-tree; 0 the configured default
    int btreeVersion = 0;    // 202: the format of a new B-tree; 0 the configured default
    bool alternate = false;  // 202: a new key file orders through the alternate collating table
    int pageOverflow = -1;
    int type = kFileInternal;
    int mode = kModeInput;
    int access = kAccessSequential;
    int share = kShareNone;
    int create = kCreateNone;  // a creation keyword, or kCreateTemporary
};
// 706 for a number outside 200..299 (or 254, 255); otherwise as openFile.
[[nodiscard]] int openFileBlock(FileBlocks& fb, const OpenBlock& b, Ufcb*& out);

// Closes `u` (CLOSE #0 does nothing).  FREE deletes the file after closing, DROP empties it to
// its header; both are 4148 for a shared ufcb (nothing is closed) or when the file is open under
// another number too (the ufcb is closed, the file left alone).
[[nodiscard]] int closeFile(FileBlocks& fb, Ufcb* u, int option = kCloseNone);
// Closes every file a program leaves open, the most recently opened first: all but #0 and those
// opened NOCLOSE (`everything`: those too, at shut-down).  The first error is returned; every
// file is closed regardless.
int closeFilesAtEnd(FileBlocks& fb, bool everything);

// The file number as the statements check it: 706 out of range, 704 not open.  #255 and #250
// open themselves on first use.
[[nodiscard]] int fileOfNumber(FileBlocks& fb, int number, Ufcb*& out);

// The open string of the last OPEN that failed (FILE$ of the last error shows the name).
const std::string& lastFileErrorText();
// A file command failed on the file `name`: it becomes the name of the last file error.  (The
// sharing layer keeps the last file found in use or locked itself: ktLockedPath.)
void setLastFileErrorName(std::string_view name);

// ---- record operations ----
// How a statement asks for record locks.
enum LockRequest : uint8_t {
    kLockNormal = 0,   // release held locks, lock what is read in a shared file
    kLockReserve = 1,  // keep held locks (RESERVE)
    kLockRelease = 2,  // read without locking (RELEASE)
};
struct RecordOptions {
    LockRequest lock = kLockNormal;
    int wait = -1;  // WAIT= seconds of the statement; -1: the file's
};

// READ: REC=n (n >= 1), the next, the previous, or the last record (in key order for KEYED
// access).  The record image is left
// in u.record (u.recordLength bytes) and u.position is the record read.
enum class ReadHow : uint8_t { kRecord, kNext, kPrevious, kLast, kAgain };
[[nodiscard]] int readRecord(Ufcb& u, ReadHow how, uint32_t n, const RecordOptions& o);
// READ KEY= (kEqual) and KEY>= (kNotLess), SEARCH= and SEARCH>= alike, on a KEYED ufcb: the
// first record in key order whose key matches `key` over its length (converted as the key
// file's parts say); keys of deleted records are passed over.  4272 when none matches.
// Without `transfer` (RESTORE KEY=) only the position is taken: the next READ returns it.
[[nodiscard]] int readKeyed(Ufcb& u, KeyFind how, std::string_view key, const RecordOptions& o,
                            bool transfer = true);
// WRITE of `len` bytes (at most RECL; the rest of the slot blank for INTERNAL files): append
// (n = 0) or into slot n.
[[nodiscard]] int writeRecord(Ufcb& u, const uint8_t* data, size_t len, uint32_t n,
                              const RecordOptions& o);
// REWRITE REC=n builds on record n as it is stored: this makes it the current record, as READ
// REC=n does (locked in a file whose records are locked), also in a file open for OUTPUT.
// 57 when it does not exist or is deleted.
[[nodiscard]] int readForRewrite(Ufcb& u, uint32_t n, const RecordOptions& o);
// REWRITE of the current record (n = 0) or of record n.
[[nodiscard]] int rewriteRecord(Ufcb& u, const uint8_t* data, size_t len, uint32_t n,
                                const RecordOptions& o);
// DELETE of the current record (n = 0) or of record n.
[[nodiscard]] int deleteRecord(Ufcb& u, uint32_t n, const RecordOptions& o);
// RESTORE: before the first record (n = 0), or so that the next read takes record n.
[[nodiscard]] int restoreFile(Ufcb& u, uint32_t n);
// Releases every record lock the ufcb holds.
void releaseLocks(Ufcb& u);
// Writes out the write-behind buffer.
[[nodiscard]] int flushFile(Ufcb& u);

// ---- text lines (DISPLAY files, printers, the console) ----
// Writes one line: its bytes (translated), then `lineFeeds` line ends as the file's EOL says
// (none for EOL=NONE).  A form feed in the line resets the page count.
[[nodiscard]] int writeTextLine(Ufcb& u, std::string_view bytes, int lineFeeds = 1);
// Reads the next line (without its line end) of a DISPLAY file: at most RECL bytes.  4270 at
// the end of the file.
[[nodiscard]] int readTextLine(Ufcb& u, std::string& line);

// A read-only view of the records of an INTERNAL or EXTERNAL disk file as they are now (the file
// mapped), for reading many of them by number without a call each: the SORT utility reads its
// records again in sorted order.  Records that other copies change show as changed; records
// past the file's end at open are outside the view (read them with readRecord).  The view is
// read in whole when made, so files over 1 GiB are not viewed.
class RecordView final {
  public:
    RecordView() = default;
    ~RecordView();
    RecordView(const RecordView&) = delete;
    RecordView& operator=(const RecordView&) = delete;
    // 0, or an error number when the file cannot be viewed (then nothing is mapped).
    [[nodiscard]] int open(Ufcb& u);
    // The bytes of record n: false when n lies outside the view or the record is deleted.
    bool record(uint32_t n, const uint8_t*& data, size_t& length) const;

  private:
    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
    int64_t header_ = 0;
    uint32_t slot_ = 0;
    bool internal_ = false;
};

// ---- file state for the functions ----
// The last record number: whole slots after the header (INTERNAL), whole records (EXTERNAL).
[[nodiscard]] int lastRecordNumber(Ufcb& u, int64_t& n);
// The keys the key file of a KEYED ufcb holds (0 without one).
[[nodiscard]] int keyCount(Ufcb& u, uint32_t& n);
// The current size of the data file.
[[nodiscard]] int dataFileSize(Ufcb& u, int64_t& size);
// Sets the record length where the file's kind allows it (DISPLAY and EXTERNAL): 721 otherwise
// or when `recl` is below 1 or above 32767.
[[nodiscard]] int setRecordLength(Ufcb& u, int recl);
// Sets the version of an INTERNAL file open for output (721 otherwise).
[[nodiscard]] int setFileVersion(Ufcb& u, int version);

}  // namespace vxs
