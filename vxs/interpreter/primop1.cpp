// Reference operations (array elements, ranges, dimensioning), the built-in functions the
// evaluator owns, and MAT's whole-array operations (see primop.h).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/strsub.h"

namespace vxs {

namespace {

constexpr int kMaxElements = 65536;
constexpr int kMaxArrayBytes = 1048576;

int pushReference(const Cell* array, uint8_t* data) {
    Cell* c = newReferenceTemp(array, data);
    if (!c) return kErrWorkStack;
    return rpnPush(rpnCell(c));
}

}  // namespace

int opElement(const EvalEnv& env, Cell* array, int subscripts) {
    if (subscripts < 1 || subscripts > kMaxDims) return kErrDamaged;
    double s[kMaxDims];
    for (int i = subscripts - 1; i >= 0; --i)
        if (int err = popNumber(s[i])) return err;
    uint8_t* at;
    if (int err = elementAddress(env, array, s, subscripts, at)) return err;
    return pushReference(array, at);
}

int opElementConstant(const EvalEnv& env, Cell* array, int subscript) {
    uint8_t* at;
    if (int err = elementAddressConstant(env, array, subscript, at)) return err;
    return pushReference(array, at);
}

int opRange(const EvalEnv& env, Cell* array) {
    double yv, xv;
    if (int err = popNumber(yv)) return err;
    if (int err = popNumber(xv)) return err;
    if (!isArrayCell(array) || cellDims(array) != 1) return kErrDimensions;
    const int x = toSubscript(xv) - env.base, y = toSubscript(yv) - env.base;
    if (x < 0 || y < x || y >= array->dims[0] || !array->storage) return kErrSubscript;
    Cell* c = newReferenceTemp(array, elementAt(array, x));
    if (!c) return kErrWorkStack;
    c->attr = DA_DIMENSIONED | 1;
    c->dims[0] = static_cast<uint16_t>(y - x + 1);
    c->fnline = static_cast<uint32_t>(y - x + 1);
    return rpnPush(rpnCell(c));
}

int opDim(const EvalEnv& env, Cell* array, int bounds, int capacity) {
    if (bounds < 0 || bounds > kMaxDims || capacity < 0 || capacity > kMaxStringLength)
        return kErrDamaged;
    double b[kMaxDims];
    for (int i = bounds - 1; i >= 0; --i)
        if (int err = popNumber(b[i])) return err;
    if (array->kind & DE_FIXED) return kErrFixedArray;
    const bool isString = isStringCell(array);
    if (capacity && !isString) return kErrDamaged;
    uint16_t sizes[kMaxDims];
    int64_t elements = 1;
    if (bounds == 0 && isString && capacity && isArrayCell(array) && array->storage) {
        // A new capacity for the elements of a dimensioned string array: its shape stays, its
        // storage is reallocated as for a redimensioning.
        bounds = cellDims(array);
        for (int i = 0; i < bounds; ++i) {
            sizes[i] = array->dims[i];
            elements *= sizes[i];
        }
    } else if (bounds == 0) {
        // A string scalar's capacity.
        if (!isString || capacity == 0) return 0;
        const std::string keep(cellString(array).substr(0, static_cast<size_t>(capacity)));
        if (array->kind & DE_STORAGE) {
            void* mem = std::realloc(array->storage, 2 + static_cast<size_t>(capacity));
            if (!mem) return kErrNoMemory;
            array->storage = mem;
        }
        array->dimlen = static_cast<uint16_t>(capacity);
        uint8_t* lenWord;
        char* text;
        int cap;
        if (int err = writableString(array, lenWord, text, cap)) return err;
        copyText(text, keep);
        const uint16_t n = static_cast<uint16_t>(keep.size());
        memcpy(lenWord, &n, 2);
        return 0;
    } else {
        for (int i = 0; i < bounds; ++i) {
            const int v = toSubscript(b[i]);
            if (v < 0 || v > 32767) return kErrBound;
            const int size = v + 1 - env.base;
            sizes[i] = static_cast<uint16_t>(size < 0 ? 0 : size);
            elements *= sizes[i];
            if (elements > kMaxElements) return kErrElements;
        }
    }
    const int cap = isString ? (capacity ? capacity : (array->dimlen ? array->dimlen : 18)) : 0;
    const int64_t bytes = elements * (isString ? 2 + cap : 8);
    if (bytes > kMaxArrayBytes) return kErrBytes;
    // An array name read or assigned as a whole reaches its first element's place: the storage
    // holds at least one element, even when a bound of 0 under OPTION BASE 1 leaves none.
    const size_t newBytes = static_cast<size_t>(std::max<int64_t>(bytes, isString ? 2 + cap : 8));
    size_t oldBytes = 0;
    void* old = nullptr;
    if ((array->kind & DE_STORAGE) && array->storage) {
        old = array->storage;
        oldBytes = isArrayCell(array) ? static_cast<size_t>(elementCount(array)) *
                                            static_cast<size_t>(elementSize(array))
                                      : (isString ? 2 + static_cast<size_t>(stringCapacity(array)) : 8);
    }
    void* mem = std::realloc(old, newBytes);
    if (!mem) return kErrNoMemory;
    if (newBytes > oldBytes)
        memset(static_cast<uint8_t*>(mem) + oldBytes, 0, newBytes - oldBytes);
    array->storage = mem;
    // A numeric cell that held its number inline holds it in storage from now on: register
    // forms resolved to the inline place are forgotten with the decoded lines.
    if (!isString && !(array->kind & DE_STORAGE)) clearClauseCache();
    array->kind |= DE_STORAGE;
    array->attr = static_cast<uint8_t>(DA_DIMENSIONED | bounds);
    for (int i = 0; i < kMaxDims; ++i) array->dims[i] = i < bounds ? sizes[i] : 0;
    if (isString) array->dimlen = static_cast<uint16_t>(cap);
    return 0;
}

int opCallString(const EvalEnv& env, int code, int args) {
    if (code != 100) return callStringFunction(env, code, args);
    // s$(x:y): empty when y <= 0, y < x or x past the end; otherwise bytes x..y clipped.
    if (args != 3) return kErrDamagedCall;
    double yv, xv;
    if (int err = popNumber(yv)) return err;
    if (int err = popNumber(xv)) return err;
    RpnEntry e;
    if (!rpnPop(e) || !rpnCellOf(e) || !isStringCell(rpnCellOf(e))) return kErrDamaged;
    const std::string_view s = cellString(rpnCellOf(e));
    int x = toSubscript(xv), y = toSubscript(yv);
    std::string_view part;
    if (!(y <= 0 || y < x || x > static_cast<int>(s.size()))) {
        if (y > static_cast<int>(s.size())) y = static_cast<int>(s.size());
        if (x < 1) x = 1;
        part = s.substr(static_cast<size_t>(x - 1), static_cast<size_t>(y - x + 1));
    }
    (void)env;
    Cell* c = newStringTemp(static_cast<int>(part.size()));
    if (!c) return kErrWorkStack;
    copyText(c->stringText(), part);
    return rpnPush(rpnCell(c));
}

int opCallNumeric(const EvalEnv& env, int code, int args) {
    return callNumericFunction(env, code, args);
}

namespace {

// One element's value as a number or string.
double numberAt(const Cell* a, int32_t i) {
    double v;
    memcpy(&v, elementAt(a, i), sizeof v);
    return v;
}
void setNumberAt(Cell* a, int32_t i, double v) { memcpy(elementAt(a, i), &v, sizeof v); }
std::string_view stringAt(const Cell* a, int32_t i) {
    const uint8_t* p = elementAt(a, i);
    uint16_t n;
    memcpy(&n, p, 2);
    const int cap = stringCapacity(a);
    return {reinterpret_cast<const char*>(p + 2), static_cast<size_t>(n > cap ? cap : n)};
}
int setStringAt(const EvalEnv& env, Cell* a, int32_t i, std::string_view s) {
    const int cap = stringCapacity(a);
    if (static_cast<int>(s.size()) > cap) {
        if (!env.soflowIgnore()) return 4;
        s = s.substr(0, static_cast<size_t>(cap));
    }
    uint8_t* p = elementAt(a, i);
    copyText(p + 2, s);
    const uint16_t n = static_cast<uint16_t>(s.size());
    memcpy(p, &n, 2);
    return 0;
}

Cell* operand(int i) {
    RpnStack& s = rpnStack();
    if (static_cast<int>(s.size()) <= i) return nullptr;
    return rpnCellOf(s.rpn_stkbase[i]);
}

}  // namespace

int matStatement(const EvalEnv& env, int sub) {
    const int needed = (sub == 0 || sub == 48 || sub == 49) ? 2 : 3;
    if (static_cast<int>(rpnStack().size()) != needed) return kErrDamaged;
    Cell* target = operand(0);
    Cell* b = operand(1);
    Cell* c = needed == 3 ? operand(2) : nullptr;
    if (!target || !b || (needed == 3 && !c)) return kErrDamaged;
    const int32_t n = elementCount(target);
    const bool ts = isStringCell(target);
    switch (sub) {
        case 0: {
            if (!isArrayCell(b)) {  // a scalar fills every element
                if (isStringCell(b) != ts) return kErrDamaged;
                for (int32_t i = 0; i < n; ++i) {
                    if (ts) {
                        const std::string value(cellString(b));
                        if (int err = setStringAt(env, target, i, value)) return err;
                    } else {
                        setNumberAt(target, i, cellNumber(b));
                    }
                }
                return 0;
            }
            if (elementCount(b) != n) return kErrArrayCounts;
            if (isStringCell(b) != ts) return kErrDamaged;
            // Overlapping storage is copied in the direction that reads each element first.
            const bool backward = elementAt(target, 0) > elementAt(b, 0);
            for (int32_t k = 0; k < n; ++k) {
                const int32_t i = backward ? n - 1 - k : k;
                if (ts) {
                    const std::string value(stringAt(b, i));
                    if (int err = setStringAt(env, target, i, value)) return err;
                } else {
                    setNumberAt(target, i, numberAt(b, i));
                }
            }
            return 0;
        }
        case 8:
        case 9: {
            if (ts || isStringCell(b) || isStringCell(c)) return kErrDamaged;
            if (elementCount(c) != n) return kErrArrayCounts;
            const double x = cellNumber(b);
            for (int32_t i = 0; i < n; ++i) {
                const double v = numberAt(c, i);
                if (sub == 9 && v > -1e-10 && v < 1e-10) return kErrArithmeticOverflow;
                setNumberAt(target, i, sub == 8 ? x * v : x / v);
            }
            return 0;
        }
        case 11:
        case 12: {
            if (ts || isStringCell(b) || isStringCell(c)) return kErrDamaged;
            if (elementCount(c) != n) return kErrArrayCounts;
            const bool scalar = !isArrayCell(b);
            if (!scalar && elementCount(b) != n) return kErrArrayCounts;
            for (int32_t i = 0; i < n; ++i) {
                const double cv = numberAt(c, i);
                const double bv = scalar ? cellNumber(b) : numberAt(b, i);
                // With a scalar x: x + C(i), and C(i) - x.
                setNumberAt(target, i, sub == 11 ? bv + cv : scalar ? cv - bv : bv - cv);
            }
            return 0;
        }
        case 48:
        case 49: {
            if (ts || !isArrayCell(b)) return kErrDamaged;
            if (elementCount(b) != n) return kErrArrayCounts;
            std::vector<int32_t> order(static_cast<size_t>(n));
            std::iota(order.begin(), order.end(), 0);
            const bool strings = isStringCell(b);
            auto less = [&](int32_t i, int32_t j) {
                const int cmp = strings ? compareStrings(stringAt(b, i), stringAt(b, j), env.alternate)
                                        : compareNumbers(numberAt(b, i), numberAt(b, j));
                return sub == 48 ? cmp < 0 : cmp > 0;
            };
            std::stable_sort(order.begin(), order.end(), less);
            for (int32_t i = 0; i < n; ++i)
                setNumberAt(target, i, order[static_cast<size_t>(i)] + env.base);
            return 0;
        }
    }
    return kErrDamaged;
}

}  // namespace vxs
