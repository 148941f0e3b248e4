// ISAM key files: the sample, the search of the sorted part, the scan of the unsorted tail and
// the merge of the two for reading in key order.
#include "vxs/indexes/isam.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

uint32_t getRecord(const uint8_t* p, bool swapped) {
    return swapped ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                   : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}
void putRecord(uint8_t* p, uint32_t v, bool swapped) {
    for (int i = 0; i < 4; ++i) p[swapped ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
bool deletedStatus(uint8_t status) { return (status & 0x44) != 0; }

}  // namespace

int IsamIndex::open(KeyIo& io, int keyLength, int headerLength, uint32_t sorted, bool swapped,
                    std::unique_ptr<IsamIndex>& out) {
    if (keyLength < 1 || keyLength > kMaxKeyLength || headerLength < 15) return kErrRecordLength;
    std::unique_ptr<IsamIndex> x(new (std::nothrow) IsamIndex(io, keyLength, headerLength, sorted, swapped));
    if (!x) return kErrNoMemory;
    if (int err = x->refresh()) return err;
    if (sorted > x->records_) return kErrKeyFileDamaged;
    // The sample: slots max(1, i * sorted / 15) for i = 0..15.
    x->sampleKeys_.resize(16 * static_cast<size_t>(keyLength));
    for (uint32_t i = 0; i < 16 && sorted > 0; ++i) {
        const uint32_t n = std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t{i} * sorted / 15));
        Slot s;
        if (int err = x->readSlot(n, s)) return err;
        x->sampleAt_[i] = n;
        memcpy(x->sampleKeys_.data() + i * static_cast<size_t>(keyLength), s.key, static_cast<size_t>(keyLength));
        x->sampleRecords_[i] = s.record;
    }
    out = std::move(x);
    return 0;
}

int IsamIndex::refresh() {
    int64_t size = 0;
    if (int err = io_.size(size)) return err;
    const int64_t body = size > headerLength_ ? size - headerLength_ : 0;
    records_ = static_cast<uint32_t>(std::min<int64_t>(body / slotLength(), UINT32_MAX));
    tailKnown_ = false;
    return 0;
}

int IsamIndex::readSlot(uint32_t n, Slot& s) {
    const size_t len = static_cast<size_t>(slotLength());
    slot_.resize(len);
    size_t got = 0;
    if (int err = io_.read(headerLength_ + int64_t{n - 1} * slotLength(), slot_.data(), len, got))
        return err;
    if (got != len) return kErrKeyFileDamaged;
    s.live = !deletedStatus(slot_[0]);
    s.key = slot_.data() + 1;
    s.record = getRecord(slot_.data() + 1 + keyLength_, swapped_);
    return 0;
}

int IsamIndex::readTail() {
    if (tailKnown_ && !shared_) return 0;
    if (shared_)
        if (int err = refresh()) return err;
    const size_t count = records_ > sorted_ ? records_ - sorted_ : 0;
    tail_.resize(count * static_cast<size_t>(slotLength()));
    size_t got = 0;
    if (count)
        if (int err = io_.read(headerLength_ + int64_t{sorted_} * slotLength(), tail_.data(),
                               tail_.size(), got))
            return err;
    if (got != tail_.size()) return kErrKeyFileDamaged;
    tailKnown_ = true;
    return 0;
}

int IsamIndex::sortedBound(const uint8_t* key, int len, uint32_t record, bool after, uint32_t& n) {
    // Narrowed by the sample, then a binary search over slots [lo, hi).
    uint32_t lo = 1, hi = sorted_ + 1;
    for (int i = 0; i < 16 && sorted_ > 0; ++i) {
        const int c = compareEntry(sampleKeys_.data() + i * static_cast<size_t>(keyLength_),
                                   sampleRecords_[static_cast<size_t>(i)], key, len, record);
        if (c < 0 || (after && c == 0)) lo = std::max(lo, sampleAt_[static_cast<size_t>(i)] + 1);
        else hi = std::min(hi, sampleAt_[static_cast<size_t>(i)] + 1);
    }
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        Slot s;
        if (int err = readSlot(mid, s)) return err;
        const int c = compareEntry(s.key, s.record, key, len, record);
        if (c < 0 || (after && c == 0)) lo = mid + 1;
        else hi = mid;
    }
    n = lo;
    return 0;
}

int IsamIndex::best(const uint8_t* key, int len, uint32_t record, bool forward, bool strict,
                    KeyEntry& out, uint32_t& slot) {
    const int k = keyLength_;
    bool found = false;
    // The sorted part: the nearest live entry in the direction.
    if (sorted_ > 0) {
        uint32_t n = forward ? 1 : sorted_;
        if (key) {
            if (int err = sortedBound(key, len, record, forward ? strict : !strict, n)) return err;
            if (!forward) --n;
        }
        while (n >= 1 && n <= sorted_) {
            Slot s;
            if (int err = readSlot(n, s)) return err;
            if (key) {
                // The search of a sorted part in order never lands short of the target; out of
                // order, reading on from here could return the same entries again and again.
                const int c = compareEntry(s.key, s.record, key, len, record);
                if (forward ? (c < 0 || (strict && c == 0)) : (c > 0 || (strict && c == 0)))
                    return kErrKeyFileDamaged;
            }
            if (s.live) {
                current_.assign(s.key, s.key + k);
                out.record = s.record;
                slot = n;
                found = true;
                break;
            }
            n = forward ? n + 1 : n - 1;
        }
    }
    // The unsorted tail: the nearest live entry beyond the target.
    if (int err = readTail()) return err;
    const size_t len1 = static_cast<size_t>(slotLength());
    for (size_t i = 0; i * len1 < tail_.size(); ++i) {
        const uint8_t* p = tail_.data() + i * len1;
        if (deletedStatus(p[0])) continue;
        const uint32_t r = getRecord(p + 1 + k, swapped_);
        if (key) {
            const int c = compareEntry(p + 1, r, key, len, record);
            if (forward ? (c < 0 || (strict && c == 0)) : (c > 0 || (strict && c == 0))) continue;
        }
        if (found) {
            const int c = compareEntry(p + 1, r, current_.data(), k, out.record);
            if (forward ? c >= 0 : c <= 0) continue;
        }
        current_.assign(p + 1, p + 1 + k);
        out.record = r;
        slot = sorted_ + 1 + static_cast<uint32_t>(i);
        found = true;
    }
    if (!found) return kErrEndOfRecords;
    out.key = current_.data();
    return 0;
}

// The cursor on the entry returned: its key and record number, and the slot it is in.
void IsamIndex::remember(KeyCursor& c, const KeyEntry& e, uint32_t slot) const {
    c.key.assign(e.key, e.key + keyLength_);
    c.record = e.record;
    c.valid = true;
    c.end = 0;
    c.path.depth = 0;
    c.path.brec[0] = slot;
}

int IsamIndex::find(KeyCursor& c, KeyFind how, const uint8_t* key, int len, uint32_t record,
                    KeyEntry& out) {
    if (len > keyLength_ || how == KeyFind::kExact) len = keyLength_;
    uint32_t slot = 0;
    int err = best(key, len, how == KeyFind::kExact ? record : 0, true, false, out, slot);
    if (err == kErrEndOfRecords) return kErrKeyNotFound;
    if (err) return err;
    if (!entryAnswers(how, out, key, len, keyLength_, record)) return kErrKeyNotFound;
    remember(c, out, slot);
    return 0;
}

int IsamIndex::step(KeyCursor& c, bool forward, KeyEntry& out) {
    if (c.end == (forward ? 1 : -1)) return kErrEndOfRecords;
    const bool from = c.valid && !c.end;
    uint32_t slot = 0;
    const int err = best(from ? c.key.data() : nullptr, keyLength_, c.record, forward, true, out, slot);
    if (err == kErrEndOfRecords) {
        if (c.valid) c.end = forward ? 1 : -1;
        return err;
    }
    if (err) return err;
    remember(c, out, slot);
    return 0;
}

int IsamIndex::insert(const uint8_t* key, uint32_t record) {
    KeyCursor c;
    KeyEntry e;
    const int err = find(c, KeyFind::kExact, key, keyLength_, record, e);
    if (err == 0) return 0;
    if (err != kErrKeyNotFound) return err;
    if (shared_)
        if (int e2 = refresh()) return e2;
    std::vector<uint8_t> slot(static_cast<size_t>(slotLength()));
    slot[0] = ' ';
    memcpy(slot.data() + 1, key, static_cast<size_t>(keyLength_));
    putRecord(slot.data() + 1 + keyLength_, record, swapped_);
    const int64_t at = headerLength_ + int64_t{records_} * slotLength();
    if (int e2 = io_.write(at, slot.data(), slot.size())) {
        (void)io_.truncate(at);  // no part of a slot stays at the end of the file
        return e2;
    }
    ++records_;
    if (tailKnown_ && !shared_) tail_.insert(tail_.end(), slot.begin(), slot.end());
    else tailKnown_ = false;
    if (verifyAfterChange_) return verify();
    return 0;
}

int IsamIndex::remove(const uint8_t* key, uint32_t record) {
    KeyCursor c;
    KeyEntry e;
    if (int err = find(c, KeyFind::kExact, key, keyLength_, record, e)) return err;
    const uint32_t n = c.path.brec[0];
    const uint8_t deleted = 'D';
    if (int err = io_.write(headerLength_ + int64_t{n - 1} * slotLength(), &deleted, 1)) return err;
    if (tailKnown_ && n > sorted_) tail_[(n - sorted_ - 1) * static_cast<size_t>(slotLength())] = deleted;
    if (verifyAfterChange_) return verify();
    return 0;
}

int IsamIndex::countEntries(uint32_t& n) {
    n = 0;
    for (uint32_t i = 1; i <= sorted_; ++i) {
        Slot s;
        if (int err = readSlot(i, s)) return err;
        if (s.live) ++n;
    }
    if (int err = readTail()) return err;
    const size_t len = static_cast<size_t>(slotLength());
    for (size_t at = 0; at < tail_.size(); at += len)
        if (!deletedStatus(tail_[at])) ++n;
    return 0;
}

int IsamIndex::verify() {
    if (int err = refresh()) return err;
    int64_t size = 0;
    if (int err = io_.size(size)) return err;
    if (size < headerLength_ || (size - headerLength_) % slotLength() || sorted_ > records_)
        return kErrKeyFileDamaged;
    std::vector<uint8_t> previous;
    uint32_t previousRecord = 0;
    for (uint32_t n = 1; n <= sorted_; ++n) {
        Slot s;
        if (int err = readSlot(n, s)) return err;
        if (n > 1 && compareEntry(previous.data(), previousRecord, s.key, keyLength_, s.record) > 0)
            return kErrKeyFileDamaged;
        previous.assign(s.key, s.key + keyLength_);
        previousRecord = s.record;
    }
    return 0;
}

// ---- loading ----
namespace {
constexpr size_t kLoadBuffer = 65536;
}

IsamLoader::IsamLoader(KeyIo& io, int keyLength, int headerLength, bool swapped)
    : io_(io), keyLength_(keyLength), headerLength_(headerLength), swapped_(swapped) {}

int IsamLoader::add(const uint8_t* key, uint32_t record, bool& duplicate) {
    const size_t slot = static_cast<size_t>(keyLength_) + 5;
    duplicate = !previous_.empty() && memcmp(previous_.data(), key, static_cast<size_t>(keyLength_)) == 0;
    if (buffer_.size() < kLoadBuffer / slot * slot) buffer_.resize(std::max(slot, kLoadBuffer / slot * slot));
    if ((buffered_ + 1) * slot > buffer_.size())
        if (int err = flush()) return err;
    uint8_t* p = buffer_.data() + buffered_ * slot;
    p[0] = duplicate ? '!' : '#';
    memcpy(p + 1, key, static_cast<size_t>(keyLength_));
    putRecord(p + 1 + keyLength_, record, swapped_);
    ++buffered_;
    previous_.assign(key, key + keyLength_);
    return 0;
}

int IsamLoader::flush() {
    if (buffered_ == 0) return 0;
    const int64_t slot = keyLength_ + 5;
    if (int err = io_.write(headerLength_ + int64_t{written_} * slot, buffer_.data(),
                            static_cast<size_t>(buffered_ * slot)))
        return err;
    written_ += buffered_;
    buffered_ = 0;
    return 0;
}

int IsamLoader::finish(uint32_t& records) {
    const int err = flush();
    records = written_;
    return err;
}

}  // namespace vxs
