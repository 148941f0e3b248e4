// B-tree key files (type 7): a B+-tree whose leaves hold every (key, record number) entry and
// whose interior nodes hold separators, in two node formats.  Version 2: 1024-byte nodes with
// separate record-number, key and child areas; version 1: nodes of the key file's record size
// (256 or 512) with the pointers before the keys.  Both keep the root record at offset 256 and
// the root in node 1, which never moves; new nodes are appended, emptied ones never reused.
//
// Invariants of a tree that verifies: every leaf at the same depth (at most 12 levels); the
// entries of a node in ascending (key, record) order, entries of a subtree between the
// separators around its child pointer; an interior separator is at most the first entry of
// the subtree to its right; the file is the root record plus whole nodes.  Every write of a
// node increments its write counter, by which a remembered path notices changes.
// The byte layouts are in docs/file-formats.md.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "vxs/indexes/keyindex.h"

namespace vxs {

inline constexpr int64_t kRootRecordOffset = 256;
inline constexpr int kRootRecordSize = 256;

// Where each part of a node lies, from the format and the key length.
struct TreeShape {
    int version = 2;
    bool swapped = false;
    int keyLength = 0;      // k: the total key length
    int nodeSize = 1024;
    int64_t nodeBase = -512;  // node n lies at n * nodeSize + nodeBase
    int leafMax = 0, innerMax = 0;
    int leafRecAt = 8, leafKeyAt = 0, leafStride = 0;
    int innerRecAt = 8;  // -1: the record number follows the key inside the entry
    int innerKeyAt = 0, innerStride = 0, childAt = 0;
};
// The shape of a version 2 tree (entry length k + 4 must be at most 128) or a version 1 tree
// (node size 256 below 50 key bytes, else 512).  False when the key length does not fit.
bool treeShape(int version, int keyLength, bool swapped, TreeShape& out);

class BtreeIndex final : public KeyIndex {
  public:
    // Makes a new tree in an empty key file after its 256-byte header: the root record and an
    // empty root leaf.  606 when the key length cannot be stored in the format.
    [[nodiscard]] static int create(KeyIo& io, int version, int keyLength, bool swapped,
                                    std::unique_ptr<BtreeIndex>& out);
    // Opens the tree of a key file: 4124 when the root record is unreadable or does not fit
    // the key length, 4123 when the file is not whole nodes.
    [[nodiscard]] static int open(KeyIo& io, int keyLength, bool swapped,
                                  std::unique_ptr<BtreeIndex>& out);

    ~BtreeIndex() override;
    int keyLength() const override { return shape_.keyLength; }
    const TreeShape& shape() const { return shape_; }
    int find(KeyCursor& c, KeyFind how, const uint8_t* key, int len, uint32_t record,
             KeyEntry& out) override;
    int step(KeyCursor& c, bool forward, KeyEntry& out) override;
    int insert(const uint8_t* key, uint32_t record) override;
    int remove(const uint8_t* key, uint32_t record) override;
    int verify() override;
    int countEntries(uint32_t& n) override;
    void setShared(bool shared) override;
    // Changed nodes of a file this process holds alone are written out by flush (at CLOSE)
    // rather than at once.  While any are held back the root record says so, and an open that
    // finds it saying so (the copy that held them stopped) reports the file damaged.
    void setWriteBack(bool on) { writeBack_ = on; }
    int refresh() override;
    int flush() override;

    // Bulk load into a tree that is empty: entries in ascending order, then finishLoad.  Leaves
    // and interior nodes are filled completely; the topmost node becomes node 1.
    [[nodiscard]] int load(const uint8_t* key, uint32_t record);
    [[nodiscard]] int finishLoad();

    // Nodes in the file (node 1 included), and the depth of the tree (1: the root is a leaf).
    [[nodiscard]] int nodeCount(uint32_t& nodes);
    [[nodiscard]] int depth(int& levels);

  private:
    struct Node;
    BtreeIndex(KeyIo& io, const TreeShape& s);
    int readNode(uint32_t n, const uint8_t*& bytes);
    int writeNode(uint32_t n, Node& node);
    int appendNode(Node& node, uint32_t& n);
    int decode(uint32_t n, Node& node);
    int leafOf(const uint8_t* key, uint32_t record, TreePath& p, Node& leaf, bool& there);
    int search(TreePath& p, const uint8_t* key, int len, uint32_t record);
    int descend(TreePath& p, int from, bool leftmost);
    int normalize(TreePath& p, bool forward);
    int entryAt(const TreePath& p, KeyEntry& out);
    int placeSplit(TreePath& p, int level, Node& left, Node& right, const uint8_t* key,
                   uint32_t record);
    int insertAbove(TreePath& p, int level, const uint8_t* key, uint32_t record, uint32_t child);
    int rebalance(TreePath& p, int level);
    int verifyNode(uint32_t n, int level, int leafLevel, const uint8_t* lo, uint32_t loRec,
                   const uint8_t* hi, uint32_t hiRec, std::vector<uint8_t>& seen);
    int pushUp(size_t level, std::vector<uint8_t> key, uint32_t record, uint32_t n);
    int checkAfterChange();
    int verifyTree();
    int countBelow(uint32_t node, int level, uint32_t& n, std::vector<uint8_t>& seen);
    int finishLoadOnce();
    int findOnce(KeyCursor& c, KeyFind how, const uint8_t* key, int len, uint32_t record,
                 KeyEntry& out);
    int stepOnce(KeyCursor& c, bool forward, KeyEntry& out);
    int insertOnce(const uint8_t* key, uint32_t record);
    int removeOnce(const uint8_t* key, uint32_t record);
    int readCount(uint32_t& count);
    int writeCount(uint32_t count);
    int markDirty(bool on);
    int beginRead(uint32_t& count);
    int endRead(uint32_t count, bool& again);
    template <typename Op>
    int reading(Op op);
    template <typename Op>
    int changing(Op op);

    KeyIo& io_;
    TreeShape shape_;
    int64_t fileSize_ = 0;
    bool shared_ = false;
    std::vector<std::unique_ptr<uint8_t[]>> cache_;  // node n at [n]
    // Shared files: the change count the kept nodes were read under, whether a node came from
    // the file during this operation, and whether it reads under the shared update lock.
    uint32_t count_ = 0;
    bool countKnown_ = false;
    bool fromFile_ = false;
    bool lockedRead_ = false;
    bool inChange_ = false;
    // Write-back: the nodes changed since the last flush, and whether the root record says so.
    bool writeBack_ = false;
    std::vector<uint32_t> dirty_;
    std::vector<uint8_t> isDirty_;
    bool markedDirty_ = false;
    std::vector<uint8_t> scratch_;  // the last node read when not cached
    std::vector<uint8_t> current_;  // the key of the entry last returned
    // Bulk load: per level the node being filled.
    std::vector<std::unique_ptr<Node>> loading_;
    int loadError_ = 0;
    bool loaded_ = false;
};

}  // namespace vxs
