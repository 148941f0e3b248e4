// Key building: the parts of a record and the conversions of U, Y, B, P and the collation.
//
// Dates of two-digit years: a year below the pivot of BASEYEAR belongs to the next century.
// Such a date is changed, keeping its length, so that it orders after every date of the base
// century: in text (YYMMDD or YY/MM/DD, the year first) the first year digit d becomes the byte
// 0xC0 + d, above every digit in either collation; a binary (B, unsigned, most significant byte
// first) or packed (P) date YYMMDD gets 1,000,000 added when the part has room for it.
#include "vxs/indexes/keybuild.h"

#include <algorithm>
#include <cstring>

#include "vxs/config/config.h"
#include "vxs/control/errors.h"

namespace vxs {

namespace {

bool nextCentury(int year) { return year < configLimits().baseYear % 100; }

int convertTextDate(uint8_t* p, int n) {
    int firstDigit = -1, digits = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] >= '0' && p[i] <= '9') {
            if (firstDigit < 0) firstDigit = i;
            ++digits;
        } else if (p[i] != '/' && p[i] != ' ') {
            return optionOn(27) ? 1 : kErrKeyDate;
        }
    }
    if (digits < 2 || !(p[firstDigit + 1] >= '0' && p[firstDigit + 1] <= '9')) return 0;
    const int year = (p[firstDigit] - '0') * 10 + (p[firstDigit + 1] - '0');
    if (nextCentury(year)) p[firstDigit] = static_cast<uint8_t>(0xC0 + (p[firstDigit] - '0'));
    return 0;
}

void convertBinaryDate(uint8_t* p, int n) {
    if (n > 8) return;
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    if (!nextCentury(static_cast<int>(v / 10000 % 100))) return;
    const uint64_t w = v + 1000000;
    if (n < 8 && (w >> (8 * n)) != 0) return;
    for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(w >> (8 * (n - 1 - i)));
}

void convertPackedDate(uint8_t* p, int n) {
    // 2n - 1 digits and a sign in the last half byte.
    const int digits = 2 * n - 1;
    if (digits > 18) return;
    uint64_t v = 0;
    for (int d = 0; d < digits; ++d) {
        const int nib = (d % 2 == 0) ? p[d / 2] >> 4 : p[d / 2] & 15;
        if (nib > 9) return;
        v = v * 10 + static_cast<uint64_t>(nib);
    }
    if (!nextCentury(static_cast<int>(v / 10000 % 100))) return;
    uint64_t w = v + 1000000;
    uint64_t limit = 1;
    for (int d = 0; d < digits; ++d) limit *= 10;
    if (w >= limit) return;  // no room for the century
    for (int d = digits - 1; d >= 0; --d, w /= 10) {
        const uint8_t nib = static_cast<uint8_t>(w % 10);
        uint8_t& b = p[d / 2];
        b = (d % 2 == 0) ? static_cast<uint8_t>((b & 0x0F) | nib << 4) : static_cast<uint8_t>((b & 0xF0) | nib);
    }
}

// Converts one part's bytes (`n` of them; `whole` when the part is complete).  A text date
// that is not a date is left as it stands, the rest of the conversion done, and 4120 returned.
int convertPart(const KeyPart& k, bool alternate, uint8_t* p, int n, bool whole) {
    int err = 0;
    if (k.flags & kKeyUpper)
        for (int i = 0; i < n; ++i)
            if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<uint8_t>(p[i] - 32);
    if ((k.flags & kKeyYear) && whole) {
        if (k.flags & kKeyBinary) {
            convertBinaryDate(p, n);
        } else if (k.flags & kKeyPacked) {
            if (n <= 9) convertPackedDate(p, n);
        } else if (int r = convertTextDate(p, n); r < 0 || r > 1) {
            err = r;
        }
    }
    if (alternate && !(k.flags & (kKeyBinary | kKeyPacked)))
        for (int i = 0; i < n; ++i) p[i] = alternateCollation(p[i]);
    return err;
}

}  // namespace

int buildKey(const KeyLayout& layout, const uint8_t* record, size_t recordLength, uint8_t* out) {
    uint8_t* at = out;
    int first = 0;
    for (int i = 0; i < layout.parts; ++i) {
        const KeyPart& k = layout.keys[i];
        for (int j = 0; j < k.length; ++j) {
            const size_t from = static_cast<size_t>(k.start - 1 + j);
            at[j] = from < recordLength ? record[from] : ' ';
        }
        if (int err = convertPart(k, layout.alternate, at, k.length, true); err && !first) first = err;
        at += k.length;
    }
    return first;
}

int convertSearchKey(const KeyLayout& layout, uint8_t* key, int len) {
    int at = 0;
    for (int i = 0; i < layout.parts && at < len; ++i) {
        const KeyPart& k = layout.keys[i];
        const int n = std::min(k.length, len - at);
        if (int err = convertPart(k, layout.alternate, key + at, n, n == k.length)) return err;
        at += k.length;
    }
    return 0;
}

}  // namespace vxs
