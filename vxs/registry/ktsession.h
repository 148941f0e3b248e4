// The session layer and joining the registry: the session number 1..9 of this copy among the
// copies on one machine, the WSID another session of this machine already holds, the choice of
// the requested WSID, and the [WSID] and [SESSION] texts.  Owns the open session file.
//
// Session file "ktsess.<host>" beside ktserver.dat, one per machine (docs/registry.md):
//
//   OFFSET   SIZE   MEANING
//   0        4      zero (unused)
//   4*s      4      int32 little-endian, s = 1..9: the WSID session s published, 0 none
//
//   LOCK POSITION     LENGTH   MEANING
//   0x30000000        1        join lock: held while a copy picks its session and joins
//   0x30000000 + s    1        held for its lifetime by the copy with session s
//
// States: not joined (no session file open) -> joined (joinRegistry: session byte held, WSID
// assigned) -> left (ktLeaveSession at shut-down).  A slot counts only while its session byte
// is held by another open, so a copy that dies frees its number and its slot at once.
#pragma once

#include <string>

namespace vxs {

// Result code of joinRegistry for a failure of the session layer (fatal, with a message).
inline constexpr int kKtSessionFailed = -35;

// What start-up knows when it joins the registry (configuration and command line).
struct RegistryRequest {
    std::string directory;     // the KTSERVER directory, an operating-system path; "" current
    int lockingMode = 2;       // OPTION 33 as a locking mode 1..4
    int commandLineId = 0;     // the WSID given on the command line; 0 none
    int configId = 0;          // the WSID statement's id; 0 none
    int configIncrement = 1;   // and its increment
    bool wsidSession = false;  // WSID=SESSION: [WSID] is the [SESSION] text
    bool wsidUnique = false;   // WSID=UNIQUE: every copy is a workstation of its own
    int maxUsers = 1000;       // OPTION 9: workstations allowed at once, 1..1000
    int waitSeconds = 3;       // the wait for the registry's "in process" lock
    std::string login;         // written as the user record of the WSID; "" leaves it
    std::string hostName;      // names the session file; "" this machine's network name
};

// The requested WSID and where it came from.
struct WsidRequest {
    int id = 1;
    int increment = 1;
    const char* source = "default values";
};

struct RegistryResult {
    int wsid = -1;
    int session = 0;
    int userCount = 0;  // live workstations, this one included
    WsidRequest request;
    std::string wsidText;     // [WSID]
    std::string sessionText;  // [SESSION]
};

inline constexpr char kSourceSessions[] = "multiple sessions";
inline constexpr char kSourceCommandLine[] = "command line";
inline constexpr char kSourceConfig[] = "vxconfig.sys";
inline constexpr char kSourceDefault[] = "default values";

// The request, in this order: the WSID of a running session of this machine (> 0) with
// increment 0; the command line's id (> 0) with increment 0; the WSID statement's id (> 0) with
// its increment; else 1 with increment 1.
WsidRequest ktChooseRequest(int runningSessionWsid, int commandLineId, int configId,
                            int configIncrement);
// "WSID requested %i by %s with increment %i." (STATUS).
std::string ktRequestText(const WsidRequest& request);

// [SESSION]: the WSID with two digits (three from 100 up) and the session digit ("%0*d%d").
std::string ktSessionText(int wsid, int session);
// [WSID]: "%02d" (or "%03d" from 100 up); the [SESSION] text when `sessionNames` (WSID=SESSION).
std::string ktWsidText(int wsid, int session, bool sessionNames);

// The session file of a host in a directory (the host name with characters other than letters,
// digits, "-", "_" and "." made "_").
std::string ktSessionFilePath(const std::string& directory, const std::string& hostName);

// Joins the registry once at start-up: takes the first free session number of this machine,
// chooses the request (a running session's WSID only without WSID=UNIQUE), assigns the WSID
// (assignWSID; a request that does not come from a running session must be a workstation of its
// own), publishes it for later sessions, writes the login record and sets workstationId() and
// sessionDigit().  Returns 0 with `out` filled; a negative code (fatal) with `message`; or a
// positive value (the user count when the limit is reached, or 4179 when the registry or the
// session file stayed locked) with `message`, after which start-up may call again.
[[nodiscard]] int joinRegistry(const RegistryRequest& req, RegistryResult& out,
                               std::string& message);

// Leaves the session: clears its slot, frees its number and closes the session file.
void ktLeaveSession();

// The request of the last successful join (STATUS), the default request before one.
const WsidRequest& ktLastRequest();

}  // namespace vxs
