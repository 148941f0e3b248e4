// Keys as key files store them: the key parts of a record concatenated, each part upper-cased
// (U), its two-digit-year date made to order by century (Y, as text, binary B or packed P),
// and parts without B or P mapped through the alternate collating table when the key file
// orders that way.  Search arguments go through the same conversion over their length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vxs/indexes/collation.h"

namespace vxs {

// A key of up to kMaxKeyParts parts, each a stretch of the record (KPS=, KLN=) with its flags.
inline constexpr int kMaxKeyParts = 6;
// Key part flags (KPS= and KLN= letters).
inline constexpr uint8_t kKeyUpper = 1;   // U: the part is upper-cased before use
inline constexpr uint8_t kKeyYear = 2;    // Y: a date of two-digit years, converted for ordering
inline constexpr uint8_t kKeyBinary = 4;  // B: with Y, a binary date
inline constexpr uint8_t kKeyPacked = 8;  // P: with Y, a packed date

struct KeyPart {
    int start = 0;  // 1-based (KPS=)
    int length = 0;  // KLN=
    uint8_t flags = 0;
};

struct KeyLayout {
    int parts = 0;
    KeyPart keys[kMaxKeyParts];
    bool alternate = false;  // the alternate collating table (not NATIVE)
    int total() const {
        int n = 0;
        for (int i = 0; i < parts; ++i) n += keys[i].length;
        return n;
    }
};

// The key of a record image of `recordLength` bytes (parts beyond it read as blanks) into
// `out` (layout.total() bytes).  4120 for a text date part with other characters than digits,
// "/" and blanks, unless OPTION 27 lets the key go unconverted; the key is built all the same,
// that part left unconverted (the INDEX utility still gives the record its entry).
[[nodiscard]] int buildKey(const KeyLayout& layout, const uint8_t* record, size_t recordLength,
                           uint8_t* out);
// A search argument of `len` bytes (at most the total key length) converted in place as the
// parts it covers say.
[[nodiscard]] int convertSearchKey(const KeyLayout& layout, uint8_t* key, int len);

}  // namespace vxs
