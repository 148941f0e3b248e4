// The header of an INTERNAL data file (also the header of ISAM and B-tree key files): its byte
// layout, the rule that fixes its length when the file is created, and reading it back from a
// file written on a machine of either byte order.
//
//   OFFSET     SIZE  MEANING
//   0          4     record count (slots in use up to the end of the file)
//   4          4     version (VERSION=); for an ISAM key file the records in key order
//   8          1     file type: 4 INTERNAL or ISAM key file, 7 B-tree key file
//   9          2     record length (RECL)
//   11         2     header length
//   13         1     key part count n (0..6)
//   14         1     flags: bits 0-3 collation (0 plain bytes, 4 alternate), 0x10 a key part
//                    carries U/Y/B/P, 0x20 the deleted-record chain field is present
//   15         4n    key parts: signed 16-bit start, 8-bit length, 8-bit flags
//   15+4n      4     with 0x20: head of the deleted-record chain, most significant byte first
//   then             zero bytes up to the header length
// Numbers are in the byte order of the machine that made the file; a header length outside
// 15..256 means the other order, and the fields are swapped on reading and writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vxs/datafiles/openstr.h"

namespace vxs {

inline constexpr int kTypeInternal = 4;
inline constexpr int kTypeBtree = 7;
inline constexpr uint8_t kHeaderCollationMask = 0x0F;
inline constexpr uint8_t kHeaderCollationAlternate = 4;
inline constexpr uint8_t kHeaderKeyFlags = 0x10;
inline constexpr uint8_t kHeaderDeletedChain = 0x20;
inline constexpr int kMaxHeaderLength = 256;

struct InternalHeader {
    uint32_t records = 0;
    int32_t version = 0;
    uint8_t type = kTypeInternal;
    int16_t recl = 0;
    int16_t length = 0;  // the header length
    uint8_t parts = 0;
    uint8_t flags = 0;
    KeyPart keys[kMaxKeyParts];
    uint32_t deletedHead = 0;  // with kHeaderDeletedChain
    bool swapped = false;      // the file is in the other byte order
};

// The header length of a new file: RECL + 1 (a slot) when that is at least the minimum (15, or
// 17 + 4n with key parts, 4 more with the deleted-record chain), else the smallest multiple of
// the slot that reaches it; never more than 256.  B-tree key files take 256.
int headerLengthFor(int recl, int keyParts, bool deletedChain, int type = kTypeInternal);

// The header's bytes (`h.length` of them; at least the fields) in the header's byte order.
std::string encodeHeader(const InternalHeader& h);
// Reads a header from the first bytes of a file.  Returns 0; 4122 for a type other than 4 or 7,
// a header length that fits neither byte order or runs past the bytes given, or a key part
// that starts before position 1 or is empty (a key file's parts describe the data record, not
// its own); 632 for an unknown collation with key parts.
[[nodiscard]] int decodeHeader(const uint8_t* bytes, size_t size, InternalHeader& h);

// The byte offset of record n (from 1): its status byte, then RECL data bytes.
inline int64_t slotOffset(const InternalHeader& h, uint32_t n) {
    return h.length + int64_t{n - 1} * (h.recl + 1);
}
// The slots a file of `fileSize` bytes holds after its header: whole slots of RECL + 1 bytes (a
// last slot cut short by a crash does not count).  What LREC reports for an INTERNAL file.
inline uint32_t slotsInFile(const InternalHeader& h, int64_t fileSize) {
    if (h.recl < 1 || fileSize <= h.length) return 0;
    const int64_t n = (fileSize - h.length) / (h.recl + 1);
    return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}
// Status bytes of a slot.
inline constexpr uint8_t kSlotLive = 0x20;
inline constexpr uint8_t kSlotDeleted = 0x44;
inline bool slotDeleted(uint8_t status) { return (status & 0x44) != 0; }

}  // namespace vxs
