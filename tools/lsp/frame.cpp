// The message framing of the language server (see frame.h).
#include "tools/lsp/frame.h"

#include <algorithm>
#include <cctype>

namespace vxs::lsp {

namespace {

constexpr std::string_view kLengthName = "content-length";
constexpr long long kNotHeader = -2;  // the block holds a line that is no header at all

bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Where `name` (any case) next begins in `s` from `from`; npos when nowhere.
size_t findLetters(std::string_view s, std::string_view name, size_t from) {
    for (size_t p = from; p + name.size() <= s.size(); ++p)
        if (sameLetters(s.substr(p, name.size()), name)) return p;
    return std::string_view::npos;
}

}  // namespace

void FrameReader::feed(std::string_view bytes) {
    buf_.append(bytes);
}

long long FrameReader::headerLength(size_t end) const {
    const std::string_view block(buf_.data() + pos_, end - pos_);
    long long length = -1;
    size_t p = 0;
    while (p < block.size()) {
        size_t eol = block.find('\n', p);
        if (eol == std::string_view::npos) eol = block.size();
        const std::string_view line = trimmed(block.substr(p, eol - p));
        p = eol + 1;
        if (line.empty()) continue;
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) return kNotHeader;
        const std::string_view name = line.substr(0, colon);
        if (!std::all_of(name.begin(), name.end(), isTokenChar)) return kNotHeader;
        if (!sameLetters(name, kLengthName)) continue;  // Content-Type and others
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (value.empty() || value.size() > 18 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -1;
        long long n = 0;
        for (char c : value) n = n * 10 + (c - '0');
        if (length >= 0 && length != n) return -1;  // two lengths that disagree
        length = n;
    }
    return length;
}

void FrameReader::resynchronise() {
    const size_t at = findLetters(buf_, kLengthName, pos_ + 1);
    if (at != std::string::npos) {
        pos_ = at;
    } else {
        // Keep what may be the beginning of the name, cut off by the end of the bytes so far:
        // at most its length less one, and nothing before a line end.  At least one byte goes,
        // so that damaged bytes are never looked at for ever.
        const size_t lineEnd = buf_.rfind('\n');
        size_t keep =
            lineEnd == std::string::npos || lineEnd < pos_ ? pending() : buf_.size() - lineEnd - 1;
        keep = std::min(keep, kLengthName.size() - 1);
        pos_ = std::max(pos_ + 1, buf_.size() - keep);
    }
    compact();
}

void FrameReader::compact() {
    if (pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    } else if (pos_ > 65536 && pos_ * 2 > buf_.size()) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
}

bool FrameReader::next(Event& event, std::string& body) {
    if (skip_ > 0) {
        const size_t n = std::min(skip_, pending());
        pos_ += n;
        skip_ -= n;
        compact();
        if (skip_ > 0) return false;
    }
    // Line ends between messages are not a header block.
    while (pos_ < buf_.size() && (buf_[pos_] == '\r' || buf_[pos_] == '\n')) ++pos_;
    compact();
    if (pending() == 0) return false;

    const size_t limit = std::min(buf_.size(), pos_ + kMaxHeader + 4);
    const std::string_view window(buf_.data(), limit);
    size_t end = std::string::npos;  // the end of the empty line that closes the block
    const size_t crlf = window.find("\r\n\r\n", pos_);
    const size_t lf = window.find("\n\n", pos_);
    if (crlf != std::string::npos) end = crlf + 4;
    if (lf != std::string::npos && (end == std::string::npos || lf + 2 < end)) end = lf + 2;
    if (end == std::string::npos) {
        if (pending() <= kMaxHeader) return false;  // the block may still be coming
        event = Event::kBadHeader;
        resynchronise();
        return true;
    }
    const long long length = headerLength(end);
    if (length == kNotHeader) {
        event = Event::kBadHeader;
        resynchronise();
        return true;
    }
    if (length < 0) {
        event = Event::kBadHeader;
        pos_ = end;
        compact();
        return true;
    }
    if (static_cast<unsigned long long>(length) > kMaxBody) {
        event = Event::kTooLarge;
        pos_ = end;
        skip_ = static_cast<size_t>(length);
        const size_t n = std::min(skip_, pending());
        pos_ += n;
        skip_ -= n;
        compact();
        return true;
    }
    if (buf_.size() - end < static_cast<size_t>(length)) return false;
    body.assign(buf_, end, static_cast<size_t>(length));
    pos_ = end + static_cast<size_t>(length);
    compact();
    event = Event::kBody;
    return true;
}

std::string frameMessage(std::string_view body) {
    std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    out.append(body);
    return out;
}

}  // namespace vxs::lsp
