// A copy of the system as far as the registry sees it, for the tests of tests/registry/: joins
// the registry in a directory with the options given, prints one line with its result and holds
// its WSID until standard input closes (then releases it) or it is killed.
//
//   registry_helper DIR [--id N] [--config N INC] [--unique] [--session-names] [--max N]
//                       [--mode M] [--host NAME] [--login NAME] [--wait S]
//
// Output: "result=R wsid=W session=S users=U wsidtext=T sessiontext=T source=SOURCE|MESSAGE",
// the message with its line breaks written as "\n".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vxs/platform/os.h"
#include "vxs/registry/ktsession.h"
#include "vxs/registry/ktuser.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    vxs::RegistryRequest req;
    req.directory = argv[1];
    req.waitSeconds = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--id")
            req.commandLineId = atoi(next());
        else if (a == "--config") {
            req.configId = atoi(next());
            req.configIncrement = atoi(next());
        } else if (a == "--unique")
            req.wsidUnique = true;
        else if (a == "--session-names")
            req.wsidSession = true;
        else if (a == "--max")
            req.maxUsers = atoi(next());
        else if (a == "--mode")
            req.lockingMode = atoi(next());
        else if (a == "--host")
            req.hostName = next();
        else if (a == "--login")
            req.login = next();
        else if (a == "--wait")
            req.waitSeconds = atoi(next());
        else
            return 2;
    }
    vxs::RegistryResult out;
    std::string message;
    const int rc = vxs::joinRegistry(req, out, message);
    std::string shown;
    for (char c : message) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    printf("result=%d wsid=%d session=%d users=%d wsidtext=%s sessiontext=%s source=%s|%s\n", rc,
           out.wsid, out.session, out.userCount, out.wsidText.c_str(), out.sessionText.c_str(),
           rc == 0 ? out.request.source : "-", shown.c_str());
    fflush(stdout);
    vxs::platform::LineReader in(vxs::platform::kStdin);
    std::string line;
    bool truncated = false;
    while (in.readLine(line, 100, truncated) == 0) {
    }
    vxs::ktReleaseWorkstation();
    return 0;
}
