// Sorting of fixed-size records for the INDEX and SORT utilities: a stable bottom-up merge sort
// in memory, and an external merge that spills sorted runs to a work file when the records do
// not fit the sort memory and merges them back, in passes, to a sink that takes them in order.
//
// Work file: a sequence of runs, each a 32-bit record count (little-endian) followed by that
// many records; a count of 0 ends the sequence.  The file is used as two areas, the runs as
// spilled and the runs of the following pass after them, which alternate as source and
// destination (a pass never writes more than it reads).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "vxs/indexes/keyindex.h"

namespace vxs {

// Negative, zero or positive as record a sorts before, with or after record b.  An empty
// compare orders records as unsigned bytes (memcmp order), by a faster path.
using RecordCompare = std::function<int(const uint8_t* a, const uint8_t* b)>;

// Sorts `count` records of `size` bytes in `data` into place, stably (equal records keep their
// order), with `scratch` as large as `data` for the merges.
void mergeSortRecords(uint8_t* data, uint8_t* scratch, size_t count, size_t size,
                      const RecordCompare& compare);

class ExternalSort {
  public:
    // The work file is opened through `openWork` only when a run must be spilled.
    using WorkOpener = std::function<int(std::unique_ptr<KeyIo>& io)>;
    // Takes each record in order; a non-zero result stops the sort with it.
    using Sink = std::function<int(const uint8_t* record)>;

    // `memoryBytes`: half collects records, half buffers the runs of a merge.  7607 from
    // start() when fewer than 20 records fit the half.
    ExternalSort(size_t recordSize, size_t memoryBytes, RecordCompare compare, WorkOpener openWork);
    ~ExternalSort();
    ExternalSort(const ExternalSort&) = delete;
    ExternalSort& operator=(const ExternalSort&) = delete;

    [[nodiscard]] int start();
    // One record; a full collecting half is sorted and spilled as a run.
    [[nodiscard]] int add(const uint8_t* record);
    // The records, all of them, in order to `sink`.
    [[nodiscard]] int finish(const Sink& sink);

    bool spilled() const { return work_ != nullptr; }
    int passes() const { return passes_; }  // merge passes over the work file
    uint64_t records() const { return added_; }

  private:
    struct Run {
        int64_t at = 0;  // its first record
        uint32_t count = 0;
    };
    int spill();
    int writeRun(const uint8_t* records, uint32_t count);
    int readRuns(int64_t from, std::vector<Run>& runs, int64_t& end);
    int mergeGroup(const std::vector<Run>& group, const Sink* sink, int64_t& out);
    int compare(const uint8_t* a, const uint8_t* b) const;

    size_t size_;
    size_t memory_;
    RecordCompare compare_;
    WorkOpener openWork_;
    std::unique_ptr<KeyIo> work_;
    std::vector<uint8_t> collect_, scratch_;
    size_t capacity_ = 0, filled_ = 0;
    int64_t workEnd_ = 0;  // where the next run is written
    int passes_ = 0;
    uint64_t added_ = 0;
};

}  // namespace vxs
