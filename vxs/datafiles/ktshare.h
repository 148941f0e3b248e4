// Sharing of data files between processes: the share identity of this process, the lock area of
// a data or key file (open lock, update lock, record locks, share markers), the shared open and
// its release, and the reservations of RESERVE and RELEASE.  All of it goes through the handle
// table of file_os.h; the locks are one-byte (or range) locks far beyond the end of the file,
// which never grow it and go when their handle closes or their process dies.
//
// States of a handle here: plain (opened by the handle table only), shared (one share marker
// held, ktFileShareSet .. ktFileShareRelease), reserved (a class-0 marker held for RESERVE; the
// handle stays open across share releases until ktRelease).
// Invariants:
//  - a shared handle holds exactly one share marker, in region L of this process, and holds the
//    open lock only inside ktFileShareSet;
//  - a reservation's file is open exactly once in this process; its users are the share classes
//    of the opens that joined it, checked against each other in memory;
//  - a file is deleted as a placeholder only when it is exactly the 15 placeholder bytes and no
//    other open holds a share marker on it.
// Lock order: open lock (B - 2) before share markers; update lock (B - 3) before changes to a
// header or key file; record locks one at a time and never while the open lock is held.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vxs {

inline constexpr int KTS_NUMOFREGIONS = 100;
inline constexpr int KTS_NUMOFTYPES = 6;
inline constexpr int KTS_NOSHR = 0;
inline constexpr int64_t kShareRegionSize = 216000;  // per lock offset: 6 classes
inline constexpr int64_t kShareClassSize = 36000;    // per class: 1000 workstations x 36
inline constexpr int64_t kCompatibilityOffset = 0x3FFDA800;
inline constexpr int64_t kCompatibilityLength = 0x23800;
inline constexpr int kOpenLockSeconds = 15;  // open and update locks

// The 15 bytes of a reservation placeholder: "RESERVE", a line feed, a byte 1, six zero bytes.
inline constexpr unsigned char kPlaceholder[15] = {'R', 'E', 'S', 'E', 'R', 'V', 'E', '\n',
                                                   1,   0,   0,   0,   0,   0,   0};

// Who this process is in the lock area: lock offset L (0..99) of its installation, workstation
// W (0..999) and session S (1..9), set by start-up once the registry has assigned them.  Until
// then L 0, W 0, S 1 (workstation 0 is never assigned by the registry, so its markers are
// nobody else's).  4513 for a value out of range (nothing changes).
struct ShareIdentity {
    int lockOffset = 0;
    int wsid = 0;
    int session = 1;
};
[[nodiscard]] int setShareIdentity(int lockOffset, int wsid, int session);
const ShareIdentity& shareIdentity();

// ---- the lock area, under the current locking mode (file_os.h) ----
int64_t ktOpenLockOffset();    // B - 2
int64_t ktUpdateLockOffset();  // B - 3
// B - 4 - n, or in mode 4 recordBase + n; -1 when n is negative or out of the area.
int64_t ktRecordLockOffset(int64_t record);
// Marker byte k (0..3) of class c for workstation W, session S in region r.
int64_t ktMarkerOffset(int region, int shareClass, int wsid, int session, int k);
// Whether a new open of class `requested` conflicts with an existing one of class `existing`
// (classes 0..4; rows 0 = 11111, 1 = 10101, 2 = 10111, 3 = 00001, 4 = 00111, bit c).
bool ktClassesConflict(int existing, int requested);
// 4224 when a data file of `size` bytes is too large for the locking mode (modes 1 to 3).
[[nodiscard]] int ktCheckFileSize(int64_t size);

// ---- shared open and release ----
// Opens `path` (access and creation as osOpen) and sets a share marker of class 0..4: 4224 too
// large for the mode, 4146 the open lock not had within 15 s, 4149 a lock in the compatibility
// region, 4175 a marker under another lock offset, 4148 a conflicting class, 4147 four opens of
// the class by this session already; 4152 for a reservation placeholder opened without a
// creation (deleted when nobody holds a marker on it).  REPLACE, truncate and work-file opens
// empty the file only once the marker is set, so a refused open never touches the data.  On any
// failure the file is closed again.  A file reserved by this process joins the reservation and
// gives its handle.
[[nodiscard]] int ktFileShareSet(const std::string& path, int access, int creation,
                                 int shareClass, int& handle);
// Drops the share marker and closes the handle.  On a reserved handle it only takes one user of
// `shareClass` (any one for -1) off the reservation; the file stays open.
int ktFileShareRelease(int handle, int shareClass = -1);

// ---- record and update locks ----
// The primitives of the record layer.  The caller (the ufcb's lock step) keeps the held list of
// each ufcb, does nothing for a record already in it, and with OPTION 14 (duplicate locks)
// enters a record held by another ufcb of the same data file as held without calling here: a
// second lock of the same record through one handle fails with 61 at once.
// Locks record n waiting up to `waitSeconds`, trying every 10 ms: 61 when it cannot.
[[nodiscard]] int ktLockRecord(int handle, int64_t record, int waitSeconds, int callerId);
[[nodiscard]] int ktUnlockRecord(int handle, int64_t record);
// The update lock (B - 3), waited for 15 s: 4146 when it cannot be had.
[[nodiscard]] int ktUpdateLock(int handle, int callerId);
[[nodiscard]] int ktUpdateUnlock(int handle);
// The update lock taken shared, by a reader of a key file that other copies change: readers
// exclude writers, not each other, for the few node reads of one search or step (a node read
// while another copy writes it could be half old, half new).  Waited for 15 s: 4146.
[[nodiscard]] int ktUpdateLockShared(int handle, int callerId);

// ---- RESERVE and RELEASE ----
// Reserves `path` (at most 511 characters, else 4129): opens it with a class-0 marker, creating
// it with the placeholder bytes when it does not exist.  Reserving a file already reserved is 0.
[[nodiscard]] int ktReserve(const std::string& path);
// Ends the reservation: 4148 while a user remains; a placeholder this reservation made is
// deleted (only while it is still exactly the placeholder).  A path not reserved is 0.
[[nodiscard]] int ktRelease(const std::string& path);
// Whether `path` is reserved by this process (0 none, 1 reserved, 2 reserved placeholder).
int ktReservationState(const std::string& path);
// Ends every reservation, users or not (end of a program).
void ktReleaseAllReservations();

// ---- who uses a file (STATUS) ----
// One workstation's opens of a file under one share class, found in this installation's region
// of the lock area: `sessions` lists the session digits (1..9) that hold a marker.
struct FileUser {
    int shareClass = 0;
    int wsid = 0;
    std::string sessions;
};
// Tests the lock area of the file at `path` (every copy's locks, this process's own included):
// the users in class order, then workstation order, and, when there are users, the records
// whose locks are held, in record order, at most `maxRecords` of them (none when they could not
// be tested).  4152 when the file does not exist.
[[nodiscard]] int ktFileUsers(const std::string& path, std::vector<FileUser>& users,
                              std::vector<int64_t>& lockedRecords, size_t maxRecords);
// The path of the last file that an open found in use by others (4148, 4175) or whose record
// lock could not be had (61); empty when none.  STATUS LOCKS reports on it.
const std::string& ktLockedPath();
// The files this process has reserved: (path, state 1 reserved or 2 placeholder).
std::vector<std::pair<std::string, int>> ktReservations();

// Releases every lock region this process holds: every reservation and every shared handle
// (shut-down).
void ktReleaseLockRegions();

}  // namespace vxs
