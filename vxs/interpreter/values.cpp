// The value model and the evaluation stacks (see values.h).
#include "vxs/interpreter/values.h"
#include "vxs/interpreter/introspect.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {
const uint8_t* stringBytes(const Cell* c) {
    return (c->kind & DE_STORAGE) && c->storage ? static_cast<const uint8_t*>(c->storage)
                                                : c->value;
}
}  // namespace

namespace {
// Only a named string scalar is allocated with room for inline text; an array's or a
// function's entry has just the 8-byte value.
bool hasInlineText(const Cell* c) {
    return !isArrayCell(c) && !(c->kind & DE_FUNCTION);
}
}  // namespace

std::string_view cellString(const Cell* c) {
    const uint8_t* p = stringBytes(c);
    uint16_t n;
    memcpy(&n, p, sizeof n);
    if (c->kind & DE_STORAGE) {
        // Storage holds 2 + capacity bytes (an array at least that much for its first element);
        // a length word left from a larger capacity is read as the capacity.
        const int cap = c->dimlen ? c->dimlen : kInlineStringCapacity;
        if (n > cap) n = static_cast<uint16_t>(cap);
    } else if (!(c->kind & DE_LITERAL)) {
        // A named cell without storage holds at most its inline capacity.
        if (n > (hasInlineText(c) ? kInlineStringCapacity : 0)) n = 0;
    }
    return {reinterpret_cast<const char*>(p + 2), n};
}

int stringCapacity(const Cell* c) {
    if (c->kind & DE_LITERAL && !(c->kind & DE_STORAGE)) return static_cast<int>(cellString(c).size());
    return c->dimlen ? c->dimlen : kInlineStringCapacity;
}

int writableString(Cell* c, uint8_t*& lengthWord, char*& text, int& capacity) {
    capacity = stringCapacity(c);
    if (!(c->kind & DE_STORAGE) && !(c->kind & DE_LITERAL) &&
        (capacity > kInlineStringCapacity || !hasInlineText(c))) {
        // The capacity needs storage of its own: move the current value there.
        auto* mem = static_cast<uint8_t*>(std::calloc(1, 2 + static_cast<size_t>(capacity)));
        if (!mem) return kErrNoMemory;
        const std::string_view now = cellString(c);
        const uint16_t n = static_cast<uint16_t>(now.size());
        memcpy(mem, &n, 2);
        copyText(mem + 2, now);
        c->storage = mem;
        c->kind |= DE_STORAGE;
    }
    uint8_t* p = (c->kind & DE_STORAGE) && c->storage ? static_cast<uint8_t*>(c->storage) : c->value;
    lengthWord = p;
    text = reinterpret_cast<char*>(p + 2);
    return 0;
}

int32_t elementCount(const Cell* c) {
    if (c->kind & DE_LITERAL && (c->kind & DE_STORAGE) && rangeCount(c) > 0) return rangeCount(c);
    const int dims = cellDims(c);
    if (!isArrayCell(c) || !c->storage) return 0;
    int32_t n = 1;
    for (int i = 0; i < dims; ++i) n *= c->dims[i];
    return n;
}

int compareStrings(std::string_view a, std::string_view b, bool alternate) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        uint8_t x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[i]);
        if (alternate) {
            x = alternateCollation(x);
            y = alternateCollation(y);
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

int allocateStacks(int rpnEntries, int workBytes) {
    std::unique_ptr<RpnEntry[]> rpn(new (std::nothrow) RpnEntry[static_cast<size_t>(rpnEntries)]);
    std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[static_cast<size_t>(workBytes) + 8]);
    if (!rpn || !work) return kErrNoMemory;
    EvalStacks& e = interp.eval;
    e.rpnArea = std::move(rpn);
    e.workArea = std::move(work);
    e.rpn.rpn_stkbase = e.rpn.rpnStackNext = e.rpnArea.get();
    e.rpn.limit = e.rpnArea.get() + rpnEntries;
    auto aligned = reinterpret_cast<uintptr_t>(e.workArea.get());
    aligned = (aligned + 7) & ~uintptr_t{7};
    e.work.base = e.work.next = reinterpret_cast<uint8_t*>(aligned);
    e.work.limit = e.work.base + workBytes;
    fillFreeStackSpace();  // the high-water marks of STATUS STACKS
    return 0;
}

Cell* newStringTemp(int length) {
    Cell* c = tempHeader(2 + static_cast<size_t>(length));
    if (!c) return nullptr;
    c->kind |= DE_STRING;
    const uint16_t n = static_cast<uint16_t>(length);
    memcpy(c->value, &n, 2);
    c->dimlen = n;
    return c;
}

Cell* newReferenceTemp(const Cell* like, uint8_t* data) {
    Cell* c = tempHeader(8);
    if (!c) return nullptr;
    c->kind = static_cast<uint8_t>(DE_LITERAL | DE_STORAGE | (like->kind & DE_STRING));
    c->dimlen = like->dimlen;
    c->storage = data;
    return c;
}

}  // namespace vxs
