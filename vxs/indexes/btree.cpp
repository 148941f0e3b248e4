// B-tree key files: node access in both formats (through TreeShape), search, stepping in key
// order with re-search when a node on the path was written meanwhile, insertion with splits,
// deletion with borrowing and merging, bulk load and verification.
#include "vxs/indexes/btree.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

constexpr int kRetry = -1;  // a node on the path changed: search again
// Fields of the root record beyond those of the format: the change count of a shared file, and
// 1 while changes are held back.
constexpr int64_t kChangeCountOffset = kRootRecordOffset + 4;
constexpr int64_t kHeldBackOffset = kRootRecordOffset + 8;
constexpr uint32_t kMaxCachedNodes = 262144;

}  // namespace

bool treeShape(int version, int keyLength, bool swapped, TreeShape& s) {
    s = TreeShape{};
    s.version = version;
    s.swapped = swapped;
    s.keyLength = keyLength;
    if (keyLength < 1) return false;
    if (version == 2) {
        const int b = keyLength + 4;
        if (b > kMaxKeyLength) return false;
        s.nodeSize = 1024;
        s.nodeBase = -512;
        s.innerMax = 1012 / (b + 8);
        s.leafMax = 1016 / (b + 4);
        s.leafRecAt = 8;
        s.leafKeyAt = 8 + 4 * s.leafMax;
        s.leafStride = b;
        s.innerRecAt = 8;
        s.innerKeyAt = 8 + 4 * s.innerMax;
        s.innerStride = b;
        s.childAt = 1020 - 4 * s.innerMax;
        return true;
    }
    if (version != 1 || keyLength > kMaxKeyLength) return false;
    // The header (write counter, count), then entries + 1 pointers (in a leaf the first is 0
    // and the others are the record numbers), then the keys.  Interior entries carry their
    // record number after the key, so fewer of them fit the same key area.
    s.nodeSize = keyLength < 50 ? 256 : 512;
    s.nodeBase = 512 - s.nodeSize;
    const int entries = (s.nodeSize - 8) / (keyLength + 4);
    s.leafMax = entries;
    s.leafRecAt = 8;
    s.leafKeyAt = 8 + 4 * entries;
    s.leafStride = keyLength;
    s.innerKeyAt = s.leafKeyAt;
    s.innerStride = keyLength + 4;
    s.innerRecAt = -1;
    s.innerMax = (s.nodeSize - s.innerKeyAt) / s.innerStride;
    s.childAt = 4;
    return s.leafMax >= 2 && s.innerMax >= 2;
}

// ---- raw node access ----
namespace {

uint16_t get16(const uint8_t* p, bool swapped) {
    return swapped ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t get32(const uint8_t* p, bool swapped) {
    return swapped ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                   : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}
void put16(uint8_t* p, uint16_t v, bool swapped) {
    if (swapped) {
        p[0] = static_cast<uint8_t>(v >> 8);
        p[1] = static_cast<uint8_t>(v);
    } else {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    }
}
void put32(uint8_t* p, uint32_t v, bool swapped) {
    for (int i = 0; i < 4; ++i)
        p[swapped ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}

// A view of one node's bytes, its kind and areas taken once.
struct Raw {
    const uint8_t* b;
    const TreeShape& s;
    bool isLeaf;
    const uint8_t* keys;
    int stride;
    Raw(const uint8_t* bytes, const TreeShape& shape)
        : b(bytes), s(shape),
          isLeaf(shape.version == 2 ? get16(bytes + 4, shape.swapped) == 1
                                    : get32(bytes + 4, shape.swapped) == 0),
          keys(bytes + (isLeaf ? shape.leafKeyAt : shape.innerKeyAt)),
          stride(isLeaf ? shape.leafStride : shape.innerStride) {}
    uint16_t counter() const { return get16(b, s.swapped); }
    int count() const { return get16(b + 2, s.swapped); }
    bool leaf() const { return isLeaf; }
    const uint8_t* key(int i) const { return keys + i * stride; }
    uint32_t record(int i) const {
        if (isLeaf) return get32(b + s.leafRecAt + 4 * i, s.swapped);
        if (s.innerRecAt < 0) return get32(key(i) + s.keyLength, s.swapped);
        return get32(b + s.innerRecAt + 4 * i, s.swapped);
    }
    uint32_t child(int i) const { return get32(b + s.childAt + 4 * i, s.swapped); }
    int compare(int i, const uint8_t* k, int len, uint32_t rec) const {
        if (const int c = memcmp(key(i), k, static_cast<size_t>(len))) return c;
        const uint32_t r = record(i);
        return r == rec ? 0 : r < rec ? -1 : 1;
    }
    // The first entry not less than the target.
    int lowerBound(const uint8_t* k, int len, uint32_t rec) const {
        int lo = 0, hi = count();
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (compare(mid, k, len, rec) < 0) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
    // The first entry greater than the target: the child an interior search takes.
    int upperBound(const uint8_t* k, int len, uint32_t rec) const {
        int lo = 0, hi = count();
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (compare(mid, k, len, rec) <= 0) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
};

}  // namespace

// A node taken apart for a change.
struct BtreeIndex::Node {
    bool leaf = true;
    uint16_t counter = 0;
    std::vector<uint8_t> keys;       // count * keyLength
    std::vector<uint32_t> records;   // count
    std::vector<uint32_t> children;  // count + 1 in an interior node
    int count() const { return static_cast<int>(records.size()); }
    void insertEntry(int at, const uint8_t* k, int len, uint32_t rec) {
        keys.insert(keys.begin() + static_cast<ptrdiff_t>(at) * len, k, k + len);
        records.insert(records.begin() + at, rec);
    }
    void eraseEntry(int at, int len) {
        keys.erase(keys.begin() + static_cast<ptrdiff_t>(at) * len,
                   keys.begin() + static_cast<ptrdiff_t>(at + 1) * len);
        records.erase(records.begin() + at);
    }
    const uint8_t* key(int i, int len) const { return keys.data() + static_cast<size_t>(i) * len; }
    void clear() {
        keys.clear();
        records.clear();
        children.clear();
    }
};

BtreeIndex::BtreeIndex(KeyIo& io, const TreeShape& s)
    : io_(io), shape_(s), pager_(io, s.nodeSize, s.nodeBase, kMaxCachedNodes) {}
BtreeIndex::~BtreeIndex() = default;

// ---- opening ----
int BtreeIndex::create(KeyIo& io, int version, int keyLength, bool swapped,
                       std::unique_ptr<BtreeIndex>& out, const std::string* header) {
    TreeShape s;
    if (!treeShape(version, keyLength, swapped, s)) return kErrKeyParts;
    uint8_t root[kRootRecordSize] = {};
    put32(root, 1, swapped);
    if (version == 2) {
        put16(root + 244, static_cast<uint16_t>(keyLength + 4), swapped);
        put16(root + 248, static_cast<uint16_t>(s.innerMax), swapped);
        put16(root + 250, static_cast<uint16_t>(s.leafMax), swapped);
    } else {
        put16(root + 244, static_cast<uint16_t>(keyLength), swapped);
        put16(root + 246, static_cast<uint16_t>(s.nodeBase), swapped);
        put16(root + 248, static_cast<uint16_t>(s.leafMax), swapped);
        put16(root + 250, static_cast<uint16_t>(s.nodeSize), swapped);
    }
    root[252] = static_cast<uint8_t>(version);
    std::unique_ptr<BtreeIndex> t(new (std::nothrow) BtreeIndex(io, s));
    if (!t) return kErrNoMemory;
    // The root: an empty leaf, counted once written.
    t->nodeBuf_.assign(static_cast<size_t>(s.nodeSize), 0);
    put16(t->nodeBuf_.data(), 1, swapped);
    if (version == 2) put16(t->nodeBuf_.data() + 4, 1, swapped);
    std::vector<uint8_t> image;
    if (header) image.assign(header->begin(), header->end());
    image.resize(header ? static_cast<size_t>(kRootRecordOffset) : 0, 0);
    image.insert(image.end(), root, root + sizeof root);
    // Node 1 follows the root record (it lies at 512 in both formats).
    image.resize(static_cast<size_t>(t->pager_.offsetOf(1) - (header ? 0 : kRootRecordOffset)), 0);
    image.insert(image.end(), t->nodeBuf_.begin(), t->nodeBuf_.end());
    if (int err = io.write(header ? 0 : kRootRecordOffset, image.data(), image.size())) {
        (void)io.truncate(header ? 0 : kRootRecordOffset);
        return err;
    }
    t->pager_.setPages(1);
    out = std::move(t);
    return 0;
}

int BtreeIndex::open(KeyIo& io, int keyLength, bool swapped, std::unique_ptr<BtreeIndex>& out,
                     bool allowUnfinished) {
    uint8_t root[kRootRecordSize];
    size_t got = 0;
    if (int err = io.read(kRootRecordOffset, root, sizeof root, got)) return err;
    if (got != sizeof root) return kErrRecordLength;
    const int version = root[252];
    TreeShape s;
    if (!treeShape(version, keyLength, swapped, s)) return kErrRecordLength;
    if (get32(root, swapped) != 1) return kErrRecordLength;
    if (version == 2) {
        if (get16(root + 244, swapped) != keyLength + 4 || get16(root + 248, swapped) != s.innerMax ||
            get16(root + 250, swapped) != s.leafMax)
            return kErrRecordLength;
    } else if (get16(root + 244, swapped) != keyLength ||
               static_cast<int16_t>(get16(root + 246, swapped)) != s.nodeBase ||
               get16(root + 248, swapped) != s.leafMax || get16(root + 250, swapped) != s.nodeSize) {
        return kErrRecordLength;
    }
    std::unique_ptr<BtreeIndex> t(new (std::nothrow) BtreeIndex(io, s));
    if (!t) return kErrNoMemory;
    // Changes held back by a copy that stopped before writing them out: the caller finishes
    // them from the journal, or the file is damaged.  (An odd change count may be a change
    // another copy is making now: it is looked at under the update lock.)
    const bool heldBack = get32(root + (kHeldBackOffset - kRootRecordOffset), swapped) != 0;
    if (heldBack) {
        if (!allowUnfinished) return kErrKeyFileDamaged;
        // Another copy's mark: it stays until recovery has written what that copy held back.
        t->heldBackAtOpen_ = true;
    }
    if (int err = t->pager_.refresh()) {
        if (!allowUnfinished) return err;
        t->heldBackAtOpen_ = true;  // nodes a dead copy held back were to make it whole
    }
    out = std::move(t);
    return 0;
}

void BtreeIndex::setShared(bool shared) {
    if (pager_.dirty()) (void)flush();  // nothing held back is dropped with the kept nodes
    shared_ = shared;
    pager_.forget();
    countKnown_ = false;
}

void BtreeIndex::setWriteBack(bool on) {
    if (!on && pager_.dirty()) (void)flush();
    pager_.setWriteBack(on);
}

// ---- the change count of shared files, and held-back changes ----
int BtreeIndex::markDirty(bool on) {
    uint8_t b[4];
    put32(b, on ? 1 : 0, shape_.swapped);
    if (int err = io_.write(kHeldBackOffset, b, 4)) return err;
    markedDirty_ = on;
    if (!on && !pager_.dirty()) heldBackAtOpen_ = false;
    return 0;
}

int BtreeIndex::clearHeldBack() {
    if (int err = markDirty(false)) return err;
    heldBackAtOpen_ = false;
    return 0;
}

int BtreeIndex::markHeldBack() {
    if (markedDirty_) return 0;
    if (int err = markDirty(true)) return err;
    return io_.barrier();
}

int BtreeIndex::flush() {
    if (!pager_.dirty() && !markedDirty_) return 0;
    if (int err = pager_.flush(journal_)) return err;
    return markDirty(false);
}

int BtreeIndex::readCount(uint32_t& count) {
    if (const uint8_t* p = io_.view(kChangeCountOffset, 4)) {
        // One aligned 32-bit load: a writer's change of it is seen whole or not at all.
        const uint32_t raw = __atomic_load_n(reinterpret_cast<const uint32_t*>(p), __ATOMIC_ACQUIRE);
        uint8_t b[4];
        memcpy(b, &raw, 4);
        count = get32(b, shape_.swapped);
        return 0;
    }
    uint8_t b[4];
    size_t got = 0;
    if (int err = io_.read(kChangeCountOffset, b, 4, got)) return err;
    if (got != 4) return kErrRecordLength;
    count = get32(b, shape_.swapped);
    return 0;
}

int BtreeIndex::writeCount(uint32_t count) {
    uint8_t b[4];
    put32(b, count, shape_.swapped);
    return io_.write(kChangeCountOffset, b, 4);
}

int BtreeIndex::setChangeCount(uint32_t count) {
    if (int err = writeCount(count)) return err;
    pager_.forget();
    countKnown_ = false;
    unfinished_ = false;
    return 0;
}

int BtreeIndex::beginRead(uint32_t& count) {
    unfinished_ = false;
    if (int err = readCount(count)) return err;
    if (count & 1) {
        // A change is under way: read while no writer can be busy.
        if (int err = io_.holdShared(true)) return err;
        lockedRead_ = true;
        if (int err = readCount(count)) return err;
        if ((count & 1) && !readUnfinished_) {
            // Still odd with no writer busy: a change another copy left unfinished, which the
            // caller finishes from that copy's journal before reading on.
            unfinished_ = true;
            return kErrKeyFileDamaged;
        }
    }
    if (!countKnown_ || count != count_ || (count & 1)) {
        pager_.forget();
        count_ = count;
        countKnown_ = !(count & 1);
    }
    fromFile_ = false;
    return 0;
}

int BtreeIndex::endRead(uint32_t count, bool& again) {
    again = false;
    if (lockedRead_) {
        lockedRead_ = false;
        return io_.holdShared(false);
    }
    if (!fromFile_) return 0;
    uint32_t now = 0;
    if (int err = readCount(now)) return err;
    if (now != count) {
        // A writer changed nodes while they were read: what was read may be half of each.
        pager_.forget();
        countKnown_ = false;
        again = true;
    }
    return 0;
}

template <typename Op>
int BtreeIndex::reading(Op op) {
    if (!shared_ || scope_) return op();
    for (int tries = 0;; ++tries) {
        uint32_t count = 0;
        if (int err = beginRead(count)) {
            if (lockedRead_) {
                lockedRead_ = false;
                (void)io_.holdShared(false);
            }
            return err;
        }
        const int err = op();
        bool again = false;
        if (int e = endRead(count, again)) return e;
        if (!again) return err;
        if (tries >= 100) return kErrKeyFileDamaged;
    }
}

// ---- changes ----
int BtreeIndex::beginChange() {
    if (scope_) return kErrKeyFileDamaged;  // changes do not nest
    if (shared_) {
        // The caller holds the update lock: nothing else changes the file meanwhile.
        unfinished_ = false;
        uint32_t count = 0;
        if (int err = readCount(count)) return err;
        if (count & 1) {
            // A change another copy left unfinished: it is finished first.
            unfinished_ = true;
            return kErrKeyFileDamaged;
        }
        if (!countKnown_ || count != count_) pager_.forget();
        count_ = count;
        countKnown_ = true;
        busy_ = count | 1;
    }
    pager_.begin();
    scope_ = 1;
    marked_ = false;
    return 0;
}

void BtreeIndex::changeImages(uint32_t& marker, int64_t& oldSize, std::vector<PageImage>& before) {
    marker = shared_ ? busy_ : 0;
    pager_.beforeImages(before, oldSize);
}

int BtreeIndex::markChange() {
    if (!shared_ || !pager_.changed()) return 0;
    if (int err = writeCount(busy_)) return err;
    marked_ = true;
    countKnown_ = false;
    // The mark is on the disk before any node it speaks for.
    return io_.barrier();
}

int BtreeIndex::commitAppends() {
    return pager_.commitAppends();
}

int BtreeIndex::commitChange() {
    if (!scope_) return 0;
    bool restored = true;
    int err = pager_.commitOverwrites(restored);
    scope_ = 0;
    // The nodes are on the disk before the mark says the change is done.
    if (!err && marked_) err = io_.barrier();
    if (marked_) {
        marked_ = false;
        // A change that could not be put back leaves the count odd: this copy's journal
        // explains it, and the next change of the file finishes it.
        if (err && !restored) return err;
        if (int e = writeCount(busy_ + 1); e && !err) err = e;
        if (!err) {
            count_ = busy_ + 1;
            countKnown_ = true;
        }
    }
    if (!err) err = checkAfterChange();
    return err;
}

void BtreeIndex::abandonChange() {
    if (!scope_) return;
    pager_.abandon();
    scope_ = 0;
    if (marked_) {
        marked_ = false;
        // The count moves on, so that readers that saw it odd read again.
        if (writeCount(busy_ + 1) == 0) {
            count_ = busy_ + 1;
            countKnown_ = true;
        }
    }
}

template <typename Op>
int BtreeIndex::changing(Op op) {
    // Inside a change its caller opened, or held back for a checkpoint: as they come.
    if (scope_ || pager_.writeBack()) return op();
    if (!shared_) return op();
    // A change of a shared file on its own: kept until it is whole, then written as one.
    if (int err = beginChange()) return err;
    scope_ = 2;
    int err = op();
    if (!err && pager_.changed()) {
        if (journal_) {
            uint32_t marker = 0;
            int64_t oldSize = 0;
            std::vector<PageImage> before;
            changeImages(marker, oldSize, before);
            err = journal_->keyChange(marker, oldSize, before);
        }
        if (!err) err = markChange();
        if (!err) err = commitAppends();
        if (!err) return commitChange();
    }
    abandonChange();
    return err;
}

int BtreeIndex::refresh() {
    if (shared_ && !scope_) {
        // Called with the update lock held: an odd count is a change nobody is making now.
        unfinished_ = false;
        uint32_t count = 0;
        if (int err = readCount(count)) return err;
        if (count & 1) {
            unfinished_ = true;
            return kErrKeyFileDamaged;
        }
    }
    return pager_.refresh();
}

int BtreeIndex::nodeCount(uint32_t& nodes) {
    nodes = pager_.pages();
    return 0;
}

// ---- nodes ----
int BtreeIndex::readNode(uint32_t n, const uint8_t*& bytes) {
    // Another copy may have appended nodes since the size was taken.
    if (n >= 1 && n > pager_.pages() && shared_)
        if (int err = pager_.refresh()) return err;
    bool fresh = false;
    if (int err = pager_.read(n, bytes, fresh)) return err;
    if (fresh) {
        fromFile_ = true;
        // The count must fit the node's kind; a version 2 leaf flag is 0 or 1.
        const Raw r{bytes, shape_};
        bool bad = shape_.version == 2 && get16(bytes + 4, shape_.swapped) > 1;
        bad = bad || r.count() > (r.leaf() ? shape_.leafMax : shape_.innerMax);
        if (bad) {
            pager_.discard(n);
            return kErrKeyFileDamaged;
        }
    }
    return 0;
}

int BtreeIndex::decode(uint32_t n, Node& node) {
    const uint8_t* b;
    if (int err = readNode(n, b)) return err;
    const Raw r{b, shape_};
    node.clear();
    node.leaf = r.leaf();
    node.counter = r.counter();
    const int count = r.count();
    const int k = shape_.keyLength;
    node.keys.resize(static_cast<size_t>(count) * k);
    node.records.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        memcpy(node.keys.data() + static_cast<size_t>(i) * k, r.key(i), static_cast<size_t>(k));
        node.records[static_cast<size_t>(i)] = r.record(i);
    }
    if (!node.leaf) {
        node.children.resize(static_cast<size_t>(count) + 1);
        for (int i = 0; i <= count; ++i) node.children[static_cast<size_t>(i)] = r.child(i);
    }
    return 0;
}

int BtreeIndex::writeNode(uint32_t n, Node& node) {
    const TreeShape& s = shape_;
    const size_t size = static_cast<size_t>(s.nodeSize);
    const int count = node.count();
    if (count > (node.leaf ? s.leafMax : s.innerMax)) return kErrKeyFileDamaged;
    nodeBuf_.assign(size, 0);
    uint8_t* buf = nodeBuf_.data();
    ++node.counter;
    put16(buf, node.counter, s.swapped);
    put16(buf + 2, static_cast<uint16_t>(count), s.swapped);
    const int k = s.keyLength;
    if (node.leaf) {
        if (s.version == 2) put16(buf + 4, 1, s.swapped);
        for (int i = 0; i < count; ++i) {
            put32(buf + s.leafRecAt + 4 * i, node.records[static_cast<size_t>(i)], s.swapped);
            memcpy(buf + s.leafKeyAt + i * s.leafStride, node.key(i, k), static_cast<size_t>(k));
        }
    } else {
        for (int i = 0; i < count; ++i) {
            uint8_t* e = buf + s.innerKeyAt + i * s.innerStride;
            memcpy(e, node.key(i, k), static_cast<size_t>(k));
            if (s.innerRecAt < 0) put32(e + k, node.records[static_cast<size_t>(i)], s.swapped);
            else put32(buf + s.innerRecAt + 4 * i, node.records[static_cast<size_t>(i)], s.swapped);
        }
        for (int i = 0; i <= count; ++i)
            put32(buf + s.childAt + 4 * i, node.children[static_cast<size_t>(i)], s.swapped);
    }
    // Before the first node is held back, the file says that changes are.
    if (pager_.writeBack() && !markedDirty_)
        if (int err = markDirty(true)) return err;
    return pager_.write(n, buf);
}

int BtreeIndex::appendNode(Node& node, uint32_t& n) {
    const uint32_t next = pager_.pages() + 1;
    if (next == 0) return kErrKeyFileDamaged;
    n = next;
    node.counter = 0;
    return writeNode(n, node);
}

// ---- search and stepping ----
int BtreeIndex::search(TreePath& p, const uint8_t* key, int len, uint32_t record) {
    uint32_t n = 1;
    for (int level = 0;; ++level) {
        if (level >= kMaxTreeLevels) return kErrKeyFileDamaged;
        const uint8_t* b;
        if (int err = readNode(n, b)) return err;
        const Raw r{b, shape_};
        p.brec[level] = n;
        p.counter[level] = r.counter();
        if (r.leaf()) {
            p.bknbr[level] = r.lowerBound(key, len, record);
            p.depth = level;
            return 0;
        }
        const int i = r.upperBound(key, len, record);
        p.bknbr[level] = i;
        n = r.child(i);
        if (n < 2) return kErrKeyFileDamaged;
    }
}

// From the child index chosen at level `from`, down to a leaf along the first (or last)
// children; the leaf's index is its first (or last) entry.
int BtreeIndex::descend(TreePath& p, int from, bool leftmost) {
    for (int level = from;;) {
        const uint8_t* b;
        if (int err = readNode(p.brec[level], b)) return err;
        const Raw r{b, shape_};
        if (r.leaf()) {
            p.depth = level;
            return 0;
        }
        const uint32_t child = r.child(p.bknbr[level]);
        if (child < 2 || ++level >= kMaxTreeLevels) return kErrKeyFileDamaged;
        if (int err = readNode(child, b)) return err;
        const Raw c{b, shape_};
        p.brec[level] = child;
        p.counter[level] = c.counter();
        p.bknbr[level] = leftmost ? 0 : (c.leaf() ? c.count() - 1 : c.count());
    }
}

// Moves a position that lies past the end (or before the start) of its leaf to the first (or
// last) entry of the next (or previous) leaf with entries.  kRetry when a node above changed.
// A tree has fewer leaves than the file has nodes; passing more empty leaves than that means
// child pointers that lead to the same nodes again, which could otherwise take practically
// forever (every level multiplies the paths), and the file is damaged.
int BtreeIndex::normalize(TreePath& p, bool forward) {
    uint32_t nodes = 0;
    (void)nodeCount(nodes);
    for (uint32_t leaves = 0;; ++leaves) {
        if (leaves > nodes) return kErrKeyFileDamaged;
        const uint8_t* b;
        if (int err = readNode(p.brec[p.depth], b)) return err;
        const Raw leaf{b, shape_};
        if (!leaf.leaf()) return kErrKeyFileDamaged;
        const int count = leaf.count();
        int& at = p.bknbr[p.depth];
        if (forward && at < count) return 0;
        if (!forward) {
            if (at >= count) at = count - 1;
            if (at >= 0) return 0;
        }
        int level = p.depth - 1;
        for (; level >= 0; --level) {
            if (int err = readNode(p.brec[level], b)) return err;
            const Raw r{b, shape_};
            if (r.counter() != p.counter[level] || r.leaf()) return kRetry;
            if (forward && p.bknbr[level] < r.count()) {
                ++p.bknbr[level];
                break;
            }
            if (!forward && p.bknbr[level] > 0) {
                --p.bknbr[level];
                break;
            }
        }
        if (level < 0) return kErrEndOfRecords;
        const int depth = p.depth;
        if (int err = descend(p, level, forward)) return err;
        if (p.depth != depth) return kErrKeyFileDamaged;  // leaves at different depths
    }
}

int BtreeIndex::entryAt(const TreePath& p, KeyEntry& out) {
    const uint8_t* b;
    if (int err = readNode(p.brec[p.depth], b)) return err;
    const Raw r{b, shape_};
    const int i = p.bknbr[p.depth];
    if (i < 0 || i >= r.count()) return kErrKeyFileDamaged;
    current_.assign(r.key(i), r.key(i) + shape_.keyLength);
    out.key = current_.data();
    out.record = r.record(i);
    return 0;
}

namespace {

void remember(KeyCursor& c, const TreePath& p, const KeyEntry& e, int keyLength) {
    c.path = p;
    c.key.assign(e.key, e.key + keyLength);
    c.record = e.record;
    c.valid = true;
    c.end = 0;
}

}  // namespace

int BtreeIndex::find(KeyCursor& c, KeyFind how, const uint8_t* key, int len, uint32_t record,
                     KeyEntry& out) {
    if (!shared_ || scope_) return findOnce(c, how, key, len, record, out);
    // Read again when another copy changed nodes meanwhile: the cursor as it was, and the key
    // kept aside (it may be the cursor's own).
    const int used = how == KeyFind::kExact ? shape_.keyLength : std::clamp(len, 0, shape_.keyLength);
    const std::vector<uint8_t> wanted(key, key + used);
    const KeyCursor before = c;
    return reading([&] {
        c = before;
        return findOnce(c, how, wanted.data(), len, record, out);
    });
}

int BtreeIndex::findOnce(KeyCursor& c, KeyFind how, const uint8_t* key, int len, uint32_t record,
                         KeyEntry& out) {
    const int k = shape_.keyLength;
    if (len > k) len = k;
    if (how == KeyFind::kExact) len = k;
    for (int tries = 0;; ++tries) {
        TreePath p;
        int err = search(p, key, len, how == KeyFind::kExact ? record : 0);
        if (!err) err = normalize(p, true);
        if (err == kRetry && tries < 100) continue;
        if (err == kErrEndOfRecords || err == kRetry) return kErrKeyNotFound;
        if (err) return err;
        if ((err = entryAt(p, out))) return err;
        if (!entryAnswers(how, out, key, len, k, record)) return kErrKeyNotFound;
        remember(c, p, out, k);
        return 0;
    }
}

int BtreeIndex::step(KeyCursor& c, bool forward, KeyEntry& out) {
    if (!shared_ || scope_) return stepOnce(c, forward, out);
    const KeyCursor before = c;
    return reading([&] {
        c = before;
        return stepOnce(c, forward, out);
    });
}

int BtreeIndex::stepOnce(KeyCursor& c, bool forward, KeyEntry& out) {
    const int k = shape_.keyLength;
    if (c.end == (forward ? 1 : -1)) return kErrEndOfRecords;
    for (int tries = 0;; ++tries) {
        TreePath p = c.path;
        int err = 0;
        bool moved = false;
        if (!c.valid || c.end) {
            // From the start (or the end), or back in from beyond either end.
            p.brec[0] = 1;
            const uint8_t* b;
            if ((err = readNode(1, b))) return err;
            const Raw r{b, shape_};
            p.counter[0] = r.counter();
            p.bknbr[0] = forward ? 0 : (r.leaf() ? r.count() - 1 : r.count());
            p.depth = 0;
            err = descend(p, 0, forward);
            moved = true;
        } else if (p.depth >= 0 && p.depth < kMaxTreeLevels) {
            const uint8_t* b;
            if ((err = readNode(p.brec[p.depth], b))) return err;
            const Raw r{b, shape_};
            if (r.counter() == p.counter[p.depth] && r.leaf()) {
                p.bknbr[p.depth] += forward ? 1 : -1;
                moved = true;
            }
        }
        if (!err && !moved) {
            // The leaf was written since: find the last entry read again.
            err = search(p, c.key.data(), k, c.record);
            if (!err) {
                if (forward) {
                    const uint8_t* b;
                    if ((err = readNode(p.brec[p.depth], b))) return err;
                    const Raw r{b, shape_};
                    const int i = p.bknbr[p.depth];
                    if (i < r.count() && r.compare(i, c.key.data(), k, c.record) == 0)
                        ++p.bknbr[p.depth];
                } else {
                    --p.bknbr[p.depth];
                }
            }
        }
        if (!err) err = normalize(p, forward);
        if (err == kRetry && tries < 100) {
            c.path.depth = -1;  // search from the root next time round
            continue;
        }
        if (err == kRetry) return kErrKeyFileDamaged;
        if (err == kErrEndOfRecords) {
            if (c.valid) c.end = forward ? 1 : -1;
            return err;
        }
        if (err) return err;
        if ((err = entryAt(p, out))) return err;
        remember(c, p, out, k);
        return 0;
    }
}

// ---- insertion ----
int BtreeIndex::insert(const uint8_t* key, uint32_t record) {
    return changing([&] { return insertOnce(key, record); });
}

// The leaf where (key, record) is or would go, taken apart, and whether it is there.
int BtreeIndex::leafOf(const uint8_t* key, uint32_t record, TreePath& p, Node& leaf, bool& there) {
    const int k = shape_.keyLength;
    if (int err = search(p, key, k, record)) return err;
    if (int err = decode(p.brec[p.depth], leaf)) return err;
    const int at = p.bknbr[p.depth];
    there = at < leaf.count() &&
            compareEntry(leaf.key(at, k), leaf.records[static_cast<size_t>(at)], key, k, record) == 0;
    return 0;
}

int BtreeIndex::insertOnce(const uint8_t* key, uint32_t record) {
    const int k = shape_.keyLength;
    TreePath p;
    Node leaf;
    bool there = false;
    if (int err = leafOf(key, record, p, leaf, there)) return err;
    if (there) return 0;
    const int d = p.depth;
    const int at = p.bknbr[d];
    if (leaf.count() < shape_.leafMax) {
        leaf.insertEntry(at, key, k, record);
        if (int err = writeNode(p.brec[d], leaf)) return err;
        return checkAfterChange();
    }
    // Split: the first half of the old entries stays, the rest moves to a new node; the new
    // entry joins the half its place falls in.
    const int half = shape_.leafMax / 2;
    Node right;
    right.leaf = true;
    right.keys.assign(leaf.keys.begin() + static_cast<ptrdiff_t>(half) * k, leaf.keys.end());
    right.records.assign(leaf.records.begin() + half, leaf.records.end());
    leaf.keys.resize(static_cast<size_t>(half) * k);
    leaf.records.resize(static_cast<size_t>(half));
    if (at <= half) leaf.insertEntry(at, key, k, record);
    else right.insertEntry(at - half, key, k, record);
    if (int err = placeSplit(p, d, leaf, right, right.key(0, k), right.records[0])) return err;
    return checkAfterChange();
}

// Writes the two halves of a node split at `level`: the right one appended, the left one in the
// node's place with the separator `key` (with its record) going up to the level above.  When the
// root splits, both halves move to new nodes (the right one first) and node 1 becomes their
// parent, so that the root never moves.
int BtreeIndex::placeSplit(TreePath& p, int level, Node& left, Node& right, const uint8_t* key,
                           uint32_t record) {
    uint32_t rightNode = 0;
    if (int err = appendNode(right, rightNode)) return err;
    if (level > 0) {
        if (int err = writeNode(p.brec[level], left)) return err;
        return insertAbove(p, level - 1, key, record, rightNode);
    }
    uint32_t leftNode = 0;
    const uint16_t rootCounter = left.counter;
    if (int err = appendNode(left, leftNode)) return err;
    Node root;
    root.leaf = false;
    root.counter = rootCounter;
    root.insertEntry(0, key, shape_.keyLength, record);
    root.children = {leftNode, rightNode};
    return writeNode(1, root);
}

// Puts the separator (key, record) with the child to its right into the interior node at
// `level`, after the child the path took there; a full node splits and sends its middle
// separator up.
int BtreeIndex::insertAbove(TreePath& p, int level, const uint8_t* key, uint32_t record,
                            uint32_t child) {
    const int k = shape_.keyLength;
    Node node;
    if (int err = decode(p.brec[level], node)) return err;
    if (node.leaf) return kErrKeyFileDamaged;
    const int at = p.bknbr[level];
    node.insertEntry(at, key, k, record);
    node.children.insert(node.children.begin() + at + 1, child);
    if (node.count() <= shape_.innerMax) return writeNode(p.brec[level], node);
    const int half = shape_.innerMax / 2;
    std::vector<uint8_t> upKey(node.key(half, k), node.key(half, k) + k);
    const uint32_t upRecord = node.records[static_cast<size_t>(half)];
    Node right;
    right.leaf = false;
    right.keys.assign(node.keys.begin() + static_cast<ptrdiff_t>(half + 1) * k, node.keys.end());
    right.records.assign(node.records.begin() + half + 1, node.records.end());
    right.children.assign(node.children.begin() + half + 1, node.children.end());
    node.keys.resize(static_cast<size_t>(half) * k);
    node.records.resize(static_cast<size_t>(half));
    node.children.resize(static_cast<size_t>(half) + 1);
    return placeSplit(p, level, node, right, upKey.data(), upRecord);
}

// ---- deletion ----
int BtreeIndex::remove(const uint8_t* key, uint32_t record) {
    return changing([&] { return removeOnce(key, record); });
}

int BtreeIndex::removeOnce(const uint8_t* key, uint32_t record) {
    const int k = shape_.keyLength;
    TreePath p;
    Node leaf;
    bool there = false;
    if (int err = leafOf(key, record, p, leaf, there)) return err;
    if (!there) return kErrKeyNotFound;
    const int d = p.depth;
    const int at = p.bknbr[d];
    leaf.eraseEntry(at, k);
    if (int err = writeNode(p.brec[d], leaf)) return err;
    if (at == 0 && leaf.count() > 0) {
        // The separator that stood for this leaf's first entry follows it.
        for (int level = d - 1; level >= 0; --level) {
            if (p.bknbr[level] == 0) continue;
            Node above;
            if (int err = decode(p.brec[level], above)) return err;
            const int s = p.bknbr[level] - 1;
            memcpy(above.keys.data() + static_cast<size_t>(s) * k, leaf.key(0, k), static_cast<size_t>(k));
            above.records[static_cast<size_t>(s)] = leaf.records[0];
            if (int err = writeNode(p.brec[level], above)) return err;
            break;
        }
    }
    if (int err = rebalance(p, d)) return err;
    return checkAfterChange();
}

// A node left too small takes entries from a sibling or merges with it; a root with a single
// child takes that child's contents.
int BtreeIndex::rebalance(TreePath& p, int level) {
    const int k = shape_.keyLength;
    Node node;
    if (int err = decode(p.brec[level], node)) return err;
    if (level == 0) {
        // A root with one child takes over that child's contents (as often as it takes).
        for (int levels = 0; !node.leaf && node.count() == 0; ++levels) {
            if (levels >= kMaxTreeLevels) return kErrKeyFileDamaged;
            Node only;
            if (int err = decode(node.children[0], only)) return err;
            only.counter = node.counter;
            if (int err = writeNode(1, only)) return err;
            node = std::move(only);
        }
        return 0;
    }
    // Half full at least; an interior node with a single child never stays so (in the smallest
    // nodes half of them would be one child, and chains of such nodes would never shrink).
    const int size = node.leaf ? node.count() : node.count() + 1;
    const int least = node.leaf ? shape_.leafMax / 2 : std::max(2, shape_.innerMax / 2);
    if (size >= least) return 0;
    Node parent;
    if (int err = decode(p.brec[level - 1], parent)) return err;
    if (parent.leaf) return kErrKeyFileDamaged;
    if (parent.count() == 0) return 0;  // no sibling to work with
    const int i = p.bknbr[level - 1];
    const int sep = i > 0 ? i - 1 : i;  // the separator between the pair
    const uint32_t leftNo = parent.children[static_cast<size_t>(sep)];
    const uint32_t rightNo = parent.children[static_cast<size_t>(sep) + 1];
    Node left, right;
    if (int err = decode(leftNo, left)) return err;
    if (int err = decode(rightNo, right)) return err;
    if (left.leaf != node.leaf || right.leaf != node.leaf) return kErrKeyFileDamaged;
    if (node.leaf) {
        const int total = left.count() + right.count();
        if (total > shape_.leafMax) {
            // Shared out: the left one holds half, the right one the rest.
            const int want = total / 2;
            Node all;
            all.keys = left.keys;
            all.keys.insert(all.keys.end(), right.keys.begin(), right.keys.end());
            all.records = left.records;
            all.records.insert(all.records.end(), right.records.begin(), right.records.end());
            left.keys.assign(all.keys.begin(), all.keys.begin() + static_cast<ptrdiff_t>(want) * k);
            left.records.assign(all.records.begin(), all.records.begin() + want);
            right.keys.assign(all.keys.begin() + static_cast<ptrdiff_t>(want) * k, all.keys.end());
            right.records.assign(all.records.begin() + want, all.records.end());
            memcpy(parent.keys.data() + static_cast<size_t>(sep) * k, right.key(0, k), static_cast<size_t>(k));
            parent.records[static_cast<size_t>(sep)] = right.records[0];
            if (int err = writeNode(leftNo, left)) return err;
            if (int err = writeNode(rightNo, right)) return err;
            return writeNode(p.brec[level - 1], parent);
        }
        left.keys.insert(left.keys.end(), right.keys.begin(), right.keys.end());
        left.records.insert(left.records.end(), right.records.begin(), right.records.end());
    } else {
        // The separator between the two comes down between their entries.
        Node all;
        all.keys = left.keys;
        all.keys.insert(all.keys.end(), parent.key(sep, k), parent.key(sep, k) + k);
        all.keys.insert(all.keys.end(), right.keys.begin(), right.keys.end());
        all.records = left.records;
        all.records.push_back(parent.records[static_cast<size_t>(sep)]);
        all.records.insert(all.records.end(), right.records.begin(), right.records.end());
        all.children = left.children;
        all.children.insert(all.children.end(), right.children.begin(), right.children.end());
        if (all.count() > shape_.innerMax) {
            const int childrenLeft = static_cast<int>(all.children.size()) / 2;
            const int up = childrenLeft - 1;  // the separator that goes up
            left.keys.assign(all.keys.begin(), all.keys.begin() + static_cast<ptrdiff_t>(up) * k);
            left.records.assign(all.records.begin(), all.records.begin() + up);
            left.children.assign(all.children.begin(), all.children.begin() + childrenLeft);
            right.keys.assign(all.keys.begin() + static_cast<ptrdiff_t>(up + 1) * k, all.keys.end());
            right.records.assign(all.records.begin() + up + 1, all.records.end());
            right.children.assign(all.children.begin() + childrenLeft, all.children.end());
            memcpy(parent.keys.data() + static_cast<size_t>(sep) * k, all.key(up, k), static_cast<size_t>(k));
            parent.records[static_cast<size_t>(sep)] = all.records[static_cast<size_t>(up)];
            if (int err = writeNode(leftNo, left)) return err;
            if (int err = writeNode(rightNo, right)) return err;
            return writeNode(p.brec[level - 1], parent);
        }
        left.keys = std::move(all.keys);
        left.records = std::move(all.records);
        left.children = std::move(all.children);
    }
    // Merged into the left node; the right one leaves its parent (and is not used again).
    parent.eraseEntry(sep, k);
    parent.children.erase(parent.children.begin() + sep + 1);
    if (int err = writeNode(leftNo, left)) return err;
    if (int err = writeNode(p.brec[level - 1], parent)) return err;
    return rebalance(p, level - 1);
}

// ---- bulk load ----
// Nodes being filled keep their own first entry in front of their separators until they go
// out, so that it can go up as the separator before them.
int BtreeIndex::pushUp(size_t level, std::vector<uint8_t> key, uint32_t record, uint32_t n) {
    const int k = shape_.keyLength;
    for (;;) {
        if (level >= static_cast<size_t>(kMaxTreeLevels)) return kErrKeyFileDamaged;
        if (loading_.size() <= level) {
            loading_.push_back(std::make_unique<Node>());
            loading_.back()->leaf = false;
        }
        Node& inner = *loading_[level];
        if (inner.children.empty() || inner.count() - 1 < shape_.innerMax) {
            inner.insertEntry(inner.count(), key.data(), k, record);
            inner.children.push_back(n);
            return 0;
        }
        // Full: it goes out with its first entry going up, and a new one starts.
        Node done = std::move(inner);
        inner = Node{};
        inner.leaf = false;
        inner.insertEntry(0, key.data(), k, record);
        inner.children.push_back(n);
        key.assign(done.key(0, k), done.key(0, k) + k);
        record = done.records[0];
        done.eraseEntry(0, k);
        if (int err = appendNode(done, n)) return err;
        ++level;
    }
}

int BtreeIndex::load(const uint8_t* key, uint32_t record) {
    const int k = shape_.keyLength;
    if (loadError_) return loadError_;
    if (!loaded_) {
        // Only an empty tree is loaded.
        const uint8_t* b;
        if (int err = readNode(1, b)) return loadError_ = err;
        const Raw r{b, shape_};
        if (!r.leaf() || r.count() != 0) return loadError_ = kErrKeyFileDamaged;
        loaded_ = true;
        loading_.clear();
        loading_.push_back(std::make_unique<Node>());
    }
    Node& leaf = *loading_[0];
    if (leaf.count() > 0 &&
        compareEntry(leaf.key(leaf.count() - 1, k), leaf.records.back(), key, k, record) >= 0)
        return loadError_ = kErrKeyFileDamaged;  // not in ascending order
    if (leaf.count() == shape_.leafMax) {
        // A full leaf goes out; its first entry goes up.
        Node full = std::move(leaf);
        leaf = Node{};
        uint32_t n = 0;
        if (int err = appendNode(full, n)) return loadError_ = err;
        if (int err = pushUp(1, std::vector<uint8_t>(full.key(0, k), full.key(0, k) + k),
                             full.records[0], n))
            return loadError_ = err;
    }
    leaf.insertEntry(leaf.count(), key, k, record);
    return 0;
}

int BtreeIndex::finishLoad() {
    return changing([&] { return finishLoadOnce(); });
}

int BtreeIndex::finishLoadOnce() {
    const int k = shape_.keyLength;
    if (loadError_) return loadError_;
    if (!loaded_) return 0;
    // Every level below the top goes out and up; the top becomes node 1.
    for (size_t level = 0; level + 1 < loading_.size(); ++level) {
        Node& node = *loading_[level];
        if (node.records.empty()) continue;
        std::vector<uint8_t> first(node.key(0, k), node.key(0, k) + k);
        const uint32_t firstRecord = node.records[0];
        if (!node.leaf) node.eraseEntry(0, k);
        uint32_t n = 0;
        if (int err = appendNode(node, n)) return loadError_ = err;
        node = Node{};
        node.leaf = level == 0;
        if (int err = pushUp(level + 1, std::move(first), firstRecord, n)) return loadError_ = err;
    }
    Node& top = *loading_.back();
    if (!top.leaf) top.eraseEntry(0, k);
    const uint8_t* b;
    if (int err = readNode(1, b)) return loadError_ = err;
    top.counter = Raw{b, shape_}.counter();
    const int err = writeNode(1, top);
    loading_.clear();
    loaded_ = false;
    return err ? err : checkAfterChange();
}

// ---- verification ----
int BtreeIndex::depth(int& levels) {
    TreePath p;
    p.brec[0] = 1;
    p.bknbr[0] = 0;
    if (int err = descend(p, 0, true)) return err;
    levels = p.depth + 1;
    return 0;
}

int BtreeIndex::verify() {
    return reading([&] { return verifyTree(); });
}

int BtreeIndex::verifyTree() {
    if (int err = refresh()) return err;
    int levels = 0;
    if (depth(levels) != 0) return kErrKeyFileDamaged;
    uint32_t nodes = 0;
    (void)nodeCount(nodes);
    std::vector<uint8_t> seen(static_cast<size_t>(nodes) + 1, 0);
    const int err = verifyNode(1, 0, levels - 1, nullptr, 0, nullptr, 0, seen);
    return err == kErrNoMemory ? err : (err ? kErrKeyFileDamaged : 0);
}

int BtreeIndex::verifyNode(uint32_t n, int level, int leafLevel, const uint8_t* lo,
                           uint32_t loRec, const uint8_t* hi, uint32_t hiRec,
                           std::vector<uint8_t>& seen) {
    const int k = shape_.keyLength;
    if (n >= seen.size() || seen[n]) return kErrKeyFileDamaged;
    seen[n] = 1;
    Node node;
    if (int err = decode(n, node)) return err;
    if (node.leaf != (level == leafLevel)) return kErrKeyFileDamaged;
    for (int i = 0; i < node.count(); ++i) {
        const uint8_t* e = node.key(i, k);
        const uint32_t r = node.records[static_cast<size_t>(i)];
        if (i > 0 && compareEntry(node.key(i - 1, k), node.records[static_cast<size_t>(i) - 1], e, k, r) > 0)
            return kErrKeyFileDamaged;
        if (lo && compareEntry(e, r, lo, k, loRec) < 0) return kErrKeyFileDamaged;
        if (hi && compareEntry(e, r, hi, k, hiRec) >= 0) return kErrKeyFileDamaged;
    }
    if (node.leaf) return 0;
    for (int i = 0; i <= node.count(); ++i) {
        const uint8_t* l = i > 0 ? node.key(i - 1, k) : lo;
        const uint32_t lr = i > 0 ? node.records[static_cast<size_t>(i) - 1] : loRec;
        const uint8_t* h = i < node.count() ? node.key(i, k) : hi;
        const uint32_t hr = i < node.count() ? node.records[static_cast<size_t>(i)] : hiRec;
        const uint32_t child = node.children[static_cast<size_t>(i)];
        if (child < 2) return kErrKeyFileDamaged;
        if (int err = verifyNode(child, level + 1, leafLevel, l, lr, h, hr, seen)) return err;
    }
    return 0;
}

int BtreeIndex::countEntries(uint32_t& n) {
    return reading([&] {
        n = 0;
        std::vector<uint8_t> seen;
        return countBelow(1, 0, n, seen);
    });
}

// Every node is counted once: a node reached twice (child pointers that share nodes) is damage,
// which would otherwise count its entries again, as often as the paths to it.
int BtreeIndex::countBelow(uint32_t node, int level, uint32_t& n, std::vector<uint8_t>& seen) {
    if (level >= kMaxTreeLevels) return kErrKeyFileDamaged;
    const uint8_t* b;
    if (int err = readNode(node, b)) return err;  // a node beyond the end is damage too
    if (seen.size() <= node) seen.resize(static_cast<size_t>(node) + 1, 0);
    if (seen[node]) return kErrKeyFileDamaged;
    seen[node] = 1;
    const Raw r{b, shape_};
    const int count = r.count();
    if (r.leaf()) {
        n += static_cast<uint32_t>(count);
        return 0;
    }
    std::vector<uint32_t> children(static_cast<size_t>(count) + 1);
    for (int i = 0; i <= count; ++i) children[static_cast<size_t>(i)] = r.child(i);
    for (uint32_t child : children) {
        if (child < 2) return kErrKeyFileDamaged;
        if (int err = countBelow(child, level + 1, n, seen)) return err;
    }
    return 0;
}

int BtreeIndex::checkAfterChange() {
    return verifyAfterChange_ ? verifyTree() : 0;
}

}  // namespace vxs
