// Key indexes over memory: copies sharing a B-tree see each other's new nodes, and damaged files
// whose reading in key order would run on without end report a damaged key file instead.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/indexes/btree.h"
#include "vxs/indexes/isam.h"

namespace vxs {
namespace {

void put16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
unsigned get16(const uint8_t* p) { return p[0] | unsigned{p[1]} << 8; }
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(BtreeIndex, CopySharingTheFileReadsNodesAppendedByAnother) {
    MemoryKeyIo io(std::vector<uint8_t>(256, 0));
    std::unique_ptr<BtreeIndex> writer, reader;
    ASSERT_EQ(BtreeIndex::create(io, 2, 20, false, writer), 0);
    ASSERT_EQ(BtreeIndex::open(io, 20, false, reader), 0);
    writer->setShared(true);
    reader->setShared(true);
    uint8_t key[20] = {};
    for (uint32_t i = 0; i < 100; ++i) {  // splits: the root's children are appended nodes
        key[0] = static_cast<uint8_t>(i);
        ASSERT_EQ(writer->insert(key, i), 0);
    }
    KeyCursor c;
    KeyEntry e;
    key[0] = 50;
    ASSERT_EQ(reader->find(c, KeyFind::kEqual, key, 1, 0, e), 0);
    EXPECT_EQ(e.record, 50u);
    for (uint32_t i = 51; i < 100; ++i) {
        ASSERT_EQ(reader->step(c, true, e), 0);
        EXPECT_EQ(e.record, i);
    }
    EXPECT_EQ(reader->step(c, true, e), kErrEndOfRecords);
}

// Node n's children all lead to node n + 1, eleven levels down to an empty leaf: few nodes, but
// more paths through them than could ever be walked.
TEST(BtreeIndex, StepThroughSharedChildrenIsDamage) {
    MemoryKeyIo io(std::vector<uint8_t>(256, 0));
    std::unique_ptr<BtreeIndex> tree;
    ASSERT_EQ(BtreeIndex::create(io, 2, 1, false, tree), 0);
    const int d = tree->shape().innerMax;
    std::vector<uint8_t>& b = io.bytes();
    b.resize(512);  // the header and the root record stay
    b.resize(512 + 12 * 1024, 0);
    for (uint32_t n = 1; n <= 11; ++n) {
        uint8_t* node = b.data() + n * 1024 - 512;
        put16(node + 2, static_cast<unsigned>(d));
        for (int i = 0; i < d; ++i) {
            put32(node + 8 + 4 * i, static_cast<uint32_t>(i) + 1);
            node[8 + 4 * d + 5 * i] = 'A';
        }
        for (int i = 0; i <= d; ++i) put32(node + tree->shape().childAt + 4 * i, n + 1);
    }
    put16(b.data() + 12 * 1024 - 512 + 4, 1);  // node 12: an empty leaf
    ASSERT_EQ(BtreeIndex::open(io, 1, false, tree), 0);
    EXPECT_EQ(tree->verify(), kErrKeyFileDamaged);
    uint32_t n = 0;
    EXPECT_EQ(tree->countEntries(n), kErrKeyFileDamaged);
    for (bool forward : {true, false}) {
        KeyCursor c;
        KeyEntry e;
        EXPECT_EQ(tree->step(c, forward, e), kErrKeyFileDamaged);
    }
}

// Counting the keys (KREC) meets the same damage: a root whose first two children are one
// leaf counted it twice, and the deep tree above took as long as its paths.
TEST(BtreeIndex, CountThroughSharedChildrenIsDamage) {
    MemoryKeyIo io(std::vector<uint8_t>(256, 0));
    std::unique_ptr<BtreeIndex> tree;
    ASSERT_EQ(BtreeIndex::create(io, 2, 1, false, tree), 0);
    for (uint32_t i = 1; i <= 200; ++i) {  // the root splits: two leaves below it
        const uint8_t key = static_cast<uint8_t>(i);
        ASSERT_EQ(tree->insert(&key, i), 0);
    }
    uint32_t n = 0;
    ASSERT_EQ(tree->countEntries(n), 0);
    EXPECT_EQ(n, 200u);
    uint8_t* children = io.bytes().data() + 512 + tree->shape().childAt;  // node 1's
    ASSERT_EQ(tree->shape().version, 2);
    ASSERT_GE(get16(io.bytes().data() + 512 + 2), 1u);  // separators: at least two children
    memcpy(children + 4, children, 4);  // the second child is the first one again
    ASSERT_EQ(BtreeIndex::open(io, 1, false, tree), 0);
    EXPECT_EQ(tree->countEntries(n), kErrKeyFileDamaged);
}

// An ISAM file whose "sorted" part is out of order, with deleted slots: reading backward from
// the last live entry searched into a deleted slot and came back to that same entry.
TEST(IsamIndex, StepThroughUnsortedPartEnds) {
    const int header = 24;
    const uint8_t slots[4][6] = {{' ', 'B', 2, 0, 0, 0},
                                 {' ', 'F', 1, 0, 0, 0},
                                 {'D', 'A', 2, 0, 0, 0},
                                 {'D', 'F', 1, 0, 0, 0}};
    std::vector<uint8_t> bytes(header, 0);
    for (const auto& slot : slots) bytes.insert(bytes.end(), slot, slot + 6);
    MemoryKeyIo io(bytes);
    std::unique_ptr<IsamIndex> isam;
    ASSERT_EQ(IsamIndex::open(io, 1, header, 4, false, isam), 0);
    EXPECT_EQ(isam->verify(), kErrKeyFileDamaged);
    for (bool forward : {true, false}) {
        KeyCursor c;
        KeyEntry e;
        std::vector<uint32_t> seen;  // key * 256 + record
        int err = 0;
        for (int i = 0; i < 10 && !err; ++i) {
            err = isam->step(c, forward, e);
            if (!err) seen.push_back(uint32_t{e.key[0]} << 8 | e.record);
        }
        EXPECT_TRUE(err == kErrKeyFileDamaged || err == kErrEndOfRecords) << err;
        for (size_t i = 1; i < seen.size(); ++i)
            EXPECT_TRUE(forward ? seen[i - 1] < seen[i] : seen[i - 1] > seen[i]) << i;
    }
}

}  // namespace
}  // namespace vxs
