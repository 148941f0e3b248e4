// The in-memory merge sort and the external merge of sorted runs through a work file.
#include "vxs/utilities/extsort.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

namespace {

constexpr size_t kLeastRecords = 20;
constexpr size_t kRunBuffer = 65536;  // bytes each run of a merge reads at a time (at most)
constexpr size_t kMostFanIn = 64;

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Eight bytes at `p` as a number that orders as the bytes do.
inline uint64_t bytesAt(const uint8_t* p) {
    uint64_t x;
    memcpy(&x, p, 8);
    return __builtin_bswap64(x);
}

// Records compared as unsigned bytes, eight at a time while they agree; the last (partial)
// eight are taken as the eight bytes that end the record, which overlap bytes found equal.
inline int compareBytes(const uint8_t* a, const uint8_t* b, size_t n) {
    if (n < 8) {
        for (; n > 0; ++a, ++b, --n)
            if (*a != *b) return *a < *b ? -1 : 1;
        return 0;
    }
    for (size_t at = 0;; at += 8) {
        if (at + 8 > n) at = n - 8;
        const uint64_t x = bytesAt(a + at), y = bytesAt(b + at);
        if (x != y) return x < y ? -1 : 1;
        if (at + 8 == n) return 0;
    }
}

// A record copied; records of 8 to 32 bytes (sort records of short keys) without a call.
inline void copyRecord(uint8_t* to, const uint8_t* from, size_t size) {
    if (size >= 8 && size <= 16) {
        uint64_t x, y;
        memcpy(&x, from, 8);
        memcpy(&y, from + size - 8, 8);
        memcpy(to, &x, 8);
        memcpy(to + size - 8, &y, 8);
    } else if (size > 16 && size <= 32) {
        uint8_t x[16], y[16];
        memcpy(x, from, 16);
        memcpy(y, from + size - 16, 16);
        memcpy(to, x, 16);
        memcpy(to + size - 16, y, 16);
    } else {
        memcpy(to, from, size);
    }
}

constexpr size_t kInsertionRun = 8;  // records sorted by insertion before the merges

template <class Compare>
void mergeSort(uint8_t* data, uint8_t* scratch, size_t count, size_t size, const Compare& compare) {
    // Short runs sorted by insertion (which keeps equal records in order), through one record
    // of the scratch buffer.
    if (count > 1) {
        uint8_t* held = scratch;
        for (size_t left = 0; left < count; left += kInsertionRun) {
            const size_t end = std::min(left + kInsertionRun, count);
            for (size_t i = left + 1; i < end; ++i) {
                if (compare(data + i * size, data + (i - 1) * size) >= 0) continue;
                memcpy(held, data + i * size, size);
                size_t j = i;
                do {
                    --j;
                } while (j > left && compare(held, data + (j - 1) * size) < 0);
                memmove(data + (j + 1) * size, data + j * size, (i - j) * size);
                memcpy(data + j * size, held, size);
            }
        }
    }
    // Then runs of width 8, 16, 32, ... merged pairwise from one buffer into the other.
    uint8_t* from = data;
    uint8_t* to = scratch;
    for (size_t width = kInsertionRun; width < count; width *= 2) {
        for (size_t left = 0; left < count; left += 2 * width) {
            const size_t mid = std::min(left + width, count), end = std::min(left + 2 * width, count);
            size_t i = left, j = mid, k = left;
            while (i < mid && j < end) {
                // Ties take the left run's record: the sort is stable.
                if (compare(from + j * size, from + i * size) < 0) {
                    copyRecord(to + k++ * size, from + j++ * size, size);
                } else {
                    copyRecord(to + k++ * size, from + i++ * size, size);
                }
            }
            if (i < mid) memcpy(to + k * size, from + i * size, (mid - i) * size);
            else if (j < end) memcpy(to + k * size, from + j * size, (end - j) * size);
        }
        std::swap(from, to);
    }
    if (from != data) memcpy(data, from, count * size);
}

}  // namespace

void mergeSortRecords(uint8_t* data, uint8_t* scratch, size_t count, size_t size,
                      const RecordCompare& compare) {
    if (compare)
        mergeSort(data, scratch, count, size, compare);
    else
        mergeSort(data, scratch, count, size,
                  [size](const uint8_t* a, const uint8_t* b) { return compareBytes(a, b, size); });
}

int ExternalSort::compare(const uint8_t* a, const uint8_t* b) const {
    return compare_ ? compare_(a, b) : compareBytes(a, b, size_);
}

ExternalSort::ExternalSort(size_t recordSize, size_t memoryBytes, RecordCompare compare,
                           WorkOpener openWork)
    : size_(recordSize), memory_(memoryBytes), compare_(std::move(compare)),
      openWork_(std::move(openWork)) {}

ExternalSort::~ExternalSort() = default;

int ExternalSort::start() {
    if (size_ == 0) return kErrInvalidData;
    capacity_ = memory_ / 2 / size_;
    if (capacity_ < kLeastRecords) return kErrSortMemory;
    try {
        collect_.resize(capacity_ * size_);
        scratch_.resize(capacity_ * size_);
    } catch (const std::bad_alloc&) {
        collect_.clear();
        scratch_.clear();
        return kErrNoMemory;
    }
    return 0;
}

int ExternalSort::add(const uint8_t* record) {
    if (filled_ == capacity_)
        if (int err = spill()) return err;
    copyRecord(collect_.data() + filled_ * size_, record, size_);
    ++filled_;
    ++added_;
    return 0;
}

int ExternalSort::spill() {
    mergeSortRecords(collect_.data(), scratch_.data(), filled_, size_, compare_);
    if (!work_)
        if (int err = openWork_(work_)) return err;
    const int err = writeRun(collect_.data(), static_cast<uint32_t>(filled_));
    filled_ = 0;
    return err;
}

int ExternalSort::writeRun(const uint8_t* records, uint32_t count) {
    uint8_t head[4];
    put32(head, count);
    if (int err = work_->write(workEnd_, head, 4)) return err;
    if (count)
        if (int err = work_->write(workEnd_ + 4, records, size_t{count} * size_)) return err;
    workEnd_ += 4 + int64_t{count} * static_cast<int64_t>(size_);
    return 0;
}

// The runs of an area, from its start to its 0 count.
int ExternalSort::readRuns(int64_t from, std::vector<Run>& runs, int64_t& end) {
    runs.clear();
    for (int64_t at = from;;) {
        uint8_t head[4];
        size_t got = 0;
        if (int err = work_->read(at, head, 4, got)) return err;
        if (got != 4) return kErrPartialRecord;  // the work file ends short: it was damaged
        const uint32_t count = get32(head);
        if (count == 0) {
            end = at + 4;
            return 0;
        }
        runs.push_back(Run{at + 4, count});
        at += 4 + int64_t{count} * static_cast<int64_t>(size_);
    }
}

// Merges a group of runs: to the sink, or as one run written at `out` (advanced past it).
int ExternalSort::mergeGroup(const std::vector<Run>& group, const Sink* sink, int64_t& out) {
    const size_t k = group.size();
    // The merge half: a share for each run.
    const size_t share = std::max(size_, (scratch_.size() / k) / size_ * size_);
    struct Head {
        const uint8_t* at = nullptr;  // its next record in the buffer
        size_t buffered = 0;          // records left in the buffer
        uint32_t unread = 0;          // records of the run not yet read
        int64_t next = 0;             // where they are
        uint8_t* buffer = nullptr;
    };
    std::vector<Head> heads(k);
    auto refill = [&](Head& h) -> int {
        const size_t want = std::min<size_t>(h.unread, share / size_);
        size_t got = 0;
        if (int err = work_->read(h.next, h.buffer, want * size_, got)) return err;
        if (got != want * size_) return kErrPartialRecord;
        h.at = h.buffer;
        h.buffered = want;
        h.unread -= static_cast<uint32_t>(want);
        h.next += static_cast<int64_t>(want * size_);
        return 0;
    };
    uint64_t total = 0;
    for (size_t i = 0; i < k; ++i) {
        heads[i].buffer = scratch_.data() + i * share;
        heads[i].unread = group[i].count;
        heads[i].next = group[i].at;
        total += group[i].count;
        if (int err = refill(heads[i])) return err;
    }
    // Written runs go through the collecting half as an output buffer.
    const size_t outRecords = collect_.size() / size_;
    size_t outFill = 0;
    int64_t outAt = out + 4;
    auto flushOut = [&]() -> int {
        if (outFill == 0) return 0;
        if (int err = work_->write(outAt, collect_.data(), outFill * size_)) return err;
        outAt += static_cast<int64_t>(outFill * size_);
        outFill = 0;
        return 0;
    };
    if (!sink) {
        if (total > UINT32_MAX) return kErrInvalidData;
        uint8_t head[4];
        put32(head, static_cast<uint32_t>(total));
        if (int err = work_->write(out, head, 4)) return err;
    }
    // A tournament over the heads: `loser` keeps at each inner node the run that lost there, so
    // after a run's head moves on only the games on its way to the root are played again.
    // Leaves past k are runs that have ended; ties go to the earlier run, which holds the
    // earlier records.
    size_t leaves = 1;
    while (leaves < k) leaves <<= 1;
    auto before = [&](size_t a, size_t b) {
        if (a >= k || heads[a].buffered == 0) return false;
        if (b >= k || heads[b].buffered == 0) return true;
        const int c = compare(heads[a].at, heads[b].at);
        return c < 0 || (c == 0 && a < b);
    };
    std::vector<size_t> loser(leaves), winner(2 * leaves);
    for (size_t i = 0; i < leaves; ++i) winner[leaves + i] = i;
    for (size_t n = leaves - 1; n >= 1; --n) {
        const size_t a = winner[2 * n], b = winner[2 * n + 1];
        const bool bFirst = before(b, a);
        winner[n] = bFirst ? b : a;
        loser[n] = bFirst ? a : b;
    }
    size_t best = leaves > 1 ? winner[1] : 0;
    for (;;) {
        if (best >= k || heads[best].buffered == 0) break;
        Head& h = heads[best];
        if (sink) {
            if (int err = (*sink)(h.at)) return err;
        } else {
            copyRecord(collect_.data() + outFill * size_, h.at, size_);
            if (++outFill == outRecords)
                if (int err = flushOut()) return err;
        }
        h.at += size_;
        if (--h.buffered == 0 && h.unread > 0)
            if (int err = refill(h)) return err;
        size_t s = best;
        for (size_t n = (leaves + best) / 2; n >= 1; n /= 2)
            if (before(loser[n], s)) std::swap(loser[n], s);
        best = s;
    }
    if (!sink) {
        if (int err = flushOut()) return err;
        out = outAt;
    }
    return 0;
}

int ExternalSort::finish(const Sink& sink) {
    if (!work_) {
        // Everything fitted: sorted in memory and handed over directly.
        mergeSortRecords(collect_.data(), scratch_.data(), filled_, size_, compare_);
        for (size_t i = 0; i < filled_; ++i)
            if (int err = sink(collect_.data() + i * size_)) return err;
        filled_ = 0;
        return 0;
    }
    if (filled_ > 0)
        if (int err = spill()) return err;
    if (int err = writeRun(nullptr, 0)) return err;  // the end of the runs
    const int64_t second = workEnd_;  // the other area starts after the spilled runs
    const size_t fanIn = std::clamp<size_t>(scratch_.size() / std::max(size_, std::min(kRunBuffer, scratch_.size() / 2)),
                                            2, kMostFanIn);
    int64_t from = 0;
    std::vector<Run> runs;
    for (;;) {
        int64_t end = 0;
        if (int err = readRuns(from, runs, end)) return err;
        if (runs.size() <= fanIn) return runs.empty() ? 0 : mergeGroup(runs, &sink, end);
        // One pass: groups of runs merged into runs of the other area.
        int64_t out = from == 0 ? second : 0;
        const int64_t to = out;
        for (size_t i = 0; i < runs.size(); i += fanIn) {
            const std::vector<Run> group(runs.begin() + static_cast<ptrdiff_t>(i),
                                         runs.begin() + static_cast<ptrdiff_t>(std::min(runs.size(), i + fanIn)));
            if (int err = mergeGroup(group, nullptr, out)) return err;
        }
        uint8_t zero[4] = {};
        if (int err = work_->write(out, zero, 4)) return err;
        from = to;
        ++passes_;
    }
}

}  // namespace vxs
