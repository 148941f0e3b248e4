// The INDEX utility (see idxsort.h): one parameter set at a time, from the command tail or from
// procedure lines.  A build reads the data file in sequence, turns each record into a sort
// record (the key, then the record number in 4 bytes, most significant first, so that the bytes
// compare as the entries do), sorts them through the external merge sort and loads them in
// order into a new key file made under a temporary name, which replaces the target only when
// complete.  VERIFY checks the key file's structure and then compares it, entry for entry,
// with the keys of the data file sorted the same way.
#include "vxs/utilities/idxsort.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/journal.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/utilities/extsort.h"
#include "vxs/utilities/indexparams.h"
#include "vxs/indexes/keybuild.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/registry/ktuser.h"

namespace vxs {

namespace {

constexpr int kDataNumber = 201;
constexpr int kKeyNumber = 202;

// What the key file is (or will be): its parts, kind, format and order.
struct KeyFileShape {
    KeyLayout layout;
    int keyType = 7;  // 4 ISAM, 7 B-tree
    int btreeVersion = 0;
};

std::string listedEntry(const uint8_t* key, size_t length, uint32_t record) {
    char number[24];
    snprintf(number, sizeof number, "    %ld", static_cast<long>(record));
    return listedKey(key, length) + number;
}

// Key files left half-built beside `keyPath` by copies that died while building it (their
// names end in ".~" and the dead copy's process number) are removed.
void removeDeadBuilds(const std::string& keyPath) {
    const size_t slash = keyPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : keyPath.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? keyPath : keyPath.substr(slash + 1);
    std::vector<platform::DirEntry> entries;
    if (platform::listDirectory(dir, base + ".~*", entries) != 0) return;
    for (const platform::DirEntry& e : entries) {
        const std::string pid = e.name.substr(std::min(e.name.size(), base.size() + 2));
        if (e.name.compare(0, base.size() + 2, base + ".~") != 0 || pid.empty() ||
            pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 9)
            continue;
        if (!platform::processAlive(std::stoi(pid))) (void)osDelete(dir + "/" + e.name);
    }
}

bool sameParts(const KeyLayout& a, const KeyLayout& b) {
    if (a.parts != b.parts) return false;
    for (int i = 0; i < a.parts; ++i)
        if (a.keys[i].start != b.keys[i].start || a.keys[i].length != b.keys[i].length)
            return false;
    return true;
}

class IndexRun {
  public:
    IndexRun(const IndexParams& p, const UtilityHost& host) : p_(p), host_(host) {}
    int run();

  private:
    int findShape();
    int openExisting(int keyType, UtilityFile& key);
    int openData();
    int collect(ExternalSort& sort);
    int build();
    int verify();
    void finishJournals() const;
    int load(ExternalSort& sort, Fcb& keyFcb);
    int listLine(std::string_view text) {
        const int err = listing_.line(text);
        if (err && !listError_) listError_ = err;
        return err;
    }
    void show(std::string_view text) const {
        if (!p_.quiet) host_.show(text);
    }
    size_t recordSize() const { return static_cast<size_t>(shape_.layout.total()) + 4; }
    int sortWith(ExternalSort*& out);

    const IndexParams& p_;
    const UtilityHost& host_;
    KeyFileShape shape_;
    std::string keyPath_, workPath_;
    UtilityFile data_;
    UtilityListing listing_;
    std::unique_ptr<ExternalSort> sort_;
    uint64_t read_ = 0, loaded_ = 0, badKeys_ = 0, duplicates_ = 0;
    int badKeyError_ = 0;
    int listError_ = 0;
};

// The key file opened by itself for reading, as `keyType` (4 or 7).
int IndexRun::openExisting(int keyType, UtilityFile& key) {
    OpenBlock b;
    b.number = kKeyNumber;
    b.name = p_.keyName();
    b.keyType = keyType;
    b.mode = kModeInput;
    b.share = p_.share;
    return openFileBlock(fileBlocks(), b, key.u);
}

// The key parts, kind and order: as given, or the existing key file's.  REORG and VERIFY take
// the file's, which must agree with any parts given.
int IndexRun::findShape() {
    const bool given = p_.starts > 0;
    if (given) {
        shape_.layout.parts = p_.starts;
        for (int i = 0; i < p_.starts; ++i) shape_.layout.keys[i] = p_.keys[i];
    }
    shape_.layout.alternate = !p_.native && configLimits().collateAlternate;
    shape_.keyType = p_.keyType ? p_.keyType : defaultIndexType();
    shape_.btreeVersion = defaultBtreeType();
    if (given && !p_.reorg && !p_.verify) return 0;
    // The existing file: first as the kind asked for, then as the other.
    UtilityFile key;
    int err = openExisting(shape_.keyType, key);
    if (err == kErrWrongFileType) {
        shape_.keyType = shape_.keyType == 4 ? 7 : 4;
        err = openExisting(shape_.keyType, key);
    }
    // A damaged file that REORG is to rebuild from parts given is made anew from them.
    if (p_.reorg && given && (err == kErrKeyFileDamaged || err == kErrRecordLength)) return 0;
    if (err) return err;
    const Fcb& k = *key.u->uffcb;
    KeyLayout found;
    found.parts = k.keyParts;
    for (int i = 0; i < found.parts; ++i) found.keys[i] = k.keys[i];
    found.alternate = (k.headerFlags & kHeaderCollationMask) == kHeaderCollationAlternate;
    if (given && !sameParts(found, shape_.layout)) return kErrReorgKeyLength;
    shape_.layout = found;
    if (k.type == kFileBtreeKeys) shape_.btreeVersion = k.btreeVersion;
    return key.close();
}

// The data file as number 201, for input in sequence; its record length must hold the parts.
int IndexRun::openData() {
    if (int err = openUtilityInput(kDataNumber, p_.dataName(), p_.share, data_))
        return err == kErrWrongFileType ? kErrDataFileType : err;
    const int recl = data_.u->uffcb->recl;
    int total = 0;
    for (int i = 0; i < shape_.layout.parts; ++i) {
        const KeyPart& k = shape_.layout.keys[i];
        if (k.length < 1) return kErrKeyLength;
        if (k.start < 1 || k.start + k.length - 1 > recl) return kErrKeyBeyondRecord;
        total += k.length;
    }
    if (total > kMaxKeyLength || shape_.layout.parts < 1) return kErrKeyLength;
    return 0;
}

// The sorter over the sort memory, spilling to the work file.
int IndexRun::sortWith(ExternalSort*& out) {
    const size_t size = recordSize();
    sort_ = std::make_unique<ExternalSort>(size, host_.memory(),
                                           nullptr,  // keys and record numbers in byte order
                                           utilityWorkOpener(workPath_));
    out = sort_.get();
    return sort_->start();
}

// Step 8 and 9: every record of the data file into the sorter.
int IndexRun::collect(ExternalSort& sort) {
    Ufcb& u = *data_.u;
    const KeyLayout& l = shape_.layout;
    const size_t keyLength = static_cast<size_t>(l.total());
    std::vector<uint8_t> record(recordSize());
    RecordOptions o;
    o.lock = kLockRelease;
    for (;;) {
        int err = readRecord(u, ReadHow::kNext, 0, o);
        if (err == kErrEndOfRecords) return 0;
        if (err) return err;
        ++read_;
        err = buildKey(l, u.record.data(), u.recordLength, record.data());
        if (err == kErrKeyDate) {  // the key is built, its date part as it stands
            ++badKeys_;
            if (p_.listBadKeys) {
                if (int e = listLine(listedEntry(record.data(), keyLength, u.position))) return e;
            } else if (!p_.badKeys) {
                badKeyError_ = kErrBadKeys;
            }
        } else if (err) {
            return err;
        }
        putSortRecordNumber(record.data() + keyLength, u.position);
        if (int e = sort.add(record.data())) return e;
        if (read_ % 500 == 0) {
            if (read_ % 1000 == 0)
                show(" indexing ..");
            else if (read_ % 1500 == 0)
                show(" indexing ....");
            if (host_.interrupted()) {
                host_.show(" print GO to proceed");
                return kErrUtilityInterrupted;
            }
        }
    }
}

// Step 12: the sorted records into the key file, duplicates counted and listed.
int IndexRun::load(ExternalSort& sort, Fcb& keyFcb) {
    const size_t keyLength = static_cast<size_t>(shape_.layout.total());
    KeyFileLoader loader(keyFcb);
    std::vector<uint8_t> previous;
    uint32_t previousRecord = 0;
    bool listedRun = false;
    int err = sort.finish([&](const uint8_t* r) -> int {
        const uint32_t n = sortRecordNumber(r + keyLength);
        const bool duplicate = !previous.empty() && std::memcmp(previous.data(), r, keyLength) == 0;
        if (duplicate) {
            ++duplicates_;
            if (p_.listDupKeys) {
                if (!listedRun)
                    if (int e = listLine(listedEntry(previous.data(), keyLength, previousRecord)))
                        return e;
                if (int e = listLine(listedEntry(r, keyLength, n))) return e;
            }
            listedRun = true;
        } else {
            previous.assign(r, r + keyLength);
            listedRun = false;
        }
        previousRecord = n;
        if (int e = loader.add(r, n)) return e;
        ++loaded_;
        return 0;
    });
    if (int e = loader.finish(); e && !err) err = e;
    return err;
}

// The key file being replaced, held alone while its successor is built: no other copy may have
// it open (its changes would go to the file that is replaced), nor open it meanwhile.
class TargetHold {
  public:
    ~TargetHold() {
        if (handle_ > 0) (void)ktFileShareRelease(handle_);
    }
    int take(const std::string& path) {
        for (Fcb* f = fileBlocks().firstFcb(); f; f = f->next)
            if (f->path == path) return kErrSharing;  // open in this process
        if (!platform::fileExists(path.c_str())) return 0;
        const int err = ktFileShareSet(path, kOsRead, kOsOpenExisting, KTS_NOSHR, handle_);
        if (err) handle_ = 0;
        return err;
    }

  private:
    int handle_ = 0;
};

// Steps 5 to 15 of a build (create, REPLACE, -M, REORG).
int IndexRun::build() {
    // The data file as its writers left it (a dead copy's change finished), and no journal that
    // names the key file about to be replaced.
    finishJournals();
    if (int err = openData()) return err;
    const bool replace = p_.replace || p_.reorg || p_.tempFile;
    if (!replace && platform::fileExists(keyPath_.c_str())) return kErrFileExists;
    TargetHold hold;
    if (int err = hold.take(keyPath_)) return err;
    // The new key file beside the target, under a name of this process.
    removeDeadBuilds(keyPath_);
    const std::string temp = utilityTemporaryPath(keyPath_);
    UtilityFile key;
    OpenBlock b;
    b.number = kKeyNumber;
    b.name = temp;
    b.osPath = true;
    b.recl = data_.u->uffcb->recl;
    b.parts = shape_.layout.parts;
    for (int i = 0; i < b.parts; ++i) b.keys[i] = shape_.layout.keys[i];
    b.keyType = shape_.keyType;
    b.btreeVersion = shape_.btreeVersion;
    b.alternate = shape_.layout.alternate;
    b.mode = kModeOutput;
    b.create = p_.tempFile ? kCreateTemporary : kCreateReplace;
    if (int err = openFileBlock(fileBlocks(), b, key.u)) {
        (void)osDelete(temp);  // made, perhaps, before its header could be written
        return err;
    }
    auto discard = [&](int err) {
        (void)key.close();
        (void)osDelete(temp);
        return err;
    };
    show("Create Index File in progress");
    ExternalSort* sort = nullptr;
    int err = sortWith(sort);
    if (!err) err = collect(*sort);
    Fcb& k = *key.u->uffcb;
    if (!err) err = load(*sort, k);
    sort_.reset();  // the work file goes
    if (err) return discard(err);
    if (int e = key.close()) return discard(e);
    if (int e = osRename(temp, keyPath_, replace)) {
        (void)osDelete(temp);
        return e;
    }
    // With changes put on the disk, the new key file's name is too.
    if (configLimits().syncWrites)
        if (int e = platform::syncDirectory(directoryOf(keyPath_))) return e;
    if (read_ != loaded_) return kErrKeysMissing;
    if (badKeyError_) return badKeyError_;
    if (duplicates_ > 0 && !p_.dupKeys) return kErrDuplicateKeys;
    show("Create Index File successful.");
    return 0;
}

// What dead copies left half done in the data and key files is finished before they are read
// (VERIFY) or the key file is replaced (a build).
void IndexRun::finishJournals() const {
    std::string dataPath;
    if (mapFileName(std::string(p_.dataName()), dataPath) == 0) finishJournalsAbout(dataPath);
    finishJournalsAbout(keyPath_);
}

// VERIFY: the key file's structure, then its entries against the data file's keys.
int IndexRun::verify() {
    finishJournals();
    UtilityFile key;
    if (int err = openExisting(shape_.keyType, key)) return err;
    KeyIndex& index = *key.u->uffcb->index;
    if (int err = index.verify()) return err;
    if (int err = openData()) return err;
    ExternalSort* sort = nullptr;
    int err = sortWith(sort);
    if (!err) err = collect(*sort);
    if (err) return err;
    const size_t keyLength = static_cast<size_t>(shape_.layout.total());
    KeyCursor c;
    err = sort->finish([&](const uint8_t* r) -> int {
        KeyEntry e;
        const int step = index.step(c, true, e);
        if (step == kErrEndOfRecords) return kErrKeyFileDamaged;  // an entry is missing
        if (step) return step;
        if (std::memcmp(e.key, r, keyLength) != 0 || e.record != sortRecordNumber(r + keyLength))
            return kErrKeyFileDamaged;
        ++loaded_;
        return 0;
    });
    sort_.reset();
    if (err) return err;
    KeyEntry e;
    const int last = index.step(c, true, e);
    if (last == 0) return kErrKeyFileDamaged;  // an entry of no record
    if (last != kErrEndOfRecords) return last;
    show("Index File verify successful.");
    return 0;
}

int IndexRun::run() {
    if (int err = checkIndexParams(p_)) return err;
    if (p_.keyFile.empty()) return kErrNoParameters;
    if (int err = mapFileName(p_.keyName(), keyPath_)) return err;
    char name[32];
    snprintf(name, sizeof name, "INDEX%03d%02d.WRK", workstationId() % 1000, sessionDigit() % 100);
    if (int err = utilityWorkPath(p_.workDir, name, workPath_)) return err;
    listing_.target(p_.listing, p_.listingAppends, &host_);
    int err = findShape();
    if (!err) err = p_.verify ? verify() : build();
    if (int e = data_.close(); e && !err) err = e;
    if (int e = listing_.close(); e && !err) err = e;
    if (listError_ && !err) err = listError_;
    return err;
}

}  // namespace

int runIndexUtility(std::string_view tail, const UtilityHost& host) {
    IndexParams p;
    if (!tail.empty()) {
        if (int err = parseIndexCommand(tail, p)) return err;
        return IndexRun(p, host).run();
    }
    // Parameter sets from the procedure file, each ended by ENDLINK or CONT (or its end).
    std::string line;
    bool any = false;
    for (;;) {
        p = IndexParams{};
        int end = 0;
        bool lines = false;
        while (end == 0 && host.nextProcedureLine(line)) {
            lines = true;
            if (int err = parseIndexProcedureLine(line, p, end)) {
                if (err == kErrUnrecognized) host.line(line);
                return err;
            }
        }
        if (!lines) return any ? 0 : kErrNoParameters;
        any = true;
        if (int err = IndexRun(p, host).run()) return err;
        if (end != 2) return 0;
    }
}

}  // namespace vxs
