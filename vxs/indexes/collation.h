// The alternate collating table, shared by string comparison under COLLATE ALTERNATE and by key
// files that order that way: digits above every 7-bit character, 0xB0-0xB9 in their place.
#pragma once

#include <cstdint>

namespace vxs {

inline uint8_t alternateCollation(uint8_t b) {
    if (b >= 0x30 && b <= 0x39) return static_cast<uint8_t>(b + 0x80);
    if (b >= 0xB0 && b <= 0xB9) return static_cast<uint8_t>(b - 0x80);
    return b;
}

}  // namespace vxs
