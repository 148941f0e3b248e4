// The record engine (see datafile.h and engine.h): INTERNAL slots with their status byte and
// header, EXTERNAL fixed records, DISPLAY text lines, the read-ahead and write-behind buffers and
// the record locks of shared files.
//
// Buffer invariants:
//  - a ufcb's read-ahead holds slots [aheadFirst, aheadFirst + aheadFill) as they were on disk
//    when read; any write to the fcb through this process empties every read-ahead of the fcb;
//  - a ufcb's write-behind holds behindFill slots to be appended after behindFirst - 1 records;
//    the fcb's record count and size already count them; every other operation on the fcb
//    writes them out first;
//  - an fcb's textOut is written before anything else reads or positions the file.
#include <algorithm>
#include <cstring>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/platform/fileio.h"

namespace vxs {

namespace {

ConsoleLineWriter g_consoleWriter = nullptr;
ConsoleLineReader g_consoleReader = nullptr;

constexpr size_t kTextFlushBytes = 65536;
constexpr size_t kTextReadBytes = 16384;

}  // namespace

// ---- positioned I/O on a handle ----
static int readRaw(Fcb& f, int64_t offset, uint8_t* buf, size_t count, size_t& got) {
    got = 0;
    int64_t pos;
    if (f.handlePos != offset) {
        if (int err = osSeek(f.handle, offset, kOsFromStart, pos)) {
            f.handlePos = -1;
            return err;
        }
    }
    while (got < count) {
        size_t n = 0;
        if (int err = osRead(f.handle, buf + got, count - got, n)) {
            f.handlePos = -1;
            return err;
        }
        if (n == 0) break;
        got += n;
    }
    f.handlePos = offset + static_cast<int64_t>(got);
    return 0;
}

static int writeRaw(Fcb& f, int64_t offset, const uint8_t* data, size_t count) {
    int64_t pos;
    if (f.handlePos != offset) {
        if (int err = osSeek(f.handle, offset, kOsFromStart, pos)) {
            f.handlePos = -1;
            return err;
        }
    }
    if (int err = osWrite(f.handle, data, count)) {
        f.handlePos = -1;
        return err;
    }
    f.handlePos = offset + static_cast<int64_t>(count);
    if (f.handlePos > f.fileSize) f.fileSize = f.handlePos;
    return 0;
}

namespace {
// The raw positioned calls of a data file, as the block cache reads through them.
class RawIo final : public KeyIo {
  public:
    explicit RawIo(Fcb& f) : f_(f) {}
    int read(int64_t offset, uint8_t* buf, size_t count, size_t& got) override {
        return readRaw(f_, offset, buf, count, got);
    }
    int write(int64_t offset, const uint8_t* data, size_t count) override {
        return writeRaw(f_, offset, data, count);
    }
    int size(int64_t& bytes) override { return osFiles().size(f_.handle, bytes); }

  private:
    Fcb& f_;
};
}  // namespace

int readAt(Fcb& f, int64_t offset, uint8_t* buf, size_t count, size_t& got) {
    if (f.blockCache) {
        RawIo io(f);
        return f.blockCache->read(io, offset, buf, count, got);
    }
    return readRaw(f, offset, buf, count, got);
}

int writeAt(Fcb& f, int64_t offset, const uint8_t* data, size_t count) {
    if (int err = writeRaw(f, offset, data, count)) {
        if (f.blockCache) f.blockCache->clear();  // what the file holds now is unsure
        return err;
    }
    if (f.blockCache) f.blockCache->wrote(offset, data, count);
    return 0;
}

int truncateFile(Fcb& f, int64_t size) {
    if (f.blockCache) f.blockCache->clear();
    f.handlePos = -1;
    return osFiles().truncateAt(f.handle, size);
}

int sizeOf(Fcb& f, int64_t& size) {
    return osFiles().size(f.handle, size);
}

static InternalHeader headerOf(const Fcb& f) {
    InternalHeader h;
    h.records = f.records;
    h.version = f.version;
    h.type = f.type == kFileBtreeKeys ? kTypeBtree : kTypeInternal;
    h.recl = f.recl;
    h.length = f.headerLength;
    h.parts = f.keyParts;
    h.flags = f.headerFlags;
    for (int i = 0; i < kMaxKeyParts; ++i) h.keys[i] = f.keys[i];
    h.deletedHead = f.deletedHead;
    h.swapped = f.swapped;
    return h;
}

std::string headerBytes(const Fcb& f) {
    return encodeHeader(headerOf(f));
}

// Writes the header in pieces of at most 256 bytes (it is never longer).
int writeHeader(Fcb& f) {
    const std::string bytes = encodeHeader(headerOf(f));
    return writeAt(f, 0, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

namespace {

int64_t slotOffsetOf(const Fcb& f, uint32_t slot, uint32_t n) {
    return f.headerLength + static_cast<int64_t>(n - 1) * slot;
}

bool isInternal(const Fcb& f) { return f.type == kFileInternal || f.type == kFileBtreeKeys; }

// The record count from the file's size: whole slots after the header (`strict`: 4271 when the
// last slot is cut short).  An EXTERNAL file's short last record counts, as it reads as a
// record padded with zero bytes.
int recount(Fcb& f, uint32_t slot, bool strict) {
    int64_t size;
    if (int err = sizeOf(f, size)) return err;
    f.fileSize = size;
    const int64_t body = std::max<int64_t>(0, size - f.headerLength);
    if (strict && body % slot) return kErrPartialRecord;
    const int64_t n = body / slot + (!isInternal(f) && body % slot ? 1 : 0);
    f.records = n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
    return 0;
}

}  // namespace

int cutTornAppend(Fcb& f, uint32_t slot) {
    if (slot == 0) return 0;
    int64_t size = 0;
    if (int err = sizeOf(f, size)) return err;
    const int64_t body = size - f.headerLength;
    if (body <= 0 || body % slot == 0) return 0;
    return truncateFile(f, size - body % slot);
}

namespace {

int waitOf(const Ufcb& u, const RecordOptions& o) { return o.wait >= 0 ? o.wait : u.wait; }

// ---- record locks ----
bool holds(const Ufcb& u, int64_t n) {
    return std::find(u.uflocked.begin(), u.uflocked.end(), n) != u.uflocked.end();
}

void noteHeld(Ufcb& u, int64_t n) {
    auto free = std::find(u.uflocked.begin(), u.uflocked.end(), int64_t{-1});
    if (free == u.uflocked.end()) {
        const size_t at = u.uflocked.size();
        u.uflocked.resize(at + 4, -1);
        free = u.uflocked.begin() + static_cast<std::ptrdiff_t>(at);
    }
    *free = n;
    ++u.lockedCount;
}

void forget(Ufcb& u, int64_t n) {
    auto it = std::find(u.uflocked.begin(), u.uflocked.end(), n);
    if (it != u.uflocked.end()) {
        *it = -1;
        --u.lockedCount;
    }
}

// Whether a read of this ufcb locks the record it reads.
bool readLocks(const Ufcb& u, const RecordOptions& o) {
    if (!u.lockingActive || o.lock == kLockRelease) return false;
    return !(u.mode == kModeInput && u.shareClass == 3);
}

// Locks record n for u (0 when held already).  `taken` tells whether this call took it.
int lockRecord(Ufcb& u, int64_t n, const RecordOptions& o, bool& taken) {
    taken = false;
    if (holds(u, n)) return 0;
    Fcb& f = *u.uffcb;
    if (optionOn(14)) {  // duplicate locks: a record another number of this file holds is ours
        for (Ufcb* other = f.firstUfcb; other; other = other->sameNext)
            if (other != &u && holds(*other, n)) {
                noteHeld(u, n);
                taken = true;
                return 0;
            }
    }
    if (int err = ktLockRecord(f.handle, n, waitOf(u, o), u.ufnbr)) return err;
    noteHeld(u, n);
    taken = true;
    return 0;
}

void unlockRecord(Ufcb& u, int64_t n) {
    if (!holds(u, n)) return;
    forget(u, n);
    Fcb& f = *u.uffcb;
    for (Ufcb* other = f.firstUfcb; other; other = other->sameNext)
        if (other != &u && holds(*other, n)) return;  // still held through another number
    (void)ktUnlockRecord(f.handle, n);
}

// ---- buffers ----
void dropReadAhead(Fcb& f) {
    for (Ufcb* o = f.firstUfcb; o; o = o->sameNext) o->aheadFill = 0;
}

int flushBehind(Ufcb& u) {
    if (u.behindFill == 0) return 0;
    Fcb& f = *u.uffcb;
    const size_t bytes = static_cast<size_t>(u.behindFill) * u.slotLength;
    const int64_t at = slotOffsetOf(f, u.slotLength, u.behindFirst);
    int64_t before = 0;
    (void)sizeOf(f, before);
    const int err = writeAt(f, at, u.behind.data(), bytes);
    if (err) {
        // The batch is lost: the file is cut back to the records before it, so that what is
        // there stays whole, and the counts follow the file again.
        (void)truncateFile(f, std::max<int64_t>(before, f.headerLength));
        u.behindFill = 0;
        (void)recount(f, u.slotLength, false);
        return err;
    }
    u.behindFill = 0;
    return 0;
}

int flushText(Fcb& f) {
    if (f.textOut.empty()) return 0;
    if (f.device == Device::kDebug) {
        // A channel takes what it is given: its errors are the link's, not the program's.
        if (f.stream) (void)f.stream->writeLine(f.textOut, {});
        f.textOut.clear();
        return 0;
    }
    const int err = writeAt(f, f.textOutAt, reinterpret_cast<const uint8_t*>(f.textOut.data()),
                            f.textOut.size());
    f.textOutAt += static_cast<int64_t>(f.textOut.size());
    f.textOut.clear();
    return err;
}

// Every pending write of the fcb (other ufcbs' write-behind, text).
int settle(Fcb& f) {
    int first = flushText(f);
    for (Ufcb* o = f.firstUfcb; o; o = o->sameNext)
        if (o->behindFill)
            if (int err = flushBehind(*o); err && !first) first = err;
    return first;
}

bool nullRecord(const uint8_t* data, size_t len) {
    if (len < 8) return false;
    for (size_t i = 0; i < 8; ++i)
        if (data[i]) return false;
    return true;
}

void translate(const std::array<uint8_t, 256>* table, uint8_t* p, size_t n) {
    if (!table) return;
    for (size_t i = 0; i < n; ++i) p[i] = (*table)[p[i]];
}

// Places the record's bytes in the ufcb's record buffer.
void takeRecord(Ufcb& u, const uint8_t* data, size_t len) {
    if (u.record.size() < len + 2) u.record.resize(len + 2);
    memcpy(u.record.data(), data, len);
    u.recordLength = static_cast<uint32_t>(len);
    translate(u.inTable.get(), u.record.data(), len);
}

// ---- LINKED chains ----
// The first 8 data bytes of a record of a LINKED file: the previous and the next record, 4
// bytes each, most significant byte first; a deleted record keeps the next deleted one in its
// first 4 data bytes.
uint32_t bigEndian(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
void putBigEndian(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

struct Links {
    uint8_t status = 0;
    uint32_t prev = 0, next = 0;
};

// The status byte and links of record n: 4283 when it cannot be read whole.
int readLinks(Fcb& f, uint32_t slot, uint32_t n, Links& l) {
    uint8_t b[9];
    size_t got = 0;
    if (n < 1) return kErrLinkedNeighbour;
    if (int err = readAt(f, slotOffsetOf(f, slot, n), b, sizeof b, got)) return err;
    if (got != sizeof b) return kErrLinkedNeighbour;
    l.status = b[0];
    l.prev = bigEndian(b + 1);
    l.next = bigEndian(b + 5);
    return 0;
}

// Sets the previous (`which` 0) or next (1) link of record n, which must be live (4283).
int writeLink(Fcb& f, uint32_t slot, uint32_t n, int which, uint32_t value) {
    Links l;
    if (int err = readLinks(f, slot, n, l)) return err;
    if (slotDeleted(l.status)) return kErrLinkedNeighbour;
    uint8_t b[4];
    putBigEndian(b, value);
    return writeAt(f, slotOffsetOf(f, slot, n) + 1 + 4 * which, b, sizeof b);
}

// Reads the head of the deleted-record chain from the header (another copy may have changed it).
int readChainHead(Fcb& f) {
    if (!(f.headerFlags & kHeaderDeletedChain)) return 0;
    uint8_t b[4];
    size_t got = 0;
    if (int err = readAt(f, 15 + 4 * int64_t{f.keyParts}, b, sizeof b, got)) return err;
    if (got == sizeof b) f.deletedHead = bigEndian(b);
    return 0;
}

// Finds the first and last record of the chain by reading every slot's links.
int scanChain(Fcb& f, uint32_t slot) {
    f.linkFirst = f.linkLast = 0;
    std::vector<uint8_t> buf(static_cast<size_t>(std::max<uint32_t>(1, 102400 / slot)) * slot);
    for (uint32_t n = 1; n <= f.records;) {
        size_t got = 0;
        if (int err = readAt(f, slotOffsetOf(f, slot, n), buf.data(), buf.size(), got)) return err;
        const uint32_t whole = static_cast<uint32_t>(got / slot);
        if (whole == 0) break;
        for (uint32_t i = 0; i < whole && n + i <= f.records; ++i) {
            const uint8_t* p = buf.data() + static_cast<size_t>(i) * slot;
            if (slotDeleted(p[0])) continue;
            if (bigEndian(p + 1) == 0 && !f.linkFirst) f.linkFirst = n + i;
            if (bigEndian(p + 5) == 0) f.linkLast = n + i;
        }
        n += whole;
    }
    f.linkKnown = true;
    return 0;
}

// The last record of the chain: the one last found, followed on while others appended after
// it; found again from every slot when it is gone.
int chainEnds(Fcb& f, uint32_t slot) {
    if (f.linkKnown && f.linkLast) {
        Links l;
        uint32_t n = f.linkLast;
        for (uint32_t steps = 0; steps <= f.records; ++steps) {
            if (readLinks(f, slot, n, l) || slotDeleted(l.status)) break;
            if (l.next == 0) {
                f.linkLast = n;
                return 0;
            }
            n = l.next;
        }
    } else if (f.linkKnown && f.records == 0) {
        return 0;
    }
    return scanChain(f, slot);
}

// Appends record data (RECL bytes with room for the links) to the chain: into the first
// deleted record when there is one, else after the last slot.  `target` is the record used.
int appendLinked(Ufcb& u, uint8_t* slotBytes, uint32_t& target) {
    Fcb& f = *u.uffcb;
    const uint32_t slot = u.slotLength;
    if (int err = chainEnds(f, slot)) return err;
    if (int err = readChainHead(f)) return err;
    uint32_t head = f.deletedHead;
    if (head) {
        Links l;
        if (int err = readLinks(f, slot, head, l)) return err;
        if (!slotDeleted(l.status)) return kErrLinkedNeighbour;
        target = head;
        head = l.prev;  // the first 4 data bytes: the next deleted record
    } else {
        target = f.records + 1;
    }
    const uint32_t last = f.linkLast == target ? 0 : f.linkLast;
    putBigEndian(slotBytes + 1, last);
    putBigEndian(slotBytes + 5, 0);
    const int64_t at = slotOffsetOf(f, slot, target);
    if (int err = ktCheckFileSize(at + slot)) return err;
    const bool appended = target > f.records;
    // A record that cannot join the chain goes again: an append is cut back (no part of a slot
    // stays at the end of the file), a reused slot is deleted again.
    auto takeBack = [&](int err) {
        if (appended) {
            (void)truncateFile(f, at);
        } else {
            uint8_t b[5] = {kSlotDeleted};
            putBigEndian(b + 1, head);
            (void)writeAt(f, at, b, sizeof b);
        }
        return err;
    };
    if (int err = writeAt(f, at, slotBytes, slot)) return appended ? takeBack(err) : err;
    if (last)
        if (int err = writeLink(f, slot, last, 1, target)) return takeBack(err);
    if (appended) f.records = target;
    if (!f.linkFirst) f.linkFirst = target;
    f.linkLast = target;
    if (head != f.deletedHead) {
        f.deletedHead = head;
        if (int err = writeHeader(f)) return err;
    }
    u.linkPrev = last;
    u.linkNext = 0;
    return 0;
}

// Takes record n out of the chain and onto the chain of deleted records.
int deleteLinked(Ufcb& u, uint32_t n) {
    Fcb& f = *u.uffcb;
    const uint32_t slot = u.slotLength;
    Links l;
    if (int err = readLinks(f, slot, n, l)) return err;
    if (slotDeleted(l.status)) return kErrNoRecord;
    if (int err = chainEnds(f, slot)) return err;
    if (int err = readChainHead(f)) return err;
    uint8_t b[5] = {kSlotDeleted};
    putBigEndian(b + 1, f.deletedHead);
    if (int err = writeAt(f, slotOffsetOf(f, slot, n), b, sizeof b)) return err;
    f.deletedHead = n;
    if (int err = writeHeader(f)) return err;
    if (l.prev)
        if (int err = writeLink(f, slot, l.prev, 1, l.next)) return err;
    if (l.next)
        if (int err = writeLink(f, slot, l.next, 0, l.prev)) return err;
    if (f.linkFirst == n) f.linkFirst = l.next;
    if (f.linkLast == n) f.linkLast = l.prev;
    u.linkPrev = l.prev;
    u.linkNext = l.next;
    return 0;
}

// ---- INTERNAL and EXTERNAL reads ----
// The bytes of slot n: `p` points at them, `got` how many.  A read in sequence goes through
// the read-ahead buffer, refilled from the wanted record when it is not there.  A read by
// number (REC=, a key, REREAD) always reads the file: the buffer holds the slots as they were
// when it was filled, and another copy may have rewritten them since.
int slotBytes(Ufcb& u, uint32_t n, bool forward, bool direct, const uint8_t*& p, size_t& got,
              std::vector<uint8_t>& single) {
    Fcb& f = *u.uffcb;
    const uint32_t slot = u.slotLength;
    const bool buffered = n >= u.aheadFirst && n < u.aheadFirst + u.aheadFill;
    if (u.aheadRecords > 1 && forward && !direct) {
        if (!buffered) {
            size_t bytes = 0;
            if (int err = readAt(f, slotOffsetOf(f, slot, n), u.ahead.data(), u.ahead.size(), bytes))
                return err;
            u.aheadFirst = n;
            u.aheadFill = static_cast<uint32_t>(bytes / slot);
            if (u.aheadFill == 0) {
                got = bytes;
                p = u.ahead.data();
                return 0;
            }
        }
        p = u.ahead.data() + static_cast<size_t>(n - u.aheadFirst) * slot;
        got = slot;
        return 0;
    }
    single.resize(slot);
    if (int err = readAt(f, slotOffsetOf(f, slot, n), single.data(), slot, got)) return err;
    p = single.data();
    return 0;
}

int readSlotted(Ufcb& u, ReadHow how, uint32_t n, const RecordOptions& o) {
    Fcb& f = *u.uffcb;
    const bool internal = isInternal(f);
    const uint32_t slot = u.slotLength;
    const bool direct = how == ReadHow::kRecord || how == ReadHow::kAgain;
    if (int err = settle(f)) return err;
    uint32_t target = 0;
    int step = 1;
    switch (how) {
        case ReadHow::kRecord:
            if (n < 1) return kErrNoRecord;
            target = n;
            break;
        case ReadHow::kAgain:
            if (!u.haveCurrent || u.position < 1) return kErrNoRecord;
            target = u.position;
            break;
        case ReadHow::kNext: target = u.position + 1; break;
        case ReadHow::kPrevious:
            // Record 1 may stand anywhere in a chain: a LINKED file follows its link below.
            if (u.position <= 1 && !u.linked) return kErrEndOfRecords;
            target = u.position - 1;
            step = -1;
            break;
        case ReadHow::kLast: {
            const bool shared = u.lockingActive;
            if (shared)
                if (int err = ktUpdateLock(f.handle, u.ufnbr)) return err;
            const int err = recount(f, slot, internal);
            if (shared) (void)ktUpdateUnlock(f.handle);
            if (err) return err;
            if (f.records == 0) return kErrEndOfRecords;
            target = f.records;
            step = -1;
            break;
        }
    }
    const bool linked = u.linked && internal;
    const bool walking = linked && !direct;
    int64_t walked = 0;  // steps of the walk along the chain, as linkSteps counts them
    if (walking) {
        // Sequential reads follow the chain.
        if (int err = chainEnds(f, slot)) return err;
        if (how == ReadHow::kLast) target = f.linkLast;
        else if (how == ReadHow::kNext) target = u.position == 0 ? f.linkFirst : u.linkNext;
        else target = u.position == 0 ? 0 : u.linkPrev;
        if (target == 0) return kErrEndOfRecords;
        // A chain holds at most every slot of the file once: a walk that gets further than
        // that from where it started goes round a loop of damaged links.
        const bool fresh = how == ReadHow::kLast || u.position == 0;
        walked = fresh ? 0 : u.linkSteps + step;
        const int64_t far = walked < 0 ? -walked : walked;
        if (far > 0 && far >= f.records) {
            if (int err = recount(f, slot, false)) return err;  // another copy may have added some
            if (far >= f.records) return kErrLinkedNeighbour;
        }
    }
    const bool lock = readLocks(u, o);
    static std::vector<uint8_t> single;  // a slot read by number, its room kept between reads
    for (;;) {
        if (target < 1) return kErrEndOfRecords;
        bool taken = false;
        if (lock)
            if (int err = lockRecord(u, target, o, taken)) return err;
        const uint8_t* p = nullptr;
        size_t got = 0;
        int err = slotBytes(u, target, step > 0 && !lock && !linked, direct, p, got, single);
        if (!err && got < slot) {
            if (!internal && got > 0) {  // a short last EXTERNAL record is padded with zeros
                if (p != single.data()) single.assign(p, p + got);
                single.resize(got);
                single.resize(slot, 0);
                p = single.data();
                got = slot;
            } else if (got == 0) {
                // A link to a record past the end of the file is a damaged chain.
                err = direct ? kErrNoRecord : walking ? kErrLinkedNeighbour : kErrEndOfRecords;
            } else {
                err = kErrPartialRecord;
            }
        }
        if (!err && internal && slotDeleted(p[0])) {
            if (taken) unlockRecord(u, target);
            if (direct) return kErrNoRecord;
            if (linked) return kErrLinkedNeighbour;  // the chain leads to a deleted record
            target = static_cast<uint32_t>(static_cast<int64_t>(target) + step);
            continue;
        }
        if (err) {
            if (taken) unlockRecord(u, target);
            return err;
        }
        const uint8_t* data = internal ? p + 1 : p;
        const size_t len = internal ? slot - 1 : slot;
        if (internal && nullRecordCheck() && nullRecord(data, len)) {
            if (taken) unlockRecord(u, target);
            return kErrNullRead;
        }
        takeRecord(u, data, len);
        u.position = target;
        u.haveCurrent = true;
        if (linked && len >= 8) {
            u.linkPrev = bigEndian(data);
            u.linkNext = bigEndian(data + 4);
        }
        if (linked && how != ReadHow::kAgain) u.linkSteps = walked;  // REC= starts a walk
        return 0;
    }
}

// Builds the slot of a write: the status byte (INTERNAL) and the data, blank-padded.
void buildSlot(const Ufcb& u, const uint8_t* data, size_t len, uint8_t* out) {
    const bool internal = isInternal(*u.uffcb);
    const size_t recl = static_cast<size_t>(u.ufreclen);
    uint8_t* d = out;
    if (internal) *d++ = kSlotLive;
    const size_t n = std::min(len, recl);
    memcpy(d, data, n);
    memset(d + n, ' ', recl - n);
    translate(u.outTable.get(), d, recl);
}

bool writable(const Ufcb& u) { return u.mode != kModeInput; }

}  // namespace

// ---- the console hooks ----
void setConsoleHooks(ConsoleLineWriter writer, ConsoleLineReader reader) {
    g_consoleWriter = writer;
    g_consoleReader = reader;
}

namespace {
WindowHooks g_windowHooks;
}
void setWindowHooks(const WindowHooks& hooks) {
    g_windowHooks = hooks;
}
const WindowHooks& windowHooks() {
    return g_windowHooks;
}

// ---- file level ----
int engineOpenHandle(Fcb& f, const EngineOpen& o) {
    static constexpr int kCreation[] = {kOsOpenExisting, kOsNew, kOsReplace, kOsUse};
    const int access = o.mode == kModeInput ? kOsRead : kOsReadWrite;
    const int creation = kCreation[o.create & 3];
    int handle = 0;
    if (f.object) {
        if (int err = osOpen(f.path, access, creation, handle)) return err;
    } else {
        if (o.reserve)
            if (int err = ktReserve(f.path)) return err;
        if (int err = ktFileShareSet(f.path, access, creation, o.shareClass, handle)) {
            if (o.reserve) (void)ktRelease(f.path);
            return err;
        }
        f.sharedHandle = true;
        f.reserved = o.reserve;
    }
    f.handle = handle;
    f.shareClass = o.shareClass;
    f.handlePos = -1;
    if (int err = osIdentity(handle, f.idDevice, f.idInode)) {
        f.outputFlag = 0;
        (void)engineCloseFcb(f, false);
        return err;
    }
    if (int err = sizeOf(f, f.fileSize)) {
        f.outputFlag = 0;
        (void)engineCloseFcb(f, false);
        return err;
    }
    return 0;
}

int engineOpenFcb(Fcb& f, const EngineOpen& o) {
    f.outputFlag = o.mode != kModeInput ? 2 : 0;
    switch (f.device) {
        case Device::kConsole: f.handle = kConsoleHandle; return 0;
        case Device::kDebug: {
            // "DEBUG:n": channel n of the debugger link (n 0..9999); a bare "DEBUG:" is 250's.
            const int h = f.path.size() > 6 ? deviceHandle(f.path) : kDebugHandleBase + 250;
            if (h < 0) return kErrBadName;
            DeviceRequest r;
            r.kind = Device::kDebug;
            r.name = f.path;
            r.channel = h - kDebugHandleBase;
            if (int err = openDevice(r, f.stream)) return err;
            f.handle = h;
            return 0;
        }
        case Device::kPrinter: {
            if (o.mode == kModeInput) return kErrWrongMode;
            DeviceRequest r;
            r.kind = Device::kPrinter;
            r.name = f.path;
            r.copies = o.copies;
            r.printer = o.printer;
            r.printerType = o.printerType;
            if (int err = openDevice(r, f.stream)) return err;
            f.handle = kPrinterHandle;
            return 0;
        }
        case Device::kDisk: break;
    }
    if (int err = engineOpenHandle(f, o)) return err;
    auto fail = [&](int err) {
        // Nothing was written to the file: closing must not rewrite a header it never read.
        f.outputFlag = 0;
        (void)engineCloseFcb(f, false);
        return err;
    };
    if (!isInternal(f)) {
        if (f.type == kFileDisplay) {
            // The end of a text file is after its last byte that is neither 0 nor Ctrl-Z.
            int64_t end = f.fileSize;
            uint8_t tail[4096];
            while (end > 0) {
                const size_t want = static_cast<size_t>(std::min<int64_t>(end, sizeof tail));
                size_t got = 0;
                if (int err = readAt(f, end - static_cast<int64_t>(want), tail, want, got))
                    return fail(err);
                size_t k = got;
                while (k > 0 && (tail[k - 1] == 0 || tail[k - 1] == 26)) --k;
                if (k > 0 || got < want) {
                    end -= static_cast<int64_t>(got - k);
                    break;
                }
                end -= static_cast<int64_t>(got);
            }
            f.textEnd = end;
        }
        return 0;
    }
    if (f.fileSize == 0) {
        // A new (or empty) INTERNAL file: its header from RECL= and VERSION=.
        if (o.mode == kModeInput) return fail(kErrWrongFileType);
        if (o.recl < 1 || o.recl > 32767) return fail(kErrOpenSyntax);
        f.recl = static_cast<int16_t>(o.recl);
        f.headerFlags = optionOn(51) || o.linked ? kHeaderDeletedChain : 0;
        f.headerLength = static_cast<int16_t>(
            headerLengthFor(o.recl, 0, f.headerFlags & kHeaderDeletedChain));
        f.version = o.versionGiven ? o.version : 0;
        f.records = 0;
        f.keyParts = 0;
        if (int err = writeHeader(f)) return fail(err);
        f.fileSize = f.headerLength;
        return 0;
    }
    uint8_t bytes[kMaxHeaderLength];
    size_t got = 0;
    if (int err = readAt(f, 0, bytes, sizeof bytes, got)) return fail(err);
    InternalHeader h;
    if (int err = decodeHeader(bytes, got, h)) return fail(err);
    if (o.create == kCreateUse && o.recl && o.recl != h.recl) return fail(kErrRecordLength);
    f.records = h.records;
    f.version = h.version;
    f.type = h.type == kTypeBtree ? kFileBtreeKeys : kFileInternal;
    f.recl = h.recl;
    f.headerLength = h.length;
    f.keyParts = h.parts;
    f.headerFlags = h.flags;
    f.swapped = h.swapped;
    for (int i = 0; i < kMaxKeyParts; ++i) f.keys[i] = h.keys[i];
    f.deletedHead = h.deletedHead;
    if (h.type == kTypeBtree) return fail(kErrWrongFileType);  // a key file is not a data file
    // The stored count is a hint (a copy that stopped before its close left it behind): the
    // records are the whole slots the file holds, so that appends go after the last of them.
    f.records = slotsInFile(h, f.fileSize);
    return 0;
}

int engineCloseFcb(Fcb& f, bool drop) {
    int err = 0;
    if (f.device == Device::kPrinter) {
        // The job prints (or keeps) its spool file; the fcb is done with it either way.
        if (f.stream) {
            std::string message;
            err = f.stream->finish(message);
            f.stream.reset();
        }
        f.handle = 0;
        return err;
    }
    if (f.index && f.handle > 0) {
        err = f.outputFlag ? closeKeyFile(f, drop) : 0;
        f.index.reset();
        f.keyJournal.reset();
        f.keyIo.reset();
    } else if (f.device == Device::kDebug) {
        err = flushText(f);
        f.stream.reset();
    } else if (f.handle > 0 && f.device != Device::kConsole) {
        err = flushText(f);
        if (f.outputFlag && isInternal(f) && f.device == Device::kDisk) {
            const bool shared = f.shareClass != 0;
            int e = shared ? ktUpdateLock(f.handle, 0) : 0;
            if (!e && drop) {
                e = truncateFile(f, f.headerLength);
            }
            if (!e && !drop) e = readChainHead(f);
            if (drop) f.deletedHead = 0;
            if (!e) e = recount(f, static_cast<uint32_t>(f.recl) + 1, false);
            if (!e) e = writeHeader(f);
            if (shared) (void)ktUpdateUnlock(f.handle);
            if (e && !err) err = e;
        } else if (drop && f.device == Device::kDisk) {
            const int e = truncateFile(f, 0);
            if (e && !err) err = e;
        }
    }
    // SYNC ON: what the close wrote (the header, held-back nodes) on the disk before it goes.
    if (configLimits().syncWrites && f.outputFlag && f.handle > 0 && f.device == Device::kDisk) {
        const int e = osSync(f.handle);
        if (e && !err) err = e;
    }
    if (f.handle > 0) {
        if (f.sharedHandle) {
            (void)ktFileShareRelease(f.handle, f.shareClass);
        } else if (f.device == Device::kDisk || f.device == Device::kPrinter) {
            (void)osClose(f.handle);
        }
    }
    f.handle = 0;
    f.sharedHandle = false;
    return err;
}

int syncIfMade(Fcb& f, int create) {
    if (!configLimits().syncWrites || create == kCreateNone || f.device != Device::kDisk ||
        f.handle <= 0)
        return 0;
    if (int err = osSync(f.handle)) return err;
    const size_t slash = f.path.rfind('/');
    return platform::syncDirectory(slash == std::string::npos ? "." : f.path.substr(0, slash + 1));
}

void enginePositionDisplay(Ufcb& u, int create) {
    Fcb& f = *u.uffcb;
    const bool fresh = create == kCreateNew || create == kCreateReplace;
    u.bytePosition = (u.mode == kModeInput || fresh) ? 0 : f.textEnd;
    if (u.mode != kModeInput && f.textOut.empty()) f.textOutAt = u.bytePosition;
}

// ---- records ----
// ---- SYNC ON: changes on the disk before the statement returns ----
int writeUnsynced(Ufcb& u, const uint8_t* data, size_t len, uint32_t n, const RecordOptions& o);
int rewriteUnsynced(Ufcb& u, const uint8_t* data, size_t len, uint32_t n, const RecordOptions& o);
int deleteUnsynced(Ufcb& u, uint32_t n, const RecordOptions& o);

namespace {
// The data file of `u` and every key file the statement wrote: what is buffered written, then
// put on the disk.  A key file held alone keeps its changes back: the journal and the data
// file, on the disk, are enough to make them again after a power loss.
int syncChanges(Ufcb& u) {
    Fcb* f = u.uffcb;
    if (!f || f->device != Device::kDisk || f->handle <= 0) return 0;
    if (int err = flushFile(u)) return err;
    if (int err = osSync(f->handle)) return err;
    for (Ufcb* o = f->firstUfcb; o; o = o->sameNext) {
        Fcb* k = o->ufkbfcb;
        if (!k || !k->unsynced || k->handle <= 0) continue;
        if (int err = osSync(k->handle)) return err;
        k->unsynced = false;
    }
    return 0;
}
}  // namespace

int writeRecord(Ufcb& u, const uint8_t* data, size_t len, uint32_t n, const RecordOptions& o) {
    const int err = writeUnsynced(u, data, len, n, o);
    return err || !configLimits().syncWrites ? err : syncChanges(u);
}
int rewriteRecord(Ufcb& u, const uint8_t* data, size_t len, uint32_t n, const RecordOptions& o) {
    const int err = rewriteUnsynced(u, data, len, n, o);
    return err || !configLimits().syncWrites ? err : syncChanges(u);
}
int deleteRecord(Ufcb& u, uint32_t n, const RecordOptions& o) {
    const int err = deleteUnsynced(u, n, o);
    return err || !configLimits().syncWrites ? err : syncChanges(u);
}
// ---- the record view ----
constexpr int64_t kMostViewed = int64_t{1} << 30;

RecordView::~RecordView() {
    if (base_) osUnmapView(base_, size_);
}

int RecordView::open(Ufcb& u) {
    Fcb* f = u.uffcb;
    if (base_ || !f || f->device != Device::kDisk || f->index || u.slotLength == 0 ||
        (f->type != kFileInternal && f->type != kFileExternal))
        return kErrWrongMode;
    int64_t size = 0;
    if (int err = sizeOf(*f, size)) return err;
    if (size <= f->headerLength) return kErrNoRecord;
    // The view is read in whole when made; a file beyond this is read record by record.
    if (size > kMostViewed) return kErrNoMemory;
    if (int err = osMapView(f->handle, static_cast<size_t>(size), base_)) {
        base_ = nullptr;
        return err;
    }
    size_ = static_cast<size_t>(size);
    header_ = f->headerLength;
    slot_ = u.slotLength;
    internal_ = isInternal(*f);
    return 0;
}

bool RecordView::record(uint32_t n, const uint8_t*& data, size_t& length) const {
    if (!base_ || n < 1) return false;
    const uint64_t at = static_cast<uint64_t>(header_) + uint64_t{n - 1} * slot_;
    if (at + slot_ > size_) return false;
    const uint8_t* p = base_ + at;
    if (internal_ && slotDeleted(p[0])) return false;
    data = internal_ ? p + 1 : p;
    length = internal_ ? slot_ - 1 : slot_;
    return true;
}

int readRecord(Ufcb& u, ReadHow how, uint32_t n, const RecordOptions& o) {
    Fcb* f = u.uffcb;
    if (!f) return kErrWrongMode;
    if (u.access == kAccessKeyed && u.ufkbfcb && how != ReadHow::kRecord && how != ReadHow::kAgain) {
        if (u.mode == kModeOutput) return kErrWrongMode;
        return readInKeyOrder(u, how, o);
    }
    if (o.lock != kLockReserve) releaseLocks(u);
    if (u.mode == kModeOutput) return kErrWrongMode;
    if (f->type == kFileDisplay || f->device != Device::kDisk) {
        if (how != ReadHow::kNext) return kErrWrongMode;
        std::string line;
        if (int err = readTextLine(u, line)) return err;
        takeRecord(u, reinterpret_cast<const uint8_t*>(line.data()), line.size());
        return 0;
    }
    return readSlotted(u, how, n, o);
}

int readForRewrite(Ufcb& u, uint32_t n, const RecordOptions& o) {
    Fcb* f = u.uffcb;
    if (!f || !writable(u)) return kErrWrongMode;
    if (f->type == kFileDisplay || f->device != Device::kDisk) return kErrWrongMode;
    if (o.lock != kLockReserve) releaseLocks(u);
    // Locked as the rewrite needs it (RELEASE only says what happens after the rewrite).
    RecordOptions read = o;
    if (read.lock == kLockRelease) read.lock = kLockNormal;
    return readSlotted(u, ReadHow::kRecord, n, read);
}

int writeUnsynced(Ufcb& u, const uint8_t* data, size_t len, uint32_t n, const RecordOptions& o) {
    Fcb* fp = u.uffcb;
    if (!fp || !writable(u)) return kErrWrongMode;
    Fcb& f = *fp;
    if (o.lock != kLockReserve) releaseLocks(u);
    if (f.type == kFileDisplay || f.device != Device::kDisk)
        return writeTextLine(u, std::string_view(reinterpret_cast<const char*>(data), len));
    const bool internal = isInternal(f);
    if (internal && nullRecordCheck() && nullRecord(data, len)) return kErrNullWrite;
    const uint32_t slot = u.slotLength;
    const bool keys = hasKeyFiles(f);
    // Sequential appends through the write-behind buffer.
    if (n == 0 && u.behindRecords > 0 && !keys) {
        if (u.behindFill == 0) {
            if (int err = settle(f)) return err;
            u.behindFirst = f.records + 1;
        }
        const int64_t end = slotOffsetOf(f, slot, f.records + 1) + slot;
        if (int err = ktCheckFileSize(end)) return err;
        buildSlot(u, data, len, u.behind.data() + static_cast<size_t>(u.behindFill) * slot);
        ++u.behindFill;
        ++f.records;
        u.position = f.records;
        u.haveCurrent = true;
        dropReadAhead(f);
        if (u.behindFill == u.behindRecords) return flushBehind(u);
        return 0;
    }
    if (int err = settle(f)) return err;
    const bool shared = u.lockingActive;
    if (shared)
        if (int err = ktUpdateLock(f.handle, u.ufnbr)) return err;
    auto done = [&](int err) {
        if (shared) (void)ktUpdateUnlock(f.handle);
        return err;
    };
    if (shared) {
        // Appends are made under the update lock, so part of a slot at the end is what a
        // killed copy left of its append: it is cut off, and the slot is written whole.
        const uint32_t said = f.records;
        int err = recount(f, slot, internal);
        if (err == kErrPartialRecord && (err = cutTornAppend(f, slot)) == 0)
            err = recount(f, slot, internal);
        if (err) return done(err);
        if (f.records < said && internal) return done(kErrShortFile);
    }
    if (u.linked && internal) {
        // Records join the chain at its end; REC= may name only the slot an append would take.
        if (int err = readChainHead(f)) return done(err);
        const uint32_t next = f.deletedHead ? f.deletedHead : f.records + 1;
        if (n && n != next) return done(n > f.records + 1 ? kErrNoRecord : kErrDuplicateRecord);
        std::vector<uint8_t> bytes(slot);
        buildSlot(u, data, len, bytes.data());
        uint32_t target = 0;
        int err = 0;
        if (keys) {
            // The record and its keys as one change: the slot as it was (a deleted record's, or
            // none past the end) and as it becomes.
            SlotChange c;
            c.n = next;
            c.offset = slotOffsetOf(f, slot, next);
            c.length = slot;
            c.linked = true;
            std::vector<uint8_t> old;
            if (next <= f.records) {
                old.resize(slot);
                size_t got = 0;
                err = readAt(f, c.offset, old.data(), slot, got);
                if (!err && got != slot) err = kErrLinkedNeighbour;
                c.before = old.data();
            }
            // The links the record gets, as appendLinked will give them: after the chain's last
            // record (the file's update lock keeps the chain as it is meanwhile).
            if (!err) err = chainEnds(f, slot);
            if (!err) {
                putBigEndian(bytes.data() + 1, f.linkLast == next ? 0 : f.linkLast);
                putBigEndian(bytes.data() + 5, 0);
            }
            c.after = bytes.data();
            if (!err)
                err = changeRecordKeys(u, c, [&] {
                    const int e = appendLinked(u, bytes.data(), target);
                    return e ? e : (target == next ? 0 : kErrLinkedNeighbour);
                });
        } else {
            err = appendLinked(u, bytes.data(), target);
        }
        dropReadAhead(f);
        if (err) return done(err);
        u.position = target;
        u.haveCurrent = true;
        if (o.lock == kLockReserve && shared) {
            bool taken = false;
            if (int err = lockRecord(u, target, o, taken)) return done(err);
        }
        return done(0);
    }
    const uint32_t target = n ? n : f.records + 1;
    if (target > f.records + 1) return done(kErrNoRecord);
    bool taken = false;
    static std::vector<uint8_t> bytes;  // the slot being written, its room kept between writes
    bytes.resize(slot);
    if (target <= f.records) {
        if (!internal) return done(kErrDuplicateRecord);
        if (shared)
            if (int err = lockRecord(u, target, o, taken)) return done(err);
        size_t got = 0;
        uint8_t status = 0;
        int err = readAt(f, slotOffsetOf(f, slot, target), &status, 1, got);
        if (!err && (got != 1 || !slotDeleted(status))) err = kErrDuplicateRecord;
        if (err) {
            if (taken) unlockRecord(u, target);
            return done(err);
        }
    } else if (shared && o.lock == kLockReserve) {
        if (int err = lockRecord(u, target, o, taken)) return done(err);
    }
    const int64_t at = slotOffsetOf(f, slot, target);
    if (int err = ktCheckFileSize(at + slot)) {
        if (taken) unlockRecord(u, target);
        return done(err);
    }
    buildSlot(u, data, len, bytes.data());
    const bool appended = target > f.records;
    // Into a deleted slot the data goes first and the live status byte last: a write cut
    // short leaves the slot deleted rather than live with half a record.  An append cut short
    // must not leave part of a slot at the end of the file.
    auto writeSlot = [&]() -> int {
        int werr = 0;
        if (internal && !appended) {
            werr = writeAt(f, at + 1, bytes.data() + 1, slot - 1);
            if (!werr) werr = writeAt(f, at, bytes.data(), 1);
        } else {
            werr = writeAt(f, at, bytes.data(), slot);
            if (werr && appended) (void)truncateFile(f, at);
        }
        if (!werr && appended) f.records = target;
        return werr;
    };
    int err = 0;
    if (keys) {
        // The record and its keys as one change: a key file that refuses leaves the slot as it
        // was (a deleted slot, or none at the end).
        static std::vector<uint8_t> old;
        SlotChange c;
        c.n = target;
        c.offset = at;
        c.length = slot;
        c.after = bytes.data();
        if (!appended) {
            old.resize(slot);
            size_t got = 0;
            err = readAt(f, at, old.data(), slot, got);
            if (!err && got != slot) err = kErrNoRecord;
            c.before = old.data();
        }
        if (!err) err = changeRecordKeys(u, c, writeSlot);
        if (err && appended) (void)recount(f, slot, false);  // the counts follow the file again
    } else {
        err = writeSlot();
    }
    dropReadAhead(f);
    if (err) {
        if (taken) unlockRecord(u, target);
        return done(err);
    }
    u.position = target;
    u.haveCurrent = true;
    if (taken && o.lock != kLockReserve) unlockRecord(u, target);
    return done(0);
}

int rewriteUnsynced(Ufcb& u, const uint8_t* data, size_t len, uint32_t n, const RecordOptions& o) {
    Fcb* fp = u.uffcb;
    if (!fp || !writable(u)) return kErrWrongMode;
    Fcb& f = *fp;
    if (f.type == kFileDisplay || f.device != Device::kDisk) return kErrWrongMode;
    const bool internal = isInternal(f);
    if (internal && nullRecordCheck() && nullRecord(data, len)) return kErrNullRewrite;
    if (int err = settle(f)) return err;
    const uint32_t target = n ? n : (u.haveCurrent ? u.position : 0);
    if (target < 1) return kErrNoRecord;
    const uint32_t slot = u.slotLength;
    const bool heldBefore = u.lockingActive && holds(u, target);
    bool taken = false;
    if (u.lockingActive && !heldBefore) {
        if (n == 0) return kErrNotHeld;
        if (int err = lockRecord(u, target, o, taken)) return err;
    }
    auto finish = [&](int err) {
        if (err && taken) unlockRecord(u, target);
        if (!err && o.lock != kLockReserve) releaseLocks(u);
        return err;
    };
    const bool keys = hasKeyFiles(f);
    static std::vector<uint8_t> old;  // the slot as it is (INTERNAL: its status byte first)
    // The record as read is the record as it is when its lock has been held since that read
    // and nothing else in this process reaches the file: no other copy can change or delete a
    // record locked here, so its bytes need not be read again.
    const bool asRead = internal && keys && heldBefore && u.haveCurrent && u.position == target &&
                        !u.inTable && f.firstUfcb == &u && !u.sameNext &&
                        u.recordLength == slot - 1 && u.record.size() >= slot - 1;
    if (asRead) {
        old.resize(slot);
        old[0] = ' ';
        memcpy(old.data() + 1, u.record.data(), slot - 1);
    } else if (internal) {
        // One read gives the status byte and, when keys are kept in step, the record too.
        old.resize(keys ? slot : 1);
        size_t got = 0;
        int err = readAt(f, slotOffsetOf(f, slot, target), old.data(), old.size(), got);
        if (!err && (got != old.size() || slotDeleted(old[0]))) err = kErrNoRecord;
        if (err) return finish(err);
    } else if (target > f.records) {
        // Another copy may have appended it: the file's size decides.
        if (int err = recount(f, slot, false)) return finish(err);
        if (target > f.records) return finish(kErrNoRecord);
    }
    static std::vector<uint8_t> bytes;  // the new slot, its room kept between rewrites
    bytes.resize(slot);
    buildSlot(u, data, len, bytes.data());
    if (u.linked && internal) {  // the chain's links stay as they are
        Links l;
        if (int err = readLinks(f, slot, target, l)) return finish(err);
        putBigEndian(bytes.data() + 1, l.prev);
        putBigEndian(bytes.data() + 5, l.next);
    }
    const int64_t at = slotOffsetOf(f, slot, target);
    auto writeSlot = [&] { return writeAt(f, at, bytes.data(), slot); };
    if (keys) {
        // The record and its keys as one change: a key file that refuses leaves the record as
        // it was.
        int err = 0;
        if (!internal) {
            old.resize(slot);
            size_t got = 0;
            err = readAt(f, at, old.data(), slot, got);
            if (!err && got != slot) err = kErrNoRecord;
        }
        SlotChange c;
        c.n = target;
        c.offset = at;
        c.length = slot;
        c.before = old.data();
        c.after = bytes.data();
        if (!err) err = changeRecordKeys(u, c, writeSlot);
        dropReadAhead(f);
        if (err) return finish(err);
    } else if (int err = writeSlot()) {
        return finish(err);
    }
    dropReadAhead(f);
    u.position = target;
    u.haveCurrent = true;
    return finish(0);
}

int deleteUnsynced(Ufcb& u, uint32_t n, const RecordOptions& o) {
    Fcb* fp = u.uffcb;
    if (!fp || !writable(u)) return kErrWrongMode;
    Fcb& f = *fp;
    if (!isInternal(f) || f.device != Device::kDisk) return kErrWrongMode;
    if (int err = settle(f)) return err;
    const uint32_t target = n ? n : (u.haveCurrent ? u.position : 0);
    if (target < 1) return kErrNoRecord;
    bool taken = false;
    if (u.lockingActive && !holds(u, target)) {
        if (n == 0) return kErrNotHeld;
        if (int err = lockRecord(u, target, o, taken)) return err;
    }
    auto finish = [&](int err) {
        if (err && taken) unlockRecord(u, target);
        if (!err && o.lock != kLockReserve) releaseLocks(u);
        return err;
    };
    const uint32_t slot = u.slotLength;
    const int64_t at = slotOffsetOf(f, slot, target);
    // The slot as it stands (its status byte alone when no keys are kept), and as it becomes.
    const bool keys = hasKeyFiles(f);
    std::vector<uint8_t> old(keys ? slot : 1), gone;
    {
        size_t got = 0;
        int err = readAt(f, at, old.data(), old.size(), got);
        if (!err && (got != old.size() || slotDeleted(old[0]))) err = kErrNoRecord;
        if (err) return finish(err);
    }
    const bool shared = u.lockingActive;
    auto deleteSlot = [&]() -> int {
        if (u.linked) return deleteLinked(u, target);
        const uint8_t mark = kSlotDeleted;
        return writeAt(f, at, &mark, 1);
    };
    // A chain of records changes under the file's update lock (taken before the key files').
    int err = u.linked && shared ? ktUpdateLock(f.handle, u.ufnbr) : 0;
    if (!err && keys && u.linked) err = readChainHead(f);
    if (!err) {
        if (keys) {
            gone = old;
            gone[0] = kSlotDeleted;
            // A record of a chain goes onto the chain of deleted records.
            if (u.linked && slot >= 5) putBigEndian(gone.data() + 1, f.deletedHead);
            SlotChange c;
            c.n = target;
            c.offset = at;
            c.length = slot;
            c.before = old.data();
            c.after = gone.data();
            c.linked = u.linked != 0;
            err = changeRecordKeys(u, c, deleteSlot);
        } else {
            err = deleteSlot();
        }
    }
    if (u.linked && shared) (void)ktUpdateUnlock(f.handle);
    dropReadAhead(f);
    if (!err) {
        u.position = target;
        u.haveCurrent = false;
        // The slot may join the chain again (a WRITE reuses it): the walk starts afresh.
        if (u.linked) u.linkSteps = 0;
    }
    return finish(err);
}

int restoreFile(Ufcb& u, uint32_t n) {
    Fcb* f = u.uffcb;
    releaseLocks(u);
    u.haveCurrent = false;
    u.keyCursor.clear();
    if (!f) return 0;
    if (f->type == kFileDisplay || f->device != Device::kDisk) {
        if (n) return kErrWrongMode;
        if (int err = flushText(*f)) return err;
        u.bytePosition = 0;
        u.text.clear();
        u.textStart = 0;
        if (u.mode != kModeInput) {
            // Output starts again at the beginning: the file is emptied, as a new report.
            if (f->device == Device::kDisk) {
                if (int err = truncateFile(*f, 0)) return err;
            }
            f->fileSize = f->textEnd = 0;
            f->textOutAt = 0;
        }
        return 0;
    }
    u.position = n ? n - 1 : 0;
    u.linkSteps = 0;
    return 0;
}

void releaseLocks(Ufcb& u) {
    if (u.lockedCount == 0) return;
    for (int64_t& n : u.uflocked) {
        if (n < 0) continue;
        const int64_t rec = n;
        unlockRecord(u, rec);
    }
    u.lockedCount = 0;
    std::fill(u.uflocked.begin(), u.uflocked.end(), int64_t{-1});
}

int flushFile(Ufcb& u) {
    if (!u.uffcb) return 0;
    int err = flushBehind(u);
    if (int e = flushText(*u.uffcb); e && !err) err = e;
    return err;
}

// ---- text lines ----
int writeTextLine(Ufcb& u, std::string_view bytes, int lineFeeds) {
    Fcb* fp = u.uffcb;
    if (!fp) {  // a window
        if (g_windowHooks.line)
            g_windowHooks.line(u, bytes, lineFeeds);
        else if (g_consoleWriter)
            g_consoleWriter(bytes);
        u.linesWritten += lineFeeds;
        u.line.clear();
        u.column = 1;
        return 0;
    }
    if (!writable(u)) return kErrWrongMode;
    Fcb& f = *fp;
    std::string out(bytes);
    if (u.eol != kEolNone) {
        while (!out.empty() && out.back() == ' ') out.pop_back();
    } else if (optionOn(4) && out.size() < static_cast<size_t>(u.ufreclen)) {
        out.resize(static_cast<size_t>(u.ufreclen), ' ');
    }
    if (out.find('\f') != std::string::npos) u.pageLines = 0;
    u.line.clear();
    u.column = 1;
    if (f.device == Device::kConsole) {
        if (g_consoleWriter) g_consoleWriter(out);
        u.linesWritten += lineFeeds;
        return 0;
    }
    if (u.outTable) translate(u.outTable.get(), reinterpret_cast<uint8_t*>(out.data()), out.size());
    const bool endsInFormFeed = !out.empty() && out.back() == '\f';
    std::string ends;
    if (u.eol != kEolNone && !endsInFormFeed) {
        const bool crlf = u.eol == kEolCrlf && u.ufreclen != 1;
        for (int i = 0; i < lineFeeds; ++i) {
            ends += crlf ? "\r\n" : "\n";
            ++u.pageLines;
            ++u.linesWritten;
        }
    }
    // A printer's line goes to its print job, which translates it.
    if (f.device == Device::kPrinter) return f.stream ? f.stream->writeLine(out, ends) : kErrFileNotOpen;
    out += ends;
    if (f.textOut.empty()) f.textOutAt = u.bytePosition;
    f.textOut += out;
    u.bytePosition += static_cast<int64_t>(out.size());
    if (u.bytePosition > f.textEnd) f.textEnd = u.bytePosition;
    if (f.textOut.size() >= kTextFlushBytes || f.device == Device::kDebug) return flushText(f);
    return 0;
}

int readTextLine(Ufcb& u, std::string& line) {
    line.clear();
    Fcb* fp = u.uffcb;
    if (!fp) return kErrWrongMode;
    Fcb& f = *fp;
    if (u.mode == kModeOutput) return kErrWrongMode;
    const size_t max = static_cast<size_t>(u.ufreclen > 0 ? u.ufreclen : 132);
    if (f.device == Device::kConsole) {
        if (!g_consoleReader) return kErrEndOfRecords;
        return g_consoleReader(line, static_cast<int>(max));
    }
    if (f.device != Device::kDisk) return kErrWrongMode;
    if (int err = flushText(f)) return err;
    // The line from the read-ahead text: up to a line feed, at most RECL bytes.
    for (;;) {
        const int64_t offset = u.bytePosition - u.textStart;
        if (offset >= 0 && offset < static_cast<int64_t>(u.text.size())) {
            const char* start = u.text.data() + offset;
            const size_t avail = u.text.size() - static_cast<size_t>(offset);
            // A line of RECL bytes may still be followed by CR LF: look that far.
            const void* lf = memchr(start, '\n', std::min(avail, max + 2));
            const bool atEnd = u.textStart + static_cast<int64_t>(u.text.size()) >= f.textEnd;
            if (lf || avail > max + 1 || atEnd) {
                size_t len = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start)
                                : std::min(avail, max);
                size_t used = lf ? len + 1 : len;
                const bool crlf = lf && len > 0 && start[len - 1] == '\r';
                if (len - (crlf ? 1 : 0) > max) {  // a longer line continues as the next record
                    len = max;
                    used = max;
                }
                line.assign(start, len);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                u.bytePosition += static_cast<int64_t>(used);
                translate(u.inTable.get(), reinterpret_cast<uint8_t*>(line.data()), line.size());
                return 0;
            }
        }
        if (u.bytePosition >= f.textEnd) return kErrEndOfRecords;
        // Refill from the current position.
        const int64_t left = f.textEnd - u.bytePosition;
        const size_t want = static_cast<size_t>(
            std::min<int64_t>(left, static_cast<int64_t>(std::max(kTextReadBytes, max + 2))));
        u.text.resize(want);
        size_t got = 0;
        if (int err = readAt(f, u.bytePosition, reinterpret_cast<uint8_t*>(u.text.data()), want, got))
            return err;
        u.text.resize(got);
        u.textStart = u.bytePosition;
        if (got == 0) return kErrEndOfRecords;
    }
}

// ---- file state ----
int lastRecordNumber(Ufcb& u, int64_t& n) {
    n = 0;
    Fcb* f = u.uffcb;
    if (!f || f->device != Device::kDisk) return 0;
    if (int err = settle(*f)) return err;
    int64_t size;
    if (int err = sizeOf(*f, size)) return err;
    if (f->type == kFileDisplay) size = std::max(size, f->textEnd);
    const int64_t body = std::max<int64_t>(0, size - f->headerLength);
    n = u.slotLength ? body / u.slotLength : 0;
    return 0;
}

int dataFileSize(Ufcb& u, int64_t& size) {
    size = 0;
    Fcb* f = u.uffcb;
    if (!f || f->device != Device::kDisk) return 0;
    if (int err = settle(*f)) return err;
    return sizeOf(*f, size);
}

int setRecordLength(Ufcb& u, int recl) {
    Fcb* f = u.uffcb;
    if (!f || isInternal(*f) || recl < 1 || recl > 32767) return kErrWrongMode;
    if (f->type != kFileDisplay && f->type != kFileExternal) return kErrWrongMode;
    if (int err = settle(*f)) return err;
    u.ufreclen = static_cast<int16_t>(recl);
    u.slotLength = static_cast<uint32_t>(recl);
    if (u.record.size() < static_cast<size_t>(recl) + 2) u.record.resize(static_cast<size_t>(recl) + 2, ' ');
    return countRecords(u);  // the records are counted in the new length
}

int countRecords(Ufcb& u) {
    Fcb* f = u.uffcb;
    if (!f || f->type != kFileExternal || f->device != Device::kDisk || u.slotLength == 0) return 0;
    return recount(*f, u.slotLength, false);
}

int setFileVersion(Ufcb& u, int version) {
    Fcb* f = u.uffcb;
    if (!f || !isInternal(*f) || u.mode == kModeInput) return kErrWrongMode;
    f->version = version;
    return 0;
}

}  // namespace vxs
