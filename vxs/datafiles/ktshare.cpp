// Share markers, record and update locks and reservations in the lock area of data files (see
// ktshare.h for the states, invariants and lock order).
#include "vxs/datafiles/ktshare.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {

// Caller ids of the locks taken here (kept with a failed lock for STATUS).
enum : int { kCallerOpenLock = 5301, kCallerMarker = 5302 };

ShareIdentity g_identity;

struct Shared {
    bool inUse = false;
    int shareClass = 0;
    int64_t marker = 0;
};

struct Reservation {
    std::string path;  // empty: the entry is free
    int state = 0;     // 1 reserved, 2 reserved placeholder
    std::vector<int> users;  // share classes of the opens that joined it
};

std::array<Shared, kOsHandles> g_shared;
std::array<Reservation, kOsHandles> g_reservations;  // indexed by handle

int failWith(int err) {
    platform::setLastError(static_cast<uint32_t>(err) | platform::kAppErrorBit);
    return err;
}

bool sameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The handle of a reservation of `path`, or -1.
int findReservation(const std::string& path) {
    for (int h = kFirstOsHandle; h < kOsHandles; ++h)
        if (!g_reservations[static_cast<size_t>(h)].path.empty() &&
            sameNoCase(g_reservations[static_cast<size_t>(h)].path, path))
            return h;
    return -1;
}

int64_t regionStart(int region) {
    return lockingMode().base + int64_t{region} * kShareRegionSize;
}

// Whether another open holds a lock on a byte of the range.
int held(int handle, int64_t offset, int64_t length, bool& isHeld) {
    return osFiles().test(handle, offset, length, isHeld);
}

// Tests the class areas of region L that a new open of `shareClass` conflicts with: 4148 when
// one of them holds a marker.
int testClasses(int handle, int shareClass) {
    const int64_t region = regionStart(g_identity.lockOffset);
    bool isHeld = false;
    if (shareClass == KTS_NOSHR) {
        if (int err = held(handle, region, kShareRegionSize, isHeld)) return err;
        return isHeld ? failWith(kErrSharing) : 0;
    }
    for (int e = 0; e < 5; ++e) {
        if (!ktClassesConflict(e, shareClass)) continue;
        if (int err = held(handle, region + e * kShareClassSize, kShareClassSize, isHeld))
            return err;
        if (isHeld) return failWith(kErrSharing);
    }
    return 0;
}

// Tests the compatibility region and the share regions of the other lock offsets.
int testForeign(int handle) {
    const LockingMode& m = lockingMode();
    bool isHeld = false;
    if (int err = held(handle, m.high + kCompatibilityOffset, kCompatibilityLength, isHeld))
        return err;
    if (isHeld) return failWith(kErrCompatibilityLock);
    const int L = g_identity.lockOffset;
    if (L > 0) {
        if (int err = held(handle, m.base, int64_t{L} * kShareRegionSize, isHeld)) return err;
        if (isHeld) return failWith(kErrOtherLockOffset);
    }
    if (L + 1 < KTS_NUMOFREGIONS) {
        if (int err = held(handle, regionStart(L + 1),
                           int64_t{KTS_NUMOFREGIONS - L - 1} * kShareRegionSize, isHeld))
            return err;
        if (isHeld) return failWith(kErrOtherLockOffset);
    }
    return 0;
}

// Whether the open file is exactly the 15 placeholder bytes.  Leaves the position at 0.
int isPlaceholder(int handle, bool& placeholder) {
    placeholder = false;
    int64_t size = 0;
    if (int err = osFiles().size(handle, size)) return err;
    if (size != static_cast<int64_t>(sizeof kPlaceholder)) return 0;
    unsigned char bytes[sizeof kPlaceholder];
    size_t got = 0;
    int64_t pos = 0;
    if (int err = osFiles().seek(handle, 0, kOsFromStart, pos)) return err;
    if (int err = osFiles().read(handle, bytes, sizeof bytes, got)) return err;
    if (int err = osFiles().seek(handle, 0, kOsFromStart, pos)) return err;
    placeholder = got == sizeof bytes && std::memcmp(bytes, kPlaceholder, sizeof bytes) == 0;
    return 0;
}

// A new open joins this process's reservation of the file instead of opening it again.
int joinReservation(int handle, int creation, int shareClass) {
    Reservation& r = g_reservations[static_cast<size_t>(handle)];
    for (int e : r.users)
        if (ktClassesConflict(e, shareClass)) return failWith(kErrSharing);
    const bool creates = creation == kOsNew || creation == kOsReplace || creation == kOsUse ||
                         creation == kOsWorkFile;
    bool empty = creation == kOsReplace || creation == kOsTruncate || creation == kOsWorkFile;
    if (r.state == 2) {
        // The placeholder is no file yet: missing without a creation, replaced with one.
        if (!creates) return failWith(kErrFileNotFound);
        empty = true;
    } else if (creation == kOsNew) {
        return failWith(kErrFileExists);
    }
    if (empty) {
        if (int err = osTruncate(handle)) return err;
        // Whatever is written now is data: RELEASE must not delete it.
        r.state = 1;
    }
    r.users.push_back(shareClass);
    return 0;
}

// Steps 2 to 6 of a shared open on the open handle `h`.  `newOnExisting`: NEW found the file,
// which is only allowed when it is a placeholder.  On failure the caller closes `h`.
int shareSteps(int h, int creation, int shareClass, bool newOnExisting) {
    const LockingMode& m = lockingMode();
    int64_t size = 0;
    if (int err = osFiles().size(h, size)) return err;
    if (int err = ktCheckFileSize(size)) return err;

    // The open lock is held only while a marker is checked and set: tried every 10 ms, so that
    // copies opening one file at once do not stand idle for a second each.
    int err = osFiles().lock(h, ktOpenLockOffset(), 1, kOpenLockSeconds, 100, kCallerOpenLock);
    if (err == kErrRecordLocked || err == kErrLockOverlap) return failWith(kErrOpenLockTimeout);
    if (err) return err;
    if ((err = testForeign(h)) != 0) return err;
    if ((err = testClasses(h, shareClass)) != 0) return err;

    bool placeholder = false;
    if ((err = isPlaceholder(h, placeholder)) != 0) return err;
    const bool creates = creation == kOsNew || creation == kOsReplace || creation == kOsUse ||
                         creation == kOsWorkFile;
    if (newOnExisting && !placeholder) return failWith(kErrFileExists);
    bool empty = creation == kOsReplace || creation == kOsTruncate || creation == kOsWorkFile;
    if (placeholder && !creates) {
        // A placeholder left behind counts as missing; it goes unless some open, here or
        // elsewhere, still holds a share marker on it (a live reservation).
        bool markers = false;
        if ((err = held(h, m.base, KTS_NUMOFREGIONS * kShareRegionSize, markers)) != 0)
            return err;
        if (!markers) (void)osDelete(osFiles().entry(h)->path);
        return failWith(kErrFileNotFound);
    }
    if (placeholder) empty = true;

    // The marker: the first free of this session's four bytes for the class.
    const int64_t first = ktMarkerOffset(g_identity.lockOffset, shareClass, g_identity.wsid,
                                         g_identity.session, 0);
    int64_t marker = -1;
    for (int k = 0; k < 4 && marker < 0; ++k) {
        // Tested first: shared locks (read-only opens) do not refuse one another.
        bool taken = false;
        if ((err = held(h, first + k, 1, taken)) != 0) return err;
        if (taken) continue;
        err = osFiles().lock(h, first + k, 1, 0, 1, kCallerMarker);
        if (err == 0) marker = first + k;
        else if (err != kErrRecordLocked) return err;
    }
    if (marker < 0) return failWith(kErrTooManyOpens);
    // A read-only open can hold only shared locks, so two of them may pass the open lock
    // together; testing again once the marker is set catches an open that slipped past.
    if (!osFiles().entry(h)->writable && (err = testClasses(h, shareClass)) != 0) return err;
    if (empty && (err = osTruncate(h)) != 0) return err;
    if ((err = osUnlock(h, ktOpenLockOffset(), 1)) != 0) return err;

    Shared& s = g_shared[static_cast<size_t>(h)];
    s.inUse = true;
    s.shareClass = shareClass;
    s.marker = marker;
    return 0;
}

}  // namespace

int setShareIdentity(int lockOffset, int wsid, int session) {
    if (lockOffset < 0 || lockOffset >= KTS_NUMOFREGIONS || wsid < 0 || wsid > 999 ||
        session < 1 || session > 9)
        return kErrInvalidData;
    g_identity = {lockOffset, wsid, session};
    return 0;
}

const ShareIdentity& shareIdentity() { return g_identity; }

int64_t ktOpenLockOffset() { return lockingMode().base - 2; }
int64_t ktUpdateLockOffset() { return lockingMode().base - 3; }

int64_t ktRecordLockOffset(int64_t record) {
    const LockingMode& m = lockingMode();
    if (record < 0) return -1;
    if (m.mode == 4) return record < INT64_MAX - m.recordBase ? m.recordBase + record : -1;
    // Below the update lock, down to offset 0 of the file.
    return record <= m.base - 4 - m.high ? m.base - 4 - record : -1;
}

int64_t ktMarkerOffset(int region, int shareClass, int wsid, int session, int k) {
    return regionStart(region) + shareClass * kShareClassSize + int64_t{wsid} * 36 +
           (session - 1) * 4 + k;
}

bool ktClassesConflict(int existing, int requested) {
    static constexpr unsigned kRows[5] = {0b11111, 0b10101, 0b10111, 0b00001, 0b00111};
    if (existing < 0 || existing > 4 || requested < 0 || requested > 4) return true;
    return (kRows[existing] >> requested) & 1u;
}

int ktCheckFileSize(int64_t size) {
    const LockingMode& m = lockingMode();
    return m.sizeLimit != 0 && size >= m.sizeLimit ? failWith(kErrFileTooLarge) : 0;
}

namespace {
std::string g_lockedPath;  // the last file found in use (4148, 4175) or with a record locked (61)
int noteLocked(const std::string& path, int err) {
    if (err == kErrSharing || err == kErrRecordLocked || err == kErrOtherLockOffset) g_lockedPath = path;
    return err;
}
int shareSet(const std::string& path, int access, int creation, int shareClass, int& handle);
}  // namespace

const std::string& ktLockedPath() {
    return g_lockedPath;
}

int ktFileShareSet(const std::string& path, int access, int creation, int shareClass,
                   int& handle) {
    return noteLocked(path, shareSet(path, access, creation, shareClass, handle));
}

namespace {
int shareSet(const std::string& path, int access, int creation, int shareClass, int& handle) {
    handle = -1;
    if (access < kOsRead || access > kOsReadWrite2) return failWith(kErrBadAccess);
    if (creation < kOsOpenExisting || creation > kOsWorkFile) return failWith(kErrBadCreation);
    // Only an existing file can be read without writing it.
    if (access == kOsRead && creation != kOsOpenExisting) return failWith(kErrInvalidData);
    if (shareClass < 0 || shareClass > 4) return failWith(kErrInvalidData);

    // A success leaves the last error as it was, whatever failed on the way (a taken marker
    // byte, NEW finding a placeholder).
    const uint32_t saved = platform::lastError();
    if (const int reserved = findReservation(path); reserved >= 0) {
        if (int err = joinReservation(reserved, creation, shareClass)) return err;
        handle = reserved;
        platform::setLastError(saved);
        return 0;
    }

    // Nothing is emptied before the share checks: REPLACE, truncate and work files open (or
    // create) the file as it is and cut it once the marker is set.
    int openCreation = kOsOpenExisting;
    if (creation == kOsNew) openCreation = kOsNew;
    else if (creation == kOsReplace || creation == kOsUse || creation == kOsWorkFile)
        openCreation = kOsUse;
    int h = -1;
    bool newOnExisting = false;
    int err = osOpen(path, access, openCreation, h);
    if (err == kErrFileExists && creation == kOsNew) {
        newOnExisting = true;
        err = osOpen(path, access, kOsOpenExisting, h);
    }
    if (err) return err;
    if ((err = shareSteps(h, creation, shareClass, newOnExisting)) != 0) {
        const uint32_t last = platform::lastError();
        (void)osClose(h);  // drops the open lock and a marker set before the failure
        platform::setLastError(last);
        return err;
    }
    handle = h;
    platform::setLastError(saved);
    return 0;
}
}  // namespace

int ktFileShareRelease(int handle, int shareClass) {
    if (handle >= kFirstOsHandle && handle < kOsHandles) {
        Reservation& r = g_reservations[static_cast<size_t>(handle)];
        if (!r.path.empty()) {
            for (auto it = r.users.end(); it != r.users.begin();) {
                --it;
                if (shareClass < 0 || *it == shareClass) {
                    r.users.erase(it);
                    break;
                }
            }
            return 0;
        }
        Shared& s = g_shared[static_cast<size_t>(handle)];
        if (s.inUse) {
            (void)osUnlock(handle, s.marker, 1);
            s = Shared{};
        }
    }
    return osClose(handle);
}

int ktLockRecord(int handle, int64_t record, int waitSeconds, int callerId) {
    const int64_t offset = ktRecordLockOffset(record);
    if (offset < 0) return failWith(kErrInvalidData);
    // Tried every 10 ms for the WAIT seconds: a record is held only from a READ to its REWRITE,
    // and a copy that waited a whole second between tries would stand idle long after it was
    // free (updates of one file by several copies fell to a few per second).
    int err = osLock(handle, offset, 1, waitSeconds, 100, callerId);
    // Held through this handle already (another file number of this process): locked too.
    if (err == kErrLockOverlap) err = failWith(kErrRecordLocked);
    if (err == kErrRecordLocked)
        if (const OsFile* f = osFiles().entry(handle)) g_lockedPath = f->path;
    return err;
}

int ktUnlockRecord(int handle, int64_t record) {
    const int64_t offset = ktRecordLockOffset(record);
    if (offset < 0) return failWith(kErrInvalidData);
    return osUnlock(handle, offset, 1);
}

int ktUpdateLock(int handle, int callerId) {
    // Held only while a header or an append is written: tried every 10 ms, so that copies
    // appending to one file take turns quickly.
    const int err = osLock(handle, ktUpdateLockOffset(), 1, kOpenLockSeconds, 100, callerId);
    return err == kErrRecordLocked || err == kErrLockOverlap ? failWith(kErrOpenLockTimeout) : err;
}

int ktUpdateUnlock(int handle) { return osUnlock(handle, ktUpdateLockOffset(), 1); }

int ktUpdateLockShared(int handle, int callerId) {
    const int err = osFiles().lock(handle, ktUpdateLockOffset(), 1, kOpenLockSeconds, 100, callerId, true);
    return err == kErrRecordLocked || err == kErrLockOverlap ? failWith(kErrOpenLockTimeout) : err;
}

int ktReserve(const std::string& path) {
    if (path.size() > 511) return failWith(kErrNameTooLong);
    if (path.empty()) return failWith(kErrBadName);
    if (findReservation(path) >= 0) return 0;
    const uint32_t saved = platform::lastError();
    int h = -1;
    int state = 1;
    int err = ktFileShareSet(path, kOsReadWrite, kOsOpenExisting, KTS_NOSHR, h);
    if (err == kErrFileNotFound) {
        err = ktFileShareSet(path, kOsReadWrite, kOsNew, KTS_NOSHR, h);
        if (err) return err;
        state = 2;
        if ((err = osWrite(h, kPlaceholder, sizeof kPlaceholder)) != 0) {
            // Our own new file: it goes again, while the marker still keeps others out.
            const uint32_t last = platform::lastError();
            (void)osDelete(path);
            (void)ktFileShareRelease(h);
            platform::setLastError(last);
            return err;
        }
    }
    if (err) return err;
    Reservation& r = g_reservations[static_cast<size_t>(h)];
    r.path = path;
    r.state = state;
    r.users.clear();
    platform::setLastError(saved);
    return 0;
}

int ktRelease(const std::string& path) {
    const int h = findReservation(path);
    if (h < 0) return 0;
    Reservation& r = g_reservations[static_cast<size_t>(h)];
    if (!r.users.empty()) return failWith(kErrSharing);
    const int state = r.state;
    r = Reservation{};
    // Deleted while the marker still keeps other opens out, and only while nobody has written
    // data into it.
    bool placeholder = false;
    if (state == 2 && isPlaceholder(h, placeholder) == 0 && placeholder) {
        if (const OsFile* f = osFiles().entry(h)) (void)osDelete(f->path);
    }
    return ktFileShareRelease(h);
}

int ktReservationState(const std::string& path) {
    const int h = findReservation(path);
    return h < 0 ? 0 : g_reservations[static_cast<size_t>(h)].state;
}

void ktReleaseAllReservations() {
    for (int h = kFirstOsHandle; h < kOsHandles; ++h) {
        Reservation& r = g_reservations[static_cast<size_t>(h)];
        if (r.path.empty()) continue;
        r.users.clear();
        const std::string path = r.path;
        (void)ktRelease(path);
    }
}

namespace {
// Adds the users among workstations [first, first + count) of class c whose markers lie in the
// tested range, halving the range while it holds a marker (a free range costs one test).
int findUsers(int handle, int c, int first, int count, std::vector<FileUser>& users) {
    const int region = shareIdentity().lockOffset;
    const int64_t start = ktMarkerOffset(region, c, first, 1, 0);
    bool held = false;
    if (int err = osFiles().test(handle, start, int64_t{count} * 36, held)) return err;
    if (!held) return 0;
    if (count > 1) {
        const int half = count / 2;
        if (int err = findUsers(handle, c, first, half, users)) return err;
        return findUsers(handle, c, first + half, count - half, users);
    }
    FileUser user;
    user.shareClass = c;
    user.wsid = first;
    for (int s = 1; s <= 9; ++s) {
        if (int err = osFiles().test(handle, ktMarkerOffset(region, c, first, s, 0), 4, held))
            return err;
        if (held) user.sessions += static_cast<char>('0' + s);
    }
    users.push_back(std::move(user));
    return 0;
}

// Adds the records whose lock bytes in [from, from + count) another open holds, halving the
// range while it holds one.
int findLockedBytes(int handle, int64_t from, int64_t count, std::vector<int64_t>& offsets,
                    size_t max) {
    if (offsets.size() >= max) return 0;
    bool held = false;
    if (int err = osFiles().test(handle, from, count, held)) return err;
    if (!held) return 0;
    if (count == 1) {
        offsets.push_back(from);
        return 0;
    }
    const int64_t half = count / 2;
    if (int err = findLockedBytes(handle, from, half, offsets, max)) return err;
    return findLockedBytes(handle, from + half, count - half, offsets, max);
}

// The records whose lock bytes another open holds: B - 4 - n down to offset 0 of the file, or
// recordBase + n in mode 4.
int findLockedRecords(int handle, std::vector<int64_t>& records, size_t max) {
    const LockingMode& m = lockingMode();
    const int64_t from = m.mode == 4 ? m.recordBase : m.high;
    const int64_t count = m.mode == 4 ? int64_t{1} << 40 : m.base - 3 - m.high;
    std::vector<int64_t> offsets;
    const int err = findLockedBytes(handle, from, count, offsets, max);
    for (int64_t at : offsets) records.push_back(m.mode == 4 ? at - m.recordBase : m.base - 4 - at);
    std::sort(records.begin(), records.end());
    return err;
}
}  // namespace

int ktFileUsers(const std::string& path, std::vector<FileUser>& users,
                std::vector<int64_t>& lockedRecords, size_t maxRecords) {
    users.clear();
    lockedRecords.clear();
    int handle = 0;
    if (int err = osOpen(path, kOsRead, kOsOpenExisting, handle)) return err;
    int err = 0;
    for (int c = 0; c < KTS_NUMOFTYPES - 1 && !err; ++c) err = findUsers(handle, c, 0, 1000, users);
    if (!err && !users.empty() && findLockedRecords(handle, lockedRecords, maxRecords))
        lockedRecords.clear();
    (void)osClose(handle);
    return err;
}

std::vector<std::pair<std::string, int>> ktReservations() {
    std::vector<std::pair<std::string, int>> out;
    for (const Reservation& r : g_reservations)
        if (!r.path.empty()) out.emplace_back(r.path, r.state);
    return out;
}

void ktReleaseLockRegions() {
    ktReleaseAllReservations();
    for (int h = kFirstOsHandle; h < kOsHandles; ++h)
        if (g_shared[static_cast<size_t>(h)].inUse) (void)ktFileShareRelease(h);
}

}  // namespace vxs
