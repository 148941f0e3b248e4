// What the keyed-file layer keeps of each key file's journal (inside the data-file layer only):
// where its changes are written, the state of its held-back changes, and the recovery of a dead
// copy's journal (recovery.cpp), which finishes or undoes what it describes.
#pragma once

#include <string>
#include <vector>

#include "vxs/datafiles/fcb.h"
#include "vxs/datafiles/journal.h"

namespace vxs {

// The journal's view of one key file (Fcb::keyJournal): its changes go to the journal of its
// data file's directory; a file held alone has its state written there (CHECKPOINT) before its
// first held-back change, and its held-back nodes (FLUSH) before a checkpoint writes them.
class KeyJournal final : public IndexJournal {
  public:
    explicit KeyJournal(Fcb& key) : key_(key) {}
    ~KeyJournal() override;
    KeyJournal(const KeyJournal&) = delete;
    KeyJournal& operator=(const KeyJournal&) = delete;

    Fcb* data = nullptr;       // the data file whose keys the file holds
    uint32_t dataRecords = 0;  // the data records whose keys the file on disk holds
    bool speaking = false;     // a CHECKPOINT in the journal speaks for held-back changes

    [[nodiscard]] int journal(Journal*& j);
    [[nodiscard]] int keyChange(uint32_t marker, int64_t oldSize,
                                const std::vector<PageImage>& before) override;
    // Before the first held-back change: the state the file holds on disk, and the data records
    // it covers (`records`; those of the data file before the change).
    [[nodiscard]] int startHeldBack(uint32_t records);
    [[nodiscard]] int checkpointing(int64_t newSize, const std::vector<PageImage>& after) override;
    [[nodiscard]] int checkpointed(int64_t newSize) override;
    // The key file is clean (a checkpoint wrote everything) or closes.
    void release();

  private:
    int writeState(Journal& j, JournalKind kind, uint32_t records, int64_t size,
                   const std::vector<PageImage>& images);
    Fcb& key_;
    Journal* journal_ = nullptr;
};

inline KeyJournal* keyJournalOf(Fcb& k) { return static_cast<KeyJournal*>(k.keyJournal.get()); }

// Where a write can be left cut short: a kill stops a write between the pages the system copies
// it by (a slot crossing one can be left partly written); a power loss keeps or loses each
// sector of a write not yet flushed.  A slot overwritten across one of these has its change
// journaled first, so that it can be made whole.
constexpr int64_t kKillTearBytes = 4096;
constexpr int64_t kSectorBytes = 512;

// The journal's name for a file (its identity and absolute path).
JournalFile journalFileOf(const Fcb& f);
// The slot length of a data file's records (INTERNAL: with the status byte).
uint32_t dataSlotLength(const Fcb& data);

// Makes the key file's index again from what the file holds (after recovery changed it).
[[nodiscard]] int reopenIndex(Fcb& k);
// Every journal that a dead copy left in the directories of a data file and its key files is
// finished.  `live` counts those whose writer lives.
[[nodiscard]] int recoverAround(const Fcb& data, const std::vector<Fcb*>& keys, int& live);
// A key file joins a data file at OPEN: the journal knows its data file, and a change a dead copy
// left unfinished in it (changes held back, an odd change count, or any ISAM file) is finished
// from that copy's journal.  4123 when the file stays unfinished.
[[nodiscard]] int keyFileJoined(Fcb& data, Fcb& k);
// Finishes or undoes what a dead copy's journal describes.  `restarted`: the journal is from
// before the machine last started, so the last record change may have reached the disk torn.
[[nodiscard]] int recoverJournal(const std::string& path, const std::vector<JournalEntry>& entries,
                                 bool restarted);

}  // namespace vxs
