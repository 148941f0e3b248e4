// The workstation registry (see ktserver.h): assignment and release of the WSID through
// ktserver.dat, the first-user rebuild of the file, the user count and the user records.
#include "vxs/registry/ktserver.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/base/logger.h"
#include "vxs/platform/fileio.h"

namespace vxs {

namespace {

using platform::LockKind;

// Diagnostic numbers of the lock calls, kept for STATUS when a lock fails.
constexpr int kIdInProcess = 10008, kIdHeader = 10009, kIdSessionByte = 10010,
              kIdReleaseBytes = 10011, kIdFirstUser = 10777;
constexpr int kHeaderWaitSeconds = 20;
// Opens of a file that a first user replaced meanwhile, before giving up.
constexpr int kMaxReopens = 5;

std::string g_directory;
int g_mode = 2;

int g_ktsFD = -1;
int g_lockOffset = -1;
int g_wsid = -1;
int64_t g_heldByte = -1;  // the WSID/session byte this copy holds
int g_users = 0;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

int32_t getInt32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                uint32_t{p[3]} << 24);
}
void putInt32(uint8_t* p, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
}

bool isMarked(uint8_t c) {
    return c == 'X' || c == 'x';
}

// One try, no waiting, with the diagnostic number kept on failure.
int tryLock(int fd, int64_t start, int64_t length, int callerId) {
    return lockWithWait(fd, start, length, 0, 1, callerId);
}

// Whether another open holds a lock on the range.  An error counts as held: a copy is never
// taken for dead because its lock could not be asked about.
bool heldByOther(int fd, int64_t start, int64_t length) {
    bool held = false;
    if (platform::testRange(fd, start, length, LockKind::kExclusive, held) != 0) return true;
    return held;
}

void unlockOrLog(int fd, int64_t start, int64_t length) {
    if (int err = platform::unlockRange(fd, start, length))
        vxlog(kLogFatal, "ktserver: unlock of %lld/%lld failed with error %d.",
              static_cast<long long>(start), static_cast<long long>(length), err);
}

// Whether the open file is still the one its name gives: a first user may have renamed a new
// file over it.  Checked under the first-user range and under "in process": the rename is made
// only by a copy that holds the first-user range of the file it replaces, which covers both.
bool isCurrentFile(int fd) {
    platform::FileInfo opened, named;
    if (platform::fileInfo(fd, opened) != 0 || platform::pathInfo(ktServerPath(), named) != 0)
        return false;
    return opened.device == named.device && opened.inode == named.inode;
}

void closeServer() {
    if (g_ktsFD >= 0) platform::closeFile(g_ktsFD);
    g_ktsFD = -1;
    g_lockOffset = -1;
    g_wsid = -1;
    g_heldByte = -1;
}

bool isNewOn(int fd, int region, int wsid, int session) {
    for (int s = 1; s <= KT_MAX_SESSIONS; ++s)
        if (s != session && heldByOther(fd, ktSessionByte(region, wsid, s), 1)) return false;
    return true;
}

int readRecordOn(int fd, int wsid, std::string& login) {
    login.clear();
    if (fd < 0 || wsid < 0 || wsid >= kKtIds) return kErrInvalidData;
    uint8_t rec[kKtRecordSize];
    size_t got = 0;
    if (int err = platform::readFullAt(fd, kKtHeaderSize + int64_t{kKtRecordSize} * wsid, rec,
                                       sizeof rec, got))
        return err;
    if (got < sizeof rec) return kErrEndOfFile;
    size_t n = 0;
    while (n < sizeof rec && rec[n] != 0) ++n;
    while (n > 0 && rec[n - 1] == ' ') --n;
    login.assign(reinterpret_cast<const char*>(rec), n);
    return 0;
}

// Step 1: opens (or creates) the file.
int openServer(std::string& message, int& fd) {
    const std::string path = ktServerPath();
    const int err =
        platform::openFile(path, platform::Access::kReadWrite, platform::Create::kOpenOrCreate, fd);
    if (err == 0) return 0;
    message = ktOpenFailureMessage(err);
    return kKtOpenFailed;
}

// Step 2, for the copy that found no other alive (it holds the first-user range on `fd`): a new
// image is written beside the file and renamed over it, so that the file is never seen half
// written.  On success `fd` is the new file, with no lock held; a copy that opened the old one
// finds it replaced (isCurrentFile) and opens again.
int rebuildServer(std::string& message, int& fd) {
    const std::string path = ktServerPath();
    const std::string fresh = path + ".new";
    const char* cannot = "Error: First user couldn't remove or truncate existing ktserver file.";
    int nfd = -1;
    if (platform::openFile(fresh, platform::Access::kReadWrite, platform::Create::kCreateAlways,
                           nfd) != 0) {
        message = cannot;
        return kKtRecreateFailed;
    }
    // Held until the new file is in place, so that no copy works in it before.
    if (tryLock(nfd, 0, kKtFirstUserLength, kIdFirstUser) != 0) {
        platform::closeFile(nfd);
        message = cannot;
        return kKtRecreateFailed;
    }
    const std::string image = ktNewFileImage(ktVersionOfMode(g_mode));
    if (int err = platform::writeAllAt(nfd, 0, image.data(), image.size())) {
        platform::closeFile(nfd);
        (void)platform::deleteFile(fresh);
        message = format("Couldn't write the new ktserver file.\nError Code is %d\n", err);
        return kKtLockFailed;
    }
    if (platform::renameFile(fresh, path) != 0) {
        platform::closeFile(nfd);
        (void)platform::deleteFile(fresh);
        message = cannot;
        return kKtRecreateFailed;
    }
    platform::closeFile(fd);  // drops the first-user range of the old file
    fd = nfd;
    if (platform::unlockRange(fd, 0, kKtFirstUserLength) != 0) {
        platform::closeFile(fd);
        fd = -1;
        message = "Unlock failure recreating ktserver.";
        return kKtRecreateFailed;
    }
    return 0;
}

// Step 5 (ktGetLockOffset): the region the live copies use, or a random one when none is alive.
int ktGetLockOffset(int fd, int& region) {
    int found = -1, count = 0;
    for (int l = 0; l < KTS_NUMOFREGIONS; ++l) {
        if (heldByOther(fd, ktRegionStart(l), kKtRegionSize)) {
            found = l;
            ++count;
        }
    }
    if (count > 1) return kKtLockFailed;
    if (count == 1) {
        region = found;
        return 0;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    region = std::rand() % KTS_NUMOFREGIONS;
    return 0;
}

// What one pass of steps 4 to 12 does, under "in process" and the header lock.
struct Pass {
    std::string& message;
    int fd, request, session, maxUsers, increment;
    bool newOnly;
    int& wsid;
    int& userCount;
};

// Steps 6 to 12; "in process" is held and the region chosen.
int assignUnderLocks(Pass& p, int region) {
    if (lockWithWait(p.fd, 0, kKtHeaderSize, kHeaderWaitSeconds, kTriesPerSecond, kIdHeader) != 0) {
        p.message = "Couldn't lock server header.\n";
        return kKtLockFailed;
    }
    struct HeaderLock {
        int fd;
        ~HeaderLock() { unlockOrLog(fd, 0, kKtHeaderSize); }
    } headerLock{p.fd};

    uint8_t hdr[kKtHeaderSize];
    size_t got = 0;
    if (platform::readFullAt(p.fd, 0, hdr, sizeof hdr, got) != 0) got = 0;
    if (got < sizeof hdr) {
        p.message = "Couldn't read server header.\n";
        return kKtBadFile;
    }
    if (getInt32(hdr) != ktVersionOfMode(g_mode)) {
        p.message = "Wrong version of ktserver.dat\n";
        return kKtBadFile;
    }
    // A short file would make records unreadable and a record write would leave a hole: refused.
    int64_t size = 0;
    if (platform::fileSize(p.fd, size) != 0 || size != kKtFileSize) {
        p.message = format("ktserver.dat is damaged: %lld bytes instead of %d.\n",
                           static_cast<long long>(size), kKtFileSize);
        return kKtBadFile;
    }

    // Step 8: live workstations; marks nobody holds are stale.
    uint8_t* used = hdr + kKtUsedOffset;
    int count = 0;
    for (int w = 0; w < kKtIds; ++w) {
        if (!isMarked(used[w])) continue;
        if (heldByOther(p.fd, ktSessionByte(region, w, 1), KT_MAX_SESSIONS))
            ++count;
        else
            used[w] = ' ';
    }
    vxlog(kLogProgress, "Initial count complete, found <%d> users logged on", count);

    // Step 9.
    const bool isNew = isNewOn(p.fd, region, p.request, p.session);

    // The user limit: a new workstation waits for a free place; a further session of a running
    // one always gets in.
    if (isNew && count >= p.maxUsers) {
        p.message = format("All %d workstations allowed are in use.\n", p.maxUsers);
        return count;
    }

    // Step 11.
    auto take = [&](int id) {
        if (p.newOnly && !isNewOn(p.fd, region, id, p.session)) return int{kErrRecordLocked};
        return tryLock(p.fd, ktSessionByte(region, id, p.session), 1, kIdSessionByte);
    };
    int id = p.request;
    if (take(id) != 0) {
        if (p.increment == 0) {
            std::string login;
            if (readRecordOn(p.fd, id, login) != 0 || login.empty()) login = "----------";
            p.message = format("The requested Workstation ID (%d) is already in use by %s.\n", id,
                               login.c_str());
            return kKtRefused;
        }
        // Whatever id the steps find, this copy will be a new workstation.
        if (count >= p.maxUsers) {
            p.message = format("All %d workstations allowed are in use.\n", p.maxUsers);
            return count;
        }
        int64_t next = id;
        for (;;) {
            next += p.increment;
            if (next < 1 || next >= kKtIds) {
                p.message =
                    format("All wsid's tried by %d %d are in use.  Last attempted ID was %d.\n",
                           p.request, p.increment, id);
                return kKtRefused;
            }
            id = static_cast<int>(next);
            if (isMarked(used[id])) continue;
            if (int err = take(id)) {
                p.message = format(
                    "Found a Workstation ID assigned where none was expected.\nError Code is %d\n",
                    err);
                return kKtLockFailed;
            }
            break;  // unmarked and unheld: nobody else has it
        }
    }
    const int64_t byte = ktSessionByte(region, id, p.session);
    // Counted in step 8 exactly when still marked: a new workstation is not, and neither is a
    // running one whose mark a damaged file lost (it is marked again now, and counted).
    const bool counted = isMarked(used[id]);
    used[id] = 'X';

    // Step 12.
    const int users = count + (counted ? 0 : 1);
    if (int err = platform::writeAllAt(p.fd, 0, hdr, sizeof hdr)) {
        unlockOrLog(p.fd, byte, 1);
        p.message = format("Couldn't write server header.\nError Code is %d\n", err);
        return kKtLockFailed;
    }
    g_heldByte = byte;
    p.wsid = id;
    p.userCount = users;
    vxlog(kLogProgress, "ID set and count update complete, ID is <%d> with <%d> users found", id,
          users);
    return 0;
}

}  // namespace

int ktVersionOfMode(int lockingMode) {
    static constexpr int kVersions[] = {0, 2, 4, 5, 6};
    return lockingMode >= 1 && lockingMode <= 4 ? kVersions[lockingMode] : 0;
}

std::string ktNewFileImage(int version) {
    std::string image(kKtFileSize, ' ');
    uint8_t v[4];
    putInt32(v, version);
    image.replace(0, 4, reinterpret_cast<const char*>(v), 4);
    for (int n = 0; n < kKtIds; ++n) image[kKtHeaderSize + kKtRecordSize * n + kKtMaxLogin] = '\0';
    return image;
}

int ktSetServerFile(const std::string& directory, int lockingMode) {
    if (ktVersionOfMode(lockingMode) == 0) return kErrInvalidData;
    g_directory = directory;
    g_mode = lockingMode;
    return 0;
}

std::string ktOpenFailureMessage(int err) {
    if (err == kErrFileNotFound || err == kErrPathNotFound || err == kErrNameTooLong)
        return format(
            "Couldn't open ktserver at PATH=%s. \nPlease check if it exists and "
            "current user has write permission.",
            ktServerPath().c_str());
    return format("Couldn't open ktserver.\nError Code is %d\n", err);
}

std::string ktServerPath() {
    if (g_directory.empty()) return kKtFileName;
    return g_directory + (g_directory.back() == '/' ? "" : "/") + kKtFileName;
}

int assignWSID(std::string& message, int requestedId, int session, int maxUsers, int waitSeconds,
               int& wsid, int& userCount, int increment, bool newWorkstationOnly) {
    message.clear();
    userCount = 0;
    // Step 3 first: a process that holds a WSID keeps the file open with its lock, so the tests
    // below could only fail; the result is the same.
    if (g_wsid >= 0) {
        wsid = g_wsid;
        message = "WSID previously assigned.\n";
        return kKtRefused;
    }
    wsid = -1;
    // Ids of 1000 and more have no byte in the table and would mark past it: refused before
    // anything is touched.
    if (requestedId >= kKtIds) {
        message = format("Workstation ID %d is invalid--must be 1-999.\n", requestedId);
        return kKtRefused;
    }
    if (session < 1 || session > KT_MAX_SESSIONS) {
        message = format("Session number %d is invalid--must be 1-9.\n", session);
        return kKtRefused;
    }
    const int request = requestedId < 1 ? 1 : requestedId;
    if (maxUsers < 1 || maxUsers > kKtIds) maxUsers = kKtIds;
    if (waitSeconds < 0) waitSeconds = 0;

    for (int attempt = 0; attempt < kMaxReopens; ++attempt) {
        int fd = -1;
        if (int err = openServer(message, fd)) return err;
        // Step 2: the first-user test, before any other lock of this descriptor (its range
        // overlaps them all).
        if (tryLock(fd, 0, kKtFirstUserLength, kIdFirstUser) == 0) {
            if (!isCurrentFile(fd)) {
                platform::closeFile(fd);
                continue;
            }
            if (int err = rebuildServer(message, fd)) {
                if (fd >= 0) platform::closeFile(fd);
                return err;
            }
        }
        g_ktsFD = fd;

        // Step 4.
        if (lockWithWait(fd, kKtInProcess, 1, waitSeconds, kTriesPerSecond, kIdInProcess) != 0) {
            message = "Couldn't lock 'in process'.\n";
            closeServer();
            return kErrRegistryBusy;
        }
        if (!isCurrentFile(fd)) {
            closeServer();  // a first user replaced the file meanwhile: start again on the new one
            continue;
        }
        int region = -1;
        int result;
        Pass pass{message, fd,       request, session, maxUsers, increment, newWorkstationOnly,
                  wsid,    userCount};
        if (ktGetLockOffset(fd, region) != 0) {
            message = "Couldn't get lock offset.\n";
            result = kKtLockFailed;
        } else {
            result = assignUnderLocks(pass, region);
        }
        unlockOrLog(fd, kKtInProcess, 1);
        if (result != 0) {
            closeServer();
            wsid = -1;
            return result;
        }
        g_lockOffset = region;
        g_wsid = wsid;
        g_users = userCount;
        return 0;
    }
    message = "ktserver.dat was replaced at every attempt to open it.\n";
    return kKtOpenFailed;
}

void ktReleaseServer() {
    if (g_ktsFD < 0) return;
    const int fd = g_ktsFD;
    if (g_heldByte >= 0) unlockOrLog(fd, g_heldByte, 1);
    g_heldByte = -1;
    if (g_wsid >= 0 && g_lockOffset >= 0 &&
        lockWithWait(fd, kKtInProcess, 1, kHeaderWaitSeconds, kTriesPerSecond, kIdInProcess) == 0) {
        const int64_t sessions = ktSessionByte(g_lockOffset, g_wsid, 1);
        // Lockable: no other session of this id is alive, so the id is free again.
        if (tryLock(fd, sessions, KT_MAX_SESSIONS, kIdReleaseBytes) == 0) {
            if (lockWithWait(fd, 0, kKtHeaderSize, kHeaderWaitSeconds, kTriesPerSecond, kIdHeader) == 0) {
                uint8_t hdr[kKtHeaderSize];
                size_t got = 0;
                if (platform::readFullAt(fd, 0, hdr, sizeof hdr, got) == 0 && got == sizeof hdr) {
                    hdr[kKtUsedOffset + g_wsid] = ' ';
                    if (int err = platform::writeAllAt(fd, 0, hdr, sizeof hdr))
                        vxlog(kLogFatal, "ktserver: header not written at release (error %d).",
                              err);
                }
                unlockOrLog(fd, 0, kKtHeaderSize);
            }
            unlockOrLog(fd, sessions, KT_MAX_SESSIONS);
        }
        unlockOrLog(fd, kKtInProcess, 1);
    }
    closeServer();
}

bool ktIsNewUser(int wsid, int session) {
    if (g_ktsFD < 0 || g_lockOffset < 0 || wsid < 0 || wsid >= kKtIds) return true;
    return isNewOn(g_ktsFD, g_lockOffset, wsid, session);
}

int ktAssignedWsid() {
    return g_wsid;
}
int ktLockOffset() {
    return g_lockOffset;
}
int ktUserCount() {
    return g_users;
}

int ktReadUserRecord(int wsid, std::string& login) {
    return readRecordOn(g_ktsFD, wsid, login);
}

int ktWriteUserRecord(int wsid, std::string_view login) {
    if (g_ktsFD < 0 || wsid < 0 || wsid >= kKtIds) return kErrInvalidData;
    if (login.size() > kKtMaxLogin) return kErrStringOverflow;
    if (login.find('\0') != std::string_view::npos) return kErrInvalidData;
    char rec[kKtRecordSize] = {};
    login.copy(rec, login.size());
    return platform::writeAllAt(g_ktsFD, kKtHeaderSize + int64_t{kKtRecordSize} * wsid, rec,
                                sizeof rec);
}

}  // namespace vxs
