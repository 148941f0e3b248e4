// Keys as key files store them: the key parts of a record concatenated, each part upper-cased
// (U), its two-digit-year date made to order by century (Y, as text, binary B or packed P),
// and parts without B or P mapped through the alternate collating table when the key file
// orders that way.  Search arguments go through the same conversion over their length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vxs/datafiles/openstr.h"
#include "vxs/indexes/collation.h"

namespace vxs {

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
