// The workstation registry: the shared file ktserver.dat, through which every running copy of
// the system obtains its workstation id (WSID 1..999), and the byte-range locks that tell which
// copies are alive.  Owns the open registry file, the chosen lock region and the held WSID lock.
//
// File ktserver.dat (65024 bytes, numbers little-endian; docs/registry.md):
//
//   OFFSET        SIZE       MEANING
//   0             4          version, int32: 2, 4, 5, 6 for locking modes 1, 2, 3, 4
//   4             20         blanks
//   24            1000       wsidUsed: byte n for WSID n, "X" (or "x") assigned, blank free
//   1024 + 64*n   64         user record of WSID n: login name, NUL-terminated
//                            (a new file: 63 blanks and a NUL)
//
// Lock positions on the registry file (P = 0x30000000, L = the lock region 0..99):
//
//   POSITION              LENGTH        MEANING
//   0                     1024          header lock: held while the header is read and written
//   P                     1             "in process": one copy at a time assigns or releases
//   P + 1 + 9000*L        9000          lock region L (holds every WSID/session byte below)
//   P + 9000*L + 9*w + s  1             held for its lifetime by the copy with WSID w, session s
//   0                     P + 900001    first-user test: header, "in process" and all regions
//
// States: not assigned (g_ktsFD -1, WSID -1) -> assigned (assignWSID: the file open, exactly one
// WSID/session byte held) -> released (ktReleaseWorkstation: everything back to -1).
// Invariants: while assigned the descriptor holds exactly one lock, the WSID/session byte;
// "in process" and the header lock are held only inside assignWSID and the release, taken in that
// order and given back in the reverse order on every path.  Liveness is decided by the locks
// alone, never by the "X" marks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vxs/datafiles/ktshare.h"  // KTS_NUMOFREGIONS: the lock regions data files share

namespace vxs {

// ---- the stored layout ----
inline constexpr int kKtFileSize = 65024;
inline constexpr int kKtHeaderSize = 1024;
inline constexpr int kKtUsedOffset = 24;  // wsidUsed
inline constexpr int kKtRecordSize = 64;
inline constexpr int kKtIds = 1000;  // WSIDs 0..999 have a byte and a record
// The registry's locks are held only while a copy joins or leaves: waited for by trying every
// 10 ms, so that copies starting at once do not stand idle for a second each.
inline constexpr int kTriesPerSecond = 100;
inline constexpr int kKtMaxLogin = 63;
inline constexpr char kKtFileName[] = "ktserver.dat";

// ---- lock positions ----
inline constexpr int64_t kKtInProcess = 0x30000000;
inline constexpr int KT_MAX_SESSIONS = 9;
inline constexpr int64_t kKtRegionSize = 9000;
inline constexpr int64_t kKtFirstUserLength = kKtInProcess + 900001;
inline constexpr int64_t ktRegionStart(int region) {
    return kKtInProcess + 1 + kKtRegionSize * region;
}
inline constexpr int64_t ktSessionByte(int region, int wsid, int session) {
    return kKtInProcess + kKtRegionSize * region + 9 * int64_t{wsid} + session;
}

// ---- result codes of assignWSID (start-up treats negatives as fatal) ----
inline constexpr int kKtRefused = -1;          // previously assigned, in use, all tried, invalid id
inline constexpr int kKtLockFailed = -31;      // lock offset, header lock, write, inconsistency
inline constexpr int kKtBadFile = -32;         // unreadable header, wrong version or size
inline constexpr int kKtRecreateFailed = -33;  // the first user could not rebuild the file
inline constexpr int kKtOpenFailed = -34;      // the file could not be opened or reopened
// "in process" not obtained within the wait: kErrRegistryBusy (4179), positive like a count

// The version stored for a locking mode (1..4: 2, 4, 5, 6); 0 for another mode.
int ktVersionOfMode(int lockingMode);
// The bytes of a new registry file of that version: header of blanks with the version, then
// every user record 63 blanks and a NUL.
std::string ktNewFileImage(int version);

// Where the registry file is and which locking mode the installation uses (OPTION 33: 1..4).
// `directory` is an operating-system path ("" the current directory).  Returns 0, or 4513 for
// another mode.  Takes effect at the next assignWSID.
[[nodiscard]] int ktSetServerFile(const std::string& directory, int lockingMode);
// The path of the registry file in use.
std::string ktServerPath();
// What start-up reports when the registry file (or the directory it lives in) cannot be opened
// with error `err`: the path and what to check when it is not there, else the error number.
std::string ktOpenFailureMessage(int err);

// Assigns this process a WSID (start-up, once).  `requestedId` (<= 0 counts as 1; 1000 or more is
// refused before the file is touched), `session` 1..9, `maxUsers` the workstation limit (1..1000;
// another value means 1000), `waitSeconds` the wait for "in process", `increment` 0 for exactly
// the requested id, else the step to the next id to try.  With `newWorkstationOnly` the copy must
// be a workstation of its own: a requested id another session holds counts as in use.
// Returns 0 with `wsid` and `userCount` (live workstations, this one included) set; kKtRefused or
// another negative code with `message` set; kErrRegistryBusy (4179) with `message` set; or, when
// `maxUsers` workstations are alive and this copy would be a new one, that count (> 0), with
// `message` set and nothing changed.
[[nodiscard]] int assignWSID(std::string& message, int requestedId, int session, int maxUsers,
                             int waitSeconds, int& wsid, int& userCount, int increment,
                             bool newWorkstationOnly = false);

// Gives the WSID back (shut-down): the WSID/session byte is unlocked, its "X" mark cleared when
// no other session of the id is alive, and the file closed.  Does nothing when none is held.
void ktReleaseServer();

// Whether no other session of `wsid` than `session` holds its lock, i.e. this copy with that id
// would be a new workstation.  Needs the registry open (else true).
bool ktIsNewUser(int wsid, int session);

// The assigned WSID (-1 when none), the chosen lock region g_lockOffset (-1 when none), and the
// number of live workstations counted at assignment.
int ktAssignedWsid();
int ktLockOffset();
int ktUserCount();

// The user record of a WSID (0..999) of the open registry: the login name up to its NUL, trailing
// blanks removed.  0, kErrInvalidData for a bad id or a closed registry, or the read's error
// (kErrEndOfFile when the file is too short to hold the record).
[[nodiscard]] int ktReadUserRecord(int wsid, std::string& login);
// Writes a login name (at most 63 bytes, else kErrStringOverflow; no NUL inside) as the record
// of `wsid`: the name, a NUL, zeros to 64 bytes.
[[nodiscard]] int ktWriteUserRecord(int wsid, std::string_view login);

}  // namespace vxs
