// B-tree key files: random operations against a model in both node formats and both byte
// orders, golden bytes of a new file and of the first root split, bulk load, damage found by
// verification, and a remembered position surviving another writer's change to its leaf.
#include "vxs/indexes/btree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

using Entry = std::pair<std::string, uint32_t>;

std::string keyOf(const KeyEntry& e, int len) {
    return std::string(reinterpret_cast<const char*>(e.key), static_cast<size_t>(len));
}
const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

struct Shape {
    int version;
    int keyLength;
    bool swapped;
};

class BtreeModelTest : public ::testing::TestWithParam<Shape> {};

// Every entry of the tree, in key order, through stepping forward.
std::vector<Entry> walk(BtreeIndex& t) {
    std::vector<Entry> out;
    KeyCursor c;
    KeyEntry e;
    int err;
    while ((err = t.step(c, true, e)) == 0) out.emplace_back(keyOf(e, t.keyLength()), e.record);
    EXPECT_EQ(err, kErrEndOfRecords);
    return out;
}

TEST_P(BtreeModelTest, RandomOperationsAgreeWithAModelAndTheTreeVerifiesAfterEach) {
    const Shape shape = GetParam();
    const int k = shape.keyLength;
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    ASSERT_EQ(BtreeIndex::create(io, shape.version, k, shape.swapped, t), 0);
    t->setShared(false);
    std::set<Entry> model;
    std::mt19937 rng(static_cast<uint32_t>(k * 31 + shape.version + (shape.swapped ? 7 : 0)));
    // Keys from a small alphabet so that runs of equal keys and keys that differ only in their
    // last byte are common.
    auto randomKey = [&]() {
        std::string s(static_cast<size_t>(k), 'a');
        const int head = static_cast<int>(rng() % 6);
        s[0] = static_cast<char>('a' + head);
        s[static_cast<size_t>(k) - 1] = static_cast<char>('a' + rng() % 4);
        if (k > 2) s[1] = static_cast<char>('a' + rng() % 2);
        return s;
    };
    const int steps = k > 60 ? 2500 : 4000;
    for (int step = 0; step < steps; ++step) {
        const int op = static_cast<int>(rng() % 10);
        if (op < 5 || model.size() < 20) {
            const std::string key = randomKey();
            const uint32_t rec = 1 + rng() % 3000;
            ASSERT_EQ(t->insert(bytes(key), rec), 0);
            model.emplace(key, rec);
        } else if (op < 8) {
            // Remove an entry that is there (mostly) or one that is not.
            if (!model.empty() && op < 7) {
                auto it = model.begin();
                std::advance(it, static_cast<long>(rng() % model.size()));
                const Entry gone = *it;
                ASSERT_EQ(t->remove(bytes(gone.first), gone.second), 0);
                model.erase(it);
            } else {
                const std::string key = randomKey();
                const uint32_t rec = 5000 + rng() % 100;
                EXPECT_EQ(t->remove(bytes(key), rec), kErrKeyNotFound);
            }
        } else {
            // Searches: a prefix equal, not less, then a few steps either way.
            const std::string key = randomKey();
            const int len = 1 + static_cast<int>(rng() % static_cast<uint32_t>(k));
            const std::string prefix = key.substr(0, static_cast<size_t>(len));
            KeyCursor c;
            KeyEntry e;
            auto lower = model.lower_bound(Entry(prefix, 0));
            // The first entry whose first len bytes are not less than the prefix.
            auto first = std::find_if(model.begin(), model.end(), [&](const Entry& x) {
                return x.first.compare(0, static_cast<size_t>(len), prefix) >= 0;
            });
            (void)lower;
            const bool notLess = rng() % 2;
            const int err = t->find(c, notLess ? KeyFind::kNotLess : KeyFind::kEqual,
                                    bytes(prefix), len, 0, e);
            const bool expectFound =
                first != model.end() &&
                (notLess || first->first.compare(0, static_cast<size_t>(len), prefix) == 0);
            ASSERT_EQ(err, expectFound ? 0 : kErrKeyNotFound) << "step " << step;
            if (!expectFound) continue;
            ASSERT_EQ(Entry(keyOf(e, k), e.record), *first);
            const bool forward = rng() % 2;
            auto it = first;
            for (int i = 0; i < 5; ++i) {
                const int s = t->step(c, forward, e);
                if (forward) {
                    ++it;
                    if (it == model.end()) {
                        EXPECT_EQ(s, kErrEndOfRecords);
                        break;
                    }
                } else {
                    if (it == model.begin()) {
                        EXPECT_EQ(s, kErrEndOfRecords);
                        break;
                    }
                    --it;
                }
                ASSERT_EQ(s, 0);
                ASSERT_EQ(Entry(keyOf(e, k), e.record), *it);
            }
        }
        ASSERT_EQ(t->verify(), 0) << "step " << step;
    }
    EXPECT_EQ(walk(*t), std::vector<Entry>(model.begin(), model.end()));
    uint32_t entries = 0;
    ASSERT_EQ(t->countEntries(entries), 0);
    EXPECT_EQ(entries, model.size());
    // The file as written opens again (without the cache) to the same entries.
    std::unique_ptr<BtreeIndex> again;
    ASSERT_EQ(BtreeIndex::open(io, k, shape.swapped, again), 0);
    again->setShared(true);
    EXPECT_EQ(again->verify(), 0);
    EXPECT_EQ(walk(*again), std::vector<Entry>(model.begin(), model.end()));
    // Emptied again entry by entry, the root ends a leaf.
    for (const Entry& x : model) ASSERT_EQ(again->remove(bytes(x.first), x.second), 0);
    int levels = 0;
    ASSERT_EQ(again->depth(levels), 0);
    EXPECT_EQ(levels, 1);
    EXPECT_EQ(again->verify(), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, BtreeModelTest,
                         ::testing::Values(Shape{2, 10, false}, Shape{2, 10, true},
                                           Shape{2, 120, false}, Shape{1, 10, false},
                                           Shape{1, 10, true}, Shape{1, 60, false},
                                           Shape{1, 124, false}),
                         [](const ::testing::TestParamInfo<Shape>& i) {
                             return "v" + std::to_string(i.param.version) + "_key" +
                                    std::to_string(i.param.keyLength) +
                                    (i.param.swapped ? "_swapped" : "");
                         });

TEST(BtreeShape, NodeCapacitiesFollowTheKeyLength) {
    TreeShape s;
    ASSERT_TRUE(treeShape(2, 10, false, s));
    EXPECT_EQ(s.innerMax, 46);  // floor(1012 / 22)
    EXPECT_EQ(s.leafMax, 56);   // floor(1016 / 18)
    EXPECT_EQ(s.childAt, 1020 - 4 * 46);
    EXPECT_TRUE(treeShape(2, 124, false, s));
    // An entry of key + 4 bytes must fit 128: keys of 125 to 128 bytes cannot be stored.
    for (int k = 125; k <= 128; ++k) EXPECT_FALSE(treeShape(2, k, false, s)) << k;
    ASSERT_TRUE(treeShape(1, 49, false, s));
    EXPECT_EQ(s.nodeSize, 256);
    EXPECT_EQ(s.leafMax, 248 / 53);
    ASSERT_TRUE(treeShape(1, 128, false, s));
    EXPECT_EQ(s.nodeSize, 512);
    EXPECT_EQ(s.nodeBase, 0);
    EXPECT_GE(s.innerMax, 2);
}

TEST(BtreeGolden, NewVersion2FileIsRootRecordAndEmptyRootLeaf) {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    ASSERT_EQ(BtreeIndex::create(io, 2, 10, false, t), 0);
    const std::vector<uint8_t>& b = io.bytes();
    ASSERT_EQ(b.size(), 1536u);
    std::vector<uint8_t> want(1536, 0);
    // The root record at 256: first record 1, entry length 14, D 46, C 56, version 2.
    want[256] = 1;
    want[256 + 244] = 14;
    want[256 + 248] = 46;
    want[256 + 250] = 56;
    want[256 + 252] = 2;
    // Node 1 at 512: written once, no keys, a leaf.
    want[512] = 1;
    want[512 + 4] = 1;
    EXPECT_EQ(b, want);
}

TEST(BtreeGolden, The57thEntryIntoOneLeafSplitsTheRoot) {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    ASSERT_EQ(BtreeIndex::create(io, 2, 10, false, t), 0);
    auto key = [](int i) {
        char s[11];
        snprintf(s, sizeof s, "KEY%07d", i);
        return std::string(s, 10);
    };
    for (int i = 0; i < 56; ++i) ASSERT_EQ(t->insert(bytes(key(i)), 100 + static_cast<uint32_t>(i)), 0);
    EXPECT_EQ(io.bytes().size(), 1536u);  // still the root leaf alone
    ASSERT_EQ(t->insert(bytes(key(56)), 156), 0);
    const std::vector<uint8_t>& b = io.bytes();
    ASSERT_EQ(b.size(), 512u + 3 * 1024);
    auto node = [](int n) { return static_cast<size_t>(n) * 1024 - 512; };
    // Node 1: an interior root with one separator (the first entry of node 2) and the
    // children 3 (the lower half) and 2 (the upper half).
    const size_t r = node(1);
    EXPECT_EQ(le16(b, r), 58);     // written at its creation, by 56 insertions and the split
    EXPECT_EQ(le16(b, r + 2), 1);  // one separator
    EXPECT_EQ(le16(b, r + 4), 0);  // interior
    EXPECT_EQ(le32(b, r + 8), 128u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[r + 8 + 4 * 46]), 10), key(28));
    EXPECT_EQ(le32(b, r + 8 + 4 * 46 + 10), 0u);  // the 4 bytes after the key
    EXPECT_EQ(le32(b, r + 836), 3u);
    EXPECT_EQ(le32(b, r + 840), 2u);
    // Node 2: entries 28..56 (29), node 3: entries 0..27 (28), each written once.
    EXPECT_EQ(le16(b, node(2)), 1);
    EXPECT_EQ(le16(b, node(2) + 2), 29);
    EXPECT_EQ(le16(b, node(2) + 4), 1);
    EXPECT_EQ(le32(b, node(2) + 8), 128u);
    EXPECT_EQ(le16(b, node(3) + 2), 28);
    EXPECT_EQ(le32(b, node(3) + 8 + 4 * 27), 127u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[node(3) + 8 + 4 * 56 + 27 * 14]), 10),
              key(27));
    EXPECT_EQ(t->verify(), 0);
}

TEST(BtreeLoad, BulkLoadBuildsTreesThatReadBackAndKeepWorking) {
    for (int count : {0, 1, 3, 4, 5, 17, 200, 3000}) {
        MemoryKeyIo io;
        std::unique_ptr<BtreeIndex> t;
        // Long keys make small nodes (3 entries in a version 1 node of 512 bytes): deep trees.
        ASSERT_EQ(BtreeIndex::create(io, 1, 124, false, t), 0);
        std::vector<Entry> in;
        for (int i = 0; i < count; ++i) {
            std::string k = std::to_string(100000 + i / 3);  // runs of three equal keys
            k.resize(124, ' ');
            in.emplace_back(k, static_cast<uint32_t>(i + 1));
        }
        for (const Entry& e : in) ASSERT_EQ(t->load(bytes(e.first), e.second), 0);
        ASSERT_EQ(t->finishLoad(), 0);
        ASSERT_EQ(t->verify(), 0) << count;
        EXPECT_EQ(walk(*t), in) << count;
        if (count >= 200) {
            int levels = 0;
            ASSERT_EQ(t->depth(levels), 0);
            EXPECT_GE(levels, 5);
        }
        // Inserting and removing go on from the loaded tree.
        const std::string extra(124, 'z');
        ASSERT_EQ(t->insert(bytes(extra), 99999), 0);
        for (size_t i = 0; i < in.size(); i += 2) ASSERT_EQ(t->remove(bytes(in[i].first), in[i].second), 0);
        ASSERT_EQ(t->verify(), 0) << count;
    }
}

TEST(BtreeLoad, EntriesOutOfOrderAreRefused) {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    ASSERT_EQ(BtreeIndex::create(io, 2, 4, false, t), 0);
    ASSERT_EQ(t->load(bytes("BBBB"), 1), 0);
    EXPECT_EQ(t->load(bytes("AAAA"), 2), kErrKeyFileDamaged);
}

// A tree of two levels with version 2 nodes of 4-byte keys, for damaging.
std::vector<uint8_t> twoLevelTree() {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    EXPECT_EQ(BtreeIndex::create(io, 2, 4, false, t), 0);
    for (uint32_t i = 0; i < 300; ++i) {
        char k[5];
        snprintf(k, sizeof k, "%04u", i);
        EXPECT_EQ(t->insert(reinterpret_cast<const uint8_t*>(k), i + 1), 0);
    }
    return io.bytes();
}

int verifyBytes(std::vector<uint8_t> b) {
    MemoryKeyIo io(std::move(b));
    std::unique_ptr<BtreeIndex> t;
    if (int err = BtreeIndex::open(io, 4, false, t)) return err;
    t->setShared(true);
    return t->verify();
}

TEST(BtreeVerify, DamageIsFoundAsADamagedKeyFile) {
    const std::vector<uint8_t> good = twoLevelTree();
    ASSERT_EQ(verifyBytes(good), 0);
    const size_t root = 512;
    TreeShape s;
    ASSERT_TRUE(treeShape(2, 4, false, s));
    {  // two keys of a leaf swapped
        std::vector<uint8_t> b = good;
        const size_t leaf = 2 * 1024 - 512;
        std::swap_ranges(b.begin() + static_cast<long>(leaf + s.leafKeyAt),
                         b.begin() + static_cast<long>(leaf + s.leafKeyAt + 8),
                         b.begin() + static_cast<long>(leaf + s.leafKeyAt + 8));
        EXPECT_EQ(verifyBytes(b), kErrKeyFileDamaged);
    }
    {  // a child pointer of 0, and one back to the root
        std::vector<uint8_t> b = good;
        b[root + static_cast<size_t>(s.childAt)] = 0;
        EXPECT_EQ(verifyBytes(b), kErrKeyFileDamaged);
        b[root + static_cast<size_t>(s.childAt)] = 1;
        EXPECT_EQ(verifyBytes(b), kErrKeyFileDamaged);
    }
    {  // a count beyond the node's capacity
        std::vector<uint8_t> b = good;
        b[root + 2] = 0xFF;
        EXPECT_EQ(verifyBytes(b), kErrKeyFileDamaged);
    }
    {  // a file cut inside a node
        std::vector<uint8_t> b = good;
        b.resize(b.size() - 100);
        EXPECT_EQ(verifyBytes(b), kErrKeyFileDamaged);
    }
    {  // a separator out of order with its subtree
        std::vector<uint8_t> b = good;
        b[root + static_cast<size_t>(s.innerKeyAt)] = '9';
        EXPECT_EQ(verifyBytes(b), kErrKeyFileDamaged);
    }
    {  // the root record of another key length, version or root
        std::vector<uint8_t> b = good;
        b[256 + 244] = 9;
        EXPECT_EQ(verifyBytes(b), kErrRecordLength);
        b = good;
        b[256 + 252] = 3;
        EXPECT_EQ(verifyBytes(b), kErrRecordLength);
        b = good;
        b[256] = 2;
        EXPECT_EQ(verifyBytes(b), kErrRecordLength);
        b.resize(400);
        EXPECT_EQ(verifyBytes(b), kErrRecordLength);
    }
}

TEST(BtreeShared, ReadingOnAfterAnotherWriterChangedTheLeafFindsThePositionAgain) {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> writer;
    ASSERT_EQ(BtreeIndex::create(io, 2, 4, false, writer), 0);
    writer->setShared(true);
    for (uint32_t i = 0; i < 200; i += 2) {
        char k[5];
        snprintf(k, sizeof k, "%04u", i);
        ASSERT_EQ(writer->insert(reinterpret_cast<const uint8_t*>(k), i + 1), 0);
    }
    // A second copy of the file's index, as another process has it.
    std::unique_ptr<BtreeIndex> reader;
    ASSERT_EQ(BtreeIndex::open(io, 4, false, reader), 0);
    reader->setShared(true);
    KeyCursor c;
    KeyEntry e;
    ASSERT_EQ(reader->find(c, KeyFind::kEqual, bytes("0100"), 4, 0, e), 0);
    // The writer puts keys around the reader's position into the same leaf and splits leaves.
    for (uint32_t i = 1; i < 200; i += 2) {
        char k[5];
        snprintf(k, sizeof k, "%04u", i);
        ASSERT_EQ(writer->refresh(), 0);
        ASSERT_EQ(writer->insert(reinterpret_cast<const uint8_t*>(k), i + 1), 0);
    }
    ASSERT_EQ(writer->remove(bytes("0100"), 101), 0);
    ASSERT_EQ(reader->refresh(), 0);
    for (int want = 101; want < 110; ++want) {
        ASSERT_EQ(reader->step(c, true, e), 0);
        char k[5];
        snprintf(k, sizeof k, "%04d", want);
        EXPECT_EQ(keyOf(e, 4), k);
    }
    ASSERT_EQ(reader->step(c, false, e), 0);
    EXPECT_EQ(keyOf(e, 4), "0108");
}

TEST(BtreeCursor, StepsBeyondEitherEndStayThereUntilTurnedBack) {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    ASSERT_EQ(BtreeIndex::create(io, 2, 4, false, t), 0);
    KeyCursor c;
    KeyEntry e;
    EXPECT_EQ(t->step(c, true, e), kErrEndOfRecords);  // an empty tree
    EXPECT_EQ(t->find(c, KeyFind::kNotLess, bytes("0000"), 4, 0, e), kErrKeyNotFound);
    for (const char* k : {"0001", "0002", "0003"}) ASSERT_EQ(t->insert(bytes(k), 1), 0);
    for (const char* k : {"0001", "0002", "0003"}) {
        ASSERT_EQ(t->step(c, true, e), 0);
        EXPECT_EQ(keyOf(e, 4), k);
    }
    EXPECT_EQ(t->step(c, true, e), kErrEndOfRecords);
    EXPECT_EQ(t->step(c, true, e), kErrEndOfRecords);
    ASSERT_EQ(t->step(c, false, e), 0);
    EXPECT_EQ(keyOf(e, 4), "0003");
    c.clear();
    ASSERT_EQ(t->step(c, false, e), 0);  // without a position: the last entry
    EXPECT_EQ(keyOf(e, 4), "0003");
    // Equal keys follow each other in record-number order; KEY= lands on the first.
    ASSERT_EQ(t->insert(bytes("0002"), 9), 0);
    ASSERT_EQ(t->insert(bytes("0002"), 5), 0);
    ASSERT_EQ(t->find(c, KeyFind::kEqual, bytes("0002"), 4, 0, e), 0);
    EXPECT_EQ(e.record, 1u);
    ASSERT_EQ(t->step(c, true, e), 0);
    EXPECT_EQ(e.record, 5u);
    ASSERT_EQ(t->find(c, KeyFind::kExact, bytes("0002"), 4, 9, e), 0);
    EXPECT_EQ(t->find(c, KeyFind::kExact, bytes("0002"), 4, 7, e), kErrKeyNotFound);
    // A shorter key selects by its leading bytes.
    ASSERT_EQ(t->find(c, KeyFind::kEqual, bytes("000"), 3, 0, e), 0);
    EXPECT_EQ(keyOf(e, 4), "0001");
    EXPECT_EQ(t->find(c, KeyFind::kEqual, bytes("01"), 2, 0, e), kErrKeyNotFound);
}

TEST(BtreeWriteBack, HeldBackChangesReachTheFileAtFlushAndAreMissedWhenTheyNeverDo) {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    ASSERT_EQ(BtreeIndex::create(io, 2, 4, false, t), 0);
    t->setWriteBack(true);
    const std::vector<uint8_t> empty = io.bytes();
    for (uint32_t i = 0; i < 500; ++i) {
        const std::string k = std::to_string(1000 + (i * 7) % 500);
        ASSERT_EQ(t->insert(bytes(k), i + 1), 0);
    }
    EXPECT_EQ(t->verify(), 0);
    // Only the mark of held-back changes is in the file: opened now, it is damaged.
    std::vector<uint8_t> marked = empty;
    marked[264] = 1;
    EXPECT_EQ(io.bytes(), marked);
    std::unique_ptr<BtreeIndex> other;
    EXPECT_EQ(BtreeIndex::open(io, 4, false, other), kErrKeyFileDamaged);
    ASSERT_EQ(t->flush(), 0);
    ASSERT_EQ(BtreeIndex::open(io, 4, false, other), 0);
    other->setShared(true);
    EXPECT_EQ(other->verify(), 0);
    uint32_t n = 0;
    ASSERT_EQ(other->countEntries(n), 0);
    EXPECT_EQ(n, 500u);
}

TEST(BtreeVerifyList, ATreeOnTheCheckingListIsVerifiedAfterEveryChange) {
    MemoryKeyIo io;
    std::unique_ptr<BtreeIndex> t;
    ASSERT_EQ(BtreeIndex::create(io, 2, 4, false, t), 0);
    t->setShared(true);
    t->setVerifyAfterChange(true);
    ASSERT_EQ(t->insert(bytes("0002"), 1), 0);
    // Damage by another copy (which counts its change in the root record): the next change
    // here reports it.
    io.bytes()[512 + 2] = 0x30;
    io.bytes()[260] += 2;
    EXPECT_EQ(t->insert(bytes("0003"), 1), kErrKeyFileDamaged);
}

}  // namespace
}  // namespace vxs
