// The compile work area (see compile.h).
#include "vxs/compiler/compile.h"

#include <algorithm>
#include <cstring>

namespace vxs {

void CodeBuf::reset(bool withCount) {
    len_ = 0;
    words_ = 0;
    error_ = 0;
    withCount_ = withCount;
    hdr_ = -1;
    hdrIsCount_ = false;
    if (withCount) {
        b_[len_++] = 0;
        hdr_ = 0;
        hdrIsCount_ = true;
    }
}

void CodeBuf::fixup() {
    if (hdr_ < 0) return;
    if (hdrIsCount_) {
        b_[static_cast<size_t>(hdr_)] = static_cast<uint8_t>(words_);
    } else if (words_ == 1) {
        b_[static_cast<size_t>(hdr_)] |= 0x80;
    } else if (words_ >= 2) {
        if (len_ + 1 > kCodeBufSize) {
            if (!error_) error_ = kCeWorkArea;
            return;
        }
        b_[static_cast<size_t>(hdr_)] |= 0xC0;
        uint8_t* at = b_.data() + hdr_ + 1;
        memmove(at + 1, at, static_cast<size_t>(len_ - hdr_ - 1));
        *at = static_cast<uint8_t>(words_);
        ++len_;
    }
    hdr_ = -1;
    hdrIsCount_ = false;
    words_ = 0;
}

void CodeBuf::header(uint8_t kind) {
    fixup();
    if (len_ + 1 > kCodeBufSize) {
        if (!error_) error_ = kCeWorkArea;
        return;
    }
    hdr_ = len_;
    b_[static_cast<size_t>(len_++)] = kind;
}

void CodeBuf::word(uint16_t w) {
    if (hdr_ < 0) {
        // Words always follow a header; an operand with none to follow is a compiler fault.
        if (!error_) error_ = kCeWorkArea;
        return;
    }
    if (words_ >= 63) {
        if (!error_) error_ = kCeWords;
        return;
    }
    if (len_ + 2 > kCodeBufSize) {
        if (!error_) error_ = kCeWorkArea;
        return;
    }
    b_[static_cast<size_t>(len_++)] = static_cast<uint8_t>(w);
    b_[static_cast<size_t>(len_++)] = static_cast<uint8_t>(w >> 8);
    ++words_;
}

void CodeBuf::raw(uint8_t byte) {
    fixup();
    if (len_ + 1 > kCodeBufSize) {
        if (!error_) error_ = kCeWorkArea;
        return;
    }
    b_[static_cast<size_t>(len_++)] = byte;
}

void SourceOut::reset(std::string_view typed, size_t from) {
    typed_ = typed;
    out_.clear();
    copied_ = from;
}

void SourceOut::copyTo(size_t pos) {
    if (pos > typed_.size()) pos = typed_.size();
    for (; copied_ < pos; ++copied_) {
        const uint8_t b = static_cast<uint8_t>(typed_[copied_]);
        if (b < 8) out_ += static_cast<char>(kSrcLiteral);
        out_ += static_cast<char>(b);
    }
}

void SourceOut::keyword(size_t from, size_t to) {
    copyTo(from);
    out_ += static_cast<char>(kSrcKeyword);
    out_ += static_cast<char>(to - from);
    out_.append(typed_.substr(from, to - from));
    copied_ = to;
}

void SourceOut::clauseKeyword(size_t from, size_t to, uint8_t code) {
    copyTo(from);
    out_ += static_cast<char>(kSrcClauseKw);
    out_ += static_cast<char>(code);
    copied_ = to;
}

void SourceOut::lineNumber(size_t from, size_t to, uint32_t number) {
    copyTo(from);
    out_ += static_cast<char>(kSrcLineNum);
    out_ += static_cast<char>(number & 0xFF);
    out_ += static_cast<char>(number >> 8 & 0xFF);
    out_ += static_cast<char>(number >> 16 & 0xFF);
    out_ += static_cast<char>(to - from);
    copied_ = to;
}

void SourceOut::comment(size_t from, size_t to) {
    copyTo(from - 1);  // up to the '!'
    // A comment longer than one token's 255 bytes continues in further tokens.
    size_t p = from;
    do {
        const size_t n = std::min<size_t>(255, to - p);
        out_ += static_cast<char>(kSrcComment);
        out_ += static_cast<char>(n);
        out_.append(typed_.substr(p, n));
        p += n;
    } while (p < to);
    copied_ = to;
}

CompileMark markState(const CompileCtx& c) {
    return {c.pos, c.expr, c.parts, c.source, c.partRecorded, c.pending->nodes.size()};
}

void restoreState(CompileCtx& c, const CompileMark& m) {
    c.pos = m.pos;
    c.expr = m.expr;
    c.parts = m.parts;
    c.source = m.source;
    c.partRecorded = m.partRecorded;
    PendingDict& p = *c.pending;
    if (p.nodes.size() > m.pendingSize) {
        p.nodes.resize(m.pendingSize);
        p.highest = 0;
        for (const PendingEntry& e : p.nodes) p.highest = std::max(p.highest, e.index);
    }
}

bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

size_t nameLength(const std::string& upper, size_t p) {
    if (p >= upper.size() || !isNameStart(upper[p])) return 0;
    size_t n = 1;
    while (p + n < upper.size() && isNameChar(upper[p + n])) ++n;
    return n;
}

}  // namespace vxs
