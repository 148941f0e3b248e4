// The lists of open files (see fcb.h).
#include "vxs/datafiles/fcb.h"

#include "vxs/datafiles/keyjournal.h"

#include <new>

#include "vxs/errors/errors.h"

namespace vxs {

FileBlocks::FileBlocks() {
    // The console: a window that takes lines of its width, open for input and output.
    console_.ufnbr = 0;
    console_.uftype = kFileWindow;
    console_.mode = kModeOutin;
    console_.ufreclen = kConsoleLineWidth;
    console_.slotLength = kConsoleLineWidth;
    console_.closeAtEnd = 0;
    console_.name = "CON:";
    numbers_[0] = &console_;
}

FileBlocks::~FileBlocks() {
    for (Ufcb* u = console_.next; u;) {
        Ufcb* next = u->next;
        delete u;
        u = next;
    }
    for (Fcb* f = fcbs_; f;) {
        Fcb* next = f->next;
        delete f;
        f = next;
    }
}

int FileBlocks::link(int n, Ufcb*& out) {
    out = nullptr;
    if (n <= 0 || n >= kNumbers || numbers_[static_cast<size_t>(n)]) return kErrFileOpen;
    Ufcb* u = new (std::nothrow) Ufcb;
    if (!u) return kErrNoMemory;
    u->ufnbr = n;
    Ufcb* tail = &console_;
    while (tail->next) tail = tail->next;
    tail->next = u;
    numbers_[static_cast<size_t>(n)] = u;
    out = u;
    return 0;
}

void FileBlocks::unlink(Ufcb* u) {
    if (!u || u == &console_) return;
    for (Ufcb* p = &console_; p->next; p = p->next) {
        if (p->next == u) {
            p->next = u->next;
            break;
        }
    }
    if (u->ufnbr > 0 && u->ufnbr < kNumbers && numbers_[static_cast<size_t>(u->ufnbr)] == u)
        numbers_[static_cast<size_t>(u->ufnbr)] = nullptr;
    delete u;
}

int FileBlocks::newFcb(Fcb*& out) {
    out = new (std::nothrow) Fcb;
    if (!out) return kErrNoMemory;
    Fcb** tail = &fcbs_;
    while (*tail) tail = &(*tail)->next;
    *tail = out;
    return 0;
}

void FileBlocks::freeFcb(Fcb* f) {
    // No key file's journal speaks of a data file that is gone.
    for (Fcb* o = fcbs_; o; o = o->next)
        if (o->keyJournal && keyJournalOf(*o)->data == f) keyJournalOf(*o)->data = nullptr;
    for (Fcb** p = &fcbs_; *p; p = &(*p)->next) {
        if (*p == f) {
            *p = f->next;
            delete f;
            return;
        }
    }
}

FileBlocks& fileBlocks() {
    static FileBlocks blocks;
    return blocks;
}

}  // namespace vxs
