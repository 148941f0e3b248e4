// Keyword tables with unique abbreviations, and their lookup.  One component serves the
// statement keywords, the clause keywords, the built-in function names, and (later) the command
// table and the configuration keywords.
//
// A table is an alphabetical list of upper-case names preceded by one dummy entry whose first
// character sets the lookup mode, with a first-letter index of 28 bytes (for each letter A..Z the
// position of its first keyword, 0 when none, then two zero bytes).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace vxs {

// Lookup modes, as the first character of the dummy entry's name.
inline constexpr char kModeAbbrevLength = '\2';  // abbreviations allowed, matched length reported
inline constexpr char kModeAbbrev = '\0';        // abbreviations allowed
inline constexpr char kModeWhole = '*';          // any other character: whole names only

class KeywordTable {
  public:
    // `names[0]` is the dummy entry; `codes[i]` is the code of `names[i]`.
    KeywordTable(std::span<const char* const> names, std::span<const uint8_t> codes);

    // The table position of `word` (1..size), or 0 when it is not found or ambiguous.  The word
    // ends at its end, a zero byte or a blank.  `matched` receives the length that matched.
    int lookup(std::string_view word, int* matched = nullptr) const;

    int size() const { return static_cast<int>(names_.size()) - 1; }
    const char* name(int position) const { return names_[static_cast<size_t>(position)]; }
    uint8_t code(int position) const { return codes_[static_cast<size_t>(position)]; }
    // The position whose code is `code` (first one), 0 when none.
    int positionOfCode(uint8_t code) const;
    const std::array<uint8_t, 28>& firstLetterIndex() const { return index_; }

  private:
    std::span<const char* const> names_;
    std::span<const uint8_t> codes_;
    std::array<uint8_t, 28> index_{};
    char mode_;
};

// ---- the system's tables ----

// The 53 statement keywords with their statement codes (abbreviations, matched length).
const KeywordTable& statementKeywords();
// Per statement keyword, how the lister writes it: bit 0, a blank follows the keyword.
uint8_t statementListerFlags(int position);

// The 67 clause keywords with their element codes (abbreviations).  The "=" and ">=" endings of
// KEY=, POS=, REC=, SEARCH=, SEARCH>=, KEY>= and WAIT= are part of the names.
const KeywordTable& clauseKeywords();
// The name of a clause keyword by element code; null when the code has none.
const char* clauseKeywordName(uint8_t code);

// The built-in function names, whole names only: string functions (names ending in $) and
// numeric functions, with their function codes.
const KeywordTable& stringFunctions();
const KeywordTable& numericFunctions();

}  // namespace vxs
