// Fuzz target: a whole key file as the record engine meets it, header included.  A header that
// decodes with key parts opens the B-tree (type 7) or ISAM (type 4) index over the bytes held in
// memory, which is then verified, read forward and backward in key order, searched, and changed
// by a few insertions and deletions.  On any bytes every operation ends with 0 or an error of
// the key files, never a crash or a hang; and a file that verifies reads in ascending
// (key, record) order both ways, finds what it read, and still verifies after the changes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/datafiles/header.h"
#include "vxs/indexes/btree.h"
#include "vxs/indexes/isam.h"
#include "vxs/indexes/keyindex.h"

namespace {

// Far more entries than an input of the usual sizes holds; a damaged tree whose nodes are
// reached along many paths can return entries without end, and stops here.
constexpr size_t kMaxSteps = 10000;

bool expected(int err) {
    switch (err) {
        case 0:
        case vxs::kErrKeyFileDamaged:
        case vxs::kErrRecordLength:
        case vxs::kErrNotProgramFile:
        case vxs::kErrBadCollation:
        case vxs::kErrEndOfRecords:
        case vxs::kErrKeyNotFound:
        case vxs::kErrNoMemory: return true;
        default: return false;
    }
}

int check(int err) {
    if (expected(err)) return err;
    fprintf(stderr, "unexpected error %d\n", err);
    __builtin_trap();
}

void require(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "%s\n", what);
    __builtin_trap();
}

struct Entry {
    std::vector<uint8_t> key;
    uint32_t record;
};

bool ascending(const Entry& a, const Entry& b) {
    return vxs::compareEntry(a.key.data(), a.record, b.key.data(), static_cast<int>(a.key.size()),
                             b.record) <= 0;
}

// Every entry in one direction, at most kMaxSteps; `complete` when the end was reached.
std::vector<Entry> walk(vxs::KeyIndex& index, bool forward, bool& complete) {
    std::vector<Entry> out;
    vxs::KeyCursor c;
    complete = false;
    const int k = index.keyLength();
    for (size_t i = 0; i < kMaxSteps; ++i) {
        vxs::KeyEntry e;
        const int err = check(index.step(c, forward, e));
        if (err == vxs::kErrEndOfRecords) complete = true;
        if (err) break;
        out.push_back({std::vector<uint8_t>(e.key, e.key + k), e.record});
    }
    return out;
}

// Forward in ascending order, backward the same entries the other way round, each found again.
void checkOrder(vxs::KeyIndex& index, bool verified) {
    bool forwardDone = false, backwardDone = false;
    std::vector<Entry> forward = walk(index, true, forwardDone);
    std::vector<Entry> backward = walk(index, false, backwardDone);
    if (!verified || forward.size() == kMaxSteps || backward.size() == kMaxSteps) return;
    require(forwardDone && backwardDone, "a verified file fails part way");
    for (size_t i = 1; i < forward.size(); ++i)
        require(ascending(forward[i - 1], forward[i]), "forward out of order");
    require(forward.size() == backward.size(), "forward and backward differ in length");
    std::reverse(backward.begin(), backward.end());
    for (size_t i = 0; i < forward.size(); ++i)
        require(forward[i].key == backward[i].key && forward[i].record == backward[i].record,
                "forward and backward differ");
    const int k = index.keyLength();
    for (size_t i = 0; i < forward.size(); i += 1 + forward.size() / 8) {
        vxs::KeyCursor c;
        vxs::KeyEntry e;
        require(check(index.find(c, vxs::KeyFind::kExact, forward[i].key.data(), k,
                                 forward[i].record, e)) == 0,
                "an entry read is not found");
        require(e.record == forward[i].record, "found another entry");
    }
}

void exercise(vxs::KeyIndex& index, const uint8_t* data, size_t size) {
    const int k = index.keyLength();
    const bool verified = check(index.verify()) == 0;
    checkOrder(index, verified);

    // Searches with keys from the input's last bytes.
    std::vector<uint8_t> key(static_cast<size_t>(k), ' ');
    for (int i = 0; i < k && static_cast<size_t>(i) < size; ++i)
        key[static_cast<size_t>(i)] = data[size - 1 - static_cast<size_t>(i)];
    for (vxs::KeyFind how : {vxs::KeyFind::kEqual, vxs::KeyFind::kNotLess, vxs::KeyFind::kExact}) {
        for (int len : {1, k / 2 + 1, k}) {
            vxs::KeyCursor c;
            vxs::KeyEntry e;
            if (check(index.find(c, how, key.data(), len, 7, e))) continue;
            require(how != vxs::KeyFind::kEqual ||
                        std::equal(key.begin(), key.begin() + std::min(len, k), e.key),
                    "KEY= found another key");
            // Stepping on from a found entry.
            check(index.step(c, true, e));
            check(index.step(c, false, e));
        }
    }

    // Insertions (a run of equal keys large enough to split a node) and deletions.
    std::vector<uint8_t> other(key);
    other[0] = static_cast<uint8_t>(other[0] ^ 0x80);
    for (uint32_t r = 1; r <= 40; ++r) {
        const int err = check(index.insert(r % 2 ? key.data() : other.data(), r * 3));
        require(!verified || err == 0, "an insertion into a verified file fails");
    }
    for (uint32_t r = 1; r <= 40; r += 3) {
        const int err = check(index.remove(r % 2 ? key.data() : other.data(), r * 3));
        require(!verified || err == 0, "a deletion from a verified file fails");
    }
    check(index.remove(key.data(), 2));
    const bool still = check(index.verify()) == 0;
    require(!verified || still, "a verified file is damaged by changes");
    checkOrder(index, still);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vxs::InternalHeader h;
    if (check(vxs::decodeHeader(data, size, h)) || h.parts == 0) return 0;
    int total = 0;
    for (int i = 0; i < h.parts; ++i) total += h.keys[i].length;
    vxs::MemoryKeyIo io(std::vector<uint8_t>(data, data + size));
    // The record count is not used by either kind of index: its low bit picks whether nodes
    // are read afresh every time or kept in memory.
    const bool shared = (h.records & 1) == 0;
    if (h.type == vxs::kTypeBtree) {
        std::unique_ptr<vxs::BtreeIndex> tree;
        if (check(vxs::BtreeIndex::open(io, total, h.swapped, tree))) return 0;
        tree->setShared(shared);
        exercise(*tree, data, size);
    } else {
        if (h.recl != total + 4) return 0;  // not a key file of these parts
        std::unique_ptr<vxs::IsamIndex> isam;
        const uint32_t sorted = h.version > 0 ? static_cast<uint32_t>(h.version) : 0;
        if (check(vxs::IsamIndex::open(io, total, h.length, sorted, h.swapped, isam))) return 0;
        isam->setShared(shared);
        exercise(*isam, data, size);
    }
    return 0;
}
