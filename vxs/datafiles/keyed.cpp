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
#include "vxs/control/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/datafiles/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/indexes/btree.h"
#include "vxs/indexes/isam.h"
#include "vxs/indexes/keybuild.h"

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

// The distinct key files of a data file, in the order of the ufcbs chained on it (into a list
// kept between calls: this runs for every record written).
const std::vector<Fcb*>& keyFilesOf(const Fcb& data) {
    static std::vector<Fcb*> files;
    files.clear();
    for (const Ufcb* o = data.firstUfcb; o; o = o->sameNext)
        if (o->ufkbfcb && o->ufkbfcb->index &&
            std::find(files.begin(), files.end(), o->ufkbfcb) == files.end())
            files.push_back(o->ufkbfcb);
    return files;
}

// The update lock of a key file that other copies use, for one change (taken whole, and what is
// known of the file's size refreshed) or for one search or step in an ISAM file (taken shared:
// readers keep writers out, not each other; a B-tree looks after its readers itself).
class KeyLock {
  public:
    enum Kind { kChange, kRead };
    KeyLock(Fcb& k, int caller, Kind kind) : k_(k) {
        if (k.shareClass == 0 || (kind == kRead && k.type != kFileInternal)) return;
        err_ = kind == kChange ? ktUpdateLock(k.handle, caller) : ktUpdateLockShared(k.handle, caller);
        held_ = err_ == 0;
        if (held_ && kind == kChange) err_ = k.index->refresh();
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

int findLocked(Ufcb& u, KeyFind how, const uint8_t* key, int len, uint32_t record, KeyEntry& e) {
    KeyLock r(*u.ufkbfcb, u.ufnbr, KeyLock::kRead);
    if (int err = r.error()) return err;
    return u.ufkbfcb->index->find(u.keyCursor, how, key, len, record, e);
}

int stepLocked(Ufcb& u, bool forward, KeyEntry& e) {
    KeyLock r(*u.ufkbfcb, u.ufnbr, KeyLock::kRead);
    if (int err = r.error()) return err;
    return u.ufkbfcb->index->step(u.keyCursor, forward, e);
}

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
            if (int err = writeHeader(k)) return fail(err);
            std::unique_ptr<BtreeIndex> tree;
            if (int err = BtreeIndex::create(*k.keyIo, ko.version, total, false, tree)) return fail(err);
            tree->setWriteBack(k.shareClass == 0);
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
        int total = 0;
        for (int i = 0; i < kMaxKeyParts; ++i) k.keys[i] = h.keys[i];
        for (int i = 0; i < h.parts; ++i) total += h.keys[i].length;
        if (type == kFileBtreeKeys) {
            std::unique_ptr<BtreeIndex> tree;
            if (int err = BtreeIndex::open(*k.keyIo, total, h.swapped, tree)) return fail(err);
            k.btreeVersion = tree->shape().version;
            tree->setWriteBack(k.shareClass == 0 && o.mode != kModeInput);
            k.index = std::move(tree);
        } else {
            if (h.recl != total + 4) return fail(kErrRecordLength);
            std::unique_ptr<IsamIndex> isam;
            const uint32_t sorted = h.version > 0 ? static_cast<uint32_t>(h.version) : 0;
            if (int err = IsamIndex::open(*k.keyIo, total, h.length, sorted, h.swapped, isam))
                return fail(err);
            k.index = std::move(isam);
        }
    }
    k.index->setShared(k.shareClass != 0);
    k.index->setVerifyAfterChange(onVerifyList(k.path));
    return 0;
}

int closeKeyFile(Fcb& k, bool drop) {
    int err = k.index->flush();
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
    return err ? err : e;
}

// ---- keeping key files in step ----
bool hasKeyFiles(const Fcb& data) {
    for (const Ufcb* o = data.firstUfcb; o; o = o->sameNext)
        if (o->ufkbfcb) return true;
    return false;
}

int insertKeys(Ufcb& u, const uint8_t* record, size_t len, uint32_t n) {
    const std::vector<Fcb*>& files = keyFilesOf(*u.uffcb);
    static std::vector<std::vector<uint8_t>> keys;
    if (keys.size() < files.size()) keys.resize(files.size());
    size_t done = 0;
    int err = 0;
    for (; done < files.size(); ++done) {
        Fcb& k = *files[done];
        const KeyLayout layout = layoutOf(k);
        keys[done].resize(static_cast<size_t>(layout.total()));
        if ((err = buildKey(layout, record, len, keys[done].data()))) break;
        KeyLock change(k, u.ufnbr, KeyLock::kChange);
        if ((err = change.error())) break;
        if ((err = k.index->insert(keys[done].data(), n))) break;
    }
    if (!err) return 0;
    while (done-- > 0) {  // the keys already in go out again
        KeyLock change(*files[done], u.ufnbr, KeyLock::kChange);
        if (!change.error()) (void)files[done]->index->remove(keys[done].data(), n);
    }
    return err;
}

int replaceKeys(Ufcb& u, const uint8_t* before, const uint8_t* after, size_t len, uint32_t n) {
    const std::vector<Fcb*>& files = keyFilesOf(*u.uffcb);
    struct Change {
        Fcb* k;
        std::vector<uint8_t> old, now;
    };
    std::vector<Change> changed;
    int err = 0;
    for (Fcb* k : files) {
        const KeyLayout layout = layoutOf(*k);
        uint8_t oldKey[kMaxKeyLength], newKey[kMaxKeyLength];
        const size_t total = static_cast<size_t>(layout.total());
        const bool oldValid = buildKey(layout, before, len, oldKey) == 0;
        if ((err = buildKey(layout, after, len, newKey))) break;
        if (oldValid && memcmp(oldKey, newKey, total) == 0) continue;  // this key stays
        Change c{k, std::vector<uint8_t>(oldKey, oldKey + total), std::vector<uint8_t>(newKey, newKey + total)};
        KeyLock change(*k, u.ufnbr, KeyLock::kChange);
        if ((err = change.error())) break;
        if (oldValid) {
            err = k->index->remove(c.old.data(), n);
            if (err == kErrKeyNotFound) err = 0;  // not there: nothing to take out
            if (err) break;
        }
        if ((err = k->index->insert(c.now.data(), n))) {
            if (oldValid) (void)k->index->insert(c.old.data(), n);
            break;
        }
        if (!oldValid) c.old.clear();
        changed.push_back(std::move(c));
    }
    if (!err) return 0;
    for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
        KeyLock change(*it->k, u.ufnbr, KeyLock::kChange);
        if (change.error()) continue;
        (void)it->k->index->remove(it->now.data(), n);
        if (!it->old.empty()) (void)it->k->index->insert(it->old.data(), n);
    }
    return err;
}

int removeKeys(Ufcb& u, const uint8_t* record, size_t len, uint32_t n) {
    int first = 0;
    for (Fcb* k : keyFilesOf(*u.uffcb)) {
        const KeyLayout layout = layoutOf(*k);
        std::vector<uint8_t> key(static_cast<size_t>(layout.total()));
        if (buildKey(layout, record, len, key.data())) continue;  // never went in
        KeyLock change(*k, u.ufnbr, KeyLock::kChange);
        int err = change.error();
        if (!err) err = k->index->remove(key.data(), n);
        if (err == kErrKeyNotFound) err = 0;
        if (err && !first) first = err;
    }
    return first;
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
    KeyLock r(*k, u.ufnbr, KeyLock::kRead);
    if (int err = r.error()) return err;
    return k->index->countEntries(n);
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
