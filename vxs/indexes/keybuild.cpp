// Key building: the parts of a record and the conversions of U, Y, B, P and the collation.
//
// Dates of two-digit years: a year below the pivot of BASEYEAR belongs to the next century.
// Such a date is changed, keeping its length, so that it orders after every date of the base
// century: in text (YYMMDD or YY/MM/DD, the year first) the first year digit d becomes the byte
// 0xC0 + d, above every digit in either collation; a binary (B, unsigned, most significant byte
// first) or packed (P) date YYMMDD gets 1,000,000 added when the part has room for it.
//
// A search argument that covers only the first bytes of such a part is converted as far as
// those bytes decide how the whole part would be: a text date once it holds both year digits,
// a binary or packed one when every date that begins with the covered bytes would have them
// converted alike (otherwise they are left as they are).
#include "vxs/indexes/keybuild.h"

#include <algorithm>
#include <cstring>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"

namespace vxs {

namespace {

bool nextCentury(int year) { return year < configLimits().baseYear % 100; }

constexpr uint64_t kCentury = 1000000;  // added to a binary or packed YYMMDD of the next century

// The covered digits of a binary or packed date part after conversion, when they are decided:
// the part's value is `known` × `span` + r for an unknown r below `span` (the uncovered digits),
// and `limit` is the first value the part cannot hold (0: none).  A value is converted when its
// year is of the next century and the larger value fits; within one year (10,000 values) and
// one side of the limit the conversion adds the same amount, so the covered digits are
// decided when the first and last value of every such stretch agree.
bool coveredDigits(uint64_t known, uint64_t span, uint64_t limit, uint64_t& out) {
    // Over more than a million values every year comes round, and those of the base century
    // keep the covered digits as they are: either every value does, or nothing is decided.
    if (span > kCentury) return false;
    const uint64_t lo = known * span, hi = lo + (span - 1);
    uint64_t roomEnd = UINT64_MAX;  // the values from here on have no room for the century
    if (limit) roomEnd = limit > kCentury ? limit - kCentury : 0;
    bool first = true;
    for (uint64_t a = lo;;) {
        uint64_t b = std::min(hi, a - a % 10000 + 9999);
        uint64_t add = 0;
        if (nextCentury(static_cast<int>(a / 10000 % 100)) && a < roomEnd) {
            add = kCentury;
            b = std::min(b, roomEnd - 1);
        }
        const uint64_t top = (a + add) / span;
        if ((b + add) / span != top || (!first && top != out)) return false;
        out = top;
        first = false;
        if (b == hi) return true;
        a = b + 1;
    }
}

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

// A binary date part of `length` bytes of which the first n are given.
void convertBinaryDate(uint8_t* p, int n, int length) {
    if (length > 8) return;
    if (n < length) {
        uint64_t known = 0;
        for (int i = 0; i < n; ++i) known = known << 8 | p[i];
        const int rest = 8 * (length - n);
        const uint64_t limit = length < 8 ? uint64_t{1} << (8 * length) : 0;
        uint64_t out = 0;
        if (rest >= 32 || !coveredDigits(known, uint64_t{1} << rest, limit, out)) return;
        for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(out >> (8 * (n - 1 - i)));
        return;
    }
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    if (!nextCentury(static_cast<int>(v / 10000 % 100))) return;
    const uint64_t w = v + 1000000;
    if (n < 8 && (w >> (8 * n)) != 0) return;
    for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(w >> (8 * (n - 1 - i)));
}

// A packed date part of `length` bytes of which the first n are given.
void convertPackedDate(uint8_t* p, int n, int length) {
    // 2n - 1 digits and a sign in the last half byte.
    const int digits = 2 * length - 1;
    if (digits > 18) return;
    if (n < length) {
        // The covered bytes hold the first 2n digits.
        uint64_t known = 0, span = 1, limit = 1;
        for (int d = 0; d < 2 * n; ++d) {
            const int nib = (d % 2 == 0) ? p[d / 2] >> 4 : p[d / 2] & 15;
            if (nib > 9) return;  // not a date: the whole part stays as it is
            known = known * 10 + static_cast<uint64_t>(nib);
        }
        for (int d = 0; d < digits; ++d) limit *= 10;
        for (int d = 2 * n; d < digits; ++d) span *= 10;
        uint64_t out = 0;
        if (!coveredDigits(known, span, limit, out)) return;
        for (int d = 2 * n - 1; d >= 0; --d, out /= 10) {
            const uint8_t nib = static_cast<uint8_t>(out % 10);
            uint8_t& b = p[d / 2];
            b = (d % 2 == 0) ? static_cast<uint8_t>((b & 0x0F) | nib << 4)
                             : static_cast<uint8_t>((b & 0xF0) | nib);
        }
        return;
    }
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

// Converts the first n bytes of one part (all of it, or the start a search argument covers).
// A text date that is not a date is left as it stands, the rest of the conversion done, and
// 4120 returned.
int convertPart(const KeyPart& k, bool alternate, uint8_t* p, int n) {
    int err = 0;
    if (k.flags & kKeyUpper)
        for (int i = 0; i < n; ++i)
            if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<uint8_t>(p[i] - 32);
    if (k.flags & kKeyYear) {
        if (k.flags & kKeyBinary) {
            convertBinaryDate(p, n, k.length);
        } else if (k.flags & kKeyPacked) {
            if (k.length <= 9) convertPackedDate(p, n, k.length);
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
        if (int err = convertPart(k, layout.alternate, at, k.length); err && !first) first = err;
        at += k.length;
    }
    return first;
}

int convertSearchKey(const KeyLayout& layout, uint8_t* key, int len) {
    int at = 0;
    for (int i = 0; i < layout.parts && at < len; ++i) {
        const KeyPart& k = layout.keys[i];
        const int n = std::min(k.length, len - at);
        if (int err = convertPart(k, layout.alternate, key + at, n)) return err;
        at += k.length;
    }
    return 0;
}

}  // namespace vxs
