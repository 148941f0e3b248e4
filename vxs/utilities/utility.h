// What the INDEX and SORT utilities share: the host that connects them to the operator (the
// procedure lines, the status line, the screen, the keyboard), the sort memory, the work file
// (a file of the work directory that is removed however the run ends) and the listing file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "vxs/utilities/extsort.h"
#include "vxs/indexes/keyindex.h"
#include "vxs/printing/spool.h"

namespace vxs {

struct Fcb;
struct Ufcb;
class BtreeIndex;
class IsamLoader;

// A file number a utility opened (through the open parameter block), closed when this object
// goes, whatever happened.
struct UtilityFile {
    Ufcb* u = nullptr;
    UtilityFile() = default;
    UtilityFile(const UtilityFile&) = delete;
    UtilityFile& operator=(const UtilityFile&) = delete;
    ~UtilityFile() { (void)close(); }
    // `option`: a close option of closeFile (datafile.h).
    [[nodiscard]] int close(int option = 0);
};

// The data file a utility reads: INTERNAL, for input in sequence, with the share given, as file
// `number`.  A file that is no INTERNAL data file is kErrWrongFileType.
[[nodiscard]] int openUtilityInput(int number, const std::string& name, int share, UtilityFile& f);

// How a utility reaches the operator; control fills it in, tests give their own.  Every member
// may be left empty: nothing is shown, no procedure line and no key comes.
struct UtilityHost {
    // The next line of the procedure file being read; false when there is none.
    std::function<bool(std::string& line)> procedureLine;
    // A progress or result message (the status line).
    std::function<void(std::string_view text)> message;
    // A line on the screen (comments of a sort control file, the summary).
    std::function<void(std::string_view text)> screenLine;
    // The next key within `seconds` (0: without limit); -1 when none came or none can come.
    std::function<int(int seconds)> readKey;
    // Whether the attention key was pressed since the last look.
    std::function<bool()> attention;
    // The sort memory in bytes; 0: utilitySortMemory() (tests make it small to force spills).
    size_t sortMemory = 0;

    bool nextProcedureLine(std::string& line) const { return procedureLine && procedureLine(line); }
    void show(std::string_view text) const {
        if (message) message(text);
    }
    void line(std::string_view text) const {
        if (screenLine) screenLine(text);
    }
    int key(int seconds) const { return readKey ? readKey(seconds) : -1; }
    bool interrupted() const { return attention && attention(); }
    size_t memory() const;
};

// The sort memory in bytes: MAX_SORT_MEMORY megabytes, reduced to the memory the machine has
// available (never below 1 MB).
size_t utilitySortMemory();

// The work file of a utility's sort at `path` (an operating-system path): made (emptied when it
// exists) when the sort first spills, closed and deleted when the sort goes.
ExternalSort::WorkOpener utilityWorkOpener(std::string path);

// The path of a utility's work file named `name` in `directory` (a name as the user gives it,
// mapped; empty: the configured work directory).
[[nodiscard]] int utilityWorkPath(const std::string& directory, const std::string& name,
                                  std::string& path);

// The temporary name a utility builds a file under beside `path` (renamed over it once
// complete): the path, ".~" and this process's number.
std::string utilityTemporaryPath(const std::string& path);

// A sort record ends with the number of the record it comes from, in 4 bytes, most significant
// first, so that sort records compare as bytes.
inline void putSortRecordNumber(uint8_t* at, uint32_t n) {
    at[0] = static_cast<uint8_t>(n >> 24);
    at[1] = static_cast<uint8_t>(n >> 16);
    at[2] = static_cast<uint8_t>(n >> 8);
    at[3] = static_cast<uint8_t>(n);
}
inline uint32_t sortRecordNumber(const uint8_t* at) {
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

// Loads (key, record number) entries, in ascending order, into an empty key file opened by
// itself: a B-tree by its bulk load, an ISAM file as one sorted run whose records all count as
// sorted.  `finish` ends the load (a B-tree's is ended even after a failed add).
class KeyFileLoader {
  public:
    explicit KeyFileLoader(Fcb& keyFile);
    ~KeyFileLoader();
    KeyFileLoader(const KeyFileLoader&) = delete;
    KeyFileLoader& operator=(const KeyFileLoader&) = delete;
    [[nodiscard]] int add(const uint8_t* key, uint32_t record);
    [[nodiscard]] int finish();

  private:
    Fcb& file_;
    BtreeIndex* tree_ = nullptr;
    std::unique_ptr<IsamLoader> isam_;
};

// A listing of a utility: lines written to a file (">name" replaces it, ">>name" appends) or to
// the printer (PRN:), ended by a Ctrl-Z byte when closed.  Without a name the lines go to the
// screen.
class UtilityListing {
  public:
    UtilityListing() = default;
    ~UtilityListing();
    UtilityListing(const UtilityListing&) = delete;
    UtilityListing& operator=(const UtilityListing&) = delete;
    // Opens the target; nothing is opened until the first line.
    void target(const std::string& name, bool append, const UtilityHost* host) {
        name_ = name;
        append_ = append;
        host_ = host;
    }
    [[nodiscard]] int line(std::string_view text);
    [[nodiscard]] int close();

  private:
    std::string name_;
    bool append_ = false;
    const UtilityHost* host_ = nullptr;
    int handle_ = 0;
    std::unique_ptr<PrintJob> job_;  // a listing to the printer
    std::string pending_;
};

// The text of a key in a listing: control characters shown as blanks.
std::string listedKey(const uint8_t* key, size_t length);

}  // namespace vxs
