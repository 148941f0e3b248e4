// Sorting for the utilities: the in-memory merge sort is stable, and the external sort gives the
// same order as a stable sort however small its memory (many runs, several merge passes), opens
// its work file only when it must, and stops with the error of a failed work-file write or sink.
#include "vxs/utilities/extsort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

// Records of 12 bytes: a 4-byte key that repeats often, then a sequence number the comparison
// does not look at (so stability shows).
constexpr size_t kSize = 12;
int byKey(const uint8_t* a, const uint8_t* b) { return memcmp(a, b, 4); }

std::vector<uint8_t> records(size_t n, uint32_t seed, int distinct) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n * kSize);
    for (size_t i = 0; i < n; ++i) {
        uint8_t* r = v.data() + i * kSize;
        const uint32_t key = rng() % static_cast<uint32_t>(distinct);
        r[0] = static_cast<uint8_t>(key >> 24);
        r[1] = static_cast<uint8_t>(key >> 16);
        r[2] = static_cast<uint8_t>(key >> 8);
        r[3] = static_cast<uint8_t>(key);
        memcpy(r + 4, &i, sizeof(uint32_t));
        memset(r + 8, 0xAB, 4);
    }
    return v;
}

// The stable order, by std::stable_sort.
std::vector<uint8_t> expected(const std::vector<uint8_t>& in) {
    const size_t n = in.size() / kSize;
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return byKey(in.data() + a * kSize, in.data() + b * kSize) < 0;
    });
    std::vector<uint8_t> out;
    for (size_t i : order) out.insert(out.end(), in.begin() + static_cast<long>(i * kSize),
                                      in.begin() + static_cast<long>((i + 1) * kSize));
    return out;
}

TEST(MergeSortRecords, IsStableOnAnyCount) {
    for (size_t n : {0, 1, 2, 3, 7, 64, 1000, 1025}) {
        std::vector<uint8_t> v = records(n, static_cast<uint32_t>(n), 10);
        const std::vector<uint8_t> want = expected(v);
        std::vector<uint8_t> scratch(v.size());
        mergeSortRecords(v.data(), scratch.data(), n, kSize, byKey);
        EXPECT_EQ(v, want) << n;
    }
}

TEST(MergeSortRecords, WithoutACompareOrdersAsUnsignedBytes) {
    // Records of every length the byte comparison and the record copy treat apart (below 8,
    // 8 to 16, 17 to 32, longer), differing in their middle and in their last byte, with bytes
    // above 127.
    for (size_t size : {5, 8, 13, 24, 40}) {
        for (size_t n : {2, 9, 300}) {
            std::mt19937 rng(static_cast<uint32_t>(n * size));
            std::vector<std::vector<uint8_t>> want(n, std::vector<uint8_t>(size, 0xF0));
            for (auto& r : want) {
                r[size / 2] = static_cast<uint8_t>(rng() % 3 + 126);
                r[size - 1] = static_cast<uint8_t>(rng() % 200);
            }
            std::vector<uint8_t> v;
            for (const auto& r : want) v.insert(v.end(), r.begin(), r.end());
            std::sort(want.begin(), want.end());
            std::vector<uint8_t> scratch(v.size());
            mergeSortRecords(v.data(), scratch.data(), n, size, nullptr);
            std::vector<uint8_t> flat;
            for (const auto& r : want) flat.insert(flat.end(), r.begin(), r.end());
            EXPECT_EQ(v, flat) << size << " " << n;
        }
    }
}

// A work file in memory whose n-th write fails (0: none).
class WorkFile final : public KeyIo {
  public:
    explicit WorkFile(int failAt = 0) : failAt_(failAt) {}
    int read(int64_t offset, uint8_t* buf, size_t count, size_t& got) override {
        return mem_.read(offset, buf, count, got);
    }
    int write(int64_t offset, const uint8_t* data, size_t count) override {
        if (++writes_ == failAt_) return kErrDiskFull;
        return mem_.write(offset, data, count);
    }
    int size(int64_t& bytes) override { return mem_.size(bytes); }
    MemoryKeyIo mem_;
    int writes_ = 0, failAt_;
};

struct Outcome {
    int err = 0;
    std::vector<uint8_t> out;
    int opened = 0;
    bool spilled = false;
    int passes = 0;
    size_t workBytes = 0;
};

Outcome sortAll(const std::vector<uint8_t>& in, size_t memory, int failAt = 0, size_t stopAfter = 0) {
    Outcome o;
    WorkFile* work = nullptr;
    ExternalSort sort(kSize, memory, byKey, [&](std::unique_ptr<KeyIo>& io) {
        ++o.opened;
        io = std::make_unique<WorkFile>(failAt);
        work = static_cast<WorkFile*>(io.get());
        return 0;
    });
    if ((o.err = sort.start())) return o;
    for (size_t i = 0; i < in.size() / kSize; ++i)
        if ((o.err = sort.add(in.data() + i * kSize))) return o;
    o.err = sort.finish([&](const uint8_t* r) {
        if (stopAfter && o.out.size() / kSize == stopAfter) return static_cast<int>(kErrUtilityInterrupted);
        o.out.insert(o.out.end(), r, r + kSize);
        return 0;
    });
    o.spilled = sort.spilled();
    o.passes = sort.passes();
    if (work) o.workBytes = work->mem_.bytes().size();
    return o;
}

TEST(ExternalSort, AgreesWithAStableSortFromManyRunsThroughSeveralPasses) {
    const std::vector<uint8_t> in = records(5000, 7, 50);
    // 20 records collected at a time: 250 runs, merged two at a time.
    const Outcome small = sortAll(in, 2 * 20 * kSize);
    ASSERT_EQ(small.err, 0);
    EXPECT_TRUE(small.spilled);
    EXPECT_GE(small.passes, 5);
    EXPECT_EQ(small.out, expected(in));
    // Two areas of the work file at most: the runs as spilled and one pass's runs after them.
    EXPECT_LE(small.workBytes, 2 * (in.size() + 251 * 4 + 4));
    // With more memory, fewer passes, the same order.
    const Outcome larger = sortAll(in, 2 * 1000 * kSize);
    ASSERT_EQ(larger.err, 0);
    EXPECT_LT(larger.passes, small.passes);
    EXPECT_EQ(larger.out, small.out);
}

TEST(ExternalSort, WhatFitsInMemoryNeverOpensTheWorkFile) {
    const std::vector<uint8_t> in = records(500, 3, 20);
    const Outcome o = sortAll(in, 2 * 500 * kSize);
    ASSERT_EQ(o.err, 0);
    EXPECT_EQ(o.opened, 0);
    EXPECT_EQ(o.out, expected(in));
    const Outcome none = sortAll({}, 2 * 20 * kSize);
    EXPECT_EQ(none.err, 0);
    EXPECT_TRUE(none.out.empty());
    EXPECT_EQ(none.opened, 0);
    // Exactly one run's worth spills nothing either; one more spills.
    EXPECT_EQ(sortAll(records(20, 1, 5), 2 * 20 * kSize).opened, 0);
    const Outcome one = sortAll(records(21, 1, 5), 2 * 20 * kSize);
    EXPECT_EQ(one.opened, 1);
    EXPECT_EQ(one.out, expected(records(21, 1, 5)));
}

TEST(ExternalSort, FailuresStopTheSortWithTheirError) {
    EXPECT_EQ(sortAll(records(10, 1, 5), 2 * 19 * kSize).err, kErrSortMemory);
    const std::vector<uint8_t> in = records(3000, 11, 30);
    for (int failAt : {1, 2, 40, 200}) {
        const Outcome o = sortAll(in, 2 * 20 * kSize, failAt);
        EXPECT_EQ(o.err, kErrDiskFull) << failAt;
    }
    const Outcome stopped = sortAll(in, 2 * 20 * kSize, 0, 100);
    EXPECT_EQ(stopped.err, kErrUtilityInterrupted);
    EXPECT_EQ(stopped.out.size(), 100 * kSize);
}

}  // namespace
}  // namespace vxs
