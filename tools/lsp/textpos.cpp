// Positions in a document as the client counts them (see textpos.h).
#include "tools/lsp/textpos.h"

namespace vxs::lsp {

namespace {

// Bytes of the UTF-8 sequence that begins with `lead` (1 for a stray continuation byte, so that
// a damaged text still moves forward) and the UTF-16 units it stands for.
void sequence(unsigned char lead, size_t& bytes, uint32_t& units) {
    if (lead < 0xC0) {
        bytes = 1;
        units = 1;
    } else if (lead < 0xE0) {
        bytes = 2;
        units = 1;
    } else if (lead < 0xF0) {
        bytes = 3;
        units = 1;
    } else {
        bytes = 4;
        units = 2;
    }
}

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

size_t byteColumn(std::string_view line, uint32_t character, Encoding encoding) {
    if (encoding == Encoding::kUtf8) return character < line.size() ? character : line.size();
    size_t p = 0;
    uint32_t units = 0;
    while (p < line.size()) {
        size_t bytes;
        uint32_t n;
        sequence(static_cast<unsigned char>(line[p]), bytes, n);
        if (units + n > character) break;
        units += n;
        p += bytes;
    }
    return p < line.size() ? p : line.size();
}

uint32_t characterColumn(std::string_view line, size_t byte, Encoding encoding) {
    if (byte > line.size()) byte = line.size();
    if (encoding == Encoding::kUtf8) return static_cast<uint32_t>(byte);
    size_t p = 0;
    uint32_t units = 0;
    while (p < byte) {
        size_t bytes;
        uint32_t n;
        sequence(static_cast<unsigned char>(line[p]), bytes, n);
        units += n;
        p += bytes;
    }
    return units;
}

}  // namespace vxs::lsp
