// Fuzz target: the registry file.  The input's first 8 bytes choose the call, the rest is
// written as ktserver.dat in a scratch directory:
//   0  bit 0: another copy (a second open) holds a WSID/session byte, so the file is read as it
//      is rather than rebuilt by a first user; bit 1: the copy must be a workstation of its own
//   1  requested id, int16 little-endian (with byte 2)
//   3  increment, int8          4  session number (any byte)
//   5  maximum users            6  locking mode (any byte)
//   7  the other copy's WSID (x 4, mod 1000) and region (mod 100)
// Then assignWSID and the release run with no waiting.  Checked: an assignment gives a WSID
// 1..999 marked in a file of the right size; a refusal comes with a message; after the release
// nothing is held.
#include "vxs/registry/ktserver.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/scratch.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/fileio.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    vxfuzz::enterScratchDirectory("ktserver");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace platform = vxs::platform;
    if (size < 8) return 0;
    const std::string& dir = vxfuzz::enterScratchDirectory("ktserver");
    vxfuzz::emptyScratchDirectory();
    vxfuzz::writeScratchFile(vxs::kKtFileName,
                             std::string(reinterpret_cast<const char*>(data + 8), size - 8));
    const bool other = data[0] & 1, ownWorkstation = data[0] & 2;
    const int request = static_cast<int16_t>(data[1] | data[2] << 8);
    const int increment = static_cast<int8_t>(data[3]);
    const int session = data[4], maxUsers = data[5], mode = data[6];
    const int otherWsid = data[7] * 4 % 1000, region = data[7] % 100;
    if (vxs::ktSetServerFile(dir, mode % 5) != 0) (void)vxs::ktSetServerFile(dir, 2);

    int holder = -1;
    if (other) {
        if (platform::openFile(dir + "/" + vxs::kKtFileName, platform::Access::kReadWrite,
                               platform::Create::kOpenExisting, holder) != 0 ||
            platform::lockRange(holder, vxs::ktSessionByte(region, otherWsid, 1), 1,
                                platform::LockKind::kExclusive, false) != 0)
            abort();
    }
    std::string message;
    int wsid = -1, users = -1;
    const int rc = vxs::assignWSID(message, request, session, maxUsers, 0, wsid, users, increment,
                                   ownWorkstation);
    if (rc == 0) {
        if (wsid < 1 || wsid > 999 || users < 1 || vxs::ktAssignedWsid() != wsid) abort();
        std::string login;
        if (vxs::ktReadUserRecord(wsid, login) != 0) abort();
        int64_t fileSize = 0;
        int fd = -1;
        char mark = 0;
        size_t got = 0;
        if (platform::openFile(dir + "/" + vxs::kKtFileName, platform::Access::kRead,
                               platform::Create::kOpenExisting, fd) != 0 ||
            platform::fileSize(fd, fileSize) != 0 ||
            platform::readFullAt(fd, vxs::kKtUsedOffset + wsid, &mark, 1, got) != 0)
            abort();
        platform::closeFile(fd);
        if (fileSize != vxs::kKtFileSize || mark != 'X') abort();
    } else if (message.empty() || vxs::ktAssignedWsid() != -1) {
        abort();
    }
    vxs::ktReleaseServer();
    if (vxs::ktAssignedWsid() != -1 || vxs::ktLockOffset() != -1) abort();
    if (holder >= 0) platform::closeFile(holder);
    return 0;
}
