// The session layer and joining the registry (see ktsession.h).
#include "vxs/registry/ktsession.h"

#include <cstdint>
#include <cstdio>

#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/base/logger.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/registry/ktserver.h"
#include "vxs/registry/ktuser.h"

namespace vxs {

namespace {

constexpr int64_t kJoinLock = 0x30000000;
constexpr int kJoinWaitSeconds = 20;
constexpr int kIdJoin = 10014, kIdSession = 10015;
constexpr int kSlotSize = 4;

int g_sessFD = -1;
int g_sessNumber = 0;
WsidRequest g_lastRequest;

int64_t sessionLock(int s) {
    return kJoinLock + s;
}

bool heldByOther(int fd, int64_t start) {
    bool held = false;
    if (platform::testRange(fd, start, 1, platform::LockKind::kExclusive, held) != 0) return true;
    return held;
}

// The WSID in slot s, 0 when none can be read.
int readSlot(int fd, int s) {
    uint8_t b[kSlotSize];
    size_t got = 0;
    if (platform::readFullAt(fd, int64_t{kSlotSize} * s, b, sizeof b, got) != 0 || got < sizeof b)
        return 0;
    return static_cast<int32_t>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 |
                                uint32_t{b[3]} << 24);
}

int writeSlot(int fd, int s, int wsid) {
    const auto u = static_cast<uint32_t>(wsid);
    const uint8_t b[kSlotSize] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                                  static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
    return platform::writeAllAt(fd, int64_t{kSlotSize} * s, b, sizeof b);
}

void closeSession() {
    if (g_sessFD >= 0) platform::closeFile(g_sessFD);
    g_sessFD = -1;
    g_sessNumber = 0;
}

}  // namespace

WsidRequest ktChooseRequest(int runningSessionWsid, int commandLineId, int configId,
                            int configIncrement) {
    if (runningSessionWsid > 0) return {runningSessionWsid, 0, kSourceSessions};
    if (commandLineId > 0) return {commandLineId, 0, kSourceCommandLine};
    if (configId > 0) return {configId, configIncrement, kSourceConfig};
    return {1, 1, kSourceDefault};
}

std::string ktRequestText(const WsidRequest& r) {
    char buf[128];
    snprintf(buf, sizeof buf, "WSID requested %i by %s with increment %i.", r.id, r.source,
             r.increment);
    return buf;
}

std::string ktSessionText(int wsid, int session) {
    char buf[32];
    snprintf(buf, sizeof buf, "%0*d%d", wsid >= 100 ? 3 : 2, wsid, session);
    return buf;
}

std::string ktWsidText(int wsid, int session, bool sessionNames) {
    if (sessionNames) return ktSessionText(wsid, session);
    char buf[16];
    snprintf(buf, sizeof buf, wsid >= 100 ? "%03d" : "%02d", wsid);
    return buf;
}

std::string ktSessionFilePath(const std::string& directory, const std::string& hostName) {
    std::string name = "ktsess.";
    for (char c : hostName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        name += plain ? c : '_';
    }
    if (hostName.empty()) name += "localhost";
    if (directory.empty()) return name;
    return directory + (directory.back() == '/' ? "" : "/") + name;
}

int joinRegistry(const RegistryRequest& req, RegistryResult& out, std::string& message) {
    out = {};
    message.clear();
    if (ktAssignedWsid() >= 0 || g_sessFD >= 0) {
        out.wsid = ktAssignedWsid();
        message = "WSID previously assigned.\n";
        return kKtRefused;
    }
    if (ktSetServerFile(req.directory, req.lockingMode) != 0) {
        message = "Invalid locking mode for ktserver.dat.\n";
        return kKtSessionFailed;
    }

    const std::string path = ktSessionFilePath(
        req.directory, req.hostName.empty() ? platform::hostName() : req.hostName);
    int fd = -1;
    if (int err = platform::openFile(path, platform::Access::kReadWrite,
                                     platform::Create::kOpenOrCreate, fd)) {
        // The session file lives beside the registry: what keeps it from being opened (a
        // KTSERVER directory that does not exist, one the user may not write) keeps the
        // registry from being opened too, and the registry's message says so first.
        message = ktOpenFailureMessage(err);
        if (!message.ends_with('\n')) message += '\n';
        message += "Couldn't open the session file " + path + ".\nError Code is " +
                   std::to_string(err) + "\n";
        return kKtSessionFailed;
    }
    // One copy of this machine joins at a time, so a later session always finds the WSID of an
    // earlier one published.
    if (lockWithWait(fd, kJoinLock, 1, kJoinWaitSeconds, kTriesPerSecond, kIdJoin) != 0) {
        platform::closeFile(fd);
        message = "Couldn't lock the session file " + path + ".\n";
        return kErrRegistryBusy;
    }
    int session = 0;
    for (int s = 1; s <= KT_MAX_SESSIONS && session == 0; ++s)
        if (lockWithWait(fd, sessionLock(s), 1, 0, 1, kIdSession) == 0) session = s;
    if (session == 0) {
        platform::closeFile(fd);
        message = "All 9 sessions of this workstation are in use.\n";
        return kKtSessionFailed;
    }

    int running = 0;
    if (!req.wsidUnique) {
        for (int s = 1; s <= KT_MAX_SESSIONS && running == 0; ++s) {
            if (s == session || !heldByOther(fd, sessionLock(s))) continue;
            const int w = readSlot(fd, s);
            if (w >= 1 && w < kKtIds) running = w;
        }
    }
    const WsidRequest request =
        ktChooseRequest(running, req.commandLineId, req.configId, req.configIncrement);

    int wsid = -1, users = 0;
    const bool ownWorkstation = running == 0;
    const int rc = assignWSID(message, request.id, session, req.maxUsers, req.waitSeconds, wsid,
                              users, request.increment, ownWorkstation);
    if (rc != 0) {
        platform::closeFile(fd);  // gives back the session number and the join lock
        return rc;
    }
    // A unique copy publishes nothing: no other copy joins it as a further session.
    if (int err = writeSlot(fd, session, req.wsidUnique ? 0 : wsid))
        vxlog(kLogFatal, "The session file %s could not be written (error %d).", path.c_str(), err);
    if (!req.login.empty()) {
        const std::string login = req.login.substr(0, kKtMaxLogin);
        if (int err = ktWriteUserRecord(wsid, login))
            vxlog(kLogFatal, "The user record of WSID %d could not be written (error %d).", wsid,
                  err);
    }
    if (int err = platform::unlockRange(fd, kJoinLock, 1))
        vxlog(kLogFatal, "The session file %s could not be unlocked (error %d).", path.c_str(),
              err);

    g_sessFD = fd;
    g_sessNumber = session;
    g_lastRequest = request;
    setWorkstation(wsid, session);
    out.wsid = wsid;
    out.session = session;
    out.userCount = users;
    out.request = request;
    out.wsidText = ktWsidText(wsid, session, req.wsidSession);
    out.sessionText = ktSessionText(wsid, session);
    vxlog(kLogProgress, "%s", ktRequestText(request).c_str());
    return 0;
}

void ktLeaveSession() {
    if (g_sessFD < 0) return;
    if (int err = writeSlot(g_sessFD, g_sessNumber, 0))
        vxlog(kLogFatal, "The session slot could not be cleared (error %d).", err);
    closeSession();
}

const WsidRequest& ktLastRequest() {
    return g_lastRequest;
}

}  // namespace vxs
