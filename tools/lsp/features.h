// The answers of the language server's requests on one document, made from its Program (the
// real compiler's view of it): diagnostics, hover, definition, references, document symbols,
// formatting (each line as LIST shows it) and completion.  Results are the protocol's JSON
// values; positions are converted to the client's encoding here and nowhere else.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

#include "tools/lsp/helptext.h"
#include "tools/lsp/program.h"
#include "tools/lsp/textpos.h"

namespace vxs::lsp {

using json = nlohmann::json;

struct Context {
    const Program& prog;
    Encoding encoding;
    const HelpFile& help;
    const std::string& uri;
};

// A range of the document from byte `from` of line `line` to byte `to` of the same line.
json rangeOf(const Context& c, int line, size_t from, size_t to);

// The parameters of textDocument/publishDiagnostics (without its version).
json diagnosticsOf(const Context& c);
// Each request at byte `byte` of line `line`; null when there is nothing to answer.
json hoverAt(const Context& c, int line, size_t byte);
json definitionAt(const Context& c, int line, size_t byte);
json referencesAt(const Context& c, int line, size_t byte, bool withDeclaration);
json completionAt(const Context& c, int line, size_t byte);
json documentSymbols(const Context& c);
// The edits that make every compiled line read as LIST shows it (an empty array when none).
json formattingEdits(const Context& c);

}  // namespace vxs::lsp
