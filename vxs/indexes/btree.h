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
#include <string>
#include <vector>

#include "vxs/storage/pager.h"
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
    // With `header` (the file's first 256 bytes) the header, the root record and the root go
    // out in one write, so that a copy that stops while making the file leaves all or nothing.
    [[nodiscard]] static int create(KeyIo& io, int version, int keyLength, bool swapped,
                                    std::unique_ptr<BtreeIndex>& out,
                                    const std::string* header = nullptr);
    // Opens the tree of a key file: 4124 when the root record is unreadable or does not fit
    // the key length, 4123 when the file is not whole nodes.
    // A file whose root record says changes are held back, or whose change count is odd (a
    // change left half done), is 4123 too, unless `allowUnfinished`: then it opens and
    // unfinished() says so, for the caller to finish from the journal.
    [[nodiscard]] static int open(KeyIo& io, int keyLength, bool swapped,
                                  std::unique_ptr<BtreeIndex>& out, bool allowUnfinished = false);

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
    // Changed nodes of a file this process holds alone are kept (write-back) and written by
    // flush, at CLOSE or a checkpoint, rather than at once.  While any are held back the root
    // record says so; an open that finds it saying so (the copy that held them stopped) sees the
    // file as unfinished.
    void setWriteBack(bool on);
    bool writeBackOn() const { return pager_.writeBack(); }
    int refresh() override;
    int flush() override;
    bool heldBack() const override { return markedDirty_ || pager_.dirty(); }
    int beginChange() override;
    void changeImages(uint32_t& marker, int64_t& oldSize, std::vector<PageImage>& before) override;
    int markChange() override;
    int commitAppends() override;
    int commitChange() override;
    void abandonChange() override;
    bool unfinished() const override { return unfinished_ || heldBackAtOpen_; }
    // Reads a file whose change count says a change is under way that nobody can finish (its
    // writer lives on after failing to put it back): under the shared update lock, as it is.
    void readUnfinished(bool on) { readUnfinished_ = on; }
    // The change count of a shared file as the file holds it now.
    [[nodiscard]] int changeCount(uint32_t& count) { return readCount(count); }
    // Sets the change count (recovery: a change put back, so that readers read again).
    [[nodiscard]] int setChangeCount(uint32_t count);
    // Marks the file as holding changes back (before the first one), on the disk when changes
    // are to survive a power loss.
    [[nodiscard]] int markHeldBack();
    // Clears the mark, another copy's included (recovery: what it held back is written now).
    [[nodiscard]] int clearHeldBack();

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
    Pager pager_;  // the nodes: kept, held back, or changed as one
    bool shared_ = false;
    // Shared files: the change count the kept nodes were read under, whether a node came from
    // the file during this operation, and whether it reads under the shared update lock.
    uint32_t count_ = 0;
    bool countKnown_ = false;
    bool fromFile_ = false;
    bool lockedRead_ = false;
    // The open change: 0 none, 1 one its caller opened (beginChange), 2 one an insertion or
    // removal opened for itself; the odd count it sets, and whether that is in the file.
    int scope_ = 0;
    uint32_t busy_ = 0;
    bool marked_ = false;
    // A change another copy left unfinished was found (odd count with the update lock held), or
    // the root record said at open that a copy held changes back and stopped.
    bool unfinished_ = false;
    bool heldBackAtOpen_ = false;
    bool readUnfinished_ = false;
    // Whether the root record says changes are held back.
    bool markedDirty_ = false;
    std::vector<uint8_t> nodeBuf_;  // a node being encoded
    std::vector<uint8_t> current_;  // the key of the entry last returned
    // Bulk load: per level the node being filled.
    std::vector<std::unique_ptr<Node>> loading_;
    int loadError_ = 0;
    bool loaded_ = false;
};

}  // namespace vxs
