// The language server's protocol side (see server.h).
#include "tools/lsp/server.h"

#include <cstdint>
#include <exception>
#include <limits>

#include "tools/lsp/features.h"
#include "vxs/base/version.h"

namespace vxs::lsp {

namespace {

using json = nlohmann::json;

// JSON-RPC and protocol error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;

// Members are read only through these: a message of the wrong shape is answered, never thrown.
const json* field(const json& j, const char* key) {
    if (!j.is_object()) return nullptr;
    const auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

bool textField(const json& j, const char* key, std::string& out) {
    const json* f = field(j, key);
    if (!f || !f->is_string()) return false;
    out = f->get_ref<const std::string&>();
    return true;
}

bool countField(const json& j, const char* key, int64_t& out) {
    const json* f = field(j, key);
    if (!f) return false;
    if (f->is_number_unsigned()) {
        const uint64_t v = f->get<uint64_t>();
        out = v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                  ? std::numeric_limits<int64_t>::max()
                  : static_cast<int64_t>(v);
        return true;
    }
    if (!f->is_number_integer()) return false;
    out = f->get<int64_t>();
    return out >= 0;
}

// A position {line, character}: false when it is not one.
bool positionOf(const json& j, int64_t& line, int64_t& character) {
    return countField(j, "line", line) && countField(j, "character", character);
}

bool validId(const json& id) {
    return id.is_string() || id.is_number_integer() || id.is_number_unsigned();
}

}  // namespace

Server::Server(Output output, Log log) : output_(std::move(output)), log_(std::move(log)) {}
Server::~Server() = default;

void Server::log(std::string_view line) {
    if (log_) log_(line);
}

bool Server::take(std::string_view bytes) {
    if (exited_) return false;
    try {
        reader_.feed(bytes);
        FrameReader::Event event;
        std::string body;
        while (!exited_ && reader_.next(event, body)) {
            switch (event) {
                case FrameReader::Event::kBody: handleBody(body); break;
                case FrameReader::Event::kBadHeader:
                    log("veltrix-lsp: a message header without a valid Content-Length was passed "
                        "over");
                    break;
                case FrameReader::Event::kTooLarge:
                    log("veltrix-lsp: a message larger than the server takes was passed over");
                    break;
            }
        }
    } catch (...) {
        // Out of memory while holding the bytes: what was held is lost, the server goes on.
        log("veltrix-lsp: a message could not be taken");
        reader_ = FrameReader{};
    }
    return !exited_;
}

void Server::send(const json& message) {
    const std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
    output_(frameMessage(body));
}

void Server::reply(const json& id, json result) {
    send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void Server::replyError(const json& id, int code, const std::string& message) {
    send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void Server::handleBody(const std::string& body) {
    const json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        replyError(nullptr, kParseError, "the message is not JSON");
        return;
    }
    const json* id = field(message, "id");
    try {
        dispatch(message);
    } catch (const std::exception& e) {
        if (id && validId(*id)) replyError(*id, kInternalError, e.what());
        log("veltrix-lsp: a message failed: " + std::string(e.what()));
    } catch (...) {
        if (id && validId(*id)) replyError(*id, kInternalError, "the request failed");
    }
}

void Server::dispatch(const json& message) {
    if (!message.is_object()) {
        replyError(nullptr, kInvalidRequest, "a message is a JSON object");
        return;
    }
    const json* id = field(message, "id");
    std::string method;
    if (!textField(message, "method", method)) {
        // A response to a request of ours (the server sends none), or a malformed message.
        if (!id || !(field(message, "result") || field(message, "error")))
            replyError(id && validId(*id) ? *id : json(nullptr), kInvalidRequest,
                       "a message without a method");
        return;
    }
    static const json kNoParams = json::object();
    const json* params = field(message, "params");
    if (!params) params = &kNoParams;
    if (id) {
        if (!validId(*id)) {
            replyError(nullptr, kInvalidRequest, "an id is a number or a string");
            return;
        }
        request(*id, method, *params);
    } else {
        notification(method, *params);
    }
}

json Server::initialize(const json& params) {
    // UTF-8 columns when the client can count them so, UTF-16 (the protocol's default) else.
    const json* general = field(params, "capabilities");
    general = general ? field(*general, "general") : nullptr;
    const json* encodings = general ? field(*general, "positionEncodings") : nullptr;
    encoding_ = Encoding::kUtf16;
    if (encodings && encodings->is_array())
        for (const json& e : *encodings)
            if (e.is_string() && e.get_ref<const std::string&>() == "utf-8")
                encoding_ = Encoding::kUtf8;
    // The help file: the client's, or the command help file beside the executable.
    std::string helpPath;
    if (const json* options = field(params, "initializationOptions"))
        (void)textField(*options, "helpFile", helpPath);
    if (int err = help_.load(helpPath))
        log("veltrix-lsp: no help file for hovers (error " + std::to_string(err) + ")");
    initialized_ = true;
    return {{"capabilities",
             {{"positionEncoding", encoding_ == Encoding::kUtf8 ? "utf-8" : "utf-16"},
              {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
              {"hoverProvider", true},
              {"definitionProvider", true},
              {"referencesProvider", true},
              {"documentSymbolProvider", true},
              {"documentFormattingProvider", true},
              {"completionProvider", {{"resolveProvider", false}}}}},
            {"serverInfo", {{"name", "veltrix-lsp"}, {"version", kVersionText}}}};
}

Program* Server::document(const json& params, std::string& uri) {
    const json* doc = field(params, "textDocument");
    if (!doc || !textField(*doc, "uri", uri)) return nullptr;
    const auto it = documents_.find(uri);
    return it == documents_.end() ? nullptr : it->second.get();
}

void Server::publish(const std::string& uri, const json& version) {
    const auto it = documents_.find(uri);
    json params;
    if (it == documents_.end()) {
        params = {{"uri", uri}, {"diagnostics", json::array()}};
    } else {
        const Context c{*it->second, encoding_, help_, uri};
        params = diagnosticsOf(c);
        if (version.is_number_integer()) params["version"] = version;
    }
    send({{"jsonrpc", "2.0"},
          {"method", "textDocument/publishDiagnostics"},
          {"params", std::move(params)}});
}

void Server::request(const json& id, const std::string& method, const json& params) {
    if (method == "initialize") {
        if (initialized_) {
            replyError(id, kInvalidRequest, "the server is initialized already");
            return;
        }
        reply(id, initialize(params));
        return;
    }
    if (!initialized_) {
        replyError(id, kServerNotInitialized, "the server is not initialized");
        return;
    }
    if (shutdown_) {
        replyError(id, kInvalidRequest, "the server is shutting down");
        return;
    }
    if (method == "shutdown") {
        shutdown_ = true;
        reply(id, nullptr);
        return;
    }
    static const std::map<std::string, int> kOnDocument = {
        {"textDocument/hover", 1},          {"textDocument/definition", 2},
        {"textDocument/references", 3},     {"textDocument/completion", 4},
        {"textDocument/documentSymbol", 5}, {"textDocument/formatting", 6},
        {"veltrix/statistics", 7}};
    const auto which = kOnDocument.find(method);
    if (which == kOnDocument.end()) {
        replyError(id, kMethodNotFound, "unknown method " + method);
        return;
    }
    std::string uri;
    Program* prog = document(params, uri);
    if (!prog) {
        if (uri.empty())
            replyError(id, kInvalidParams, "the request names no textDocument");
        else
            reply(id, nullptr);  // a document the client has not opened
        return;
    }
    const Context c{*prog, encoding_, help_, uri};
    switch (which->second) {
        case 5: reply(id, documentSymbols(c)); return;
        case 6: reply(id, formattingEdits(c)); return;
        case 7:
            reply(id, {{"lines", prog->lines().size()},
                       {"compiles", prog->compiles()},
                       {"rebuilds", prog->rebuilds()}});
            return;
        default: break;
    }
    int64_t line = 0, character = 0;
    const json* position = field(params, "position");
    if (!position || !positionOf(*position, line, character)) {
        replyError(id, kInvalidParams, "the request has no position");
        return;
    }
    if (line >= static_cast<int64_t>(prog->lines().size())) {
        reply(id, which->second == 4 ? completionAt(c, 0, 0) : json(nullptr));
        return;
    }
    const int at = static_cast<int>(line);
    const size_t byte =
        byteColumn(prog->lines()[static_cast<size_t>(at)].text,
                   static_cast<uint32_t>(std::min<int64_t>(character, UINT32_MAX)), encoding_);
    switch (which->second) {
        case 1: reply(id, hoverAt(c, at, byte)); break;
        case 2: reply(id, definitionAt(c, at, byte)); break;
        case 3: {
            bool declaration = true;
            if (const json* context = field(params, "context"))
                if (const json* d = field(*context, "includeDeclaration"); d && d->is_boolean())
                    declaration = d->get<bool>();
            reply(id, referencesAt(c, at, byte, declaration));
            break;
        }
        case 4: reply(id, completionAt(c, at, byte)); break;
        default: break;
    }
}

void Server::notification(const std::string& method, const json& params) {
    if (method == "exit") {
        exited_ = true;
        return;
    }
    if (!initialized_ || shutdown_) return;
    const json* doc = field(params, "textDocument");
    std::string uri;
    if (!doc || !textField(*doc, "uri", uri)) return;
    const json* version = field(*doc, "version");
    const json noVersion;
    if (!version) version = &noVersion;
    if (method == "textDocument/didOpen") {
        std::string text;
        if (!textField(*doc, "text", text)) return;
        auto prog = std::make_unique<Program>();
        prog->setText(text);
        prog->refresh();
        documents_[uri] = std::move(prog);
        publish(uri, *version);
    } else if (method == "textDocument/didChange") {
        const auto it = documents_.find(uri);
        const json* changes = field(params, "contentChanges");
        if (it == documents_.end() || !changes || !changes->is_array()) return;
        Program& prog = *it->second;
        for (const json& change : *changes) {
            std::string text;
            if (!textField(change, "text", text)) continue;
            const json* range = field(change, "range");
            const json* start = range ? field(*range, "start") : nullptr;
            const json* end = range ? field(*range, "end") : nullptr;
            int64_t l0, c0, l1, c1;
            if (!range) {
                prog.setText(text);
            } else if (start && end && positionOf(*start, l0, c0) && positionOf(*end, l1, c1)) {
                auto byteAt = [&](int64_t line, int64_t character) -> size_t {
                    if (line >= static_cast<int64_t>(prog.lines().size()))
                        return std::numeric_limits<size_t>::max();
                    return byteColumn(
                        prog.lines()[static_cast<size_t>(line)].text,
                        static_cast<uint32_t>(std::min<int64_t>(character, UINT32_MAX)), encoding_);
                };
                auto lineOf = [](int64_t line) {
                    return static_cast<int>(
                        std::min<int64_t>(line, std::numeric_limits<int>::max()));
                };
                if (!prog.replace(lineOf(l0), byteAt(l0, c0), lineOf(l1), byteAt(l1, c1), text))
                    log("veltrix-lsp: a change whose range ends before it starts was passed over");
            }
        }
        prog.refresh();
        publish(uri, *version);
    } else if (method == "textDocument/didClose") {
        documents_.erase(uri);
        publish(uri, nullptr);
    }
}

}  // namespace vxs::lsp
