// Fuzz target: a journal file's bytes, as recovery reads a dead copy's journal.  Decoding takes
// the header and the entries up to the first that is torn, damaged or out of sequence, never
// more bytes than there are; every entry decoded encodes back to the same bytes (so a journal
// read is exactly what was written) and decodes again to the same entry.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vxs/datafiles/journal.h"

namespace {

bool sameEntry(const vxs::JournalEntry& a, const vxs::JournalEntry& b) {
    auto sameFile = [](const vxs::JournalFile& x, const vxs::JournalFile& y) {
        return x.device == y.device && x.inode == y.inode && x.path == y.path;
    };
    if (a.kind != b.kind || a.sequence != b.sequence || a.flags != b.flags ||
        a.record != b.record || a.slotOffset != b.slotOffset || a.before != b.before ||
        a.after != b.after || !sameFile(a.data, b.data) || a.keys.size() != b.keys.size() ||
        a.marker != b.marker || a.size != b.size || a.dataRecords != b.dataRecords ||
        a.slotLength != b.slotLength || a.dataType != b.dataType || a.images.size() != b.images.size())
        return false;
    for (size_t i = 0; i < a.keys.size(); ++i)
        if (!sameFile(a.keys[i], b.keys[i])) return false;
    for (size_t i = 0; i < a.images.size(); ++i)
        if (a.images[i].offset != b.images[i].offset || a.images[i].bytes != b.images[i].bytes)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<vxs::JournalEntry> entries;
    vxs::JournalHeader header;
    if (vxs::decodeJournal(data, size, entries, &header) != 0) {
        if (!entries.empty()) abort();
        return 0;
    }
    // The entries are consecutive bytes after the header, each as it encodes.
    size_t at = vxs::kJournalHeaderBytes;
    for (const vxs::JournalEntry& e : entries) {
        const std::string bytes = vxs::encodeJournalEntry(e);
        if (at + bytes.size() > size || memcmp(data + at, bytes.data(), bytes.size()) != 0) abort();
        at += bytes.size();
        std::string again = vxs::encodeJournalHeader(header) + bytes;
        std::vector<vxs::JournalEntry> back;
        if (vxs::decodeJournal(reinterpret_cast<const uint8_t*>(again.data()), again.size(), back) != 0 ||
            back.size() != 1 || !sameEntry(back[0], e))
            abort();
    }
    return 0;
}
