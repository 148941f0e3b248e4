// veltrix-lsp: the language server of Veltrix! programs.  Speaks the Language Server Protocol
// on standard input and output; what it passes over goes to standard error.  It starts nothing
// of the system: no workstation number, no registry, no configuration file.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "tools/lsp/server.h"
#include "vxs/base/process.h"
#include "vxs/base/version.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"

namespace {

constexpr const char kUsage[] =
    "usage: veltrix-lsp\n"
    "The language server of Veltrix! programs (.vxb source files): it speaks the Language\n"
    "Server Protocol on standard input and output.  Start it from an editor's language client.\n";

// The directory of the executable, where the command help file ktcmd.kth lies beside it.
void recordPaths() {
    char path[4096];
    const size_t n = vxs::platform::moduleFileName(path, sizeof path);
    if (n == 0) return;
    std::string module(path, n);
    const size_t slash = module.rfind('/');
    vxs::setProcessPaths("", module, slash == std::string::npos ? "" : module.substr(0, slash + 1));
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            fputs(kUsage, stdout);
            return 0;
        }
        if (strcmp(argv[i], "--version") == 0) {
            printf("veltrix-lsp %s\n", vxs::kVersionText);
            return 0;
        }
        if (strcmp(argv[i], "--stdio") != 0) {  // what some clients add
            fprintf(stderr, "veltrix-lsp: unknown argument %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    // A client that goes away must not end the server by a signal in the middle of a reply.
    std::signal(SIGPIPE, SIG_IGN);
    recordPaths();
    bool outputFailed = false;
    vxs::lsp::Server server(
        [&](std::string_view frame) {
            if (!outputFailed && vxs::platform::writeAll(1, frame.data(), frame.size()) != 0)
                outputFailed = true;
        },
        [](std::string_view line) {
            fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        });
    static char buffer[1 << 16];
    while (!outputFailed) {
        size_t got = 0;
        if (vxs::platform::readSome(0, buffer, sizeof buffer, got) != 0 || got == 0) break;
        if (!server.take(std::string_view(buffer, got))) break;
    }
    return server.exited() ? server.exitStatus() : 1;
}
