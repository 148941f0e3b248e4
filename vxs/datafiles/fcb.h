// The control blocks of open files: one `ufcb` per open file number, kept in open order in the
// list `tufcb` whose head is always the console (#0), and one `fcb` per physical file or device,
// shared by every `ufcb` that uses it.  `FileBlocks` owns both lists; the process has one
// (`fileBlocks()`), tests may make their own.
//
// Invariants:
//  - `tufcb` starts with the console ufcb, which is never unlinked; at most one ufcb per number;
//  - every ufcb other than a window's has a data fcb, and is on that fcb's chain (`sameNext`);
//  - an fcb's `openCount` is the number of ufcb references to it (as data or key file); the fcb
//    and its handle live exactly while it is above zero;
//  - `numbers[n]` is the ufcb of file number n or null (a cache of the list, kept by link and
//    unlink only).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vxs/datafiles/device.h"
#include "vxs/datafiles/header.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/storage/pager.h"
#include "vxs/datafiles/openstr.h"
#include "vxs/indexes/keyindex.h"

namespace vxs {

// File types (ufcb and fcb).
enum FileType : uint8_t {
    kFileExternal = 1,
    kFileInternal = 4,
    kFileDisplay = 5,
    kFileBtreeKeys = 7,
    kFileAsync = 65,
    kFileWindow = 128,
};
// Modes and access.
enum FileMode : uint8_t { kModeInput = 1, kModeOutput = 2, kModeOutin = 3 };
enum FileAccess : uint8_t { kAccessSequential = 0, kAccessRelative = 1, kAccessKeyed = 2 };
// The width of the console's lines (windows shown in the console take it as their length).
inline constexpr int kConsoleLineWidth = 80;

// The status FILE(n) reports: the last operation's outcome.
enum FileStatus : int {
    kStatusOk = 0,
    kStatusEofInput = 10,
    kStatusEofOutput = 11,
    kStatusErrorInput = 20,
    kStatusErrorOutput = 21,
};

struct Ufcb;

// Where a window lies and how it looks, as the window layer worked it out at OPEN.
struct WindowPlace {
    int row = 0, column = 0;      // the screen position (0-based) of its interior's first cell
    int rows = 24, columns = 80;  // the interior's size
    int border = 0;               // the border kind (0: none)
    int parent = -1;              // the parent's file number; -1 for the console itself
    uint32_t flags = 0, foreground = 0, background = 0;  // the default attribute (N=)
};

struct Fcb {
    // ---- header fields (INTERNAL and key files) ----
    uint32_t records = 0;
    int32_t version = 0;
    uint8_t type = 0;
    int16_t recl = 0;
    int16_t headerLength = 0;
    uint8_t keyParts = 0;
    uint8_t headerFlags = 0;
    bool swapped = false;  // the header is in the other byte order
    // ---- the file ----
    int64_t fileSize = 0;
    std::string path;  // the mapped operating-system path (or the device name)
    int handle = 0;    // 0 when not open
    uint64_t idDevice = 0, idInode = 0;  // the disk file's identity, taken at open
    bool unsynced = false;  // a key file written since the last SYNC ON flush
    Device device = Device::kDisk;
    KeyPart keys[kMaxKeyParts];
    // A key file's index (B-tree or ISAM) over its handle; null for data files.
    std::unique_ptr<KeyIo> keyIo;
    std::unique_ptr<KeyIndex> index;
    // What the journal knows of a key file (its changes, its checkpoints): keyed.cpp's.
    std::unique_ptr<IndexJournal> keyJournal;
    int openCount = 0;
    Ufcb* firstUfcb = nullptr;
    int baud = 1200, parity = 'N', dataBits = 8, stopBits = 1;
    int lockWait = 15;
    uint32_t deletedHead = 0;
    int btreeVersion = 0;
    int outputFlag = 0;  // 2 when first opened for OUTPUT or OUTIN
    std::vector<std::pair<std::string, std::string>> linkage;
    std::string host;
    // ---- kept by the record engine ----
    int shareClass = 0;      // the class the handle's share marker holds
    bool sharedHandle = false;  // opened through the sharing layer (a marker is held)
    bool object = false;     // OBJECT=: the name as given, never shared
    bool reserved = false;   // RESERVE asked at open
    int64_t handlePos = -1;  // where the handle is known to be; -1 unknown
    std::unique_ptr<BlockCache> blockCache;  // NOSHR keyed data files (pager.h)
    std::unique_ptr<DeviceStream> stream;  // printers and debugger channels: open to close
    // Text output not yet written (DISPLAY files, printers): `textOut` goes at `textOutAt`.
    std::string textOut;
    int64_t textOutAt = 0;
    int64_t textEnd = 0;  // a DISPLAY file's end: after its last byte that is not 0 or 26
    // LINKED files: the first and last record of the chain as last found (0: none), valid
    // while `linkKnown`; checked against the records before each use.
    uint32_t linkFirst = 0, linkLast = 0;
    bool linkKnown = false;
    Fcb* next = nullptr;
};

struct Ufcb {
    uint32_t slotLength = 0;  // RECL + 1 for INTERNAL, RECL otherwise
    int closeAtEnd = 1;       // 0 after NOCLOSE
    int windowRows = 0;
    int copies = 1;
    int convChar = 0;
    Fcb* uffcb = nullptr;     // the data file
    Fcb* ufkbfcb = nullptr;   // the key file of KEYED access
    Ufcb* next = nullptr;     // in tufcb
    // The record buffer: the current record image, `recordLength` bytes of it valid.
    std::vector<uint8_t> record;
    uint32_t recordLength = 0;
    // Translation tables (TRANSLATE=): input, and output when the mode writes.
    std::unique_ptr<std::array<uint8_t, 256>> inTable, outTable;
    int ufnbr = 0;
    // Read-ahead of sequential INTERNAL input: slots [aheadFirst, aheadFirst + aheadFill).
    std::vector<uint8_t> ahead;
    uint32_t aheadRecords = 0, aheadFirst = 0, aheadFill = 0;
    // Write-behind of sequential INTERNAL output: `behindFill` slots after `behindFirst`.
    std::vector<uint8_t> behind;
    uint32_t behindRecords = 0, behindFill = 0, behindFirst = 0;
    int16_t ufreclen = 0;
    int16_t pageOverflow = 0;
    uint8_t shareClass = 0;
    uint8_t access = kAccessSequential;
    uint8_t uftype = 0;
    uint8_t mode = kModeInput;
    uint8_t lastOperation = 2;
    uint32_t position = 0;  // record number of the current record (INTERNAL, EXTERNAL)
    int64_t bytePosition = 0;  // DISPLAY files: the byte offset of the next line
    // DISPLAY input: bytes read ahead, `text` from the file offset `textStart`.
    std::string text;
    int64_t textStart = 0;
    std::vector<int64_t> uflocked;  // record numbers held locked; free entries -1
    int lockedCount = 0;
    uint32_t linkPrev = 0, linkNext = 0;
    // LINKED files: how far the sequential reads have gone along the chain since the walk
    // started (at the first or last record, a record read by number, or the record this
    // number last deleted): +1 a step forward, -1 one back.
    int64_t linkSteps = 0;
    int wait = 15;
    int lockingActive = 0, lockingFirst = 0;
    int statementLock = 0;
    int format = 0;
    int eol = kEolCrlf;
    int retry = 5;
    int linked = 0;
    std::vector<uint8_t>* keyBuffer = nullptr;
    // The key position of KEYED access: the last entry read (`uflastkey`) and its path (`ufkw`).
    KeyCursor keyCursor;
    Ufcb* sameNext = nullptr;  // next ufcb on the same data fcb
    // ---- window and text output ----
    std::vector<std::pair<std::string, std::string>> windowAttributes;
    WindowPlace place;     // a window's geometry (the console's: 24 x 80 at the top left)
    std::string name;      // the name as the program gave it (FILE$)
    // The output line of PRINT: `line` holds the bytes placed so far, `column` the next column.
    std::string line;
    int column = 1;
    int pageLines = 0;      // lines since the last form feed
    int linesWritten = 0;   // LINES
    // ---- status ----
    int status = kStatusOk;  // FILE(n)
    bool haveCurrent = false;  // a current record exists for REREAD, REWRITE and DELETE
    bool lastWasRead = false;  // the last record statement on this number was a READ (REREAD)
};

class FileBlocks final {
  public:
    FileBlocks();
    ~FileBlocks();
    FileBlocks(const FileBlocks&) = delete;
    FileBlocks& operator=(const FileBlocks&) = delete;

    Ufcb& console() { return console_; }
    // The ufcb of file number n (0..999), or null when not open.
    Ufcb* find(int n) const { return n >= 0 && n < kNumbers ? numbers_[static_cast<size_t>(n)] : nullptr; }
    Ufcb* first() { return &console_; }
    Fcb* firstFcb() { return fcbs_; }

    // A new ufcb for number n, appended to tufcb (9000 when out of memory).
    [[nodiscard]] int link(int n, Ufcb*& out);
    // Takes the ufcb out of tufcb and frees it (never the console).
    void unlink(Ufcb* u);
    // A new fcb appended to the physical-file list; frees one no longer used.
    [[nodiscard]] int newFcb(Fcb*& out);
    void freeFcb(Fcb* f);

    static constexpr int kNumbers = 1000;

  private:
    Ufcb console_;
    Fcb* fcbs_ = nullptr;
    std::array<Ufcb*, kNumbers> numbers_{};
};

// The process's control blocks.
FileBlocks& fileBlocks();

}  // namespace vxs
