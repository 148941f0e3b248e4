// The file-level operations of the record engine that OPEN and CLOSE use (inside the data-file
// layer only): opening a physical file with its creation and share class, reading or writing
// its header, and closing it again.
#pragma once

#include <cstddef>
#include <type_traits>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"

namespace vxs {

struct EngineOpen {
    int mode = kModeInput;
    int create = kCreateNone;
    int shareClass = 0;
    int recl = 0;  // RECL= (0: not given)
    bool reserve = false;
    bool versionGiven = false;
    int version = 0;
    bool linked = false;  // LINKED: a new file gets the deleted-record chain field
    // Printers: COPIES=, PRINTER= and PRINTER_TYPE= for the print job.
    int copies = 1;
    std::string printer, printerType;
};
// Opens the fcb's file (f.path, f.type, f.device set): disk files through the sharing layer,
// printers as print jobs (their spool file), the console and the debugger channel without a
// handle.
// INTERNAL files get their header read, or written when the file is new or empty.
[[nodiscard]] int engineOpenFcb(Fcb& f, const EngineOpen& o);
// Closes the fcb's file: pending text is written, an INTERNAL file open for output gets its
// record count recounted from its size and its header rewritten; `drop` empties the file first
// (to its header).  Whatever fails, the handle is closed.
[[nodiscard]] int engineCloseFcb(Fcb& f, bool drop);
// With changes put on the disk (SYNC ON), a file an OPEN may have made (a creation was asked
// for) is on the disk with its directory entry before the OPEN returns.
[[nodiscard]] int syncIfMade(Fcb& f, int create);
// The record count of an EXTERNAL disk file from its size in the ufcb's record length (whole
// records, and a short last one, which reads padded with zero bytes), so that WRITE appends
// after its last record; nothing for other files.
[[nodiscard]] int countRecords(Ufcb& u);
// Where a new DISPLAY ufcb starts: output after the last byte unless the file was just made or
// replaced; input at the start.
void enginePositionDisplay(Ufcb& u, int create);

// Opens the fcb's disk file (f.path) with the creation and share class (a share marker set,
// or the name as given for OBJECT=) and takes its size; nothing of its contents is read.
[[nodiscard]] int engineOpenHandle(Fcb& f, const EngineOpen& o);

// Positioned I/O on an fcb's handle (the position the handle is known to be at is kept, so
// consecutive calls need no seek), its size, and its header written from the fcb's fields.
[[nodiscard]] int readAt(Fcb& f, int64_t offset, uint8_t* buf, size_t count, size_t& got);
[[nodiscard]] int writeAt(Fcb& f, int64_t offset, const uint8_t* data, size_t count);
[[nodiscard]] int sizeOf(Fcb& f, int64_t& size);
[[nodiscard]] int writeHeader(Fcb& f);
// The header bytes writeHeader writes.
std::string headerBytes(const Fcb& f);
// Cuts (or extends) the file to `size` bytes; cached blocks are dropped.
[[nodiscard]] int truncateFile(Fcb& f, int64_t size);
// Cuts off a last slot of `slot` bytes that the file holds only part of: an append a killed
// copy left torn.  Only where no live copy can be appending (the file's update lock held, or
// the file held alone); a whole file is left as it is.
[[nodiscard]] int cutTornAppend(Fcb& f, uint32_t slot);

// ---- key files ----
struct KeyFileOpen {
    int type = kFileBtreeKeys;  // or kFileInternal: ISAM
    int version = 2;            // B-tree format of a new file
    int parts = 0;              // the key parts of a new file
    KeyPart keys[kMaxKeyParts];
    bool alternate = false;     // a new file orders through the alternate collating table
    int recl = 0;               // the data file's record length, which the parts must fit
    bool linked = false;        // a LINKED data file: parts from position 9, none allowed
    // An existing file that is not a whole key file is made anew (the data file has no records,
    // and the open gives a creation and the key parts: a copy died while making it).
    bool remakeIfBroken = false;
};
// Opens the key file of the fcb `k` (k.path, k.device set) as `o` says, creating it when the
// creation asks for it and it is empty: its header, and for a B-tree the root record and root.
// An existing file keeps its own key parts.  4122 a file of another kind, 602 no key parts,
// 606 key parts outside the record, more than 128 bytes of them, or more than the format can
// hold, 4124 a damaged root record.
[[nodiscard]] int engineOpenKeyFcb(Fcb& k, const EngineOpen& o, const KeyFileOpen& ko);
// The close of a key file written to: what the index holds back, and an ISAM file's header
// (its record count from its size); DROP empties it to a new empty index.
[[nodiscard]] int closeKeyFile(Fcb& k, bool drop);

// Whether some ufcb of the data file uses a key file (its records then keep keys in step).
bool hasKeyFiles(const Fcb& data);

// What writes a record's slot in a change (a lambda of the record engine's): called, not kept
// or copied; it lives as long as the call it is passed to.
class SlotWrite {
  public:
    SlotWrite() = default;
    SlotWrite(std::nullptr_t) {}
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, SlotWrite>>>
    SlotWrite(F&& f)
        : context_(const_cast<void*>(static_cast<const void*>(&f))),
          call_([](void* c) -> int { return (*static_cast<std::remove_reference_t<F>*>(c))(); }) {}
    int operator()() const { return call_(context_); }
    explicit operator bool() const { return call_ != nullptr; }

  private:
    void* context_ = nullptr;
    int (*call_)(void*) = nullptr;
};

// A record's change in a data file with key files (WRITE, REWRITE, DELETE): the slot, before
// and after (whole, the status byte first in INTERNAL files).
struct SlotChange {
    uint32_t n = 0;                   // the record number
    int64_t offset = 0;               // the slot's offset in the data file
    size_t length = 0;                // the slot's length
    const uint8_t* before = nullptr;  // the slot as the file holds it; null: none (an append)
    const uint8_t* after = nullptr;   // the slot as it will be
    bool linked = false;              // a LINKED file: the chain changes with the slot
};
// Makes the change of the slot (`writeSlot`) and of every key file kept in step with the data
// file as one: the key files that change are locked (shared ones, in the order of their
// identity), the change is written to the journal, the key files are marked as changing, the
// slot is written, then the keys; a failure anywhere puts back what was done.  A copy that died
// in the middle of a change of one of the key files is recovered first.  Key files whose key
// stays as it was do nothing.
[[nodiscard]] int changeRecordKeys(Ufcb& u, const SlotChange& c, SlotWrite writeSlot);
// The same for a data file and key files given (recovery): the keys of the records `gone` leave
// (unless the key of `comes` is theirs), the key of `comes` arrives; with `always` it is put in
// even when it seems to stay.
[[nodiscard]] int changeKeys(Fcb& data, const std::vector<Fcb*>& keys, const SlotChange& c,
                             const uint8_t* const* gone, int goneCount, const uint8_t* comes,
                             bool always, SlotWrite writeSlot, int caller);

// READ next, previous or last of a KEYED ufcb: along the key file from the last key read.
[[nodiscard]] int readInKeyOrder(Ufcb& u, ReadHow how, const RecordOptions& o);

// The console as a file: lines written to it and read from it go through these, which the
// interpreter installs (the data-file layer knows no terminal).
using ConsoleLineWriter = void (*)(std::string_view line);
using ConsoleLineReader = int (*)(std::string& line, int maxLength);
void setConsoleHooks(ConsoleLineWriter writer, ConsoleLineReader reader);

// Windows as files: the window layer (above this one) works out a window's place when OPEN
// makes its ufcb (0, or an error that abandons the open), shows the lines written to it, and
// takes it off the screen when it is closed.
struct WindowHooks {
    int (*open)(FileBlocks& fb, Ufcb& u) = nullptr;
    void (*line)(Ufcb& u, std::string_view text, int lineFeeds) = nullptr;
    void (*close)(Ufcb& u) = nullptr;
};
void setWindowHooks(const WindowHooks& hooks);
const WindowHooks& windowHooks();


}  // namespace vxs
