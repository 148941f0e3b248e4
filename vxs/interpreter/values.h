// The value model: value cells (numbers as IEEE doubles, strings as a 16-bit length and bytes,
// arrays in row-major order), the tolerance rules for comparing numbers, integer conversion with
// its clamps, string comparison with the collating modes, and the two evaluation stacks: the
// RPN stack of references and the work stack from which one clause's temporaries are allocated.
//
// A value cell has the layout of a dictionary entry (`de`).  Its value is read through one rule:
// with DE_STORAGE set it lives at `storage` (a double, a length word and the text, or an array's
// elements); otherwise it is the inline value.  A named string's inline text holds at most 18
// bytes; a longer capacity lives in storage.  An unnamed cell (literal or temporary, DE_LITERAL)
// holds its text inline at exactly its length.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "vxs/errors/errors.h"
#include "vxs/compiler/pcb.h"
#include "vxs/indexes/collation.h"
#include "vxs/interpreter/state.h"

namespace vxs {

using Cell = de;

inline constexpr uint8_t DE_FIXED = 0x10;          // may not be redimensioned (error 315)
inline constexpr int kInlineStringCapacity = 18;   // named strings: longer ones use storage
inline constexpr int kMaxStringLength = 32767;
inline constexpr double kTolerance = 5e-07;

// ---- numbers ----
// Copies string bytes; an empty view may carry no pointer at all, so it copies nothing.
inline void copyText(void* dst, std::string_view s) {
    if (!s.empty()) memmove(dst, s.data(), s.size());
}

inline bool isTrue(double x) { return x >= kTolerance || x <= -kTolerance; }
// floor(x) without a call into the library: below 2^52 in magnitude through a 64-bit integer,
// above that every double is whole already (and NaN stays NaN).  The zero it gives for -0.0 is
// the only difference, and INT never meets -0.0 (x + 5e-07 is not).
inline double floorNumber(double x) {
    if (!(std::fabs(x) < 4503599627370496.0)) return x;
    const double t = static_cast<double>(static_cast<int64_t>(x));
    return t > x ? t - 1.0 : t;
}
// -1, 0 or 1 by the tolerance rule.
inline int compareNumbers(double a, double b) {
    const double d = a - b;
    return d > kTolerance ? 1 : d < -kTolerance ? -1 : 0;
}
// Rounds half away from zero and clamps to [lo, hi] (after clamping to 32 bits).
inline int toInteger(double x, int lo, int hi) {
    if (x > -2147483648.0 && x < 2147483647.0) {
        // Within 32 bits the conversion itself truncates: no call to trunc.
        const long long v = static_cast<long long>(x >= 0 ? x + 0.5 : x - 0.5);
        return static_cast<int>(v < lo ? lo : v > hi ? hi : v);
    }
    double r = x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
    if (!(r >= -2147483648.0)) r = -2147483648.0;  // also catches NaN
    if (r > 2147483647.0) r = 2147483647.0;
    const long long v = static_cast<long long>(r);
    return static_cast<int>(v < lo ? lo : v > hi ? hi : v);
}
inline int toSubscript(double x) { return toInteger(x, -32767, 65535); }
inline int toCount(double x) { return toInteger(x, -32767, 32767); }

// Copies a few doubles.  The empty statement in the loop keeps the compiler from turning it into
// a block copy, whose start-up costs more than the handful of values that the callers copy.
inline void copyNumbers(double* to, const double* from, int n) {
    for (int i = 0; i < n; ++i) {
        to[i] = from[i];
        asm volatile("");
    }
}

// ---- cells ----
inline bool isStringCell(const Cell* c) { return c->kind & DE_STRING; }
inline bool isArrayCell(const Cell* c) { return c->attr & DA_DIMENSIONED; }
inline int cellDims(const Cell* c) { return c->attr & DA_DIMS; }

// The number a cell holds: in its storage when it has one, else inline.
inline double cellNumber(const Cell* c) {
    double v;
    memcpy(&v, (c->kind & DE_STORAGE) && c->storage ? static_cast<const uint8_t*>(c->storage)
                                                     : c->value,
           sizeof v);
    return v;
}
inline void setCellNumber(Cell* c, double v) {
    memcpy((c->kind & DE_STORAGE) && c->storage ? static_cast<uint8_t*>(c->storage) : c->value,
           &v, sizeof v);
}

// A string's bytes as they are now.
std::string_view cellString(const Cell* c);
// The capacity a string target may hold.
int stringCapacity(const Cell* c);
// The writable length word and text of a string cell, allocating its storage when its capacity
// needs it.  Returns 0 or 9000.
[[nodiscard]] int writableString(Cell* c, uint8_t*& lengthWord, char*& text, int& capacity);

// Number of elements of an array cell (the range count for a range).
int32_t elementCount(const Cell* c);
// Bytes of one element.
inline int elementSize(const Cell* c) { return isStringCell(c) ? 2 + stringCapacity(c) : 8; }
// The address of element i.
inline uint8_t* elementAt(const Cell* c, int32_t i) {
    return static_cast<uint8_t*>(c->storage) + static_cast<size_t>(i) * elementSize(c);
}

// The range count of a range reference is kept in the entry's function-line field, which only
// functions use otherwise.
inline int32_t rangeCount(const Cell* c) { return static_cast<int32_t>(c->fnline); }

// ---- strings ----
// Compares byte by byte; under the alternate collating sequence digits sort above 7-bit
// characters.  Returns negative, zero or positive.
int compareStrings(std::string_view a, std::string_view b, bool alternate);

// ---- the RPN stack ----
// An entry (RpnEntry, state.h) is a cell pointer, or a small integer tagged in bit 0.
inline RpnEntry rpnCell(Cell* c) { return reinterpret_cast<uintptr_t>(c); }
inline RpnEntry rpnSmall(int v) { return static_cast<uintptr_t>(v) << 1 | 1; }
inline bool rpnIsSmall(RpnEntry e) { return e & 1; }
inline int rpnSmallValue(RpnEntry e) { return static_cast<int>(e >> 1); }
inline Cell* rpnCellOf(RpnEntry e) { return rpnIsSmall(e) ? nullptr : reinterpret_cast<Cell*>(e); }

inline constexpr int kDefaultRpnStack = 300;

// ---- the work stack ----
inline constexpr int kDefaultWorkStack = 4000;

// The process's stacks (sizes from the configuration; the defaults until it exists).  Every
// operation uses them, so they are reached without a call.
inline RpnStack& rpnStack() { return interp.eval.rpn; }
inline WorkStack& workStack() { return interp.eval.work; }
// Allocates both stacks with the given sizes.  Returns 0 or 9000.
[[nodiscard]] int allocateStacks(int rpnEntries, int workBytes);
inline void resetStacks() {
    interp.eval.rpn.rpnStackNext = interp.eval.rpn.rpn_stkbase;
    interp.eval.work.next = interp.eval.work.base;
}

[[nodiscard]] inline int rpnPush(RpnEntry e) {
    RpnStack& s = rpnStack();
    if (s.rpnStackNext >= s.limit) return kErrRpnStack;
    *s.rpnStackNext++ = e;
    return 0;
}
inline bool rpnPop(RpnEntry& e) {
    RpnStack& s = rpnStack();
    if (s.rpnStackNext == s.rpn_stkbase) return false;
    e = *--s.rpnStackNext;
    return true;
}

// Bytes of the work stack one temporary with `inlineBytes` of value takes (8-byte aligned: the
// header holds a pointer and the value a double).
inline constexpr size_t tempBytes(size_t inlineBytes) {
    const size_t bytes = offsetof(Cell, value) + (inlineBytes < 8 ? 8 : inlineBytes);
    return ((bytes < sizeof(Cell) ? sizeof(Cell) : bytes) + 7) & ~size_t{7};
}
// A zeroed unnamed cell of tempBytes(inlineBytes) from the work stack; null when it is full.
inline Cell* tempHeader(size_t inlineBytes) {
    const size_t bytes = tempBytes(inlineBytes);
    WorkStack& w = interp.eval.work;
    if (static_cast<size_t>(w.limit - w.next) < bytes) return nullptr;
    Cell* c = new (w.next) Cell{};
    w.next += bytes;
    c->kind = DE_LITERAL;
    return c;
}
// A numeric temporary (0.0) or a string temporary of `length` bytes (its text to be filled in),
// from the work stack; null when it is full (error 9001).
inline Cell* newNumberTemp(double value) {
    Cell* c = tempHeader(8);
    if (c) memcpy(c->value, &value, sizeof value);
    return c;
}
Cell* newStringTemp(int length);
// A temporary indirect cell referring to data elsewhere (an element or a range), shaped like
// `like`.
Cell* newReferenceTemp(const Cell* like, uint8_t* data);

}  // namespace vxs
