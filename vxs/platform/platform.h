// The table of operating-system calls that the system makes for files, byte-range locks,
// directories and processes, and the one "current" table that every call goes through.  Linux
// implements it (posixPlatform); tests put a fault-injecting table (faults.h) in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vxs::platform {

// How a file is opened.  kAppend writes only, always at the end.
enum class Access : uint8_t { kRead, kReadWrite, kAppend };

// What an open does about an existing or missing file.  kTemporary is a random-access work
// file, created or emptied.  Only kOpenExisting goes with kRead.
enum class Create : uint8_t {
    kOpenExisting,      // the file must exist
    kCreateNew,         // the file must not exist; it is created
    kCreateAlways,      // created, or emptied when it exists
    kOpenOrCreate,      // opened, or created when missing
    kTruncateExisting,  // the file must exist; it is emptied
    kTemporary,
};

enum class Origin : uint8_t { kStart, kCurrent, kEnd };

// A shared lock conflicts only with exclusive ones; it needs read access, an exclusive lock
// needs write access.
enum class LockKind : uint8_t { kShared, kExclusive };

struct FileInfo {
    int64_t size = 0;
    int64_t modified = 0;  // seconds since 1970 (UTC)
    bool isDirectory = false;
    bool isRegular = false;  // an ordinary disk file: not a directory, device or pipe
    bool readOnly = false;   // the owner may not write it
    bool isLink = false;     // a directory listing's entry that is a symbolic link itself
    uint32_t permissions = 0;  // read, write, execute for owner, group, others (0777 bits)
    // The file's identity: equal for every name and open of one file, different once a name
    // has been made to point to another file (a rename over it).
    uint64_t device = 0, inode = 0;
};

struct DirEntry {
    std::string name;
    FileInfo info;
};

// The calls.  Each returns a value of 0 or more on success and the negated errno value on
// failure.  None retries on EINTR, checks more than the call itself needs, or sets the last
// error: the wrappers of fileio.h and os.h do that once for every implementation.
class Platform {
  public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform() = default;

    // ---- files ----
    // A descriptor, close-on-exec, never shared with another open (no dup).
    virtual int64_t open(const char* path, Access access, Create create) = 0;
    // Bytes moved, possibly fewer than asked; read gives 0 at the end of the file.  read and
    // write start at the descriptor's position and advance it; the *At forms leave it.
    virtual int64_t read(int fd, void* buf, size_t size) = 0;
    virtual int64_t write(int fd, const void* buf, size_t size) = 0;
    virtual int64_t readAt(int fd, void* buf, size_t size, int64_t offset) = 0;
    virtual int64_t writeAt(int fd, const void* buf, size_t size, int64_t offset) = 0;
    // The new position.
    virtual int64_t seek(int fd, int64_t distance, Origin origin) = 0;
    virtual int64_t truncate(int fd, int64_t size) = 0;
    // A read-only view of the file's first `size` bytes that shows what every writer of the
    // file writes, at `at` (0, or an error); unmapView ends it.  Only bytes the file holds may
    // be read through it.  The bytes are read in when the view is made.
    virtual int64_t mapView(int fd, size_t size, const void*& at) = 0;
    virtual int64_t unmapView(const void* at, size_t size) = 0;
    virtual int64_t sync(int fd) = 0;
    virtual int64_t stat(int fd, FileInfo& info) = 0;
    // The descriptor is gone afterwards whatever the result: never retry a close.
    virtual int64_t close(int fd) = 0;
    virtual int64_t remove(const char* path) = 0;
    virtual int64_t rename(const char* from, const char* to) = 0;
    virtual int64_t pathInfo(const char* path, FileInfo& info) = 0;
    virtual int64_t setReadOnly(const char* path, bool readOnly) = 0;
    virtual int64_t setModified(const char* path, int64_t seconds) = 0;
    // Bytes free for this process on the file system that holds `path`.
    virtual int64_t freeSpace(const char* path) = 0;

    // ---- byte-range locks of one open (open-file-description locks) ----
    // They conflict between two opens even in one process and go with the last close of the
    // open or the death of the process.  start >= 0 and length > 0 are the caller's to check:
    // a length of 0 would mean "to infinity".  lock waits for a conflicting lock to go when
    // `wait` is set; testLock gives 1 when another open holds a conflicting lock, else 0.
    virtual int64_t lock(int fd, int64_t start, int64_t length, LockKind kind, bool wait) = 0;
    virtual int64_t unlock(int fd, int64_t start, int64_t length) = 0;
    virtual int64_t testLock(int fd, int64_t start, int64_t length, LockKind kind) = 0;

    // ---- directories ----
    virtual int64_t makeDirectory(const char* path) = 0;
    virtual int64_t removeDirectory(const char* path) = 0;
    // Every entry but "." and "..", in no particular order.
    virtual int64_t listDirectory(const char* path, std::vector<DirEntry>& entries) = 0;
    virtual int64_t currentDirectory(std::string& path) = 0;
    virtual int64_t changeDirectory(const char* path) = 0;

    // ---- processes ----
    // Runs the command line through the shell and waits: its exit status, 128 + the signal
    // that ended it.
    virtual int64_t runShell(const char* commandLine) = 0;
    virtual int64_t processId() = 0;
    // 1 when a process with that id exists (ours or another user's), 0 when not.
    virtual int64_t processAlive(int pid) = 0;
    // What tells this start of the machine from the one before (the kernel's boot id): 0 with
    // it, or an error.
    virtual int64_t bootId(std::string& id) = 0;
};

// The Linux table.
Platform& posixPlatform();

// The table in use; the Linux one unless a test set another.
Platform& current();
// Puts `table` in use (null: the Linux table) and returns the one it replaces.
Platform* setCurrent(Platform* table);

// Puts a table in use for the lifetime of the guard (tests).
class ScopedPlatform final {
  public:
    explicit ScopedPlatform(Platform& table) : previous_(setCurrent(&table)) {}
    ~ScopedPlatform() { (void)setCurrent(previous_); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

  private:
    Platform* previous_;
};

}  // namespace vxs::platform
