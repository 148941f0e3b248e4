// OPEN and CLOSE of file numbers (see datafile.h): the open string into a ufcb, the physical
// file found or opened as an fcb, the sharing checks within the process (the class conflict
// table) and with other processes (the share markers), creation, and the release of both when
// a file number is closed.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/datafiles/keyjournal.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"

namespace vxs {

namespace {

std::string g_lastErrorText;

bool validNumber(int n) {
    return (n >= 0 && n <= 199) || n == 250 || n == 254 || n == 255 || (n >= 300 && n <= 999);
}

int shareClassOf(uint8_t share, int mode) {
    switch (share) {
        case kShareInput: return mode == kModeInput ? 1 : 2;
        case kShareAll: return mode == kModeInput ? 3 : 4;
        default: return KTS_NOSHR;
    }
}

// The translation tables of TRANSLATE=: the file read for shared input, 256 bytes for INPUT,
// up to 512 otherwise (257..511 cut to 256); the output table is the inverse of the input one
// when only 256 bytes exist.
int loadTranslation(Ufcb& u, const std::string& name) {
    std::string path;
    if (mapFileName(name, path)) return kErrTranslateOpen;
    int handle = 0;
    if (osOpen(path, kOsRead, kOsOpenExisting, handle)) return kErrTranslateOpen;
    uint8_t bytes[512];
    const size_t want = u.mode == kModeInput ? 256 : 512;
    size_t got = 0, total = 0;
    int err = 0;
    while (total < want) {
        err = osRead(handle, bytes + total, want - total, got);
        if (err || got == 0) break;
        total += got;
    }
    osClose(handle);
    if (err) return kErrTranslateSize;
    if (u.mode != kModeInput && total > 256 && total < 512) total = 256;
    if (total != 256 && total != 512) return kErrTranslateSize;
    u.inTable = std::make_unique<std::array<uint8_t, 256>>();
    memcpy(u.inTable->data(), bytes, 256);
    if (u.mode != kModeInput) {
        u.outTable = std::make_unique<std::array<uint8_t, 256>>();
        if (total == 512) {
            memcpy(u.outTable->data(), bytes + 256, 256);
        } else {
            for (int i = 0; i < 256; ++i) (*u.outTable)[i] = static_cast<uint8_t>(i);
            for (int i = 255; i >= 0; --i) (*u.outTable)[bytes[i]] = static_cast<uint8_t>(i);
        }
    }
    return 0;
}

// LINKAGE=: lines of two texts separated by a tab.
int loadLinkage(Fcb& f, const std::string& name) {
    std::string path;
    if (int err = mapFileName(name, path)) return err;
    int handle = 0;
    if (int err = osOpen(path, kOsRead, kOsOpenExisting, handle)) return err;
    std::string text;
    char buf[4096];
    size_t got = 0;
    int err = 0;
    while (!(err = osRead(handle, buf, sizeof buf, got)) && got > 0) text.append(buf, got);
    osClose(handle);
    if (err) return err;
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find('\n', p);
        if (e == std::string::npos) e = text.size();
        std::string line = text.substr(p, e - p);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        p = e + 1;
        if (line.empty()) continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) return kErrUnrecognized;
        f.linkage.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return 0;
}

// The fcb of the same path and kind among the open ones (a B-tree key file counts as INTERNAL).
Fcb* findFcb(FileBlocks& fb, const std::string& path, int type) {
    auto kind = [](int t) { return t == kFileBtreeKeys ? kFileInternal : t; };
    for (Fcb* f = fb.firstFcb(); f; f = f->next)
        if (!f->object && f->device != Device::kPrinter && f->path == path &&
            kind(f->type) == kind(type))
            return f;
    return nullptr;
}

// Takes the ufcb off its data fcb's chain.
void unchain(Ufcb* u) {
    Fcb* f = u->uffcb;
    if (!f) return;
    const bool wasFirst = f->firstUfcb == u;
    for (Ufcb** p = &f->firstUfcb; *p; p = &(*p)->sameNext) {
        if (*p == u) {
            *p = u->sameNext;
            break;
        }
    }
    u->sameNext = nullptr;
    // When the first one goes, a number that writes (with the same key file) comes first.
    Ufcb* head = f->firstUfcb;
    if (!wasFirst || !head || head->mode != kModeInput) return;
    for (Ufcb** p = &head->sameNext; *p; p = &(*p)->sameNext) {
        Ufcb* o = *p;
        if (o->mode != kModeInput && o->ufkbfcb == u->ufkbfcb) {
            *p = o->sameNext;
            o->sameNext = f->firstUfcb;
            f->firstUfcb = o;
            return;
        }
    }
}

// Lets go of one reference to `f`; the last one closes the file (rewriting an output file's
// header), then FREE deletes it and DROP empties it to its header.
int releaseFcb(FileBlocks& fb, Fcb* f, int option) {
    if (!f) return 0;
    if (f->openCount > 1) {
        --f->openCount;
        return option == kCloseFree || option == kCloseDrop ? kErrSharing : 0;
    }
    if ((option == kCloseFree || option == kCloseDrop) && f->device == Device::kDisk)
        finishJournalsAbout(f->path);
    int err = engineCloseFcb(*f, option == kCloseDrop);
    if (option == kCloseFree && f->device == Device::kDisk) {
        const int del = osDelete(f->path);
        if (!err) err = del;
    }
    if (f->reserved && option == kCloseRelease) {
        const int rel = ktRelease(f->path);
        if (!err) err = rel;
    }
    fb.freeFcb(f);
    return err;
}

// Undoes a failed OPEN after the ufcb was linked.
int abandon(FileBlocks& fb, Ufcb* u, int err, std::string_view text) {
    unchain(u);
    Fcb* data = u->uffcb;
    Fcb* keys = u->ufkbfcb;
    u->uffcb = u->ufkbfcb = nullptr;
    // The key file first: what it holds back is written while its data file is still open.
    if (keys) releaseFcb(fb, keys, kCloseNone);
    if (data) releaseFcb(fb, data, kCloseNone);
    fb.unlink(u);
    g_lastErrorText.assign(text);
    return err;
}

bool sameKeyParts(const OpenSpec& s, const Fcb& k) {
    if (s.keyParts() != k.keyParts) return false;
    for (int i = 0; i < k.keyParts; ++i)
        if (s.keys[i].start != k.keys[i].start || s.keys[i].length != k.keys[i].length)
            return false;
    return true;
}

// Step 11: the key fcb of a KEYED ufcb, found among the open files or opened (and made, with
// the key parts checked, when the creation asks for it).
int openKeyFile(FileBlocks& fb, Ufcb& u, Fcb& data, const OpenSpec& s, int mode, int shareClass) {
    if (data.type != kFileInternal && data.type != kFileExternal) return kErrWrongMode;
    std::string path;
    if (int err = mapFileName(s.kfname, path)) return err;
    if (path == data.path) return kErrKeyFileSame;
    const int type = (s.keyType ? s.keyType : defaultIndexType()) == 4 ? kFileInternal : kFileBtreeKeys;
    Fcb* k = findFcb(fb, path, kFileInternal);
    if (k) {
        if (k->type != type || !k->index) return kErrWrongFileType;
        if (mode != kModeInput && k->outputFlag == 0) return kErrInputOnly;
        ++k->openCount;
        u.ufkbfcb = k;
    } else {
        if (int err = fb.newFcb(k)) return err;
        k->type = static_cast<uint8_t>(type);
        k->path = path;
        k->device = deviceOfName(path);
        k->lockWait = 15;
        k->openCount = 1;
        u.ufkbfcb = k;  // released with the ufcb from here on
        EngineOpen eo;
        eo.mode = mode;
        eo.create = s.create;
        eo.shareClass = shareClass;
        KeyFileOpen ko;
        ko.type = type;
        ko.version = defaultBtreeType();
        ko.alternate = configLimits().collateAlternate;
        // The parts are checked only when the file is made: one that exists keeps its own.
        ko.parts = std::min(s.keyParts(), kMaxKeyParts);
        for (int i = 0; i < ko.parts; ++i) ko.keys[i] = s.keys[i];
        ko.recl = data.type == kFileInternal ? data.recl : static_cast<int>(s.recl);
        ko.linked = s.linked;
        ko.remakeIfBroken = s.create != kCreateNone && s.keyParts() > 0 && data.records == 0;
        if (int err = engineOpenKeyFcb(*k, eo, ko)) return err;
        if (int err = syncIfMade(*k, s.create)) return err;
        // What a copy that died left half done in it is finished before it is used.
        if (int err = keyFileJoined(data, *k)) return err;
    }
    if (s.create == kCreateUse && s.keyParts() > 0 && !sameKeyParts(s, *k)) return kErrRecordLength;
    // Every KEYED ufcb of one data file uses key files of one kind.
    for (const Ufcb* o = data.firstUfcb; o; o = o->sameNext)
        if (o != &u && o->ufkbfcb && o->ufkbfcb->type != k->type) return kErrKeyTypes;
    u.keyCursor.clear();
    // A data file no other copy can change is read through blocks kept in memory: keyed reads
    // go all over it.
    if (data.shareClass == 0 && data.sharedHandle && data.device == Device::kDisk && !data.blockCache)
        data.blockCache.reset(new (std::nothrow) BlockCache);
    return 0;
}

}  // namespace

const std::string& lastFileErrorText() { return g_lastErrorText; }

void setLastFileErrorName(std::string_view name) {
    // Kept as the open string FILE$ reads the name from.
    g_lastErrorText = "NAME=";
    g_lastErrorText += name;
}

namespace {
int openWithSpec(FileBlocks& fb, const OpenRequest& r, OpenSpec& s, const std::string& text,
                 Ufcb*& out);
}  // namespace

int openFile(FileBlocks& fb, const OpenRequest& r, Ufcb*& out) {
    out = nullptr;
    if (!validNumber(r.number)) return kErrFileNumber;
    // 1. The open string, with the configured console default before that of #0.
    std::string text(r.text);
    if (r.number == 0 && !openDefault().empty()) text = openDefault() + "," + text;
    if (Ufcb* open = fb.find(r.number)) {
        if (r.number == 255) {
            if (int err = closeFile(fb, open)) return err;
        } else if (r.number != 0) {
            return kErrFileOpen;
        }
    }
    // 2. The items.
    OpenSpec s;
    if (int err = parseOpenString(text, optionOn(47), s)) {
        g_lastErrorText = text;
        return err;
    }
    return openWithSpec(fb, r, s, text, out);
}

namespace {

// OPEN from step 3 on, with the items parsed (from an open string or a parameter block).
int openWithSpec(FileBlocks& fb, const OpenRequest& r, OpenSpec& s, const std::string& text,
                 Ufcb*& out) {
    // 3. Type, mode and access.
    int type = r.type, mode = r.mode, access = r.access;
    if (!r.trailing) {
        type = kFileDisplay;
        mode = kModeOutput;
        access = kAccessSequential;
        if (s.create == kCreateNone) s.create = kCreateUse;
    }
    if (type == kFileDisplay && !s.window.empty()) type = kFileWindow;
    // The console window: its attributes are the screen's; nothing else changes.
    if (r.number == 0) {
        fb.console().windowAttributes = s.window;
        return 0;
    }
    auto fail = [&](int err) {
        g_lastErrorText = text;
        return err;
    };
    // 4. Checks of the keywords against type, mode and access.
    if (type == kFileDisplay && mode == kModeOutin && !s.async) return fail(kErrDisplayOutin);
    if (s.kfnameGiven != (access == kAccessKeyed)) return fail(kErrKeyFileAccess);
    if ((s.create != kCreateNone || s.sizeGiven) && mode == kModeInput) return fail(kErrWrongMode);
    if (s.async && type != kFileDisplay) return fail(kErrWrongFileType);
    if (s.objectGiven && type != kFileExternal) return fail(kErrWrongFileType);
    if (s.sizeGiven && type == kFileExternal) return fail(kErrOpenSyntax);
    if (type == kFileExternal && s.recl == 0) {
        if (!s.objectGiven) return fail(kErrOpenSyntax);
        s.recl = 1;
    }
    if ((!s.printer.empty() || !s.printerType.empty()) && type != kFileDisplay)
        return fail(kErrWrongMode);
    // 5. The share class.
    const int shareClass = shareClassOf(s.share, mode);
    if ((type == kFileDisplay || type == kFileWindow) && shareClass == 4)
        return fail(kErrSharedDisplay);
    if (s.async) return fail(kErrNotAvailable);  // communications ports are not supported here
    // 7. The ufcb.
    Ufcb* u = nullptr;
    if (int err = fb.link(r.number, u)) return fail(err);
    u->uftype = static_cast<uint8_t>(type);
    u->mode = static_cast<uint8_t>(mode);
    u->access = static_cast<uint8_t>(access);
    u->shareClass = static_cast<uint8_t>(shareClass);
    u->closeAtEnd = s.noClose ? 0 : 1;
    u->copies = s.copies;
    u->convChar = static_cast<uint8_t>(s.conv);
    u->wait = s.wait;
    u->eol = s.eol;
    u->retry = s.retry;
    u->linked = s.linked ? 1 : 0;
    u->pageOverflow = static_cast<int16_t>(s.pageOverflow >= 0 ? s.pageOverflow
                                                               : configLimits().pageOflow);
    u->lastOperation = 2;
    u->name = s.objectGiven ? s.object : s.name;
    u->windowAttributes = s.window;
    // 6. The translation tables.
    if (!s.translate.empty())
        if (int err = loadTranslation(*u, s.translate)) return abandon(fb, u, err, text);
    if (type == kFileWindow) {
        // The window layer places it (its lines are as wide as its interior); without one it
        // shows its lines in the console.
        u->ufreclen = static_cast<int16_t>(kConsoleLineWidth);
        if (windowHooks().open) {
            if (int err = windowHooks().open(fb, *u)) return abandon(fb, u, err, text);
            u->ufreclen = static_cast<int16_t>(u->place.columns);
            u->windowRows = u->place.rows;
        }
        u->slotLength = u->ufreclen;
        u->record.assign(static_cast<size_t>(u->ufreclen) + 2, ' ');
        out = u;
        return 0;
    }
    // 8. The data fcb.
    std::string path;
    if (s.objectGiven) {
        path = s.object;
    } else if (int err = mapFileName(s.name, path)) {
        return abandon(fb, u, err, text);
    }
    const int fileKind = type == kFileWindow ? kFileDisplay : type;
    Fcb* f = s.objectGiven ? nullptr : findFcb(fb, path, fileKind);
    if (!f && access == kAccessKeyed && !s.objectGiven) {
        // What copies that died left half done in the keyed files of these directories is
        // finished before the files are opened (the journals beside them tell).
        std::string keyPath;
        std::vector<std::string> dirs{directoryOf(path)};
        if (mapFileName(s.kfname, keyPath) == 0 && directoryOf(keyPath) != dirs[0])
            dirs.push_back(directoryOf(keyPath));
        for (const std::string& d : dirs) {
            int live = 0;
            (void)recoverDirectory(d, live);
        }
    }
    if (f) {
        for (Ufcb* o = f->firstUfcb; o; o = o->sameNext) {
            const bool keyedPair = access == kAccessKeyed && !s.shareGiven &&
                                   o->access == kAccessKeyed;
            if (!keyedPair && ktClassesConflict(o->shareClass, shareClass))
                return abandon(fb, u, kErrSharing, text);
        }
        // 9. An fcb open already.
        if (s.create == kCreateNew) return abandon(fb, u, kErrFileExists, text);
        if (s.create == kCreateReplace || s.reserve) return abandon(fb, u, kErrSharing, text);
        if (mode != kModeInput && f->outputFlag == 0) return abandon(fb, u, kErrInputOnly, text);
        if (type == kFileInternal && s.create == kCreateUse && s.recl && s.recl != f->recl)
            return abandon(fb, u, kErrRecordLength, text);
        ++f->openCount;
    } else {
        if (int err = fb.newFcb(f)) return abandon(fb, u, err, text);
        f->type = static_cast<uint8_t>(fileKind);
        f->path = path;
        f->object = s.objectGiven;
        f->device = s.objectGiven ? Device::kDisk : deviceOfName(path);
        f->lockWait = 15;
        f->host = s.host;
        f->openCount = 1;
        u->uffcb = f;  // released by abandon from here on
        if (!s.linkage.empty())
            if (int err = loadLinkage(*f, s.linkage)) return abandon(fb, u, err, text);
        EngineOpen eo;
        eo.mode = mode;
        eo.create = s.create;
        eo.shareClass = shareClass;
        eo.recl = s.recl;
        eo.reserve = s.reserve;
        eo.versionGiven = s.versionGiven;
        eo.version = s.version;
        eo.linked = s.linked && type == kFileInternal;
        eo.copies = s.copies;
        eo.printer = s.printer;
        eo.printerType = s.printerType;
        if (int err = engineOpenFcb(*f, eo)) return abandon(fb, u, err, text);
        if (int err = syncIfMade(*f, s.create)) return abandon(fb, u, err, text);
    }
    u->uffcb = f;
    u->sameNext = nullptr;
    {  // appended to the fcb's chain: its first ufcb stays the first
        Ufcb** p = &f->firstUfcb;
        while (*p) p = &(*p)->sameNext;
        *p = u;
    }
    // A chain of records needs the chain field in the header.
    if (s.linked && (f->type != kFileInternal || !(f->headerFlags & kHeaderDeletedChain) ||
                     f->recl < 8))
        return abandon(fb, u, kErrWrongFileType, text);
    // 10. VERSION= of an existing INTERNAL file.
    if (f->type == kFileInternal && s.versionGiven && s.version != f->version)
        return abandon(fb, u, kErrVersionMismatch, text);
    // 11. Key files come with keyed access.
    if (access == kAccessKeyed)
        if (int err = openKeyFile(fb, *u, *f, s, mode, shareClass)) return abandon(fb, u, err, text);
    // 12. Record length and slot.
    if (f->type == kFileInternal) {
        u->ufreclen = f->recl;
        u->slotLength = static_cast<uint32_t>(f->recl) + 1;
    } else {
        int recl = s.recl ? s.recl : (f->recl ? f->recl : 132);
        if (f->device == Device::kDebug && !s.recl) recl = 1000;
        if (recl > 32767) return abandon(fb, u, kErrOpenSyntax, text);
        u->ufreclen = static_cast<int16_t>(recl);
        u->slotLength = static_cast<uint32_t>(recl);
        if (f->openCount == 1) {
            f->recl = static_cast<int16_t>(recl);
            if (int err = countRecords(*u)) return abandon(fb, u, err, text);
        }
    }
    // A printer whose pages are shorter than the page-overflow line overflows with its page.
    if (f->stream && s.pageOverflow < 0 && f->stream->linesPerPage() > 0 &&
        f->stream->linesPerPage() < u->pageOverflow)
        u->pageOverflow = static_cast<int16_t>(f->stream->linesPerPage());
    // Records must be locked when the file is shared for output in this process.
    u->lockingActive = (shareClass == 4 || (f->firstUfcb && f->firstUfcb->shareClass == 4)) ? 1 : 0;
    // 13. Buffers.
    u->record.assign(static_cast<size_t>(u->ufreclen) + 2, ' ');
    u->recordLength = 1;
    if (f->type == kFileInternal && mode == kModeInput && access != kAccessKeyed) {
        const size_t bytes = access == kAccessSequential ? 102400 : 20480;
        u->aheadRecords = static_cast<uint32_t>(bytes / u->slotLength);
        if (u->aheadRecords > 0) u->ahead.resize(static_cast<size_t>(u->aheadRecords) * u->slotLength);
    }
    if (f->type == kFileInternal && mode == kModeOutput && access == kAccessSequential &&
        !u->linked && !u->lockingActive) {
        u->behindRecords = static_cast<uint32_t>(102400 / u->slotLength);
        if (u->behindRecords > 1)
            u->behind.resize(static_cast<size_t>(u->behindRecords) * u->slotLength);
        else
            u->behindRecords = 0;
    }
    if (f->type == kFileDisplay) enginePositionDisplay(*u, s.create);
    out = u;
    return 0;
}

}  // namespace

int closeFile(FileBlocks& fb, Ufcb* u, int option) {
    if (!u || u->ufnbr == 0) return 0;
    int err = 0;
    // 2. Pending output first.
    if (!u->line.empty() || u->column > 1) err = writeTextLine(*u, u->line);
    if (int e = flushFile(*u); e && !err) err = e;
    // 3. FREE and DROP of a shared file.
    if ((option == kCloseFree || option == kCloseDrop) && u->shareClass != 0 &&
        u->uftype != kFileWindow)
        return kErrSharing;
    if (u->uftype == kFileWindow && windowHooks().close) windowHooks().close(*u);
    // 4. Off the fcb's chain, its locks released.
    releaseLocks(*u);
    unchain(u);
    // 5, 6. The fcbs.
    Fcb* data = u->uffcb;
    Fcb* keys = u->ufkbfcb;
    u->uffcb = u->ufkbfcb = nullptr;
    // The key file first: what it holds back is written while its data file is still open.
    if (int e = releaseFcb(fb, keys, option == kCloseRelease ? kCloseNone : option); e && !err)
        err = e;
    if (int e = releaseFcb(fb, data, option); e && !err) err = e;
    // 7. Unlinked and freed.
    fb.unlink(u);
    return err;
}

int closeFilesAtEnd(FileBlocks& fb, bool everything) {
    // The most recently opened first.
    std::vector<Ufcb*> open;
    for (Ufcb* u = fb.first()->next; u; u = u->next)
        if (everything || u->closeAtEnd) open.push_back(u);
    int first = 0;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        const int err = closeFile(fb, *it);
        if (err && !first) first = err;
    }
    return first;
}

int fileOfNumber(FileBlocks& fb, int number, Ufcb*& out) {
    out = nullptr;
    if (!validNumber(number)) return kErrFileNumber;
    if (Ufcb* u = fb.find(number)) {
        out = u;
        return 0;
    }
    if (number == 255 || number == 250) {
        OpenRequest r;
        r.number = number;
        r.text = number == 255 ? "NAME=PRN:/10" : "NAME=DEBUG:250,RECL=1000";
        r.trailing = false;
        r.type = kFileDisplay;
        r.mode = kModeOutput;
        r.access = kAccessSequential;
        return openFile(fb, r, out);
    }
    return kErrFileNotOpen;
}

namespace {

// Number 202 of the parameter block: a key file by itself, its fcb the ufcb's data fcb.
int openKeyFileAlone(FileBlocks& fb, const OpenBlock& b, Ufcb*& out) {
    const std::string& text = b.name;
    std::string path = b.name;
    if (!b.osPath)
        if (int err = mapFileName(b.name, path)) return g_lastErrorText = text, err;
    if (findFcb(fb, path, kFileInternal)) return g_lastErrorText = text, kErrSharing;
    const int type = (b.keyType ? b.keyType : defaultIndexType()) == 4 ? kFileInternal : kFileBtreeKeys;
    Ufcb* u = nullptr;
    if (int err = fb.link(b.number, u)) return g_lastErrorText = text, err;
    u->uftype = static_cast<uint8_t>(type);
    u->mode = static_cast<uint8_t>(b.mode);
    u->access = kAccessSequential;
    u->shareClass = static_cast<uint8_t>(shareClassOf(static_cast<uint8_t>(b.share), b.mode));
    u->name = b.name;
    Fcb* k = nullptr;
    if (int err = fb.newFcb(k)) return abandon(fb, u, err, text);
    k->type = static_cast<uint8_t>(type);
    k->path = path;
    k->device = deviceOfName(path);
    k->lockWait = 15;
    k->openCount = 1;
    u->uffcb = k;
    EngineOpen eo;
    eo.mode = b.mode;
    eo.create = b.create == kCreateTemporary ? kCreateReplace : b.create;
    eo.shareClass = u->shareClass;
    KeyFileOpen ko;
    ko.type = type;
    ko.version = b.btreeVersion ? b.btreeVersion : defaultBtreeType();
    ko.alternate = b.alternate;
    ko.parts = std::min(b.parts, kMaxKeyParts);
    for (int i = 0; i < ko.parts; ++i) ko.keys[i] = b.keys[i];
    ko.recl = b.recl;
    if (int err = engineOpenKeyFcb(*k, eo, ko)) return abandon(fb, u, err, text);
    k->firstUfcb = u;
    u->ufreclen = k->recl;
    u->slotLength = static_cast<uint32_t>(k->recl) + 1;
    u->record.assign(static_cast<size_t>(k->recl) + 2, ' ');
    u->recordLength = 1;
    out = u;
    return 0;
}

}  // namespace

int openFileBlock(FileBlocks& fb, const OpenBlock& b, Ufcb*& out) {
    out = nullptr;
    if (b.number < 200 || b.number > 299 || b.number == 254 || b.number == 255)
        return kErrFileNumber;
    if (fb.find(b.number)) return kErrFileOpen;
    if (b.number == 202) return openKeyFileAlone(fb, b, out);
    OpenSpec s;
    s.name = b.name;
    if (b.osPath) {
        s.objectGiven = true;
        s.object = b.name;
    }
    s.recl = b.recl;
    s.share = static_cast<uint8_t>(b.share);
    s.shareGiven = b.share != kShareNone;
    s.create = static_cast<uint8_t>(b.create == kCreateTemporary ? kCreateReplace : b.create);
    s.pageOverflow = b.pageOverflow;
    OpenRequest r;
    r.number = b.number;
    r.type = b.type;
    r.mode = b.mode;
    r.access = b.access;
    return openWithSpec(fb, r, s, b.name, out);
}

}  // namespace vxs
