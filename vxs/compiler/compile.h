// The compile work area shared by the statement compiler (command2) and the expression compiler
// (command7): the code buffers with their header fix-up, the stored-source writer, the operator
// stack, and the cursor over the line being compiled.  Everything here is saved and restored as
// a whole when the syntax walker backtracks, so a failed alternative leaves no trace.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/pcb.h"

namespace vxs {

// Bytes of code one clause may collect (a line holds at most 255).
inline constexpr int kCodeBufSize = 320;
// Operator stack of the expression compiler, in bytes.
inline constexpr int kOpStackSize = 500;

// A code buffer that writes item headers and appends operand words after the current header;
// writing the next header fixes the previous one up from its word count (top bits 10 for one
// word, 11 and an inserted count byte for 2..63).  An optional count byte at the start takes the
// words written before the first header.
class CodeBuf {
  public:
    // Starts with a count byte (an expression section) or without one (statement parts).
    void reset(bool withCount);
    void header(uint8_t kind);  // a new item
    void word(uint16_t w);      // an operand word after the current header
    void raw(uint8_t byte);     // a byte outside the item structure (ends the current item)
    void close() { fixup(); }   // fixes up the current header
    // Words written after the current header so far, and whether one is open.
    int words() const { return words_; }
    bool headerOpen() const { return hdr_ >= 0; }
    int error() const { return error_; }
    int size() const { return len_; }
    const uint8_t* data() const { return b_.data(); }
    // Whether anything besides the count byte was written.
    bool empty() const { return len_ == (withCount_ ? 1 : 0) && words_ == 0; }

  private:
    void fixup();
    std::array<uint8_t, kCodeBufSize> b_{};
    int len_ = 0;
    int hdr_ = -1;  // position of the current header (the count byte counts as one)
    bool hdrIsCount_ = false;
    int words_ = 0;
    int error_ = 0;
    bool withCount_ = false;
};

// The stored source of the line: the typed text with statement keywords, matched clause
// keywords, line numbers and comments as tokens (codes.h).
class SourceOut {
  public:
    void reset(std::string_view typed, size_t from);
    // Copies the typed text up to `pos` (escaping bytes below 8).
    void copyTo(size_t pos);
    // Emits a token for the typed range [from, to) and moves past it.
    void keyword(size_t from, size_t to);
    void clauseKeyword(size_t from, size_t to, uint8_t code);
    void lineNumber(size_t from, size_t to, uint32_t number);
    void comment(size_t from, size_t to);  // from: the position after '!'
    const std::string& text() const { return out_; }

  private:
    std::string_view typed_;
    std::string out_;
    size_t copied_ = 0;
};

// The operator stack: kinds, and for each open parenthesis a flags byte under its marker.
struct OpStack {
    std::array<uint8_t, kOpStackSize> s{};
    int top = 0;
};

// Options of one compilation.
struct CompileOptions {
    bool programActive = false;  // refuse DIM, LIBRARY and new arrays
};

// Everything the compilers share while one line is compiled.
struct CompileCtx {
    pcb* pc = nullptr;
    PendingDict* pending = nullptr;
    CompileOptions options;
    std::string typed;  // the line as typed
    std::string upper;  // the same, upper-cased outside quotes
    size_t pos = 0;     // cursor in both
    CodeBuf expr;       // count byte, operand words and operator items of the clause
    CodeBuf parts;      // part items after the statement item
    SourceOut source;
    OpStack ops;
    bool partRecorded = false;  // a clause part has been written (for -1026)
    size_t pendingMark = 0;     // pending entries at the last save point

    char at(size_t p) const { return p < upper.size() ? upper[p] : '\0'; }
    char cur() const { return at(pos); }
    void skipBlanks() {
        while (pos < upper.size() && (upper[pos] == ' ' || upper[pos] == '\t')) ++pos;
    }
};

// A saved state of the compile context for backtracking.
struct CompileMark {
    size_t pos;
    CodeBuf expr, parts;
    SourceOut source;
    bool partRecorded;
    size_t pendingSize;
};
CompileMark markState(const CompileCtx& c);
void restoreState(CompileCtx& c, const CompileMark& m);

// ---- names and words (command7) ----
// Length of the name at `p` (a letter or '_', then letters, digits and '_'); 0 when none.
size_t nameLength(const std::string& upper, size_t p);
bool isNameStart(char c);
bool isNameChar(char c);

}  // namespace vxs
