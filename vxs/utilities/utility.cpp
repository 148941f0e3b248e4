// What the INDEX and SORT utilities share (see utility.h).
#include "vxs/utilities/utility.h"

#include <algorithm>
#include <cctype>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/indexes/btree.h"
#include "vxs/indexes/isam.h"
#include "vxs/platform/os.h"

namespace vxs {

size_t utilitySortMemory() {
    constexpr size_t kMb = size_t{1} << 20;
    size_t bytes = static_cast<size_t>(std::clamp(configLimits().maxSortMemoryMb, 1, 512)) * kMb;
    const uint64_t free = platform::availableMemory();
    if (free > 0 && free < bytes) bytes = std::max<size_t>(static_cast<size_t>(free), kMb);
    return bytes;
}

size_t UtilityHost::memory() const {
    return sortMemory ? sortMemory : utilitySortMemory();
}

// ---- files ----
int UtilityFile::close(int option) {
    Ufcb* v = u;
    u = nullptr;
    return v ? closeFile(fileBlocks(), v, option) : 0;
}

int openUtilityInput(int number, const std::string& name, int share, UtilityFile& f) {
    OpenBlock b;
    b.number = number;
    b.name = name;
    b.type = kFileInternal;
    b.mode = kModeInput;
    b.access = kAccessSequential;
    b.share = share;
    if (int err = openFileBlock(fileBlocks(), b, f.u)) return err;
    return f.u->uftype == kFileInternal && f.u->uffcb ? 0 : kErrWrongFileType;
}

// ---- the work file ----
namespace {

class WorkFile final : public KeyIo {
  public:
    explicit WorkFile(std::string path) : path_(std::move(path)) {}
    ~WorkFile() override {
        if (handle_ <= 0) return;  // never made
        (void)osClose(handle_);
        (void)osDelete(path_);
    }
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;
    int open() { return osOpen(path_, kOsReadWrite, kOsWorkFile, handle_); }
    int read(int64_t offset, uint8_t* buf, size_t count, size_t& got) override {
        got = 0;
        int64_t at = 0;
        if (int err = osSeek(handle_, offset, kOsFromStart, at)) return err;
        while (got < count) {
            size_t n = 0;
            if (int err = osRead(handle_, buf + got, count - got, n)) return err;
            if (n == 0) break;
            got += n;
        }
        return 0;
    }
    int write(int64_t offset, const uint8_t* data, size_t count) override {
        int64_t at = 0;
        if (int err = osSeek(handle_, offset, kOsFromStart, at)) return err;
        return osWrite(handle_, data, count);
    }
    int size(int64_t& bytes) override { return osSeek(handle_, 0, kOsFromEnd, bytes); }

  private:
    std::string path_;
    int handle_ = 0;
};

}  // namespace

ExternalSort::WorkOpener utilityWorkOpener(std::string path) {
    return [path = std::move(path)](std::unique_ptr<KeyIo>& io) {
        auto file = std::make_unique<WorkFile>(path);
        if (int err = file->open()) return err;
        io = std::move(file);
        return 0;
    };
}

std::string utilityTemporaryPath(const std::string& path) {
    return path + ".~" + std::to_string(platform::processId());
}

// ---- loading key files ----
KeyFileLoader::KeyFileLoader(Fcb& keyFile) : file_(keyFile) {
    if (keyFile.type == kFileBtreeKeys)
        tree_ = static_cast<BtreeIndex*>(keyFile.index.get());
    else
        isam_ = std::make_unique<IsamLoader>(*keyFile.keyIo, keyFile.index->keyLength(),
                                             keyFile.headerLength, keyFile.swapped);
}

KeyFileLoader::~KeyFileLoader() = default;

int KeyFileLoader::add(const uint8_t* key, uint32_t record) {
    bool duplicate = false;
    return tree_ ? tree_->load(key, record) : isam_->add(key, record, duplicate);
}

int KeyFileLoader::finish() {
    if (tree_) return tree_->finishLoad();
    uint32_t records = 0;
    const int err = isam_->finish(records);
    // Every record written is in the sorted part.
    file_.version = static_cast<int32_t>(records);
    file_.records = records;
    return err;
}

int utilityWorkPath(const std::string& directory, const std::string& name, std::string& path) {
    if (directory.empty()) {
        path = workPath() + name;
        return 0;
    }
    std::string dir;
    if (int err = mapFileName(directory, dir)) return err;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    path = dir + name;
    return 0;
}

// ---- listings ----
namespace {
bool isPrinterName(const std::string& name) {
    std::string upper(name.substr(0, 4));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == "PRN:";
}
}  // namespace

UtilityListing::~UtilityListing() {
    if (handle_ > 0) (void)osClose(handle_);
}

int UtilityListing::line(std::string_view text) {
    if (name_.empty()) {
        if (host_) host_->line(text);
        return 0;
    }
    if (job_) return job_->write(text, "\r\n");
    if (handle_ == 0) {
        std::string path;
        bool append = append_;
        if (isPrinterName(name_)) {
            // A bare "PRN:" is the default printer, as a listing names it.
            const std::string named = name_.ends_with(':') ? name_ + "/10" : name_;
            std::string device;
            if (int err = mapFileName(named, device)) return err;
            PrintJobRequest r;
            r.name = device;
            if (int err = openPrintJob(r, job_)) return err;
            return job_->write(text, "\r\n");
        } else if (int err = mapFileName(name_, path)) {
            return err;
        }
        if (int err = osOpen(path, kOsReadWrite, append ? kOsUse : kOsReplace, handle_)) {
            handle_ = 0;
            return err;
        }
        int64_t end = 0;
        if (int err = osSeek(handle_, 0, kOsFromEnd, end)) return err;
        // A listing appended to ends where the last one's Ctrl-Z was.
        if (append && end > 0) {
            uint8_t last = 0;
            size_t got = 0;
            int64_t at = 0;
            if (osSeek(handle_, end - 1, kOsFromStart, at) == 0 &&
                osRead(handle_, &last, 1, got) == 0 && got == 1 && last == 26)
                --end;
            if (int err = osSeek(handle_, end, kOsFromStart, at)) return err;
        }
    }
    pending_.assign(text);
    pending_ += "\r\n";
    return osWrite(handle_, pending_.data(), pending_.size());
}

int UtilityListing::close() {
    if (job_) {
        std::string message;
        const int err = finishPrintJob(*job_, message);
        job_.reset();
        return err;
    }
    if (handle_ <= 0) return 0;
    int64_t at = 0;
    int err = osSeek(handle_, 0, kOsFromEnd, at);
    if (!err) {
        const char end = 26;
        err = osWrite(handle_, &end, 1);
    }
    if (int e = osClose(handle_); e && !err) err = e;
    handle_ = 0;
    return err;
}

std::string listedKey(const uint8_t* key, size_t length) {
    std::string text(reinterpret_cast<const char*>(key), length);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    return text;
}

}  // namespace vxs
