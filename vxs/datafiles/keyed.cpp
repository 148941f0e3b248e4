// Key files of KEYED access: opening and creating them (B-tree or ISAM), keeping every key file
// of a data file in step with its records, and reading records through a key: by key, at or
// after a key, and in key order from the last key read.
//
// A data file's key files are those of the ufcbs chained on its fcb; each is changed once per
// record operation, in chain order, under its update lock when the file is shared.  A key file
// always changes after the record is in place for WRITE (so a key never points at a slot that
// is not yet written) and before it for REWRITE and after it for DELETE; any failure puts back
// what was changed.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/journal.h"
#include "vxs/datafiles/keyjournal.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/indexes/btree.h"
#include "vxs/indexes/isam.h"
#include "vxs/indexes/keybuild.h"
#include "vxs/platform/fileio.h"

namespace vxs {

namespace {

// A key file's bytes through its fcb's handle.
class FcbKeyIo final : public KeyIo {
  public:
    explicit FcbKeyIo(Fcb& f) : f_(f) {}
    ~FcbKeyIo() override {
        if (view_) osUnmapView(view_, kViewBytes);
    }
    FcbKeyIo(const FcbKeyIo&) = delete;
    FcbKeyIo& operator=(const FcbKeyIo&) = delete;
    // The first page of a shared key file, mapped once: it holds the root record, whose change
    // count every search reads.  A key file never becomes shorter than its first node while
    // copies share it, so the bytes read through the view are always in the file.
    const uint8_t* view(int64_t offset, size_t count) override {
        if (offset < 0 || offset + static_cast<int64_t>(count) > kRootEnd) return nullptr;
        if (!view_ && !viewFailed_ && f_.shareClass != 0)
            viewFailed_ = osMapView(f_.handle, kViewBytes, view_) != 0;
        return view_ ? view_ + offset : nullptr;
    }
    int read(int64_t offset, uint8_t* buf, size_t count, size_t& got) override {
        return readAt(f_, offset, buf, count, got);
    }
    int write(int64_t offset, const uint8_t* data, size_t count) override {
        return writeAt(f_, offset, data, count);
    }
    int size(int64_t& bytes) override { return sizeOf(f_, bytes); }
    int truncate(int64_t bytes) override { return truncateFile(f_, bytes); }
    int barrier() override { return configLimits().syncWrites ? osSync(f_.handle) : 0; }
    int holdShared(bool on) override {
        return on ? ktUpdateLockShared(f_.handle, 0) : ktUpdateUnlock(f_.handle);
    }

  private:
    static constexpr size_t kViewBytes = 4096;
    static constexpr int64_t kRootEnd = 512;  // header and root record
    Fcb& f_;
    const uint8_t* view_ = nullptr;
    bool viewFailed_ = false;
};

KeyLayout layoutOf(const Fcb& k) {
    KeyLayout l;
    l.parts = std::min<int>(k.keyParts, kMaxKeyParts);
    for (int i = 0; i < l.parts; ++i) l.keys[i] = k.keys[i];
    l.alternate = (k.headerFlags & kHeaderCollationMask) == kHeaderCollationAlternate;
    return l;
}

// Whether the key file is on the list of files verified after every change.
bool onVerifyList(const std::string& path) {
    for (const std::string& name : btreeVerifyFiles()) {
        std::string mapped;
        if (mapFileName(name, mapped) == 0 && mapped == path) return true;
    }
    return false;
}

// The update lock of a shared ISAM key file for one search or step, taken shared: readers keep
// writers out, not each other (a B-tree looks after its readers itself).
class KeyLock {
  public:
    KeyLock(Fcb& k, int caller) : k_(k) {
        if (k.shareClass == 0 || k.type != kFileInternal) return;
        err_ = ktUpdateLockShared(k.handle, caller);
        held_ = err_ == 0;
    }
    ~KeyLock() {
        if (held_) (void)ktUpdateUnlock(k_.handle);
    }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;
    int error() const { return err_; }

  private:
    Fcb& k_;
    bool held_ = false;
    int err_ = 0;
};

// The key parts of a key file about to be made: each inside the record (from position 9 of a
// LINKED one), 128 bytes in all, at least one unless the file is LINKED.
int checkNewKeyParts(const KeyFileOpen& ko) {
    if (ko.parts > kMaxKeyParts || (ko.parts == 0 && !ko.linked)) return kErrKeyParts;
    int total = 0;
    for (int i = 0; i < ko.parts; ++i) {
        const KeyPart& k = ko.keys[i];
        if (k.start < (ko.linked ? 9 : 1) || k.length < 1 || k.start + k.length - 1 > ko.recl)
            return kErrKeyParts;
        total += k.length;
    }
    return total > kMaxKeyLength ? kErrKeyParts : 0;
}

// A search or step of u's key file.  A change another copy left unfinished is finished first
// from its journal; when the copy that made it lives on (it could not put back a change that
// failed), the file is read as it is; when no journal explains it, the file is damaged.
template <typename Op>
int readingKeys(Ufcb& u, Op op) {
    Fcb& k = *u.ufkbfcb;
    auto* tree = k.type == kFileBtreeKeys ? static_cast<BtreeIndex*>(k.index.get()) : nullptr;
    int live = 0;
    for (int attempt = 0;; ++attempt) {
        int err;
        {
            KeyLock r(k, u.ufnbr);
            if ((err = r.error())) return err;
            err = op();
        }
        if (!err || !tree || !tree->unfinished()) return err;
        if (attempt == 0) {
            (void)recoverAround(*u.uffcb, {&k}, live);
            continue;
        }
        if (live == 0) return kErrKeyFileDamaged;
        tree->readUnfinished(true);
        {
            KeyLock r(k, u.ufnbr);
            err = r.error() ? r.error() : op();
        }
        tree->readUnfinished(false);
        return err;
    }
}

// Whether an existing key file is whole: a header of the kind asked for, and for a B-tree a
// root record and a root that read as one.
bool wholeKeyFile(Fcb& k, const KeyFileOpen& ko) {
    uint8_t bytes[kMaxHeaderLength];
    size_t got = 0;
    if (readAt(k, 0, bytes, sizeof bytes, got)) return true;  // a read error is not this
    InternalHeader h;
    if (decodeHeader(bytes, got, h) != 0 || h.parts == 0) return false;
    if ((h.type == kTypeBtree) != (ko.type == kFileBtreeKeys)) return true;  // refused later
    if (h.type != kTypeBtree) return true;
    int total = 0;
    for (int i = 0; i < h.parts; ++i) total += h.keys[i].length;
    std::unique_ptr<BtreeIndex> tree;
    if (BtreeIndex::open(*k.keyIo, total, h.swapped, tree, true) != 0) return false;
    uint32_t nodes = 0;
    (void)tree->nodeCount(nodes);
    int levels = 0;
    return nodes >= 1 && tree->depth(levels) == 0;
}

int findLocked(Ufcb& u, KeyFind how, const uint8_t* key, int len, uint32_t record, KeyEntry& e) {
    return readingKeys(u, [&] { return u.ufkbfcb->index->find(u.keyCursor, how, key, len, record, e); });
}

int stepLocked(Ufcb& u, bool forward, KeyEntry& e) {
    return readingKeys(u, [&] { return u.ufkbfcb->index->step(u.keyCursor, forward, e); });
}

int openIndex(Fcb& k, const InternalHeader& h);
int settleIndex(Fcb& k);

}  // namespace

// ---- opening and closing ----
int engineOpenKeyFcb(Fcb& k, const EngineOpen& o, const KeyFileOpen& ko) {
    k.outputFlag = o.mode != kModeInput ? 2 : 0;
    if (k.device != Device::kDisk) return kErrWrongFileType;
    if (int err = engineOpenHandle(k, o)) return err;
    auto fail = [&](int err) {
        k.outputFlag = 0;  // nothing of it is rewritten at the close
        k.index.reset();
        k.keyIo.reset();
        (void)engineCloseFcb(k, false);
        return err;
    };
    k.keyIo.reset(new (std::nothrow) FcbKeyIo(k));
    if (!k.keyIo) return fail(kErrNoMemory);
    if (k.fileSize > 0 && ko.remakeIfBroken && !wholeKeyFile(k, ko)) {
        // A copy died while making it (and nothing was written to the data file since): it is
        // made again.
        if (int err = truncateFile(k, 0)) return fail(err);
        k.fileSize = 0;
    }
    if (k.fileSize == 0) {
        // A new key file: its header from the key parts, then an empty index.
        if (o.mode == kModeInput) return fail(kErrWrongFileType);
        if (int err = checkNewKeyParts(ko)) return fail(err);
        if (ko.parts < 1) return fail(kErrKeyFileSame);
        int total = 0;
        bool flagged = false;
        for (int i = 0; i < ko.parts; ++i) {
            k.keys[i] = ko.keys[i];
            total += ko.keys[i].length;
            flagged = flagged || ko.keys[i].flags != 0;
        }
        k.type = static_cast<uint8_t>(ko.type);
        k.keyParts = static_cast<uint8_t>(ko.parts);
        k.headerFlags = static_cast<uint8_t>((ko.alternate ? kHeaderCollationAlternate : 0) |
                                             (flagged ? kHeaderKeyFlags : 0));
        k.version = 0;
        k.records = 0;
        k.swapped = false;
        if (ko.type == kFileBtreeKeys) {
            TreeShape shape;
            if (!treeShape(ko.version, total, false, shape)) return fail(kErrKeyParts);
            k.recl = static_cast<int16_t>(total < 50 ? 256 : 512);
            k.headerLength = kMaxHeaderLength;
            k.btreeVersion = ko.version;
            // The header, the root record and the root in one write.
            const std::string header = headerBytes(k);
            std::unique_ptr<BtreeIndex> tree;
            if (int err = BtreeIndex::create(*k.keyIo, ko.version, total, false, tree, &header))
                return fail(err);
            k.index = std::move(tree);
        } else {
            k.recl = static_cast<int16_t>(total + 4);
            k.headerLength = static_cast<int16_t>(headerLengthFor(total + 4, ko.parts, false));
            if (int err = writeHeader(k)) return fail(err);
            std::unique_ptr<IsamIndex> isam;
            if (int err = IsamIndex::open(*k.keyIo, total, k.headerLength, 0, false, isam))
                return fail(err);
            k.index = std::move(isam);
        }
        if (int err = sizeOf(k, k.fileSize)) return fail(err);
    } else {
        uint8_t bytes[kMaxHeaderLength];
        size_t got = 0;
        if (int err = readAt(k, 0, bytes, sizeof bytes, got)) return fail(err);
        InternalHeader h;
        if (int err = decodeHeader(bytes, got, h)) return fail(err);
        const int type = h.type == kTypeBtree ? kFileBtreeKeys : kFileInternal;
        if (type != ko.type) return fail(kErrWrongFileType);
        if (h.parts == 0) return fail(kErrKeyFileSame);
        k.type = static_cast<uint8_t>(type);
        k.records = h.records;
        k.version = h.version;
        k.recl = h.recl;
        k.headerLength = h.length;
        k.keyParts = h.parts;
        k.headerFlags = h.flags;
        k.swapped = h.swapped;
        for (int i = 0; i < kMaxKeyParts; ++i) k.keys[i] = h.keys[i];
        if (int err = openIndex(k, h)) return fail(err);
    }
    return settleIndex(k);
}

namespace {

// The index of an existing key file from its header (a B-tree whose changes a dead copy left
// unfinished opens, for the caller to finish them).
int openIndex(Fcb& k, const InternalHeader& h) {
    int total = 0;
    for (int i = 0; i < h.parts; ++i) total += h.keys[i].length;
    if (k.type == kFileBtreeKeys) {
        std::unique_ptr<BtreeIndex> tree;
        if (int err = BtreeIndex::open(*k.keyIo, total, h.swapped, tree, true)) return err;
        k.btreeVersion = tree->shape().version;
        k.index = std::move(tree);
        return 0;
    }
    if (h.recl != total + 4) return kErrRecordLength;
    std::unique_ptr<IsamIndex> isam;
    const uint32_t sorted = h.version > 0 ? static_cast<uint32_t>(h.version) : 0;
    if (int err = IsamIndex::open(*k.keyIo, total, h.length, sorted, h.swapped, isam)) return err;
    k.index = std::move(isam);
    return 0;
}

// What every index of a key file is told once made: whether others share it, whether it holds
// its changes back, where its changes are journaled.
int settleIndex(Fcb& k) {
    if (!k.keyJournal) k.keyJournal.reset(new (std::nothrow) KeyJournal(k));
    if (!k.keyJournal) return kErrNoMemory;
    if (k.type == kFileBtreeKeys)
        static_cast<BtreeIndex*>(k.index.get())->setWriteBack(k.shareClass == 0 && k.outputFlag);
    k.index->setShared(k.shareClass != 0);
    k.index->setVerifyAfterChange(onVerifyList(k.path));
    k.index->setJournal(k.keyJournal.get());
    return 0;
}

}  // namespace

int reopenIndex(Fcb& k) {
    uint8_t bytes[kMaxHeaderLength];
    size_t got = 0;
    if (int err = readAt(k, 0, bytes, sizeof bytes, got)) return err;
    InternalHeader h;
    if (int err = decodeHeader(bytes, got, h)) return err;
    k.index.reset();
    if (int err = openIndex(k, h)) return err;
    return settleIndex(k);
}

int keyFileJoined(Fcb& data, Fcb& k) {
    if (KeyJournal* kj = keyJournalOf(k)) kj->data = &data;
    // An ISAM file has no mark of a change left half done (its journals were looked at before
    // the files were opened).
    if (k.type != kFileBtreeKeys) return 0;
    bool check = k.index->unfinished();
    if (!check) {
        auto* tree = static_cast<BtreeIndex*>(k.index.get());
        const bool shared = k.shareClass != 0;
        if (shared)
            if (int err = ktUpdateLockShared(k.handle, 0)) return err;
        uint32_t count = 0;
        const int err = tree->changeCount(count);
        if (shared) (void)ktUpdateUnlock(k.handle);
        if (err) return err;
        check = (count & 1) != 0;
    }
    if (!check) return 0;
    int live = 0;
    const int err = recoverAround(data, {&k}, live);
    if (int e = reopenIndex(k)) return e;
    if (k.index->unfinished()) return err ? err : kErrKeyFileDamaged;
    return 0;
}

int closeKeyFile(Fcb& k, bool drop) {
    int err = k.index->flush();
    if (!err && k.keyJournal) keyJournalOf(k)->release();
    const bool shared = k.shareClass != 0;
    int e = shared ? ktUpdateLock(k.handle, 0) : 0;
    if (!e && drop) {
        // Emptied to its header: a B-tree gets a new empty root again.
        const int64_t keep = k.type == kFileBtreeKeys ? kRootRecordOffset : k.headerLength;
        e = truncateFile(k, keep);
        k.fileSize = keep;
        if (!e && k.type == kFileBtreeKeys) {
            const auto* tree = static_cast<const BtreeIndex*>(k.index.get());
            const TreeShape s = tree->shape();
            k.index.reset();
            std::unique_ptr<BtreeIndex> fresh;
            e = BtreeIndex::create(*k.keyIo, s.version, s.keyLength, s.swapped, fresh);
        }
        if (k.type == kFileInternal) k.version = 0;
    }
    if (!e && k.type == kFileInternal) {
        // An ISAM file's count of records is its whole slots.
        int64_t size = 0;
        e = sizeOf(k, size);
        if (!e) {
            const int64_t n = size > k.headerLength ? (size - k.headerLength) / (k.recl + 1) : 0;
            k.records = static_cast<uint32_t>(std::min<int64_t>(n, UINT32_MAX));
            e = writeHeader(k);
        }
    }
    if (shared) (void)ktUpdateUnlock(k.handle);
    // The journal of the directory goes with the last key file that used it.
    if (KeyJournal* kj = keyJournalOf(k); kj && !kj->speaking) {
        const std::string dir = directoryOf(kj->data ? kj->data->path : k.path);
        bool used = false;
        for (const Fcb* o = fileBlocks().firstFcb(); o && !used; o = o->next)
            if (o != &k && o->keyJournal && o->handle > 0) {
                const KeyJournal* other = static_cast<const KeyJournal*>(o->keyJournal.get());
                used = directoryOf(other->data ? other->data->path : o->path) == dir;
            }
        if (!used) closeJournal(dir);
    }
    return err ? err : e;
}

// ---- keeping key files in step ----
bool hasKeyFiles(const Fcb& data) {
    for (const Ufcb* o = data.firstUfcb; o; o = o->sameNext)
        if (o->ufkbfcb) return true;
    return false;
}

namespace {

// What one key file does in a record's change: the keys that go (at most two: the record's
// before and after a change that recovery makes whole), the key that comes.  Kept in fixed room:
// this runs for every record written.
struct KeyPlan {
    static constexpr int kMostRemovals = 2;
    Fcb* k = nullptr;
    int total = 0;  // the key length
    int removals = 0;
    uint8_t removal[kMostRemovals][kMaxKeyLength];
    bool insert = false;
    uint8_t insertion[kMaxKeyLength];
    bool btree = false, shared = false;
    bool heldBack = false;  // a B-tree held alone: its changes kept until a checkpoint
    bool begun = false;     // a shared B-tree's change is open
    // What was done at once (ISAM, held-back B-trees), so that it can be put back.
    bool removed[kMostRemovals] = {};
    bool inserted = false;
};

// The record image of a slot (after its status byte in INTERNAL files), when it is live.
const uint8_t* liveRecord(const Fcb& data, const uint8_t* slot) {
    if (!slot) return nullptr;
    if (data.type == kFileInternal) return slotDeleted(slot[0]) ? nullptr : slot + 1;
    return slot;
}

// The plans of the key files of `keys` for a change of a record from the images `gone` (at most
// two; their keys leave, unless the key comes back) to `comes` (its key comes).  Without
// `always`, a key file whose key stays does nothing.  A record whose new key cannot be made (a
// bad date) is refused before anything changes.
int planKeys(const std::vector<Fcb*>& keys, const uint8_t* const* gone, int goneCount,
             const uint8_t* comes, size_t recordLength, bool always, std::vector<KeyPlan>& out) {
    out.clear();
    for (Fcb* k : keys) {
        const KeyLayout layout = layoutOf(*k);
        KeyPlan& p = out.emplace_back();
        p.k = k;
        p.total = layout.total();
        const size_t total = static_cast<size_t>(p.total);
        p.btree = k->type == kFileBtreeKeys;
        p.shared = k->shareClass != 0;
        p.heldBack = p.btree && !p.shared && static_cast<BtreeIndex*>(k->index.get())->writeBackOn();
        bool keyStays = false;
        if (comes) {
            if (int err = buildKey(layout, comes, recordLength, p.insertion)) return err;
            p.insert = true;
        }
        for (int i = 0; i < goneCount && i < KeyPlan::kMostRemovals; ++i) {
            if (!gone[i]) continue;
            uint8_t* key = p.removal[p.removals];
            if (buildKey(layout, gone[i], recordLength, key)) continue;  // never went in
            if (p.insert && memcmp(key, p.insertion, total) == 0) {
                keyStays = true;
                continue;
            }
            if (p.removals == 1 && memcmp(key, p.removal[0], total) == 0) continue;
            ++p.removals;
        }
        if ((keyStays && !always && p.removals == 0) || (p.removals == 0 && !p.insert))
            out.pop_back();
    }
    // Key files are locked in the order of their identity, the same in every copy.
    if (out.size() > 1)
        std::sort(out.begin(), out.end(), [](const KeyPlan& a, const KeyPlan& b) {
            return a.k->idDevice != b.k->idDevice ? a.k->idDevice < b.k->idDevice
                                                  : a.k->idInode < b.k->idInode;
        });
    return 0;
}

// Applies a plan's removals and insertion to the index (kept in memory for B-trees).
int applyPlan(KeyPlan& p, uint32_t n, bool remember) {
    for (int i = 0; i < p.removals; ++i) {
        const int err = p.k->index->remove(p.removal[i], n);
        if (err == kErrKeyNotFound) continue;  // not there: nothing to take out
        if (err) return err;
        if (remember) p.removed[i] = true;
    }
    if (p.insert) {
        if (int err = p.k->index->insert(p.insertion, n)) return err;
        if (remember) p.inserted = true;
    }
    return 0;
}

// Puts back what applyPlan did at once.
void revertPlan(KeyPlan& p, uint32_t n) {
    if (p.inserted) (void)p.k->index->remove(p.insertion, n);
    for (int i = p.removals - 1; i >= 0; --i)
        if (p.removed[i]) (void)p.k->index->insert(p.removal[i], n);
    p.inserted = false;
    for (bool& r : p.removed) r = false;
}

}  // namespace

// ---- the journal of key files ----
namespace {

std::string absolutePathOf(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::string cwd;
    if (platform::currentDirectory(cwd) != 0) return path;
    if (!cwd.empty() && cwd.back() != '/') cwd += '/';
    return cwd + path;
}

constexpr int64_t kJournalCheckpointBytes = 8 << 20;  // beyond this held-back files checkpoint

}  // namespace

JournalFile journalFileOf(const Fcb& f) {
    return JournalFile{f.idDevice, f.idInode, absolutePathOf(f.path)};
}

uint32_t dataSlotLength(const Fcb& data) {
    return static_cast<uint32_t>(data.recl) + (data.type == kFileInternal ? 1u : 0u);
}

// ---- KeyJournal ----
// A key file that closes still speaking (its held-back changes could not be written) leaves the
// journal pending: it stays, for the next copy to finish them.
KeyJournal::~KeyJournal() = default;

int KeyJournal::journal(Journal*& j) {
    return Journal::of(directoryOf(data ? data->path : key_.path), j);
}

int KeyJournal::keyChange(uint32_t marker, int64_t oldSize, const std::vector<PageImage>& before) {
    Journal* j = nullptr;
    if (int err = journal(j)) return err;
    if (j->pending == 0) j->restart();
    JournalEntry e;
    e.kind = JournalKind::kKeyChange;
    e.sequence = j->nextSequence();
    e.marker = marker;
    e.size = static_cast<uint64_t>(oldSize);
    e.keys.push_back(journalFileOf(key_));
    e.images = before;
    return j->append(encodeJournalEntry(e));
}

int KeyJournal::startHeldBack(uint32_t records) {
    if (speaking) return 0;
    Journal* j = nullptr;
    if (int err = journal(j)) return err;
    int64_t size = 0;
    if (int err = sizeOf(key_, size)) return err;
    if (int err = writeState(*j, JournalKind::kCheckpoint, records, size, {})) return err;
    dataRecords = records;
    speaking = true;
    journal_ = j;
    ++j->pending;
    // The file says it holds changes back before the first of them is made.
    if (key_.type == kFileBtreeKeys)
        if (int err = static_cast<BtreeIndex*>(key_.index.get())->markHeldBack()) return err;
    return 0;
}

int KeyJournal::checkpointing(int64_t newSize, const std::vector<PageImage>& after) {
    Journal* j = nullptr;
    if (int err = journal(j)) return err;
    return writeState(*j, JournalKind::kFlush, data ? data->records : 0, newSize, after);
}

int KeyJournal::checkpointed(int64_t newSize) {
    // What the checkpoint wrote is on the disk before the journal says it is there.
    if (configLimits().syncWrites)
        if (int err = osSync(key_.handle)) return err;
    Journal* j = nullptr;
    if (int err = journal(j)) return err;
    const uint32_t records = data ? data->records : 0;
    if (int err = writeState(*j, JournalKind::kCheckpoint, records, newSize, {})) return err;
    dataRecords = records;
    return 0;
}

void KeyJournal::release() {
    if (!speaking || (key_.index && key_.index->heldBack())) return;
    // The file says it is whole on the disk before the journal may forget it.
    if (configLimits().syncWrites && osSync(key_.handle) != 0) return;
    speaking = false;
    if (journal_ && journal_->pending > 0) --journal_->pending;
}

int KeyJournal::writeState(Journal& j, JournalKind kind, uint32_t records, int64_t size,
                           const std::vector<PageImage>& images) {
    JournalEntry e;
    e.kind = kind;
    e.sequence = j.nextSequence();
    e.dataRecords = records;
    e.size = static_cast<uint64_t>(size);
    e.keys.push_back(journalFileOf(key_));
    if (data) {
        e.data = journalFileOf(*data);
        e.slotLength = dataSlotLength(*data);
        e.dataType = data->type;
    }
    e.images = images;
    return j.append(encodeJournalEntry(e));
}

namespace {

// The held-back key files of other data files that a journal speaks for are written out, so
// that the journal can start again (it grows with every change while any speaks).
void checkpointJournal(Journal& j) {
    for (Fcb* f = fileBlocks().firstFcb(); f; f = f->next) {
        KeyJournal* kj = f->keyJournal ? keyJournalOf(*f) : nullptr;
        if (!kj || !kj->speaking || !f->index) continue;
        Journal* mine = nullptr;
        if (kj->journal(mine) != 0 || mine != &j) continue;
        if (f->index->flush() == 0) kj->release();
    }
}


// Takes the update locks of the shared key files of the plans (in the plans' order).  A file
// found with a change another copy left unfinished: every lock goes again and `unfinished`
// says so.
int lockPlans(std::vector<KeyPlan>& plans, int caller, bool& unfinished, size_t& locked) {
    unfinished = false;
    locked = 0;
    for (; locked < plans.size(); ++locked) {
        KeyPlan& p = plans[locked];
        if (!p.shared) continue;
        if (int err = ktUpdateLock(p.k->handle, caller)) return err;
        int err = p.k->index->refresh();
        if (err && p.k->index->unfinished()) {
            unfinished = true;
            err = 0;
        }
        if (err || unfinished) {
            ++locked;
            return err;
        }
    }
    return 0;
}

void unlockPlans(std::vector<KeyPlan>& plans, size_t locked) {
    for (size_t i = 0; i < locked && i < plans.size(); ++i)
        if (plans[i].shared) (void)ktUpdateUnlock(plans[i].k->handle);
}

// Whether a crash could leave the slot's write torn: with changes put on the disk (SYNC ON), a
// power loss, when the slot crosses a sector; otherwise a kill, when an overwrite crosses a
// page (an append a kill cuts short is cut off at recovery).
bool tearable(const SlotChange& c) {
    if (c.length == 0) return false;
    const bool sync = configLimits().syncWrites;
    if (!sync && !c.before) return false;
    const int64_t unit = sync ? kSectorBytes : kKillTearBytes;
    return c.offset / unit != (c.offset + static_cast<int64_t>(c.length) - 1) / unit;
}

// The change of a record of `data` with the plans of its key files, the update locks held (see
// changeKeys below).
int changeLocked(Fcb& data, std::vector<KeyPlan>& plans, const SlotChange& c,
                 SlotWrite writeSlot) {
    const uint32_t n = c.n;
    // 1. Held-back key files: their state in the journal before their first held-back change.
    for (KeyPlan& p : plans)
        if (p.heldBack)
            if (int err = keyJournalOf(*p.k)->startHeldBack(data.records)) return err;
    auto abandonAll = [&] {
        for (KeyPlan& p : plans) {
            if (p.begun) p.k->index->abandonChange();
            p.begun = false;
            if (p.heldBack) revertPlan(p, n);
        }
    };
    // 2. The B-trees change in memory: shared ones inside a change, held-back ones as they are.
    bool statement = false, shared = false;
    for (KeyPlan& p : plans) {
        int err = 0;
        if (p.btree && p.shared) {
            if ((err = p.k->index->beginChange()) == 0) {
                p.begun = true;
                err = applyPlan(p, n, false);
            }
            statement = shared = true;
        } else if (p.heldBack) {
            err = applyPlan(p, n, true);
            // A record the checkpoint covers changes keys the file on disk holds.
            if (n <= keyJournalOf(*p.k)->dataRecords) statement = true;
        } else {
            statement = true;
            shared = shared || p.shared;
        }
        if (err) {
            abandonAll();
            return err;
        }
    }
    // 3. The journal: the record's change, and the bytes each shared B-tree's change overwrites.
    // A slot written that a crash could tear (see tearable) has its change written there too,
    // so that it can be made whole; keys made to agree with a slot (recovery) write none.
    if (writeSlot && tearable(c)) statement = true;
    if (statement) {
        Journal* j = nullptr;
        int err = Journal::of(directoryOf(data.path), j);
        if (!err) {
            if (j->pending > 0 && j->bytes() > kJournalCheckpointBytes) checkpointJournal(*j);
            if (j->pending == 0) j->restart();
            JournalEntry e;
            e.kind = JournalKind::kStatement;
            e.sequence = j->nextSequence();
            bool heldBack = false;
            for (const KeyPlan& p : plans) heldBack = heldBack || p.heldBack;
            e.flags = static_cast<uint8_t>((shared || !heldBack ? kStatementShared : 0) |
                                           (data.type == kFileInternal ? 0 : kStatementExternal) |
                                           (c.linked ? kStatementLinked : 0));
            e.record = n;
            e.slotOffset = static_cast<uint64_t>(c.offset);
            if (c.before) e.before.assign(c.before, c.before + c.length);
            if (c.after) e.after.assign(c.after, c.after + c.length);
            e.data = journalFileOf(data);
            for (const KeyPlan& p : plans) e.keys.push_back(journalFileOf(*p.k));
            std::string entries = encodeJournalEntry(e);
            for (KeyPlan& p : plans) {
                if (!p.begun) continue;
                JournalEntry k;
                k.kind = JournalKind::kKeyChange;
                k.sequence = j->nextSequence();
                int64_t oldSize = 0;
                p.k->index->changeImages(k.marker, oldSize, k.images);
                k.size = static_cast<uint64_t>(oldSize);
                k.keys.push_back(journalFileOf(*p.k));
                entries += encodeJournalEntry(k);
            }
            err = j->append(entries);
        }
        if (err) {
            abandonAll();
            return err;
        }
    }
    // 4. The shared B-trees are marked as changing.
    for (KeyPlan& p : plans)
        if (p.begun)
            if (int err = p.k->index->markChange()) {
                abandonAll();
                return err;
            }
    // 5. The slot.
    if (writeSlot)
        if (int err = writeSlot()) {
            abandonAll();
            return err;
        }
    // Puts the slot back as it was, when a key file refuses after it was written.
    auto undoSlot = [&] {
        if (!writeSlot) return;
        if (c.before) (void)writeAt(data, c.offset, c.before, c.length);
        else (void)truncateFile(data, c.offset);
    };
    // 6. Key files written at once (ISAM, a B-tree nobody shares that holds nothing back),
    // then the nodes the shared B-trees append.
    auto writtenAtOnce = [](const KeyPlan& p) { return !p.begun && !p.heldBack; };
    auto revertAtOnce = [&] {
        for (KeyPlan& q : plans)
            if (writtenAtOnce(q)) revertPlan(q, n);
    };
    for (KeyPlan& p : plans) {
        if (!writtenAtOnce(p)) continue;
        if (int err = applyPlan(p, n, true)) {
            revertAtOnce();
            undoSlot();
            abandonAll();
            return err;
        }
    }
    for (KeyPlan& p : plans)
        if (p.begun)
            if (int err = p.k->index->commitAppends()) {
                revertAtOnce();
                undoSlot();
                abandonAll();
                return err;
            }
    // 7. The rest of each B-tree's change, which marks it done.
    int first = 0;
    for (KeyPlan& p : plans)
        if (!p.heldBack) p.k->unsynced = true;
    for (KeyPlan& p : plans) {
        if (!p.begun) continue;
        p.begun = false;
        if (int err = p.k->index->commitChange(); err && !first) first = err;
    }
    return first;
}

}  // namespace

int recoverAround(const Fcb& data, const std::vector<Fcb*>& keys, int& live) {
    live = 0;
    std::vector<std::string> dirs{directoryOf(data.path)};
    for (const Fcb* k : keys)
        if (std::find(dirs.begin(), dirs.end(), directoryOf(k->path)) == dirs.end())
            dirs.push_back(directoryOf(k->path));
    int first = 0;
    for (const std::string& d : dirs) {
        int n = 0;
        if (int err = recoverDirectory(d, n); err && !first) first = err;
        live += n;
    }
    return first;
}

int changeKeys(Fcb& data, const std::vector<Fcb*>& keys, const SlotChange& c,
               const uint8_t* const* gone, int goneCount, const uint8_t* comes, bool always,
               SlotWrite writeSlot, int caller) {
    const size_t skip = data.type == kFileInternal ? 1 : 0;
    const size_t recordLength = c.length - skip;
    for (int attempt = 0;; ++attempt) {
        std::vector<KeyPlan> plans;
        if (int err = planKeys(keys, gone, goneCount, comes, recordLength, always, plans))
            return err;
        if (plans.empty() && !(writeSlot && tearable(c))) return writeSlot ? writeSlot() : 0;
        bool unfinished = false;
        size_t locked = 0;
        int err = lockPlans(plans, caller, unfinished, locked);
        if (!err && !unfinished) err = changeLocked(data, plans, c, writeSlot);
        unlockPlans(plans, locked);
        if (!unfinished) return err;
        // A copy died in the middle of a change of one of the key files: its journal finishes
        // it (with no lock of this copy held), then the change is made again.
        int live = 0;
        const int rec = recoverAround(data, keys, live);
        if (attempt >= 2) return rec ? rec : kErrKeyFileDamaged;
    }
}

namespace {
// The distinct key files of a data file, in the order of the ufcbs chained on it (into a list
// kept between calls: this runs for every record written).
const std::vector<Fcb*>& keyFileList(const Fcb& data) {
    static std::vector<Fcb*> files;
    files.clear();
    for (const Ufcb* o = data.firstUfcb; o; o = o->sameNext)
        if (o->ufkbfcb && o->ufkbfcb->index &&
            std::find(files.begin(), files.end(), o->ufkbfcb) == files.end())
            files.push_back(o->ufkbfcb);
    return files;
}
}  // namespace

int changeRecordKeys(Ufcb& u, const SlotChange& c, SlotWrite writeSlot) {
    Fcb& data = *u.uffcb;
    const uint8_t* before = liveRecord(data, c.before);
    const uint8_t* after = liveRecord(data, c.after);
    // A change that keeps every key (a REWRITE of other fields) is the slot's write alone: it
    // is whole or not at all.
    if (before && after && !tearable(c)) {
        const size_t length = c.length - (data.type == kFileInternal ? 1 : 0);
        bool same = true;
        for (const Ufcb* o = data.firstUfcb; o && same; o = o->sameNext) {
            const Fcb* k = o->ufkbfcb;
            if (!k || !k->index) continue;
            const KeyLayout layout = layoutOf(*k);
            uint8_t a[kMaxKeyLength], b[kMaxKeyLength];
            same = buildKey(layout, before, length, a) == 0 &&
                   buildKey(layout, after, length, b) == 0 &&
                   memcmp(a, b, static_cast<size_t>(layout.total())) == 0;
        }
        if (same) return writeSlot();
    }
    const uint8_t* gone[1] = {before};
    return changeKeys(data, keyFileList(data), c, gone, 1, after, false, writeSlot, u.ufnbr);
}

// ---- reading through a key ----
int readKeyed(Ufcb& u, KeyFind how, std::string_view key, const RecordOptions& o, bool transfer) {
    Fcb* k = u.ufkbfcb;
    if (!k || !k->index || u.access != kAccessKeyed) return kErrWrongMode;
    if (u.mode == kModeOutput) return kErrWrongMode;
    const KeyLayout layout = layoutOf(*k);
    const int len = static_cast<int>(std::min<size_t>(key.size(), static_cast<size_t>(layout.total())));
    uint8_t wanted[kMaxKeyLength];
    memcpy(wanted, key.data(), static_cast<size_t>(len));
    if (int err = convertSearchKey(layout, wanted, len)) return err;
    KeyCursor& c = u.keyCursor;
    KeyEntry e;
    if (int err = findLocked(u, how, wanted, len, 0, e)) return err;
    if (!transfer) {
        c.pending = true;
        u.haveCurrent = false;
        return 0;
    }
    c.pending = false;
    for (;;) {
        const int err = readRecord(u, ReadHow::kRecord, e.record, o);
        if (err != kErrNoRecord) return err;
        // The key points at a deleted record: the next key, which must still match.
        const int step = stepLocked(u, true, e);
        if (step == kErrEndOfRecords) return kErrKeyNotFound;
        if (step) return step;
        if (how == KeyFind::kEqual && memcmp(e.key, wanted, static_cast<size_t>(len)) != 0)
            return kErrKeyNotFound;
    }
}

int keyCount(Ufcb& u, uint32_t& n) {
    n = 0;
    Fcb* k = u.ufkbfcb;
    if (!k || !k->index) return 0;
    return readingKeys(u, [&] { return k->index->countEntries(n); });
}

int readInKeyOrder(Ufcb& u, ReadHow how, const RecordOptions& o) {
    Fcb* k = u.ufkbfcb;
    KeyCursor& c = u.keyCursor;
    const int total = k->index->keyLength();
    bool forward = how != ReadHow::kPrevious;
    if (how == ReadHow::kLast) {
        c.clear();
        forward = false;
    }
    for (;;) {
        KeyEntry e;
        int err;
        if (c.pending && forward) {
            // After RESTORE KEY=: the entry found, when it is still there, else the next.
            err = findLocked(u, KeyFind::kExact, c.key.data(), total, c.record, e);
            if (err == kErrKeyNotFound) err = stepLocked(u, true, e);
        } else {
            err = stepLocked(u, forward, e);
        }
        c.pending = false;
        if (err) return err;
        err = readRecord(u, ReadHow::kRecord, e.record, o);
        if (err != kErrNoRecord) return err;  // a deleted record's key is passed over
    }
}

}  // namespace vxs
