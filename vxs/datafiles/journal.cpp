// The journal's stored format and the journal files of this copy (see journal.h).
#include "vxs/datafiles/journal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/keyjournal.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/files.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {

constexpr char kMagic[8] = {'V', 'X', 'J', 'R', 'N', 'L', '\r', '\n'};
constexpr uint16_t kFormatVersion = 1;
constexpr size_t kEntryFixed = 20;  // length, kind, zeros, sequence, checksum
constexpr size_t kMaxPath = 4096;
constexpr size_t kBootBytes = 36;  // header bytes 24..59

// ---- little-endian fields ----
void put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v);
    s += static_cast<char>(v >> 8);
}
void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
}
void put64(std::string& s, uint64_t v) {
    for (int i = 0; i < 8; ++i) s += static_cast<char>(v >> (8 * i));
}
void putAt32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint64_t get64(const uint8_t* p) { return uint64_t{get32(p)} | uint64_t{get32(p + 4)} << 32; }

void putFile(std::string& s, const JournalFile& f) {
    put64(s, f.device);
    put64(s, f.inode);
    const size_t n = std::min(f.path.size(), kMaxPath);
    put16(s, static_cast<uint16_t>(n));
    s.append(f.path, 0, n);
}

void putImages(std::string& s, const std::vector<PageImage>& images) {
    for (const PageImage& i : images) {
        put64(s, static_cast<uint64_t>(i.offset));
        put32(s, static_cast<uint32_t>(i.bytes.size()));
        s.append(reinterpret_cast<const char*>(i.bytes.data()), i.bytes.size());
    }
}

// Reads the fields of a body in order; every read past the end makes the body bad.
class Reader {
  public:
    Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool ok() const { return ok_; }
    bool done() const { return at_ == n_; }
    uint8_t u8() { return take(1) ? p_[at_ - 1] : 0; }
    uint16_t u16() { return take(2) ? get16(p_ + at_ - 2) : 0; }
    uint32_t u32() { return take(4) ? get32(p_ + at_ - 4) : 0; }
    uint64_t u64() { return take(8) ? get64(p_ + at_ - 8) : 0; }
    void bytes(std::vector<uint8_t>& out, size_t n) {
        if (!take(n)) return;
        out.assign(p_ + at_ - n, p_ + at_);
    }
    void file(JournalFile& f) {
        f.device = u64();
        f.inode = u64();
        const uint16_t n = u16();
        if (n > kMaxPath || !take(n)) {
            ok_ = false;
            return;
        }
        f.path.assign(reinterpret_cast<const char*>(p_ + at_ - n), n);
    }
    void images(std::vector<PageImage>& out, uint32_t count) {
        // Each image takes 12 bytes at least: a count beyond what is left is damage, not a
        // reason to reserve room.
        if (count > (n_ - at_) / 12) {
            ok_ = false;
            return;
        }
        out.resize(count);
        for (PageImage& i : out) {
            i.offset = static_cast<int64_t>(u64());
            const uint32_t len = u32();
            if (i.offset < 0) ok_ = false;
            bytes(i.bytes, len);
            if (!ok_) return;
        }
    }

  private:
    bool take(size_t n) {
        if (!ok_ || n > n_ - at_) {
            ok_ = false;
            return false;
        }
        at_ += n;
        return true;
    }
    const uint8_t* p_;
    size_t n_;
    size_t at_ = 0;
    bool ok_ = true;
};

bool decodeBody(JournalKind kind, const uint8_t* body, size_t size, JournalEntry& e) {
    Reader r(body, size);
    e.kind = kind;
    switch (kind) {
        case JournalKind::kStatement: {
            e.flags = r.u8();
            (void)r.u8();
            (void)r.u16();
            e.record = r.u32();
            e.slotOffset = r.u64();
            const uint32_t slot = r.u32();
            const uint16_t keys = r.u16();
            (void)r.u16();
            r.file(e.data);
            if (!r.ok() || keys > 64) return false;
            e.keys.resize(keys);
            for (JournalFile& k : e.keys) r.file(k);
            if (e.flags & kStatementBefore) r.bytes(e.before, slot);
            if (e.flags & kStatementAfter) r.bytes(e.after, slot);
            if (e.flags & ~(kStatementShared | kStatementBefore | kStatementAfter |
                            kStatementExternal | kStatementLinked))
                return false;
            break;
        }
        case JournalKind::kKeyChange: {
            e.marker = r.u32();
            const uint32_t count = r.u32();
            e.size = r.u64();
            e.keys.resize(1);
            r.file(e.keys[0]);
            r.images(e.images, count);
            break;
        }
        case JournalKind::kCheckpoint:
        case JournalKind::kFlush: {
            e.dataRecords = r.u32();
            const uint32_t count = r.u32();
            e.size = r.u64();
            e.slotLength = r.u32();
            e.dataType = r.u8();
            (void)r.u8();
            (void)r.u16();
            e.keys.resize(1);
            r.file(e.keys[0]);
            r.file(e.data);
            if (kind == JournalKind::kFlush) r.images(e.images, count);
            else if (count != 0) return false;
            break;
        }
        default: return false;
    }
    return r.ok() && r.done();
}

}  // namespace

uint32_t crc32c(uint32_t crc, const uint8_t* data, size_t size) {
    static uint32_t table[256];
    static bool made = false;
    if (!made) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0x82F63B78u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        made = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// ---- the stored format ----
std::string encodeJournalHeader(const JournalHeader& hd) {
    std::string h(kMagic, sizeof kMagic);
    put16(h, kFormatVersion);
    put16(h, static_cast<uint16_t>(hd.wsid));
    h += static_cast<char>(hd.session);
    h.append(3, '\0');
    put64(h, static_cast<uint64_t>(hd.processId));
    h.append(hd.boot, 0, std::min<size_t>(hd.boot.size(), kBootBytes));
    h.resize(kJournalHeaderBytes - 4, '\0');
    put32(h, crc32c(0, reinterpret_cast<const uint8_t*>(h.data()), h.size()));
    return h;
}

int decodeJournalHeader(const uint8_t* bytes, size_t size, JournalHeader& h) {
    if (size < kJournalHeaderBytes || memcmp(bytes, kMagic, sizeof kMagic) != 0 ||
        get16(bytes + 8) != kFormatVersion ||
        get32(bytes + kJournalHeaderBytes - 4) != crc32c(0, bytes, kJournalHeaderBytes - 4))
        return kErrNotProgramFile;
    h.wsid = get16(bytes + 10);
    h.session = bytes[12];
    h.processId = static_cast<int64_t>(get64(bytes + 16));
    const char* boot = reinterpret_cast<const char*>(bytes + 24);
    h.boot.assign(boot, strnlen(boot, kBootBytes));
    return 0;
}

std::string encodeJournalEntry(const JournalEntry& e) {
    std::string s;
    put32(s, 0);  // the length, set below
    s += static_cast<char>(e.kind);
    s.append(3, '\0');
    put64(s, e.sequence);
    switch (e.kind) {
        case JournalKind::kStatement: {
            uint8_t flags = e.flags & (kStatementShared | kStatementExternal | kStatementLinked);
            if (!e.before.empty()) flags |= kStatementBefore;
            if (!e.after.empty()) flags |= kStatementAfter;
            s += static_cast<char>(flags);
            s.append(3, '\0');
            put32(s, e.record);
            put64(s, e.slotOffset);
            put32(s, static_cast<uint32_t>(std::max(e.before.size(), e.after.size())));
            put16(s, static_cast<uint16_t>(e.keys.size()));
            put16(s, 0);
            putFile(s, e.data);
            for (const JournalFile& k : e.keys) putFile(s, k);
            s.append(reinterpret_cast<const char*>(e.before.data()), e.before.size());
            s.append(reinterpret_cast<const char*>(e.after.data()), e.after.size());
            break;
        }
        case JournalKind::kKeyChange:
            put32(s, e.marker);
            put32(s, static_cast<uint32_t>(e.images.size()));
            put64(s, e.size);
            putFile(s, e.keys.empty() ? JournalFile{} : e.keys[0]);
            putImages(s, e.images);
            break;
        case JournalKind::kCheckpoint:
        case JournalKind::kFlush:
            put32(s, e.dataRecords);
            put32(s, e.kind == JournalKind::kFlush ? static_cast<uint32_t>(e.images.size()) : 0);
            put64(s, e.size);
            put32(s, e.slotLength);
            s += static_cast<char>(e.dataType);
            s.append(3, '\0');
            putFile(s, e.keys.empty() ? JournalFile{} : e.keys[0]);
            putFile(s, e.data);
            if (e.kind == JournalKind::kFlush) putImages(s, e.images);
            break;
    }
    putAt32(s, 0, static_cast<uint32_t>(s.size() + 4));
    put32(s, crc32c(0, reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    return s;
}

int decodeJournal(const uint8_t* bytes, size_t size, std::vector<JournalEntry>& out,
                  JournalHeader* header) {
    out.clear();
    JournalHeader h;
    if (int err = decodeJournalHeader(bytes, size, h)) return err;
    if (header) *header = h;
    size_t at = kJournalHeaderBytes;
    uint64_t expected = 0;
    while (size - at >= kEntryFixed) {
        const uint8_t* p = bytes + at;
        const uint32_t length = get32(p);
        if (length < kEntryFixed || length > kJournalMaxEntry || length > size - at) break;
        if (p[5] || p[6] || p[7]) break;
        if (get32(p + length - 4) != crc32c(0, p, length - 4)) break;
        JournalEntry e;
        e.sequence = get64(p + 8);
        if (!out.empty() && e.sequence != expected) break;
        if (!decodeBody(static_cast<JournalKind>(p[4]), p + 16, length - kEntryFixed, e)) break;
        expected = e.sequence + 1;
        out.push_back(std::move(e));
        at += length;
    }
    return 0;
}

// ---- the journals of this copy ----
namespace {

std::map<std::string, std::unique_ptr<Journal>>& journals() {
    static std::map<std::string, std::unique_ptr<Journal>> all;
    return all;
}

// Takes the journal's lock byte without waiting: false when another open holds it.
bool takeLock(int fd) {
    return platform::lockRange(fd, kJournalLockByte, 1, platform::LockKind::kExclusive, false) == 0;
}

// The whole of a journal file.
int readJournal(int fd, std::vector<uint8_t>& bytes) {
    int64_t size = 0;
    if (int err = platform::fileSize(fd, size)) return err;
    if (size > int64_t{1} << 31) return kErrFileTooLarge;
    bytes.resize(static_cast<size_t>(size));
    size_t got = 0;
    if (int err = platform::readFullAt(fd, 0, bytes.data(), bytes.size(), got)) return err;
    bytes.resize(got);
    return 0;
}

// Removes a journal whose lock `fd` holds, when its name still names that file.
void removeJournal(int fd, const std::string& path) {
    platform::FileInfo mine, named;
    if (platform::fileInfo(fd, mine) == 0 && platform::pathInfo(path, named) == 0 &&
        mine.device == named.device && mine.inode == named.inode) {
        (void)platform::deleteFile(path);
        if (configLimits().syncWrites) (void)platform::syncDirectory(directoryOf(path));
    }
}

// Finishes a dead copy's journal open as `fd` (its lock held): 0 when it may go.
int recoverOpen(int fd, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (int err = readJournal(fd, bytes)) return err;
    std::vector<JournalEntry> entries;
    JournalHeader h;
    if (decodeJournal(bytes.data(), bytes.size(), entries, &h) != 0) return 0;  // not a journal
    if (entries.empty()) return 0;
    // Written before the machine last started: writes may have reached the disk torn.
    const bool restarted = h.boot != platform::bootIdentity();
    return recoverJournal(path, entries, restarted);
}

}  // namespace

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

Journal::~Journal() {
    if (handle_ > 0) platform::closeFile(handle_);
}

int Journal::of(const std::string& dir, Journal*& out) {
    auto& all = journals();
    if (auto it = all.find(dir); it != all.end()) {
        out = it->second.get();
        return 0;
    }
    const ShareIdentity& me = shareIdentity();
    char name[64];
    snprintf(name, sizeof name, "ktjrnl%03d%d.jnl", me.wsid, me.session);
    std::string path = dir + name;
    int fd = -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (int err = platform::openFile(path, platform::Access::kReadWrite,
                                         platform::Create::kOpenOrCreate, fd))
            return err;
        if (takeLock(fd)) {
            // A journal of this name that a copy left behind is finished before it is reused.
            int64_t size = 0;
            if (platform::fileSize(fd, size) == 0 && size > 0 && recoverOpen(fd, path) != 0) {
                platform::closeFile(fd);  // kept for a later recovery; this copy takes another
                fd = -1;
            } else {
                break;
            }
        } else {
            platform::closeFile(fd);
            fd = -1;
        }
        // The name is in use (a copy of the same workstation and session, in tests): one with
        // the process number.
        snprintf(name, sizeof name, "ktjrnl%03d%d-%d.jnl", me.wsid, me.session,
                 platform::processId());
        path = dir + name;
    }
    if (fd < 0) return kErrSharing;
    // Finishing a leftover journal may have made this copy's journal for the directory already.
    if (auto it = all.find(dir); it != all.end()) {
        removeJournal(fd, path);
        platform::closeFile(fd);
        out = it->second.get();
        return 0;
    }
    JournalHeader hd;
    hd.wsid = me.wsid;
    hd.session = me.session;
    hd.processId = platform::processId();
    hd.boot = platform::bootIdentity();
    const std::string header = encodeJournalHeader(hd);
    int err = platform::truncateFile(fd, 0);
    if (!err) err = platform::writeAllAt(fd, 0, header.data(), header.size());
    if (!err && configLimits().syncWrites) {
        err = platform::syncFile(fd);
        if (!err) err = platform::syncDirectory(dir);
    }
    if (err) {
        platform::closeFile(fd);
        (void)platform::deleteFile(path);
        return err;
    }
    std::unique_ptr<Journal> j(new (std::nothrow) Journal);
    if (!j) {
        platform::closeFile(fd);
        (void)platform::deleteFile(path);
        return kErrNoMemory;
    }
    j->path_ = path;
    j->handle_ = fd;
    out = j.get();
    all.emplace(dir, std::move(j));
    return 0;
}

int Journal::append(const std::string& entries) {
    if (entries.empty()) return 0;
    if (int err = platform::writeAllAt(handle_, at_, entries.data(), entries.size())) {
        (void)platform::truncateFile(handle_, at_);
        return err;
    }
    if (configLimits().syncWrites)
        if (int err = platform::syncFile(handle_)) return err;
    at_ += static_cast<int64_t>(entries.size());
    return 0;
}

int recoverDirectory(const std::string& dir, int& live) {
    live = 0;
    std::vector<platform::DirEntry> entries;
    if (platform::listDirectory(dir, "ktjrnl*.jnl", entries) != 0) return 0;
    int first = 0;
    for (const platform::DirEntry& e : entries) {
        const std::string path = dir + e.name;
        bool mine = false;
        for (const auto& [d, j] : journals()) mine = mine || j->path() == path;
        if (mine) continue;
        int fd = -1;
        if (platform::openFile(path, platform::Access::kReadWrite, platform::Create::kOpenExisting,
                               fd) != 0)
            continue;
        if (!takeLock(fd)) {
            ++live;
            platform::closeFile(fd);
            continue;
        }
        const int err = recoverOpen(fd, path);
        if (err == 0) removeJournal(fd, path);
        else if (!first) first = err;
        platform::closeFile(fd);
    }
    return first;
}

void finishJournalsAbout(const std::string& path) {
    const std::string dir = directoryOf(path);
    int live = 0;
    (void)recoverDirectory(dir, live);
    auto& all = journals();
    auto it = all.find(dir);
    if (it == all.end() || it->second->pending > 0) return;
    Journal& j = *it->second;
    if (platform::truncateFile(j.handle_, kJournalHeaderBytes) == 0) j.restart();
}

void closeJournal(const std::string& dir) {
    auto& all = journals();
    auto it = all.find(dir);
    if (it == all.end() || it->second->pending > 0) return;
    if (it->second->handle_ > 0) removeJournal(it->second->handle_, it->second->path());
    all.erase(it);
}

void closeJournals() {
    for (auto& [dir, j] : journals()) {
        if (j->pending > 0) continue;  // a held-back file could not be written: kept
        const std::string path = j->path();
        if (j->handle_ > 0) removeJournal(j->handle_, path);
    }
    journals().clear();
}

}  // namespace vxs
