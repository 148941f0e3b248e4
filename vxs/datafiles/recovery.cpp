// Recovery of a dead copy's journal (see keyjournal.h): the change of a shared key file it left
// half done is undone (the bytes its entry kept are put back), the record it was changing is
// made whole with its keys (whatever the slot holds now, every key file holds its key and no
// other key of that record), and a key file it held alone gets the changes it held back: the
// checkpoint it was writing is finished from the journal, then the keys of every record the
// checkpoint does not cover are put in again from the data file.
//
// Every step can be made again: a recovery that stops half way leaves the journal, and the next
// one starts from it.  The changes recovery makes go through this copy's own journal like any
// other.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/header.h"
#include "vxs/datafiles/keyjournal.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/indexes/btree.h"

namespace vxs {

namespace {

constexpr int kShared = 4;  // the share class recovery opens files with (SHR, output)

// The files a journal names, as this process reaches them: an fcb it has open (found by
// identity), or one opened for the recovery and closed after it.
class Reach {
  public:
    Reach() = default;
    Reach(const Reach&) = delete;
    Reach& operator=(const Reach&) = delete;
    ~Reach() {
        // Key files first: their checkpoints read the data file.
        for (auto it = temps_.rbegin(); it != temps_.rend(); ++it)
            if ((*it)->index) (void)engineCloseFcb(**it, false);
        for (auto& f : temps_)
            if (f->handle > 0) (void)engineCloseFcb(*f, false);
    }

    // The data file: 0, or 4152 when it is gone or its name is another file's now.
    int data(const JournalFile& jf, uint8_t type, uint32_t slotLength, Fcb*& out) {
        if ((out = find(jf))) return 0;
        auto f = std::make_unique<Fcb>();
        f->path = jf.path;
        f->type = type == kFileExternal ? kFileExternal : kFileInternal;
        f->device = Device::kDisk;
        f->lockWait = 15;
        f->openCount = 1;
        EngineOpen eo;
        eo.mode = kModeOutin;
        eo.shareClass = kShared;
        if (int err = engineOpenFcb(*f, eo)) return err;
        if (f->type == kFileExternal) f->recl = static_cast<int16_t>(slotLength);
        return keep(std::move(f), jf, out);
    }
    // A key file of `data`, held alone (`alone`: its changes held back) or shared.
    int key(const JournalFile& jf, Fcb* data, bool alone, Fcb*& out) {
        if ((out = find(jf))) {
            if (data && keyJournalOf(*out)) keyJournalOf(*out)->data = data;
            return 0;
        }
        auto k = std::make_unique<Fcb>();
        k->path = jf.path;
        k->device = Device::kDisk;
        k->lockWait = 15;
        k->openCount = 1;
        EngineOpen eo;
        eo.mode = kModeOutin;
        eo.shareClass = alone ? 0 : kShared;
        KeyFileOpen ko;
        ko.type = kFileBtreeKeys;
        int err = engineOpenKeyFcb(*k, eo, ko);
        if (err == kErrWrongFileType) {
            ko.type = kFileInternal;
            err = engineOpenKeyFcb(*k, eo, ko);
        }
        if (err) return err;
        if (data && keyJournalOf(*k)) keyJournalOf(*k)->data = data;
        return keep(std::move(k), jf, out);
    }

  private:
    static Fcb* find(const JournalFile& jf) {
        for (Fcb* f = fileBlocks().firstFcb(); f; f = f->next)
            if (f->handle > 0 && f->device == Device::kDisk && f->idDevice == jf.device &&
                f->idInode == jf.inode)
                return f;
        return nullptr;
    }
    int keep(std::unique_ptr<Fcb> f, const JournalFile& jf, Fcb*& out) {
        if (f->idDevice != jf.device || f->idInode != jf.inode) {
            (void)engineCloseFcb(*f, false);
            return kErrFileNotFound;  // the name is another file's now: nothing of it to finish
        }
        out = f.get();
        temps_.push_back(std::move(f));
        return 0;
    }
    std::vector<std::unique_ptr<Fcb>> temps_;
};

// The slot `c` names as the data file holds it now (`now` empty when there is none: beyond the
// end).  A slot cut short at the end of the file (an append a power loss tore) is cut off.
int currentSlot(Fcb& data, const SlotChange& c, std::vector<uint8_t>& now) {
    now.clear();
    int64_t size = 0;
    if (int err = sizeOf(data, size)) return err;
    const int64_t end = c.offset + static_cast<int64_t>(c.length);
    if (size >= end) {
        now.resize(c.length);
        size_t got = 0;
        if (int err = readAt(data, c.offset, now.data(), c.length, got)) return err;
        if (got != c.length) now.clear();
        return 0;
    }
    if (size > c.offset) {
        const bool shared = data.shareClass != 0;
        if (shared)
            if (int err = ktUpdateLock(data.handle, 0)) return err;
        int err = sizeOf(data, size);
        if (!err && size > c.offset && size < end) err = truncateFile(data, c.offset);
        if (shared) (void)ktUpdateUnlock(data.handle);
        if (err) return err;
        int64_t slots = 0;
        if (!sizeOf(data, size) && size > data.headerLength)
            slots = (size - data.headerLength) / static_cast<int64_t>(c.length);
        data.records = static_cast<uint32_t>(std::min<int64_t>(slots, UINT32_MAX));
    }
    return 0;
}

const uint8_t* live(const Fcb& data, const std::vector<uint8_t>& slot) {
    if (slot.empty()) return nullptr;
    if (data.type == kFileInternal) return slotDeleted(slot[0]) ? nullptr : slot.data() + 1;
    return slot.data();
}

// Makes record `n` whole with its keys in `keys`: whatever its slot holds now, each key file
// holds the key of that record, and none of the keys of the images `before` and `after` (the
// slot as a change found it and left it) that are not that key.
int reconcile(Fcb& data, const std::vector<Fcb*>& keys, uint32_t n, uint64_t offset,
              size_t length, const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    SlotChange c;
    c.n = n;
    c.offset = static_cast<int64_t>(offset);
    c.length = length;
    std::vector<uint8_t> now;
    if (int err = currentSlot(data, c, now)) return err;
    c.before = now.empty() ? nullptr : now.data();
    c.after = c.before;
    const uint8_t* gone[2] = {live(data, before), live(data, after)};
    return changeKeys(data, keys, c, gone, 2, live(data, now), true, nullptr, 0);
}

// The last record change of a dead copy, torn by the crash, gets what it wrote.  After a power
// loss (`restarted`), a slot that holds neither what the change found nor what it wrote was
// torn.  After a kill, only a slot that holds what the change wrote up to a page and what it
// found after it: the kill stopped the write there (any other contents were written since, by
// a copy that lives).
int repairTorn(Fcb& data, const JournalEntry& s, bool restarted) {
    const size_t length = std::max(s.before.size(), s.after.size());
    if (s.after.empty() || length == 0) return 0;
    if (!restarted && s.before.size() != length) return 0;  // an append: cut off if cut short
    std::vector<uint8_t> now(length);
    size_t got = 0;
    const auto at = static_cast<int64_t>(s.slotOffset);
    if (int err = readAt(data, at, now.data(), length, got)) return err;
    if (got != length) return 0;  // cut short at the end: currentSlot cuts it off
    if (now == s.after || now == s.before) return 0;
    bool torn = restarted;
    for (int64_t page = (at / kKillTearBytes + 1) * kKillTearBytes;
         !torn && page < at + static_cast<int64_t>(length); page += kKillTearBytes) {
        const auto cut = static_cast<std::ptrdiff_t>(page - at);
        torn = std::equal(now.begin(), now.begin() + cut, s.after.begin()) &&
               std::equal(now.begin() + cut, now.end(), s.before.begin() + cut);
    }
    return torn ? writeAt(data, at, s.after.data(), length) : 0;
}

// ---- LINKED chains ----
uint32_t bigEndian(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Reads (or writes) 4 bytes, most significant first, of a data file.
int readWord(Fcb& data, int64_t at, uint32_t& v) {
    uint8_t b[4];
    size_t got = 0;
    if (int err = readAt(data, at, b, 4, got)) return err;
    if (got != 4) return kErrLinkedNeighbour;
    v = bigEndian(b);
    return 0;
}
int writeWord(Fcb& data, int64_t at, uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    return writeAt(data, at, b, 4);
}

// The chain around a record a dead copy added or took out is made to agree with the slot: when
// the slot holds what the change wrote, each link the change was to write is written where it
// still holds what the change found (another copy may have changed the chain since, and its
// links stay); when the slot holds what the change found (after a power loss kept a link but
// not the slot), the links the change wrote are put back.
int relink(Fcb& data, const JournalEntry& s, bool restarted) {
    const size_t slot = std::max(s.before.size(), s.after.size());
    if (slot < 9 || data.type != kFileInternal) return 0;
    auto linkAt = [&](uint32_t n, int which) {
        return data.headerLength + int64_t{n - 1} * static_cast<int64_t>(slot) + 1 + 4 * which;
    };
    const int64_t headAt = 15 + 4 * int64_t{data.keyParts};
    // Sets a word to `to` where it holds `from`.
    auto swap = [&](int64_t at, uint32_t from, uint32_t to) {
        uint32_t v = 0;
        if (readWord(data, at, v) != 0 || v != from) return 0;
        return writeWord(data, at, to);
    };
    const bool shared = data.shareClass != 0;
    if (shared)
        if (int err = ktUpdateLock(data.handle, 0)) return err;
    std::vector<uint8_t> now(slot);
    size_t got = 0;
    int err = readAt(data, static_cast<int64_t>(s.slotOffset), now.data(), slot, got);
    if (!err && got != slot) now.clear();
    const bool reused = !s.before.empty() && slotDeleted(s.before[0]);
    const bool added = !s.after.empty() && !slotDeleted(s.after[0]) && (s.before.empty() || reused);
    const bool removed = !s.before.empty() && !slotDeleted(s.before[0]) && !s.after.empty() &&
                         slotDeleted(s.after[0]);
    const uint32_t n = s.record;
    if (!err && added) {
        const uint32_t prev = bigEndian(s.after.data() + 1);
        const uint32_t nextDeleted = reused ? bigEndian(s.before.data() + 1) : 0;
        if (now == s.after) {
            if (prev) err = swap(linkAt(prev, 1), 0, n);
            if (!err && reused) err = swap(headAt, n, nextDeleted);
        } else if (restarted) {
            if (prev) err = swap(linkAt(prev, 1), n, 0);
            if (!err && reused && now == s.before) err = swap(headAt, nextDeleted, n);
        }
    } else if (!err && removed) {
        const uint32_t prev = bigEndian(s.before.data() + 1), next = bigEndian(s.before.data() + 5);
        const uint32_t oldHead = bigEndian(s.after.data() + 1);
        if (now == s.after) {
            if (prev) err = swap(linkAt(prev, 1), n, next);
            if (!err && next) err = swap(linkAt(next, 0), n, prev);
            if (!err) err = swap(headAt, oldHead, n);
        } else if (restarted && now == s.before) {
            if (prev) err = swap(linkAt(prev, 1), next, n);
            if (!err && next) err = swap(linkAt(next, 0), prev, n);
            if (!err) err = swap(headAt, n, oldHead);
        }
    }
    if (shared) (void)ktUpdateUnlock(data.handle);
    return err;
}

// Undoes a shared key file's change that its count still marks as under way.
int undoKeyChange(Fcb& k, const JournalEntry& e) {
    if (k.type != kFileBtreeKeys) return 0;
    auto* tree = static_cast<BtreeIndex*>(k.index.get());
    const bool shared = k.shareClass != 0;
    if (shared)
        if (int err = ktUpdateLock(k.handle, 0)) return err;
    uint32_t count = 0;
    int err = tree->changeCount(count);
    if (!err && count == e.marker && (count & 1)) {
        for (const PageImage& i : e.images)
            if ((err = k.keyIo->write(i.offset, i.bytes.data(), i.bytes.size()))) break;
        if (!err) err = k.keyIo->truncate(static_cast<int64_t>(e.size));
        if (!err && configLimits().syncWrites) err = osSync(k.handle);
        // The count moves on, even: readers read the file again.
        if (!err) err = tree->setChangeCount(e.marker + 1);
        if (!err) err = tree->refresh();
    }
    if (shared) (void)ktUpdateUnlock(k.handle);
    return err;
}

// Whether the root record of a B-tree key file says changes are held back.
bool heldBackInFile(Fcb& k) {
    uint8_t b[4];
    size_t got = 0;
    if (readAt(k, kRootRecordOffset + 8, b, 4, got) || got != 4) return false;
    return b[0] | b[1] | b[2] | b[3];
}

// A key file a dead copy held alone: the checkpoint it was writing finished, then the keys of
// the records its state does not cover put in again, then a checkpoint of this copy writes it.
int recoverHeldBack(Reach& reach, const JournalEntry& state,
                    const std::vector<const JournalEntry*>& after, bool restarted) {
    Fcb* data = nullptr;
    if (int err = reach.data(state.data, state.dataType, state.slotLength, data))
        return err == kErrFileNotFound ? 0 : err;
    if (!after.empty())
        if (int err = repairTorn(*data, *after.back(), restarted)) return err;
    // Opened alone for the checkpoint that ends the recovery (or as this process has it).
    Fcb* k = nullptr;
    if (int err = reach.key(state.keys[0], data, true, k)) return err == kErrFileNotFound ? 0 : err;
    if (k->type != kFileBtreeKeys || !heldBackInFile(*k)) return 0;  // nothing held back
    // A checkpoint whose entry is whole is finished (the pages that grew the file were written
    // before it); otherwise the file is cut back to what its state speaks for (pages a
    // checkpoint cut short appended lie past it).
    if (state.kind == JournalKind::kFlush)
        for (const PageImage& i : state.images)
            if (int err = k->keyIo->write(i.offset, i.bytes.data(), i.bytes.size())) return err;
    if (int err = k->keyIo->truncate(static_cast<int64_t>(state.size))) return err;
    if (configLimits().syncWrites)
        if (int err = osSync(k->handle)) return err;
    if (int err = reopenIndex(*k)) return err;
    auto* tree = static_cast<BtreeIndex*>(k->index.get());
    // The file holds the keys of the records up to the state's count, as it did then; the mark
    // that changes are held back stays until this copy's checkpoint has written them all.
    KeyJournal* kj = keyJournalOf(*k);
    if (tree->writeBackOn() && kj)
        if (int err = kj->startHeldBack(state.dataRecords)) return err;
    const std::vector<Fcb*> keys{k};
    for (const JournalEntry* s : after)
        if (int err = reconcile(*data, keys, s->record, s->slotOffset, std::max(s->before.size(), s->after.size()),
                                s->before, s->after))
            return err;
    // The records written since the state: their keys again, from their slots.
    const uint32_t slot = dataSlotLength(*data);
    // The dead copy's last append may be torn: part of a slot at the end is cut off (an
    // EXTERNAL file's short last record is a record).
    if (data->type == kFileInternal) {
        const bool shared = data->shareClass != 0;
        if (shared)
            if (int err = ktUpdateLock(data->handle, 0)) return err;
        const int err = cutTornAppend(*data, slot);
        if (shared) (void)ktUpdateUnlock(data->handle);
        if (err) return err;
    }
    int64_t size = 0;
    if (int err = sizeOf(*data, size)) return err;
    const int64_t body = std::max<int64_t>(0, size - data->headerLength);
    const uint32_t records = static_cast<uint32_t>(std::min<int64_t>(body / slot, UINT32_MAX));
    for (uint32_t n = state.dataRecords + 1; n <= records && n > state.dataRecords; ++n) {
        const std::vector<uint8_t> none;
        if (int err = reconcile(*data, keys, n, static_cast<uint64_t>(data->headerLength) +
                                                   uint64_t{n - 1} * slot,
                                slot, none, none))
            return err;
    }
    if (int err = k->index->flush()) return err;
    return tree->clearHeldBack();
}

}  // namespace

int recoverJournal(const std::string& path, const std::vector<JournalEntry>& entries,
                   bool restarted) {
    (void)path;
    Reach reach;
    int first = 0;
    auto note = [&](int err) {
        if (err == kErrFileNotFound) err = 0;  // the file is gone: nothing of it to finish
        if (err && !first) first = err;
    };
    // The last change of each shared key file: undone when its count still says it is under way.
    std::map<std::pair<uint64_t, uint64_t>, const JournalEntry*> lastChange;
    const JournalEntry* lastShared = nullptr;
    // Files held alone: their last state, and the changes of records since it.
    std::map<std::pair<uint64_t, uint64_t>, size_t> lastState;
    for (size_t i = 0; i < entries.size(); ++i) {
        const JournalEntry& e = entries[i];
        if (e.kind == JournalKind::kKeyChange && !e.keys.empty())
            lastChange[{e.keys[0].device, e.keys[0].inode}] = &e;
        if (e.kind == JournalKind::kStatement && (e.flags & kStatementShared)) lastShared = &e;
        if ((e.kind == JournalKind::kCheckpoint || e.kind == JournalKind::kFlush) && !e.keys.empty())
            lastState[{e.keys[0].device, e.keys[0].inode}] = i;
    }
    for (const auto& [id, e] : lastChange) {
        Fcb* k = nullptr;
        int err = reach.key(e->keys[0], nullptr, false, k);
        if (!err) err = undoKeyChange(*k, *e);
        note(err);
    }
    if (lastShared) {
        const JournalEntry& s = *lastShared;
        Fcb* data = nullptr;
        int err = reach.data(s.data, (s.flags & kStatementExternal) ? kFileExternal : kFileInternal,
                             static_cast<uint32_t>(std::max(s.before.size(), s.after.size())), data);
        std::vector<Fcb*> keys;
        for (size_t i = 0; !err && i < s.keys.size(); ++i) {
            Fcb* k = nullptr;
            const int e = reach.key(s.keys[i], data, false, k);
            if (e == 0) keys.push_back(k);
            else if (e != kErrFileNotFound) err = e;
        }
        if (!err) err = repairTorn(*data, s, restarted);
        if (!err && (s.flags & kStatementLinked)) err = relink(*data, s, restarted);
        if (!err)
            err = reconcile(*data, keys, s.record, s.slotOffset,
                            std::max(s.before.size(), s.after.size()), s.before, s.after);
        note(err);
    }
    for (const auto& [id, at] : lastState) {
        const JournalEntry& state = entries[at];
        std::vector<const JournalEntry*> after;
        for (size_t i = at + 1; i < entries.size(); ++i) {
            const JournalEntry& e = entries[i];
            if (e.kind != JournalKind::kStatement || (e.flags & kStatementShared)) continue;
            for (const JournalFile& k : e.keys)
                if (k.device == id.first && k.inode == id.second) after.push_back(&e);
        }
        note(recoverHeldBack(reach, state, after, restarted));
    }
    return first;
}

}  // namespace vxs
