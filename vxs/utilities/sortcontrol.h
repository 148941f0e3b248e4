// The sort control file of the SORT utility: its lines (FILE, ALTS, RECORD, MASK, SUM and
// comments) parsed into a SortControl, and the key fields and selection rules turned into an
// order-preserving byte form that sorts with memcmp.  No file is touched here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

inline constexpr int kMaxSortKeys = 20;
inline constexpr int kMaxSortRules = 20;
inline constexpr size_t kMaxSortConstant = 40;
inline constexpr size_t kMaxSortComments = 20;
inline constexpr size_t kSortCommentWidth = 43;

// One field of the input record with its FORM type.
struct SortField {
    int start = 0;   // 1-based
    int length = 0;  // bytes in the record
    uint8_t code = 0;  // FORM item code (character or numeric)
    int decimals = 0;
    bool descending = false;  // MASK: D
    bool date = false;        // Y: a date of two-digit years, ordered by century
    // The bytes the field takes in the sort key: character fields their length, binary
    // integers and binary dates 4, every other numeric type 8.
    int keyLength() const;
    bool character() const;
};

// A bound of a RECORD rule: a constant, or the position of another field of the record (of the
// same length and type).
struct SortBound {
    bool isField = false;
    int position = 0;
    std::string constant;  // as written
};

struct SortRule {
    bool omit = false;  // O; otherwise I
    SortField field;
    SortBound low, high;
    // Filled by prepareSortControl: constant bounds in key form.
    std::vector<uint8_t> lowKey, highKey;
};

enum class SortOutput : uint8_t { kRecords, kNumbers3, kNumbers4, kKeyFile };

struct SortControl {
    // FILE
    bool haveFile = false;
    std::string input, output, workDir;
    SortOutput kind = SortOutput::kRecords;
    char collation = 0;  // 'A' alternate, 'N' native, 0 not given
    int share = 0;       // kShareNone, kShareInput or kShareAll (SHR, SHRU)
    bool lockFree = false;  // SHR and SHRU read without locking
    bool replace = false;
    // ALTS: the collating table built from the identity.
    bool haveAlts = false;
    std::array<uint8_t, 256> alts{};
    // RECORD and MASK
    std::vector<SortRule> rules;
    std::vector<SortField> keys;
    bool haveMask = false;
    // SUM: the five lines of the summary (the defaults unless replaced).
    bool sum = false;
    std::array<std::string, 5> sumLines{"Sort successfully completed", "Records read",
                                        "Records selected", "Records output",
                                        "Press any key to continue"};
    // Comments in order, each cut to 43 characters (at most 20 kept).
    std::vector<std::string> comments;
    // The collation in force (set by prepareSortControl): character bytes go through `table`.
    std::array<uint8_t, 256> table{};

    SortControl();
    int keyLength() const;  // the sort key's bytes (without the record number)
};

// One control line.  `done` becomes true after the MASK line, which ends the reading.  Returns 0
// or 7801 (unknown or malformed line), 7804 (FILE), 7805 (RECORD), 7807 (MASK), 7821 (an ALTS
// code above 255), 7825 (a 21st RECORD line), 7828 (RECORD or MASK before FILE).
[[nodiscard]] int parseSortLine(std::string_view line, SortControl& c, bool& done);
// All lines until MASK; 7823 when they end without one.
[[nodiscard]] int parseSortControl(const std::vector<std::string>& lines, SortControl& c);

// Checks the fields against the input record length (7829) and makes the key form of the
// constant bounds (726 when a constant does not convert with its field's type).  `alternate`:
// the system's collating setting is the alternate one.
[[nodiscard]] int prepareSortControl(SortControl& c, int recordLength, bool alternate);

// The sort key of a record (c.keyLength() bytes into `out`).
void buildSortKey(const SortControl& c, const uint8_t* record, size_t length, uint8_t* out);
// Whether the RECORD rules keep the record: inside the range of any O rule omits it; otherwise
// it is kept when there is no I rule or it lies inside the range of at least one.
bool sortSelects(const SortControl& c, const uint8_t* record, size_t length);

// The key form of one field (f.keyLength() bytes; ascending order whatever f.descending says).
void sortFieldKey(const SortField& f, const std::array<uint8_t, 256>& table, const uint8_t* record,
                  size_t length, uint8_t* out);

}  // namespace vxs
