// The program model: the program control block (`pcb`) with its line table (`linetbl`) and its
// dictionary of names, literals and user functions (`dictNamePointer`, `dictEntryPointer`,
// addressed by dictionary index from 256), the pending dictionary additions of the line being
// compiled, and the chain of loaded blocks (`pchain`: curpcb, pcbhead, pendpcb).
//
// Invariants:
// - slots 256 .. 256 + dictcnt - 1 are the used range; a slot whose entry is null is free;
// - dictcnt <= dictcap <= MAX_DICTIONARY_ELEMENTS;
// - firstline is -2 exactly when the program has no lines; lines chain through `next` in
//   line-number order, -1 ending the chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vxs {

inline constexpr int kFirstDictIndex = 256;            // code words below 256 are small integers
inline constexpr int MAX_DICTIONARY_ELEMENTS = 32511;  // slots; the last index is 32766
inline constexpr int kProgNameSize = 512;              // bytes of progname, with its terminator
inline constexpr int kDefaultLineCapacity = 1500;      // a new empty program
inline constexpr int kDefaultDictCapacity = 200;
inline constexpr int16_t kNoLines = -2;     // firstline of an empty program
inline constexpr int16_t kEndOfChain = -1;  // next of the last line
inline constexpr int kMaxLineNumber = 99999;

// ---- line table entry: 16 bytes ----
//   OFFSET SIZE MEANING
//   0      4    bits 0-23 line number (1..99999), bits 24-31 line flags
//   4      4    source: offset of the text (after its 16-bit length) in the code area when flag
//                bit 1 is set, else in the source area; 0 when the line has no source
//   8      4    code: offset in the code area of the first code byte (its length byte is before)
//   12     2    next line index in line-number order, -1 at the end
//   14     2    reserved (absent in the 14-byte form of older program files)
inline constexpr uint8_t LF_SOURCE_IN_CODE = 0x02;  // the source text lies in the code area
inline constexpr uint8_t LF_NOT_EXECUTABLE = 0x80;  // no executable clause: the run loop skips it

// A trivial type: a new table is not written until its entries are used.
struct linetbl {
    uint32_t numflags;
    uint32_t source;
    uint32_t code;
    int16_t next;
    uint16_t reserved;

    uint32_t lineno() const { return numflags & 0xFFFFFF; }
    uint8_t flags() const { return static_cast<uint8_t>(numflags >> 24); }
    void setLineno(uint32_t n) { numflags = (numflags & 0xFF000000u) | (n & 0xFFFFFF); }
    void setFlags(uint8_t f) { numflags = (numflags & 0xFFFFFF) | (uint32_t{f} << 24); }
};
static_assert(sizeof(linetbl) == 16, "line table entries are 16 bytes");
static_assert(std::is_trivial_v<linetbl>);
static_assert(offsetof(linetbl, next) == 12 && offsetof(linetbl, reserved) == 14);

// ---- dictionary entry ----
inline constexpr uint8_t DE_FUNCTION = 0x80;  // user function (FN name)
inline constexpr uint8_t DE_STRING = 0x40;    // string: the name ends in $
inline constexpr uint8_t DE_LITERAL = 0x20;   // no name, value fixed by the compiler
inline constexpr uint8_t DE_STORAGE = 0x08;   // value held in separately allocated storage
inline constexpr uint8_t DA_DIMS = 0x07;      // attributes: number of dimensions
inline constexpr uint8_t DA_DIMENSIONED = 0x08;
inline constexpr int kMaxDims = 7;

struct de {
    uint8_t kind = 0;
    uint8_t spare1 = 0;
    uint8_t attr = 0;
    uint8_t spare2 = 0;
    uint16_t slen = 0;    // current length of a string scalar
    uint16_t dimlen = 0;  // maximum length of a string value or element; 0 for numbers
    uint16_t dims[kMaxDims] = {};
    // User function: the line index of its DEF, or kFnLibraryLink + an entry of the program's
    // library link table, or kFnUnlinked.
    uint32_t fnline = 0;
    // Separately allocated value storage (arrays, long strings), owned by the entry when
    // DE_STORAGE is set and released with it (std::free).
    void* storage = nullptr;
    // Inline value: an IEEE double, or a 16-bit length followed by the text (see stringText).
    alignas(8) uint8_t value[8] = {};

    bool isFunction() const { return kind & DE_FUNCTION; }
    bool isString() const { return kind & DE_STRING; }
    bool isLiteral() const { return kind & DE_LITERAL; }
    int dimensions() const { return attr & DA_DIMS; }

    double number() const;
    void setNumber(double v);
    // The inline string: its length word and its text, which runs past `value` into the extra
    // bytes the entry was allocated with.
    uint16_t stringLength() const;
    std::string_view stringValue() const;
    char* stringText() { return reinterpret_cast<char*>(this) + offsetof(de, value) + 2; }
};

// The link field of a function entry.  Library links lie above every line index a table can
// hold (32000), so a DEF far down a long program is never taken for a link.
inline constexpr uint32_t kFnLibraryLink = 0x10000;
inline constexpr uint32_t kFnUnlinked = 0xFFFFFFFF;

// Frees an entry allocated by newDictEntry, with its storage.
struct DeDelete {
    void operator()(de* e) const;
};
using DePtr = std::unique_ptr<de, DeDelete>;

// A new zeroed entry with room for an inline string of `textCapacity` bytes.  Null when memory
// runs out.
DePtr newDictEntry(uint8_t kind, size_t textCapacity = 0);
DePtr newNumberLiteral(double value);
DePtr newStringLiteral(std::string_view text);

// A dictionary name: a length byte followed by that many characters, no terminator.
using DictName = std::unique_ptr<uint8_t[]>;
DictName makeDictName(std::string_view name);  // null when empty or longer than 255

// Space a name or an entry takes in the stored image of the dictionary.
int dictNameSpace(int nameLength);  // (n + 5) rounded down to a multiple of 4
int dictEntrySpace(const de& e);    // 56, or 58 + string length rounded up to 4 for strings

struct pcb;

// One function of a program linked to a library program: the library, the DEF line of the
// function there (-1 until known), and the function's index in each dictionary.
struct LibLink {
    pcb* lib = nullptr;  // null once the library has been released
    int16_t defline = -1;
    int fn = 0;     // in the linking program
    int libfn = 0;  // in the library
};

// How a block takes part in library linking.
inline constexpr uint8_t kLibNone = 0;      // the main program (or a program being edited)
inline constexpr uint8_t kLibLoaded = 1;    // loaded by LIBRARY: released when the run ends
inline constexpr uint8_t kLibResident = 2;  // loaded by LOAD ... RESIDENT: stays loaded

// ---- program control block ----
struct pcb {
    uint8_t progflags = 0;   // saved with the program; bit 2: the code refers to an FN name
    uint8_t stateflags = 0;  // bit 3 unsupported version, bit 4 holds a lock region,
                             // bits 5 and 6 loaded completely
    uint8_t loadflags = 0;   // bit 7: loaded in library mode
    uint8_t version = 0;     // version of the compiled code (30..37)
    uint8_t progoptions[4] = {};
    uint8_t optionlevel = 0;
    char progname[kProgNameSize] = {};
    int32_t codebytes = 0;    // scodebytes
    int32_t sourcebytes = 0;  // ssourcebytes
    int32_t dictnamebytes = 0;
    int32_t dictentrybytes = 0;
    int16_t lockregion = 0;
    int32_t basenamelen = 0;   // progname without its extension
    int32_t dictcap = 0;       // dictionary slots allocated
    int32_t dictcnt = 0;       // slots in use, counted from index 256
    uint32_t imageheader = 0;  // kept from the program file and written back
    int32_t linecap = 0;       // entries allocated in lineptr
    int32_t linecnt = 0;
    uint32_t dispattr[2] = {};           // display attributes
    std::unique_ptr<linetbl[]> lineptr;  // the line table, in order of entry
    // Code of every line (a length byte before each line's code) and the source texts kept with
    // it (a 16-bit length before each text).  Offset 0 is never a line's, so 0 means "none".
    std::vector<uint8_t> codearea;
    std::vector<uint8_t> sourcearea;  // source area of the program file it was loaded from
    uint8_t stepatstart = 0;
    int16_t firstline = 0;
    int16_t curline = 0;
    int16_t savedclausecount = 0;
    int16_t savedclauseoffset = 0;
    int16_t stepstate[4] = {};
    // Lines set by ON condition statements; -2 and -3 are two different unset states.
    int16_t condtargets[10] = {};
    int16_t condnumbered[10] = {};
    int16_t condfurther = 0;
    std::unique_ptr<DictName[]> dictNamePointer;  // slot i is dictionary index 256 + i
    std::unique_ptr<DePtr[]> dictEntryPointer;
    // False after an edit or a load until the line references and block targets have been
    // resolved again (vxexe.h).
    bool resolved = true;
    // Run bookkeeping of the interpreter (run.h).
    int16_t nextline = kEndOfChain;    // the successor of the current line when suspended
    int16_t pendingexec = 0;           // EXECUTE in progress: clause offset + 1; negative: failed
    int32_t lasterror = 0;             // the last error number
    int16_t errorline = -1;            // its line index, -1 when none
    int16_t erroroffset = 0;           // its clause offset
    uint32_t stopline = 0;             // a line number at which the run stops, 0 when none
    struct BreakPoint {
        uint32_t line;  // line number
        int clause;     // 1-based
        bool oneShot;
    };
    std::vector<BreakPoint> breakpoints;
    // Library bookkeeping (interpreter/library.h).
    std::vector<LibLink> liblinks;  // this program's links to library functions
    uint8_t libmode = kLibNone;
    bool librelease = false;  // released as soon as no call of it is active
    bool libprepared = false; // its variables were set up for the current run
    int32_t activecalls = 0;  // calls of its functions in progress
    pcb* next = nullptr;    // chain of loaded programs
    int32_t ltblsize = 16;  // line-table entry size of the file it was loaded from
};

// Creates an empty block named `name`, with tables of the given capacities, and links it into
// the chain (second after the head, or head and current when the chain is empty).
// Returns 0 or -9000 (block not allocated).  A name of 512 or more characters, a dictionary
// capacity above 32510 or failed table allocation are consistency failures.
[[nodiscard]] int createPCB(int lineLimit, int dictLimit, const char* name, pcb** out);
// The initial condition targets of a new block: the first group -2 except the sixth, -3; the
// numbered group and the further target -3.
void initConditionTargets(pcb& pc);
// Allocates the line table and both dictionary tables; false when memory runs out.
[[nodiscard]] bool allocatePCBTables(pcb& pc, int lineLimit, int dictLimit);
// Makes the block empty (no lines, no dictionary, first line -2) keeping at least one slot of
// each table.  Returns 9000, the "program cleared" status.
int resetProgram(pcb& pc);
// Unlinks the block from the chain and frees it.
void freePCB(pcb* pc);
// Frees every block in the chain (shut-down).
void freeAllPCBs();

// Length of `name` without its extension: the part from the last '.' on, unless a directory
// separator ('\' or '/') follows that dot.
int baseNameLength(std::string_view name);

// ---- dictionary ----
de* dictEntry(const pcb& pc, int index);  // null for a free slot or an index out of range
std::string_view dictNameView(const pcb& pc, int index);  // empty when the slot has no name
// The name of a slot; a slot without a name is a consistency failure ("dictName").
std::string dictName(const pcb& pc, int index);
// Lowest index whose name is exactly `name` (case-sensitive); 0 when absent.
int findName(const pcb& pc, std::string_view name);
// The dictionary index whose entry is `e` (the very object); 0 when none is.
int findEntry(const pcb& pc, const de* e);
// Lowest index holding a literal of the same type and value; 0 when absent.
int findNumberLiteral(const pcb& pc, double value);
int findStringLiteral(const pcb& pc, std::string_view text);
// First free slot at or above max(lowest, 256) in the used range, else the next new index; grows
// both tables when the index lies beyond the capacity.  Returns 0 with `index` set, or 9000.
[[nodiscard]] int allocateDictIndex(pcb& pc, int lowest, int& index);
// Stores an entry (and its name, which may be null for literals) in a slot; raises the count
// to cover it.  The slot must lie within the capacity.
void storeDictEntry(pcb& pc, int index, DictName name, DePtr entry);
// Frees a slot: its entry and name become null, so the index can be reused.
void freeDictSlot(pcb& pc, int index);

// ---- pending dictionary additions of the line being compiled ----
struct PendingEntry {
    DictName name;  // null for a literal
    DePtr entry;
    int index = 0;  // the slot reserved for it
};
struct PendingDict {
    std::vector<PendingEntry> nodes;
    int highest = 0;  // highest index reserved on the list
    void clear() {
        nodes.clear();
        highest = 0;
    }
};
// Reserves an index past the highest one already on the list and keeps the entry pending.
// Returns 0 with `index` set, or 9000.
[[nodiscard]] int pendingAdd(pcb& pc, PendingDict& pending, std::string_view name, DePtr entry,
                             int& index);
// Lookups during compilation: the dictionary first, then the pending list.  0 when absent.
int findNamePending(const pcb& pc, const PendingDict& pending, std::string_view name);
int findNumberLiteralPending(const pcb& pc, const PendingDict& pending, double value);
int findStringLiteralPending(const pcb& pc, const PendingDict& pending, std::string_view text);
// The line was accepted: the pending entries go into their slots.
void pendingCommit(pcb& pc, PendingDict& pending);
// The line was rejected: nothing changes in the dictionary.
void pendingDiscard(PendingDict& pending);

// The chain of loaded program control blocks.  The program model owns it; command mode and the
// run loop move `curpcb` among its members (a library function runs with its library current).
// Invariants: every block of the chain is reached from pcbhead through `next`; curpcb and pendpcb
// are null or members of the chain.
struct ProgramChain {
    pcb* curpcb = nullptr;   // the program being edited or run
    pcb* pcbhead = nullptr;  // the first program loaded in the session; the chain runs via next
    pcb* pendpcb = nullptr;  // to become current on the next run (resume or end)
};
extern ProgramChain pchain;

}  // namespace vxs
