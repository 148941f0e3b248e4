// A platform table for tests that passes every call to another table but can fail chosen ones:
// the Nth call of a kind with a chosen errno (EINTR, ENOSPC, EIO, ...), and short reads and
// writes.  Put it in use with ScopedPlatform (platform.h).
#pragma once

#include <array>
#include <map>
#include <string>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vxs/platform/platform.h"

namespace vxs::platform {

// The kinds of call, one per entry of the table.
enum class Call : uint8_t {
    kOpen,
    kRead,
    kWrite,
    kReadAt,
    kWriteAt,
    kSeek,
    kTruncate,
    kSync,
    kStat,
    kClose,
    kRemove,
    kRename,
    kPathInfo,
    kSetReadOnly,
    kSetModified,
    kFreeSpace,
    kLock,
    kUnlock,
    kTestLock,
    kMakeDirectory,
    kRemoveDirectory,
    kListDirectory,
    kCurrentDirectory,
    kChangeDirectory,
    kRunShell,
    kProcessId,
    kProcessAlive,
    kCount
};

class FaultPlatform final : public Platform {
  public:
    // Passes calls to `inner`, which must outlive this table.
    explicit FaultPlatform(Platform& inner) : inner_(inner) {}

    // The nth call of `call` from now (1: the next one) and the `times - 1` after it fail with
    // errno `error` without reaching the wrapped table.  Several faults may be armed at once.
    void failNth(Call call, int n, int error, int times = 1);
    // Every call of `call` from now on fails with `error`.
    void failAlways(Call call, int error);
    // Plain and positioned reads and writes move at most `bytes` each (0: no limit).
    void limitTransfers(size_t bytes) { limit_ = bytes; }
    // Calls of the kind made so far, failed ones included.
    int calls(Call call) const { return counts_[static_cast<size_t>(call)]; }
    // Calls of the kind failed so far.
    int failures(Call call) const { return failed_[static_cast<size_t>(call)]; }
    // Forgets every fault and limit and sets the counts back to 0.
    void reset();

    // ---- crashes ----
    // The process ends (_exit(status)) as the nth write from now is about to be made (write,
    // writeAt or truncate), as a kill at that moment would leave its files.  `page` (a power
    // of two): a write that crosses a multiple of `page` in the file is made up to the first
    // one, as a kill while the system copies a write page by page can leave it.
    void exitAtWrite(int n, int status, int64_t page = 0);
    // Writes made so far (write, writeAt, truncate).
    int writes() const { return writes_; }
    // What a power loss at the armed write leaves of the writes not yet flushed (sync): none,
    // all, each whole write or not at random, or each 512-byte piece of each write or not at
    // random.  Files made, and renames, since their directory was last flushed are forgotten
    // too (the file goes, the rename is undone).  From the call on, the writes of every file
    // opened are remembered until it is flushed.
    enum class PowerLoss : uint8_t { kOff, kKeepNone, kKeepAll, kKeepSome, kTorn };
    void simulatePowerLoss(PowerLoss mode, uint32_t seed);
    // What bootId answers (a machine started again); empty: the wrapped table's.
    void setBootId(std::string id) { bootId_ = std::move(id); }

    int64_t open(const char* path, Access access, Create create) override;
    int64_t read(int fd, void* buf, size_t size) override;
    int64_t write(int fd, const void* buf, size_t size) override;
    int64_t readAt(int fd, void* buf, size_t size, int64_t offset) override;
    int64_t writeAt(int fd, const void* buf, size_t size, int64_t offset) override;
    int64_t seek(int fd, int64_t distance, Origin origin) override;
    int64_t truncate(int fd, int64_t size) override;
    int64_t sync(int fd) override;
    int64_t stat(int fd, FileInfo& info) override;
    int64_t close(int fd) override;
    int64_t remove(const char* path) override;
    int64_t rename(const char* from, const char* to) override;
    int64_t pathInfo(const char* path, FileInfo& info) override;
    int64_t setReadOnly(const char* path, bool readOnly) override;
    int64_t setModified(const char* path, int64_t seconds) override;
    int64_t freeSpace(const char* path) override;
    int64_t lock(int fd, int64_t start, int64_t length, LockKind kind, bool wait) override;
    int64_t unlock(int fd, int64_t start, int64_t length) override;
    int64_t testLock(int fd, int64_t start, int64_t length, LockKind kind) override;
    int64_t makeDirectory(const char* path) override;
    int64_t removeDirectory(const char* path) override;
    int64_t listDirectory(const char* path, std::vector<DirEntry>& entries) override;
    int64_t currentDirectory(std::string& path) override;
    int64_t changeDirectory(const char* path) override;
    int64_t runShell(const char* commandLine) override;
    int64_t processId() override;
    int64_t processAlive(int pid) override;
    int64_t bootId(std::string& id) override;
    int64_t mapView(int fd, size_t size, const void*& at) override;
    int64_t unmapView(const void* at, size_t size) override;

  private:
    struct Fault {
        Call call;
        int first, last;  // call numbers (counted from 1) that fail
        int error;
    };
    // Counts a call of the kind; the negated errno when it is to fail, else 0.
    int64_t enter(Call call);
    size_t limited(size_t size) const { return limit_ && size > limit_ ? limit_ : size; }

    // A file whose unflushed writes a power loss may lose: its contents when it was last
    // flushed, and the writes (or truncations: `data` empty, `truncate` set) since.
    struct Pending {
        int64_t offset = 0;
        std::vector<uint8_t> data;
        bool truncate = false;
    };
    struct Tracked {
        std::vector<uint8_t> durable;
        std::vector<Pending> pending;
        bool made = false;  // created since its directory was flushed
    };
    // Counts a write about to be made (offset -1: at the file's position; no data: a
    // truncation) and ends the process at the armed one.
    void countWrite(int fd, const void* buf, size_t size, int64_t offset);
    void crash();
    void track(int64_t fd, const char* path, bool made);
    Tracked* trackedOf(int fd);

    Platform& inner_;
    std::vector<Fault> faults_;
    int writes_ = 0;
    int exitAt_ = 0, exitStatus_ = 0;
    int64_t tearPage_ = 0;
    PowerLoss loss_ = PowerLoss::kOff;
    uint32_t seed_ = 0;
    std::string bootId_;
    std::map<std::string, Tracked> tracked_;   // by path
    std::map<int, std::string> pathOf_;        // descriptors of tracked files
    std::vector<std::pair<std::string, std::string>> renames_;  // not yet flushed: from, to
    std::array<int, static_cast<size_t>(Call::kCount)> counts_{};
    std::array<int, static_cast<size_t>(Call::kCount)> failed_{};
    size_t limit_ = 0;
};

}  // namespace vxs::platform
