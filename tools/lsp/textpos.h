// Positions in a document as the client counts them: lines split at LF, CR LF or a lone CR, and
// columns in UTF-16 code units (the protocol's default) or in bytes of UTF-8, which the client
// may choose at initialisation.  The program text itself is kept as bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxs::lsp {

enum class Encoding { kUtf16, kUtf8 };

// The lines of `text`, without their line ends; a text that ends with a line end has an empty
// last line (as an editor shows it).
std::vector<std::string> splitLines(std::string_view text);

// The byte offset in `line` of column `character`, clamped to the end of the line; a column
// inside a character that takes two UTF-16 units gives the character's start.
size_t byteColumn(std::string_view line, uint32_t character, Encoding encoding);
// The column of byte offset `byte` of `line` (clamped to the end of the line).
uint32_t characterColumn(std::string_view line, size_t byte, Encoding encoding);

}  // namespace vxs::lsp
