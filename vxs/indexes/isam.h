// ISAM key files: an INTERNAL file whose records are the key followed by the record number of
// the data record, the first `sorted` of them in key order (as the INDEX utility left them),
// the later ones appended unsorted as records were written.  A search narrows the sorted part
// through a sample of 16 of its keys, then searches it, then scans the unsorted tail; reading in
// key order takes the smaller of the next sorted entry and the smallest later tail entry.
// Deleted key records (status "D") are skipped everywhere.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "vxs/indexes/keyindex.h"

namespace vxs {

class IsamIndex final : public KeyIndex {
  public:
    // The key file's header length and the count of records in key order come from its
    // header; `swapped` files keep record numbers in the other byte order.
    [[nodiscard]] static int open(KeyIo& io, int keyLength, int headerLength, uint32_t sorted,
                                  bool swapped, std::unique_ptr<IsamIndex>& out);

    int keyLength() const override { return keyLength_; }
    int find(KeyCursor& c, KeyFind how, const uint8_t* key, int len, uint32_t record,
             KeyEntry& out) override;
    int step(KeyCursor& c, bool forward, KeyEntry& out) override;
    int insert(const uint8_t* key, uint32_t record) override;
    int remove(const uint8_t* key, uint32_t record) override;
    int verify() override;
    int countEntries(uint32_t& n) override;
    void setShared(bool shared) override { shared_ = shared; }
    int refresh() override;
    int flush() override { return 0; }
    uint32_t records() const { return records_; }

  private:
    IsamIndex(KeyIo& io, int keyLength, int headerLength, uint32_t sorted, bool swapped)
        : io_(io), keyLength_(keyLength), headerLength_(headerLength), sorted_(sorted),
          swapped_(swapped) {}
    struct Slot {
        bool live = false;
        const uint8_t* key = nullptr;
        uint32_t record = 0;
    };
    int slotLength() const { return keyLength_ + 5; }
    int readSlot(uint32_t n, Slot& s);
    int readTail();
    void remember(KeyCursor& c, const KeyEntry& e, uint32_t slot) const;
    // The first sorted slot whose entry is not less than (or greater than) the target.
    int sortedBound(const uint8_t* key, int len, uint32_t record, bool after, uint32_t& n);
    // The best live entry in a direction from a target (strictly beyond it, or not less).
    int best(const uint8_t* key, int len, uint32_t record, bool forward, bool strict,
             KeyEntry& out, uint32_t& slot);

    KeyIo& io_;
    int keyLength_;
    int headerLength_;
    uint32_t sorted_;
    bool swapped_;
    bool shared_ = true;
    uint32_t records_ = 0;
    std::vector<uint8_t> slot_;  // the slot last read
    std::vector<uint8_t> tail_;  // the unsorted slots as last read
    bool tailKnown_ = false;
    std::vector<uint8_t> current_;
    // The sample: slot numbers and their keys.
    std::array<uint32_t, 16> sampleAt_{};
    std::vector<uint8_t> sampleKeys_;
    std::array<uint32_t, 16> sampleRecords_{};
};

// Writes the key records of an ISAM file in key order, as the INDEX utility loads them: each
// record's status byte is "#" for the first of a run of equal keys and "!" for the others, then
// the key and the record number.  Records go out in large writes after the header.
class IsamLoader {
  public:
    IsamLoader(KeyIo& io, int keyLength, int headerLength, bool swapped);
    // The next entry, not less than the one before; `duplicate` tells whether its key equals the
    // one before.
    [[nodiscard]] int add(const uint8_t* key, uint32_t record, bool& duplicate);
    // Writes what is buffered; the records written.
    [[nodiscard]] int finish(uint32_t& records);

  private:
    int flush();
    KeyIo& io_;
    int keyLength_, headerLength_;
    bool swapped_;
    std::vector<uint8_t> buffer_, previous_;
    uint32_t written_ = 0, buffered_ = 0;
};

}  // namespace vxs
