// Fuzz target: what a language client sends veltrix-lsp.  An even first byte makes the rest a
// raw stream of framed messages, fed to the server in pieces of a size that byte gives (so that
// headers and bodies split anywhere); an odd one makes the rest a list of message bodies
// separated by zero bytes, each framed correctly after an initialize, so that the bodies reach
// the JSON dispatch and the document features however they are mutated.  Whatever comes in,
// the server answers only with whole frames whose bodies are JSON, and nothing escapes it.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "tools/lsp/frame.h"
#include "tools/lsp/server.h"

namespace {

// Every frame the server wrote: "Content-Length: n", the empty line, n bytes of JSON.
void checkOutput(std::string_view out) {
    constexpr std::string_view kHead = "Content-Length: ";
    while (!out.empty()) {
        if (!out.starts_with(kHead)) abort();
        out.remove_prefix(kHead.size());
        size_t n = 0, digits = 0;
        while (digits < out.size() && out[digits] >= '0' && out[digits] <= '9')
            n = n * 10 + static_cast<size_t>(out[digits++] - '0');
        if (digits == 0 || out.substr(digits, 4) != "\r\n\r\n") abort();
        out.remove_prefix(digits + 4);
        if (out.size() < n || !nlohmann::json::accept(out.substr(0, n))) abort();
        out.remove_prefix(n);
    }
}

constexpr std::string_view kInitialize =
    R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}})";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string out;
    vxs::lsp::Server server([&](std::string_view frame) { out.append(frame); });
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) {
        const size_t piece = 1 + (data[0] / 2) % 61;
        for (size_t at = 0; at < rest.size(); at += piece)
            if (!server.take(rest.substr(at, piece))) break;
    } else {
        (void)server.take(vxs::lsp::frameMessage(kInitialize));
        size_t at = 0;
        while (at <= rest.size()) {
            size_t end = rest.find('\0', at);
            if (end == std::string_view::npos) end = rest.size();
            if (!server.take(vxs::lsp::frameMessage(rest.substr(at, end - at)))) break;
            at = end + 1;
        }
    }
    checkOutput(out);
    return 0;
}
