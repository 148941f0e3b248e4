// One open document as the program LOAD would make of it: the document's lines, what the line
// compiler says of each (kept in a cache keyed by the line's text, so that only changed lines
// are compiled again), a program control block holding the lines LOAD would keep, and the
// diagnostics: each line's compile error and the checks that need the whole program.
//
// Invariants, after refresh():
// - every line has its facts; a compiled line of number n is in the program exactly when it is
//   the last line of that number in the document (a later number-only line deletes it, as LOAD
//   does), and the program holds that line's text;
// - the program is resolved (vxexe.h), and the line maps name the same lines as the program.
// Between a change and the next refresh() only lines(), replace() and setText() may be used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vxs/compiler/pcb.h"

namespace vxs::lsp {

// A line number as LIST shows it: five digits.
std::string fiveDigits(uint32_t number);

enum class LineKind : uint8_t {
    kBlank,       // nothing but blanks: LOAD passes over it
    kNoNumber,    // text without a line number (error 1006)
    kTooLong,     // longer than a command line (error 1060)
    kFailed,      // the line compiler refuses it
    kNumberOnly,  // a line number alone: LOAD deletes that line
    kCompiled,
};

// What the line compiler makes of one line's text, wherever the line stands.
struct LineFacts {
    LineKind kind = LineKind::kBlank;
    uint32_t number = 0;  // 0 when the text has no valid line number
    size_t digits = 0;    // characters of the line number as typed
    int error = 0;        // the error number LOAD reports for the line
    size_t errorAt = 0;   // where the compiler stopped, in the trimmed text
    std::string stored;   // the stored source of a compiled line (compiler/codes.h tokens)
};

// Pieces of a line's text, by byte offsets into the document line.
enum class SpanKind : uint8_t {
    kOwnNumber,      // the line's own number
    kKeyword,        // a statement keyword (as typed, maybe abbreviated)
    kClauseKeyword,  // a clause keyword written in full (USING, KEY=, THEN, ...)
    kLineRef,        // a line number that a statement refers to
    kComment,        // from '!' to the end of the line
    kName,  // a name (variable, array, function, label, or a word the compiler kept as typed)
    kNumber,
    kString,
};
struct Span {
    size_t from = 0, to = 0;
    SpanKind kind = SpanKind::kName;
    uint32_t number = 0;  // the value of a line number
};

struct DocLine {
    std::string text;  // without its line end
    size_t lead = 0;   // bytes before the trimmed text (blanks, a byte-order mark)
    size_t size = 0;   // bytes of the trimmed text
    std::shared_ptr<const LineFacts> facts;  // null from a change until the next refresh
    mutable std::shared_ptr<const std::vector<Span>> spans;  // made when first asked for
    std::string_view trimmed() const { return std::string_view(text).substr(lead, size); }
};

enum class Severity : int { kError = 1, kWarning = 2, kInformation = 3, kHint = 4 };

struct Diagnostic {
    int line = 0;
    size_t from = 0, to = 0;  // bytes of the document line
    Severity severity = Severity::kError;
    int number = 0;  // the error number, 0 for a warning that has none
    std::string message;
};

class Program {
  public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Replaces the whole text.
    void setText(std::string_view text);
    // Replaces the bytes from (fromLine, fromByte) to (toLine, toByte) by `text`; positions past
    // a line's end or the last line are clamped.  Returns false when the range is reversed.
    bool replace(int fromLine, size_t fromByte, int toLine, size_t toByte, std::string_view text);
    // Compiles the lines changed since the last refresh, brings the program up to date with
    // the document and checks it as a whole.
    void refresh();

    const std::vector<DocLine>& lines() const { return lines_; }
    const std::vector<Diagnostic>& diagnostics() const { return diagnostics_; }
    const pcb& program() const { return *pc_; }

    // The document line that holds program line `number`, -1 when the program has none.
    int lineOfNumber(uint32_t number) const;
    // The document line of line index `index` of the program, -1 when none.
    int lineOfIndex(int index) const;
    // The line index in the program of document line `line`, -1 when LOAD keeps no line there.
    int indexOfLine(int line) const;
    // The pieces of document line `line`.
    const std::vector<Span>& spans(int line) const;

    // Calls of the line compiler since the document was opened, and full rebuilds of the
    // program (what a change cost; the tests and the benchmark read them).
    uint64_t compiles() const { return compiles_; }
    uint64_t rebuilds() const { return rebuilds_; }

  private:
    std::shared_ptr<const LineFacts> factsFor(std::string_view trimmed);
    std::shared_ptr<const LineFacts> compileFacts(std::string_view trimmed);
    void setLines(std::vector<std::string> texts, size_t at, size_t count);
    void rebuild();
    void syncProgram();
    void checkLines();
    void checkProgram();

    std::vector<DocLine> lines_;
    std::unique_ptr<pcb> pc_;
    std::unordered_map<std::string, std::shared_ptr<const LineFacts>> cache_;
    std::unordered_map<uint32_t, int> winner_;        // number -> document line
    std::unordered_map<uint32_t, std::string> held_;  // number -> the text the program holds
    std::unordered_set<uint32_t> refused_;            // numbers of lines the compiler refused
    std::vector<int> docOfIndex_;                     // line index of the program -> document line
    std::vector<int> indexOfDoc_;                     // document line -> line index, -1
    std::vector<Diagnostic> diagnostics_;
    size_t codeAtRebuild_ = 0;
    int dictAtRebuild_ = 0;
    bool fresh_ = true;  // no program built yet
    uint64_t compiles_ = 0;
    uint64_t rebuilds_ = 0;
};

// The line as LIST shows it, for a compiled line: its five-digit number, a blank and its text.
std::string listedLine(const LineFacts& facts);

}  // namespace vxs::lsp
