// The SORT utility (see sortutil.h): the control file read and parsed, the input read and its
// records selected, the sort records (key form, then the record number high byte first, so
// that memcmp orders them and equal keys keep the input's order) sorted in memory or through the
// work file, and the output written.  The input is only ever read; a replaced output is written
// beside the old one and renamed over it when the sort succeeds, and an output that was used
// (empty) is emptied again when the sort fails part way.
#include "vxs/utilities/sortutil.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/utilities/extsort.h"
#include "vxs/utilities/sortcontrol.h"
#include "vxs/registry/ktuser.h"

namespace vxs {

namespace {

constexpr int kControlNumber = 201;
constexpr int kKeyFileNumber = 202;
constexpr int kInputNumber = 203;
constexpr int kOutputNumber = 204;
constexpr size_t kSummaryWidth = 70;
constexpr const char* kLockedPrompt =
    "Master file record is locked--press any key to retry or A to abort.";

// One run of the utility: its files are closed however the run ends.
class SortRun {
  public:
    SortRun(const UtilityHost& host, bool quiet) : host_(host), quiet_(quiet) {}
    int run(const std::string& controlName);

  private:
    int readControl(const std::string& name);
    int openInput();
    int openOutput();
    int openRecordOutput(int recl);
    int openKeyOutput();
    int readNext();
    int output(const uint8_t* sortRecord);
    int finishOutput();
    void emptyOutput();
    void summary();

    const UtilityHost& host_;
    bool quiet_;
    SortControl c_;
    UtilityFile in_, out_;
    int outKeyType_ = 0;  // a key file output: its type once open
    int recl_ = 0, version_ = 0;
    size_t keyBytes_ = 0;
    long read_ = 0, selected_ = 0, written_ = 0;
    std::unique_ptr<KeyFileLoader> keys_;  // kind I: the key file being loaded
    RecordView view_;  // the input, for reading the records again in sorted order
    // The output is opened as `outName_`: its own name, or with REPLACE a temporary file beside
    // it (`tempPath_`) that is renamed over it (`outPath_`) only when the sort has succeeded.
    std::string outName_, outPath_, tempPath_;
};

int SortRun::readControl(const std::string& name) {
    UtilityFile control;
    OpenBlock b;
    b.number = kControlNumber;
    b.name = name;
    b.type = kFileDisplay;
    b.mode = kModeInput;
    b.share = kShareInput;
    b.recl = 32767;  // a line of 20 key fields is long
    if (int err = openFileBlock(fileBlocks(), b, control.u))
        return err == kErrFileNotFound || err == kErrPathNotFound ? kErrSortControlMissing : err;
    size_t shown = 0;
    for (;;) {
        std::string line;
        const int err = readTextLine(*control.u, line);
        if (err == kErrEndOfRecords) return kErrSortNoMask;
        if (err) return err;
        bool done = false;
        if (int e = parseSortLine(line, c_, done)) {
            if (!quiet_) host_.line(line);  // the line at fault, for the operator to see
            return e;
        }
        for (; shown < c_.comments.size(); ++shown)
            if (!quiet_) host_.line(c_.comments[shown]);
        if (done) return control.close();
    }
}

int SortRun::openInput() {
    if (int err = openUtilityInput(kInputNumber, c_.input, c_.share, in_))
        return err == kErrWrongFileType ? kErrSortInputType : err;
    recl_ = in_.u->ufreclen;
    version_ = in_.u->uffcb->version;
    return 0;
}

// Kinds R, A/3 and B: an INTERNAL file of `recl`, replaced, or used when it is empty.
int SortRun::openRecordOutput(int recl) {
    OpenBlock b;
    b.number = kOutputNumber;
    b.name = outName_;
    b.type = kFileInternal;
    b.mode = kModeOutput;
    b.access = kAccessSequential;
    b.recl = recl;
    b.create = c_.replace ? kCreateReplace : kCreateUse;
    int err = openFileBlock(fileBlocks(), b, out_.u);
    if (err == kErrRecordLength && !c_.replace) {
        // An existing file of another record length: longer records take ours, shorter not.
        b.recl = 0;
        err = openFileBlock(fileBlocks(), b, out_.u);
        if (!err && out_.u->ufreclen < recl) return kErrSortOutputShort;
    }
    if (err) return err == kErrWrongFileType ? kErrSortOutputType : err;
    if (out_.u->uftype != kFileInternal) return kErrSortOutputType;
    int64_t records = 0;
    if (int e = lastRecordNumber(*out_.u, records)) return e;
    if (records > 0) return kErrSortOutputNotEmpty;
    if (c_.kind == SortOutput::kRecords && out_.u->uffcb->version != version_)
        if (int e = setFileVersion(*out_.u, version_)) return e;
    return 0;
}

// Kind I: a key file whose parts are the MASK fields (each as long as its key form).
int SortRun::openKeyOutput() {
    OpenBlock b;
    b.number = kKeyFileNumber;
    b.name = outName_;
    b.mode = kModeOutin;
    b.create = c_.replace ? kCreateReplace : kCreateUse;
    b.parts = static_cast<int>(c_.keys.size());
    int end = recl_;
    for (int i = 0; i < b.parts; ++i) {
        const SortField& f = c_.keys[static_cast<size_t>(i)];
        b.keys[i].start = f.start;
        b.keys[i].length = f.keyLength();
        end = std::max(end, f.start + f.keyLength() - 1);
    }
    b.recl = end;
    int err = openFileBlock(fileBlocks(), b, out_.u);
    if (err == kErrWrongFileType && !c_.replace) {
        // An existing key file of the other type is used as it is.
        b.keyType = defaultIndexType() == 4 ? 7 : 4;
        err = openFileBlock(fileBlocks(), b, out_.u);
    }
    if (err) return err == kErrWrongFileType ? kErrSortOutputType : err;
    Fcb& k = *out_.u->uffcb;
    if (!k.index) return kErrSortOutputType;
    outKeyType_ = k.type == kFileBtreeKeys ? 7 : 4;
    if (k.index->keyLength() != static_cast<int>(keyBytes_)) return kErrSortOutputShort;
    uint32_t entries = 0;
    if (int err = k.index->countEntries(entries)) return err;
    if (entries > 0) return kErrSortOutputNotEmpty;
    keys_ = std::make_unique<KeyFileLoader>(k);
    return 0;
}

int SortRun::openOutput() {
    switch (c_.kind) {
        case SortOutput::kRecords: return openRecordOutput(recl_);
        case SortOutput::kNumbers3: return openRecordOutput(3);
        case SortOutput::kNumbers4: return openRecordOutput(4);
        case SortOutput::kKeyFile: return openKeyOutput();
    }
    return kErrSortOutputType;
}

// The next input record; a record locked by another user is asked about until it can be read
// or the operator gives up (or no key can come).
int SortRun::readNext() {
    RecordOptions o;
    o.lock = c_.lockFree ? kLockRelease : kLockNormal;
    o.wait = 0;
    for (;;) {
        const int err = readRecord(*in_.u, ReadHow::kNext, 0, o);
        if (err != kErrRecordLocked) return err;
        host_.line(kLockedPrompt);
        const int key = host_.key(0);
        if (key < 0 || key == 'A' || key == 'a') return kErrRecordLocked;
    }
}

int SortRun::output(const uint8_t* sortRecord) {
    const uint32_t n = sortRecordNumber(sortRecord + keyBytes_);
    RecordOptions o;
    switch (c_.kind) {
        case SortOutput::kRecords: {
            // Read again by number: through the view of the input when it holds the record.
            const uint8_t* data = nullptr;
            size_t length = 0;
            if (!view_.record(n, data, length)) {
                RecordOptions r;
                r.lock = kLockRelease;
                if (int err = readRecord(*in_.u, ReadHow::kRecord, n, r)) return err;
                data = in_.u->record.data();
                length = in_.u->recordLength;
            }
            if (int err = writeRecord(*out_.u, data, length, 0, o)) return err;
            break;
        }
        case SortOutput::kNumbers3:
        case SortOutput::kNumbers4: {
            // Low byte first, as FORM B reads it.
            const size_t len = c_.kind == SortOutput::kNumbers3 ? 3 : 4;
            if (len == 3 && n > 0xFFFFFF) return kErrSortOutputShort;  // does not fit 3 bytes
            const uint8_t bytes[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                      static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
            if (int err = writeRecord(*out_.u, bytes, len, 0, o)) return err;
            break;
        }
        case SortOutput::kKeyFile:
            if (int err = keys_->add(sortRecord, n)) return err;
            break;
    }
    ++written_;
    return 0;
}

// Everything written out before the close, so that a failure can still empty the output.
int SortRun::finishOutput() {
    if (keys_) {
        if (int err = keys_->finish()) return err;
        return out_.u->uffcb->index->flush();
    }
    return flushFile(*out_.u);
}

// After a close that failed: the output opened once more to be emptied.
void SortRun::emptyOutput() {
    OpenBlock b;
    b.name = outName_;
    b.create = kCreateUse;
    if (c_.kind == SortOutput::kKeyFile) {
        b.number = kKeyFileNumber;
        b.mode = kModeOutin;
        b.keyType = outKeyType_;
    } else {
        b.number = kOutputNumber;
        b.type = kFileInternal;
        b.mode = kModeOutput;
    }
    UtilityFile again;
    if (openFileBlock(fileBlocks(), b, again.u) == 0) (void)again.close(kCloseDrop);
}

void SortRun::summary() {
    std::array<std::string, 5> lines;
    size_t width = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        lines[i] = c_.sumLines[i].substr(0, kSummaryWidth);
        width = std::max(width, lines[i].size());
    }
    const long counts[3] = {read_, selected_, written_};
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string text(static_cast<size_t>((width - lines[i].size()) / 2), ' ');
        text += lines[i];
        if (i >= 1 && i <= 3) {
            text.resize(width, ' ');
            char count[32];
            snprintf(count, sizeof count, "%6ld", counts[i - 1]);
            text += count;
        }
        host_.line(text);
    }
    (void)host_.key(0);
}

int SortRun::run(const std::string& controlName) {
    if (int err = readControl(controlName)) return err;
    if (int err = openInput()) return err;
    if (int err = prepareSortControl(c_, recl_, configLimits().collateAlternate)) return err;
    keyBytes_ = static_cast<size_t>(c_.keyLength());
    const size_t size = keyBytes_ + 4;
    // The work file, made only when the records do not fit the memory.
    std::string workPath;
    if (int err = utilityWorkPath(c_.workDir, "SORT" + std::to_string(workstationId()) + ".WRK", workPath))
        return err;
    ExternalSort sorter(size, host_.memory(), nullptr,  // sort records compare as bytes
                        utilityWorkOpener(workPath));
    if (int err = sorter.start())
        return err == kErrSortMemory || err == kErrNoMemory ? kErrSortNoMemory : err;
    outName_ = c_.output;
    if (c_.replace) {
        if (int err = mapFileName(c_.output, outPath_)) return err;
        if (outPath_ == in_.u->uffcb->path) return kErrSharing;  // not the input itself
        tempPath_ = utilityTemporaryPath(outPath_);
        outName_ = ":" + tempPath_;
    }
    auto discard = [&](int err) {
        // A replaced output stays as it was; one that was used, empty, is left empty.
        if (c_.replace) {
            (void)out_.close();
            (void)osDelete(tempPath_);
        } else if (out_.u) {
            (void)out_.close(kCloseDrop);
        } else {
            emptyOutput();
        }
        return err;
    };
    if (int err = openOutput()) {
        (void)out_.close();
        if (c_.replace) (void)osDelete(tempPath_);
        return err;
    }
    std::vector<uint8_t> record(size);
    int err = 0;
    for (;;) {
        err = readNext();
        if (err == kErrEndOfRecords) {
            err = 0;
            break;
        }
        if (err) break;
        ++read_;
        const uint8_t* data = in_.u->record.data();
        const size_t length = in_.u->recordLength;
        if (!sortSelects(c_, data, length)) continue;
        ++selected_;
        buildSortKey(c_, data, length, record.data());
        putSortRecordNumber(record.data() + keyBytes_, in_.u->position);
        if ((err = sorter.add(record.data()))) break;
    }
    // Without a view (a file that cannot be mapped) the records are read one by one.
    if (!err && c_.kind == SortOutput::kRecords) (void)view_.open(*in_.u);
    if (!err) err = sorter.finish([this](const uint8_t* r) { return output(r); });
    if (!err) err = finishOutput();
    if (!err) err = out_.close();
    if (!err && c_.replace) err = osRename(tempPath_, outPath_, true);
    if (err) return discard(err);
    if (int e = in_.close()) return e;
    if (c_.sum && !quiet_) summary();
    return 0;
}

}  // namespace

int runSortUtility(std::string_view tail, const UtilityHost& host) {
    // The control file's name and -N, in any order.
    std::string name;
    bool quiet = false;
    for (size_t at = 0; at < tail.size();) {
        while (at < tail.size() && (tail[at] == ' ' || tail[at] == '\t')) ++at;
        size_t end = at;
        while (end < tail.size() && tail[end] != ' ' && tail[end] != '\t') ++end;
        const std::string_view word = tail.substr(at, end - at);
        at = end;
        if (word.empty()) continue;
        if (word == "-N" || word == "-n") quiet = true;
        else if (name.empty()) name.assign(word);
        else return kErrSortLine;
    }
    if (name.empty()) return kErrSortControlMissing;
    SortRun run(host, quiet);
    return run.run(name);
}

}  // namespace vxs
