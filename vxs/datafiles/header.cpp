// The INTERNAL file header (see header.h).
#include "vxs/datafiles/header.h"

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

inline constexpr int kFixedFields = 15;  // up to the key parts

uint32_t get32(const uint8_t* p, bool swapped) {
    return swapped ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                   : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}
uint16_t get16(const uint8_t* p, bool swapped) {
    return static_cast<uint16_t>(swapped ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
}
void put32(std::string& s, size_t at, uint32_t v, bool swapped) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (swapped ? 24 - 8 * i : 8 * i));
}
void put16(std::string& s, size_t at, uint16_t v, bool swapped) {
    s[at] = static_cast<char>(swapped ? v >> 8 : v);
    s[at + 1] = static_cast<char>(swapped ? v : v >> 8);
}

int minimumLength(int keyParts, bool deletedChain) {
    return (keyParts > 0 ? 17 + 4 * keyParts : kFixedFields) + (deletedChain ? 4 : 0);
}

}  // namespace

int headerLengthFor(int recl, int keyParts, bool deletedChain, int type) {
    if (type == kTypeBtree) return kMaxHeaderLength;
    const int slot = recl + 1;
    if (slot > kMaxHeaderLength) return kMaxHeaderLength;
    const int minimum = minimumLength(keyParts, deletedChain);
    if (slot >= minimum) return slot;
    const int length = (minimum + slot - 1) / slot * slot;
    return length > kMaxHeaderLength ? kMaxHeaderLength : length;
}

std::string encodeHeader(const InternalHeader& h) {
    const size_t fields = static_cast<size_t>(kFixedFields + 4 * h.parts) +
                          ((h.flags & kHeaderDeletedChain) ? 4 : 0);
    std::string s(h.length > 0 && static_cast<size_t>(h.length) > fields ? static_cast<size_t>(h.length)
                                                                         : fields,
                  '\0');
    put32(s, 0, h.records, h.swapped);
    put32(s, 4, static_cast<uint32_t>(h.version), h.swapped);
    s[8] = static_cast<char>(h.type);
    put16(s, 9, static_cast<uint16_t>(h.recl), h.swapped);
    put16(s, 11, static_cast<uint16_t>(h.length), h.swapped);
    s[13] = static_cast<char>(h.parts);
    s[14] = static_cast<char>(h.flags);
    size_t at = kFixedFields;
    for (int i = 0; i < h.parts && i < kMaxKeyParts; ++i, at += 4) {
        put16(s, at, static_cast<uint16_t>(h.keys[i].start), h.swapped);
        s[at + 2] = static_cast<char>(h.keys[i].length);
        s[at + 3] = static_cast<char>(h.keys[i].flags);
    }
    if (h.flags & kHeaderDeletedChain) put32(s, at, h.deletedHead, true);  // always high byte first
    return s;
}

int decodeHeader(const uint8_t* bytes, size_t size, InternalHeader& out) {
    if (size < kFixedFields) return kErrWrongFileType;
    InternalHeader h;
    int length = get16(bytes + 11, false);
    if (length < kFixedFields || length > kMaxHeaderLength) {
        length = get16(bytes + 11, true);
        if (length < kFixedFields || length > kMaxHeaderLength) return kErrWrongFileType;
        h.swapped = true;
    }
    h.length = static_cast<int16_t>(length);
    h.records = get32(bytes, h.swapped);
    h.version = static_cast<int32_t>(get32(bytes + 4, h.swapped));
    h.type = bytes[8];
    h.recl = static_cast<int16_t>(get16(bytes + 9, h.swapped));
    h.parts = bytes[13];
    h.flags = bytes[14];
    if (h.type != kTypeInternal && h.type != kTypeBtree) return kErrWrongFileType;
    if (h.recl < 1 || h.parts > kMaxKeyParts) return kErrWrongFileType;
    const int fields = kFixedFields + 4 * h.parts + ((h.flags & kHeaderDeletedChain) ? 4 : 0);
    if (static_cast<size_t>(length) > size || length < fields) return kErrWrongFileType;
    const uint8_t collation = h.flags & kHeaderCollationMask;
    if (h.parts > 0 && collation != 0 && collation != kHeaderCollationAlternate)
        return kErrBadCollation;
    size_t at = kFixedFields;
    for (int i = 0; i < h.parts; ++i, at += 4) {
        KeyPart& k = h.keys[i];
        k.start = static_cast<int16_t>(get16(bytes + at, h.swapped));
        k.length = bytes[at + 2];
        k.flags = bytes[at + 3];
        if (k.start < 1 || k.length < 1) return kErrWrongFileType;
    }
    if (h.flags & kHeaderDeletedChain) h.deletedHead = get32(bytes + at, true);
    out = h;
    return 0;
}

}  // namespace vxs
