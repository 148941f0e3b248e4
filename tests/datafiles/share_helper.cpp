// A second process for the sharing tests: performs the opens and locks given on its command
// line, prints "ok" once it holds them all (or "error N" and ends), then keeps them until its
// standard input closes or it is killed.
//
//   share_helper PATH WSID MODE OP...
//   OP: share ACCESS CREATION CLASS | record N WAIT | update | reserve
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktshare.h"

int main(int argc, char** argv) {
    using namespace vxs;
    if (argc < 5) return 2;
    const std::string path = argv[1];
    if (setShareIdentity(0, std::atoi(argv[2]), 1) != 0 || !setLockingMode(std::atoi(argv[3])))
        return 2;
    int handle = -1;
    int err = 0;
    for (int i = 4; i < argc && err == 0;) {
        const std::string op = argv[i++];
        auto arg = [&] { return i < argc ? std::atoi(argv[i++]) : -1; };
        if (op == "share") {
            const int access = arg(), creation = arg(), cls = arg();
            err = ktFileShareSet(path, access, creation, cls, handle);
        } else if (op == "record") {
            const int n = arg(), wait = arg();
            err = ktLockRecord(handle, n, wait, 1);
        } else if (op == "update") {
            err = ktUpdateLock(handle, 1);
        } else if (op == "reserve") {
            err = ktReserve(path);
        } else {
            return 2;
        }
    }
    if (err) std::printf("error %d\n", err);
    else std::printf("ok\n");
    std::fflush(stdout);
    if (err) return 1;
    char c;
    while (read(0, &c, 1) > 0) {
    }
    return 0;
}
