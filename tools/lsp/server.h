// The language server's protocol side: JSON-RPC messages over the framing of frame.h, the
// life cycle (initialize, initialized, shutdown, exit), the open documents and the dispatch of
// requests to features.h.  Nothing here starts the system: no workstation number, registry or
// configuration file; only the help file is read, at initialize.
//
// States: before initialize every request but initialize is refused (-32002) and notifications
// are dropped; after initialize everything is served; after shutdown requests are refused
// (-32600) until exit.  Exit ends the server with status 0 after a shutdown, else 1.  A body
// that is no JSON gets a parse error (-32700) with a null id; a frame whose header is damaged
// is passed over.  No exception leaves take().
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "tools/lsp/frame.h"
#include "tools/lsp/helptext.h"
#include "tools/lsp/program.h"
#include "tools/lsp/textpos.h"

namespace vxs::lsp {

class Server {
  public:
    using json = nlohmann::json;
    // Receives each framed message for the client; the server does not wait for it.
    using Output = std::function<void(std::string_view frame)>;
    // Receives a line about what the server passed over (for standard error).
    using Log = std::function<void(std::string_view line)>;

    explicit Server(Output output, Log log = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Takes bytes from the client and answers every whole message in them.  Returns false once
    // the client has sent exit (bytes after it are not read).
    bool take(std::string_view bytes);
    // The client's input ended: true when it had sent exit.
    bool exited() const { return exited_; }
    int exitStatus() const { return shutdown_ ? 0 : 1; }

  private:
    void handleBody(const std::string& body);
    void dispatch(const json& message);
    void request(const json& id, const std::string& method, const json& params);
    void notification(const std::string& method, const json& params);
    void reply(const json& id, json result);
    void replyError(const json& id, int code, const std::string& message);
    void send(const json& message);
    void publish(const std::string& uri, const json& version);
    void log(std::string_view line);

    json initialize(const json& params);
    Program* document(const json& params, std::string& uri);

    Output output_;
    Log log_;
    FrameReader reader_;
    std::map<std::string, std::unique_ptr<Program>> documents_;
    HelpFile help_;
    Encoding encoding_ = Encoding::kUtf16;
    bool initialized_ = false;
    bool shutdown_ = false;
    bool exited_ = false;
};

}  // namespace vxs::lsp
