// The page layer (see pager.h): kept pages, changes that reach the file as one, held-back pages
// written at checkpoints, and the block cache of data files held alone.
#include "vxs/storage/pager.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

// ---- memory ----
int MemoryKeyIo::read(int64_t offset, uint8_t* buf, size_t count, size_t& got) {
    got = 0;
    if (offset < 0) return kErrKeyFileDamaged;
    if (static_cast<uint64_t>(offset) >= bytes_.size()) return 0;
    got = std::min(count, bytes_.size() - static_cast<size_t>(offset));
    memcpy(buf, bytes_.data() + offset, got);
    return 0;
}

int MemoryKeyIo::write(int64_t offset, const uint8_t* data, size_t count) {
    if (offset < 0) return kErrKeyFileDamaged;
    const size_t end = static_cast<size_t>(offset) + count;
    if (end > bytes_.size()) bytes_.resize(end);
    memcpy(bytes_.data() + offset, data, count);
    return 0;
}

int MemoryKeyIo::truncate(int64_t bytes) {
    if (bytes < 0) return kErrBadPosition;
    bytes_.resize(static_cast<size_t>(bytes));
    return 0;
}

// ---- pages ----
Pager::Pager(KeyIo& io, int pageSize, int64_t base, uint32_t keep)
    : io_(io), size_(pageSize), base_(base), keep_(keep) {}

int Pager::refresh() {
    int64_t bytes = 0;
    if (int err = io_.size(bytes)) return err;
    const int64_t body = bytes - base_;
    if (body < 2 * int64_t{size_} || body % size_) {
        // Pages held back lie beyond what the file holds yet.
        if (!dirty_.empty() || changing_) return 0;
        return kErrKeyFileDamaged;
    }
    const uint32_t onFile = static_cast<uint32_t>(std::min<int64_t>(body / size_ - 1, UINT32_MAX));
    if (!dirty_.empty() || changing_) pages_ = std::max(pages_, onFile);
    else pages_ = onFile;
    if (dirty_.empty()) flushedPages_ = onFile;
    return 0;
}

const uint8_t* Pager::kept(uint32_t n) const {
    if (n < keep_) return n < cache_.size() ? cache_[n].get() : nullptr;
    auto it = far_.find(n);
    return it == far_.end() ? nullptr : it->second.bytes.get();
}

// The kept place of page n (made when `create`): null when it cannot be kept.
uint8_t* Pager::slot(uint32_t n, bool create) {
    const size_t size = static_cast<size_t>(size_);
    if (n < keep_) {
        if (cache_.size() <= n) {
            if (!create) return nullptr;
            cache_.resize(n + 1);
        }
        if (!cache_[n] && create) cache_[n].reset(new (std::nothrow) uint8_t[size]);
        return cache_[n].get();
    }
    auto it = far_.find(n);
    if (it != far_.end()) return it->second.bytes.get();
    if (!create) return nullptr;
    Page p;
    p.bytes.reset(new (std::nothrow) uint8_t[size]);
    if (!p.bytes) return nullptr;
    return far_.emplace(n, std::move(p)).first->second.bytes.get();
}

int Pager::readInto(uint32_t n, uint8_t* buf) {
    size_t got = 0;
    int err = io_.read(offsetOf(n), buf, static_cast<size_t>(size_), got);
    if (!err && got != static_cast<size_t>(size_)) err = kErrKeyFileDamaged;
    return err;
}

int Pager::read(uint32_t n, const uint8_t*& bytes, bool& fresh) {
    fresh = false;
    if (n < 1 || n > pages_) return kErrKeyFileDamaged;
    if (const uint8_t* p = kept(n)) {
        bytes = p;
        return 0;
    }
    uint8_t* buf = n < keep_ ? slot(n, true) : nullptr;
    if (n < keep_ && !buf) return kErrNoMemory;
    if (!buf) {
        scratch_.resize(static_cast<size_t>(size_));
        buf = scratch_.data();
    }
    if (int err = readInto(n, buf)) {
        discard(n);
        return err;
    }
    fresh = true;
    bytes = buf;
    return 0;
}

void Pager::discard(uint32_t n) {
    if (changing_ && std::find(changed_.begin(), changed_.end(), n) != changed_.end()) return;
    if (n < isDirty_.size() && isDirty_[n]) return;
    if (farDirty_.count(n)) return;
    if (n < keep_) {
        if (n < cache_.size()) cache_[n].reset();
    } else {
        far_.erase(n);
    }
}

int Pager::write(uint32_t n, const uint8_t* bytes) {
    const size_t size = static_cast<size_t>(size_);
    if (n < 1 || n > pages_ + 1) return kErrKeyFileDamaged;
    const bool append = n == pages_ + 1;
    if (changing_) {
        if (std::find(changed_.begin(), changed_.end(), n) == changed_.end()) {
            // The first write of a page the file holds keeps what it overwrites.
            if (n <= pagesBefore_) {
                std::vector<uint8_t> old(size);
                if (const uint8_t* p = kept(n)) {
                    memcpy(old.data(), p, size);
                } else if (int err = readInto(n, old.data())) {
                    return err;
                }
                before_.emplace(n, std::move(old));
            }
            changed_.push_back(n);
        }
        uint8_t* p = slot(n, true);
        if (!p) return kErrNoMemory;
        memcpy(p, bytes, size);
        if (append) ++pages_;
        return 0;
    }
    if (writeBack_) {
        uint8_t* p = slot(n, true);
        if (!p) return kErrNoMemory;
        memcpy(p, bytes, size);
        const bool known = n < keep_ ? (n < isDirty_.size() && isDirty_[n]) : farDirty_.count(n) > 0;
        if (!known) {
            if (n < keep_) {
                if (isDirty_.size() <= n) isDirty_.resize(n + 1, 0);
                isDirty_[n] = 1;
            } else {
                farDirty_[n] = true;
            }
            dirty_.push_back(n);
        }
        if (append) ++pages_;
        return 0;
    }
    if (int err = io_.write(offsetOf(n), bytes, size)) {
        discard(n);  // read again from the file
        if (append) (void)io_.truncate(offsetOf(n));  // no part of a page stays behind
        return err;
    }
    if (uint8_t* p = n < keep_ ? slot(n, true) : nullptr) memcpy(p, bytes, size);
    else far_.erase(n);
    if (append) ++pages_;
    return 0;
}

void Pager::forget() {
    if (!changing_ && dirty_.empty()) {
        cache_.clear();
        far_.clear();
        return;
    }
    for (uint32_t n = 0; n < cache_.size(); ++n) discard(n);
    std::vector<uint32_t> far;
    for (const auto& [n, p] : far_) far.push_back(n);
    for (uint32_t n : far) discard(n);
}

// ---- changes ----
void Pager::begin() {
    changing_ = true;
    pagesBefore_ = pages_;
    changed_.clear();
    before_.clear();
}

void Pager::beforeImages(std::vector<PageImage>& out, int64_t& oldSize) const {
    out.clear();
    oldSize = offsetOf(pagesBefore_ + 1);
    std::vector<uint32_t> pages;
    for (const auto& [n, b] : before_) pages.push_back(n);
    std::sort(pages.begin(), pages.end());
    for (uint32_t n : pages) out.push_back(PageImage{offsetOf(n), before_.at(n)});
}

// The kept copies of the change's pages go back to what the file held.
void Pager::restoreCache() {
    for (uint32_t n : changed_) {
        auto b = before_.find(n);
        if (b != before_.end()) {
            if (uint8_t* p = slot(n, false)) memcpy(p, b->second.data(), b->second.size());
        } else if (n < keep_) {
            if (n < cache_.size()) cache_[n].reset();
        } else {
            far_.erase(n);
        }
    }
}

int Pager::commitAppends() {
    std::vector<uint32_t> grown;
    for (uint32_t n : changed_)
        if (n > pagesBefore_) grown.push_back(n);
    std::sort(grown.begin(), grown.end());
    // Consecutive pages go out in one write.
    std::vector<uint8_t> run;
    for (size_t i = 0; i < grown.size();) {
        size_t j = i;
        run.clear();
        while (j < grown.size() && grown[j] == grown[i] + (j - i)) {
            const uint8_t* p = kept(grown[j]);
            if (!p) return kErrNoMemory;
            run.insert(run.end(), p, p + size_);
            ++j;
        }
        if (int err = io_.write(offsetOf(grown[i]), run.data(), run.size())) {
            (void)io_.truncate(offsetOf(pagesBefore_ + 1));
            return err;
        }
        i = j;
    }
    return 0;
}

int Pager::commitOverwrites(bool& restored) {
    restored = true;
    std::vector<uint32_t> inside;
    for (uint32_t n : changed_)
        if (n <= pagesBefore_) inside.push_back(n);
    std::sort(inside.begin(), inside.end());
    int err = 0;
    size_t done = 0;
    for (; done < inside.size(); ++done) {
        const uint8_t* p = kept(inside[done]);
        if (!p) {
            err = kErrNoMemory;
            break;
        }
        if ((err = io_.write(offsetOf(inside[done]), p, static_cast<size_t>(size_)))) break;
    }
    if (err) {
        // What was written goes back, and the pages that grew the file go.
        for (size_t i = 0; i <= done && i < inside.size(); ++i) {
            const std::vector<uint8_t>& b = before_.at(inside[i]);
            if (io_.write(offsetOf(inside[i]), b.data(), b.size())) restored = false;
        }
        if (io_.truncate(offsetOf(pagesBefore_ + 1))) restored = false;
        restoreCache();
        pages_ = pagesBefore_;
    }
    changing_ = false;
    changed_.clear();
    before_.clear();
    return err;
}

void Pager::abandon() {
    if (!changing_) return;
    restoreCache();
    pages_ = pagesBefore_;
    changing_ = false;
    changed_.clear();
    before_.clear();
}

// ---- write-back ----
int Pager::writeRuns(const std::vector<uint32_t>& pages) {
    const size_t size = static_cast<size_t>(size_);
    std::vector<uint8_t> run;
    for (size_t i = 0; i < pages.size();) {
        size_t j = i;
        run.clear();
        while (j < pages.size() && pages[j] == pages[i] + (j - i) && run.size() < (1u << 20)) {
            const uint8_t* p = kept(pages[j]);
            if (!p) return kErrNoMemory;
            run.insert(run.end(), p, p + size);
            ++j;
        }
        if (int err = io_.write(offsetOf(pages[i]), run.data(), run.size())) return err;
        i = j;
    }
    return 0;
}

int Pager::flush(CheckpointLog* log) {
    if (dirty_.empty()) return 0;
    std::sort(dirty_.begin(), dirty_.end());  // in file order: the file grows without gaps
    const size_t size = static_cast<size_t>(size_);
    const int64_t newSize = offsetOf(pages_ + 1);
    // The pages that grow the file overwrite nothing: they go first, and a checkpoint cut short
    // before its journal entry is whole leaves them past the size the file is cut back to.
    // Only the pages inside the file need their new contents in the journal first.
    std::vector<uint32_t> grown, inside;
    for (uint32_t n : dirty_) (n > flushedPages_ ? grown : inside).push_back(n);
    if (int err = writeRuns(grown)) {
        (void)io_.truncate(offsetOf(flushedPages_ + 1));
        return err;
    }
    if (log) {
        if (!grown.empty())
            if (int err = io_.barrier()) return err;
        std::vector<PageImage> after;
        after.reserve(inside.size());
        for (uint32_t n : inside) {
            const uint8_t* p = kept(n);
            if (!p) return kErrNoMemory;
            after.push_back(PageImage{offsetOf(n), std::vector<uint8_t>(p, p + size)});
        }
        if (int err = log->checkpointing(newSize, after)) return err;
    }
    if (int err = writeRuns(inside)) return err;
    for (uint32_t n : dirty_) {
        if (n < keep_) {
            isDirty_[n] = 0;
        } else {
            farDirty_.erase(n);
            far_.erase(n);
        }
    }
    dirty_.clear();
    flushedPages_ = pages_;
    return log ? log->checkpointed(newSize) : 0;
}

// ---- data blocks ----
int BlockCache::read(KeyIo& io, int64_t offset, uint8_t* buf, size_t count, size_t& got) {
    constexpr int64_t kBlock = kBlockBytes;
    got = 0;
    while (got < count) {
        const int64_t at = offset + static_cast<int64_t>(got);
        const int64_t index = at / kBlock;
        const size_t in = static_cast<size_t>(at % kBlock);
        auto it = blocks_.find(index);
        if (it == blocks_.end()) {
            if (blocks_.size() >= kMaxBlocks) blocks_.clear();
            Block b;
            b.bytes.reset(new (std::nothrow) uint8_t[kBlock]);
            if (!b.bytes) {  // no room: straight from the file
                size_t more = 0;
                const int err = io.read(at, buf + got, count - got, more);
                got += more;
                return err;
            }
            if (int err = io.read(index * kBlock, b.bytes.get(), kBlock, b.valid)) return err;
            it = blocks_.emplace(index, std::move(b)).first;
        }
        const Block& b = it->second;
        if (in >= b.valid) break;  // the end of the file
        const size_t take = std::min(count - got, b.valid - in);
        memcpy(buf + got, b.bytes.get() + in, take);
        got += take;
        if (b.valid < static_cast<size_t>(kBlock)) break;
    }
    return 0;
}

void BlockCache::wrote(int64_t offset, const uint8_t* data, size_t count) {
    if (count == 0) return;
    // The blocks the bytes fall in take them too; one the bytes would leave a gap in goes.
    constexpr int64_t kBlock = kBlockBytes;
    const int64_t end = offset + static_cast<int64_t>(count);
    for (int64_t index = offset / kBlock; index <= (end - 1) / kBlock; ++index) {
        auto it = blocks_.find(index);
        if (it == blocks_.end()) continue;
        Block& b = it->second;
        const int64_t start = index * kBlock;
        const size_t from = static_cast<size_t>(std::max(offset, start) - start);
        const size_t to = static_cast<size_t>(std::min(end, start + kBlock) - start);
        if (from > b.valid) {
            blocks_.erase(it);
            continue;
        }
        memcpy(b.bytes.get() + from, data + (std::max(offset, start) - offset), to - from);
        b.valid = std::max(b.valid, to);
    }
}

}  // namespace vxs
