// Fuzz target: the contents of a data file as a program meets them.  The input's first byte
// picks a FORM, the rest is the file: it is opened as INTERNAL (and as DISPLAY), read in
// sequence, backwards from the end and by record number, every record converted through the
// FORM; then it is opened for output, a record written, rewritten and deleted, and closed.
// Every operation ends with 0 or an error number of the data files, never a crash, and a file
// closed after output has a header that reads back with the record count of its whole slots.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/scratch.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/form/form.h"

namespace {

const char* const kForms[] = {
    "FORM C 5, N 3, PD 2",         "FORM V 10, B 2, ZD 4", "FORM D, L, S",
    "FORM G 6.2, BH 3, DT",        "FORM PIC(ZZ#.##), DATE(M/D/CY)",
    "FORM CR 4, CC 4, GF 8, X 2",  "FORM POS 3, NZ 5.1, BL 4, DH 4",
};

bool expected(int err) {
    switch (err) {
        case 0:
        case vxs::kErrEndOfRecords:
        case vxs::kErrPartialRecord:
        case vxs::kErrNoRecord:
        case vxs::kErrNullRead:
        case vxs::kErrWrongFileType:
        case vxs::kErrBadCollation:
        case vxs::kErrConversion:
        case vxs::kErrFormStructure:
        case vxs::kErrDuplicateRecord:
        case vxs::kErrShortFile:
        case vxs::kErrFileTooLarge:
            return true;
        default: return false;
    }
}

void check(int err) {
    if (expected(err)) return;
    fprintf(stderr, "unexpected error %d\n", err);
    __builtin_trap();
}

// Converts the record image through the form, numbers and strings in turn.
void convert(const vxs::Ufcb& u, const vxs::CompiledForm& form) {
    vxs::FormSettings s;
    std::vector<uint8_t> rec(u.record.begin(), u.record.begin() + u.recordLength);
    vxs::FormCursor cursor(form, s, rec.data(), rec.size(), false);
    for (int i = 0; i < 8; ++i) {
        double v;
        std::string text;
        const int err = i % 2 ? cursor.readString(text) : cursor.readNumber(v);
        check(err);
        if (err) break;
    }
}

int open(vxs::FileBlocks& fb, int type, int mode, int access, vxs::Ufcb*& u) {
    vxs::OpenRequest r;
    r.number = 1;
    r.text = "NAME=fuzz.dat";
    r.type = type;
    r.mode = mode;
    r.access = access;
    return vxs::openFile(fb, r, u);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    vxfuzz::enterScratchDirectory("datafile");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    vxs::CompiledForm form;
    if (vxs::formCompile(kForms[data[0] % std::size(kForms)], form)) __builtin_trap();
    const std::string file(reinterpret_cast<const char*>(data + 1), size - 1);
    vxfuzz::writeScratchFile("fuzz.dat", file);
    vxs::FileBlocks fb;
    vxs::Ufcb* u = nullptr;
    const vxs::RecordOptions o;
    int err = open(fb, vxs::kFileInternal, vxs::kModeInput, vxs::kAccessRelative, u);
    // A reservation placeholder left by a copy that reserved the name counts as no file (and
    // goes); nothing more to read then.
    const std::string placeholder(reinterpret_cast<const char*>(vxs::kPlaceholder),
                                  sizeof vxs::kPlaceholder);
    if (file == placeholder) {
        if (err != vxs::kErrFileNotFound) __builtin_trap();
        return 0;
    }
    check(err);
    if (!err) {
        for (int i = 0; i < 64; ++i) {
            err = vxs::readRecord(*u, vxs::ReadHow::kNext, 0, o);
            check(err);
            if (err) break;
            convert(*u, form);
        }
        check(vxs::readRecord(*u, vxs::ReadHow::kLast, 0, o));
        for (int i = 0; i < 8; ++i) check(vxs::readRecord(*u, vxs::ReadHow::kPrevious, 0, o));
        for (uint32_t n : {1u, 2u, 7u, 1000u, 4294967295u}) check(vxs::readRecord(*u, vxs::ReadHow::kRecord, n, o));
        int64_t last = 0;
        check(vxs::lastRecordNumber(*u, last));
        check(vxs::closeFile(fb, u));
        // Output: a record appended, the first rewritten and deleted.
        err = open(fb, vxs::kFileInternal, vxs::kModeOutin, vxs::kAccessRelative, u);
        check(err);
        if (!err) {
            const std::string rec(static_cast<size_t>(u->ufreclen), 'x');
            const auto* bytes = reinterpret_cast<const uint8_t*>(rec.data());
            check(vxs::writeRecord(*u, bytes, rec.size(), 0, o));
            check(vxs::rewriteRecord(*u, bytes, rec.size(), 1, o));
            check(vxs::deleteRecord(*u, 1, o));
            check(vxs::closeFile(fb, u));
            // The header written at the close reads back and counts the whole slots.
            err = open(fb, vxs::kFileInternal, vxs::kModeInput, vxs::kAccessSequential, u);
            if (err) __builtin_trap();
            int64_t slots = 0;
            check(vxs::lastRecordNumber(*u, slots));
            if (static_cast<int64_t>(u->uffcb->records) != slots) __builtin_trap();
            check(vxs::closeFile(fb, u));
        }
    }
    // The same bytes as text lines.
    err = open(fb, vxs::kFileDisplay, vxs::kModeInput, vxs::kAccessSequential, u);
    check(err);
    if (!err) {
        std::string line;
        for (int i = 0; i < 256; ++i) {
            err = vxs::readTextLine(*u, line);
            check(err);
            if (err) break;
            if (line.size() > 132) __builtin_trap();
        }
        check(vxs::closeFile(fb, u));
    }
    return 0;
}
