// Program file writer and reader (see progfile.h).
#include "vxs/compiler/progfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "vxs/compiler/command7.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/platform/files.h"

namespace vxs {

namespace {

inline constexpr uint16_t kNumberLength = 0x0808;  // the length field of a numeric entry
inline constexpr int kMaxLoadedLines = 32000;
inline constexpr uint16_t kMaxStoredString = 32767;

void put8(std::vector<uint8_t>& o, uint8_t v) { o.push_back(v); }
void put16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; ++i) o.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void set32(std::vector<uint8_t>& o, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) o[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get32(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The first byte of an entry image: string and function flags, array flag, dimensions.
uint8_t imageKind(const de& e) {
    uint8_t k = e.kind & (DE_FUNCTION | DE_STRING);
    if (e.attr & DA_DIMENSIONED) k |= 0x10;
    return static_cast<uint8_t>(k | (e.attr & DA_DIMS));
}

// `defLine`: for a function, the line index of its DEF in this program (-1 when it has none).
void writeEntryImage(std::vector<uint8_t>& o, const de& e, size_t nameLength, int16_t defLine) {
    const bool array = e.attr & DA_DIMENSIONED;
    put8(o, imageKind(e));
    put8(o, static_cast<uint8_t>(nameLength));
    if (e.isFunction()) {
        put16(o, e.isString() ? e.dimlen : kNumberLength);
        put32(o, 0);
        put16(o, static_cast<uint16_t>(defLine));
        put16(o, 0);
    } else if (array) {
        put16(o, e.isString() ? e.dimlen : kNumberLength);
        put32(o, 0);
        for (uint16_t d : e.dims) put16(o, d);
        put16(o, 0);
    } else if (e.isString()) {
        if (e.isLiteral()) {  // the literal's text with its length
            const std::string_view s = e.stringValue();
            put16(o, static_cast<uint16_t>(s.size()));
            put16(o, static_cast<uint16_t>(s.size()));
            o.insert(o.end(), s.begin(), s.end());
        } else {  // room for a value of the capacity, all zeros
            put16(o, e.dimlen);
            o.insert(o.end(), size_t{e.dimlen} + 2, 0);
        }
    } else {
        put16(o, kNumberLength);
        double v = e.isLiteral() ? e.number() : 0.0;
        uint8_t b[8];
        memcpy(b, &v, 8);
        o.insert(o.end(), b, b + 8);
    }
}

}  // namespace

int writeProgramImage(const pcb& pc, bool withoutSource, std::vector<uint8_t>& out) {
    out.assign(kHeaderSize, 0);
    const std::vector<int> order = linesInOrder(pc);
    // Code area: each line's length byte and code, in line-number order.  The texts go to the
    // source area, so no line of the file keeps its source inside the code area.
    std::vector<uint32_t> codeAt(static_cast<size_t>(pc.linecnt), 0);
    std::vector<uint32_t> sourceAt(static_cast<size_t>(pc.linecnt), 0);
    std::vector<uint8_t> source;
    uint32_t expectCode = 0, expectSource = 0;
    for (int i : order) {
        expectCode += 1 + static_cast<uint32_t>(lineCode(pc, i).size());
        if (!withoutSource && !lineSource(pc, i).empty())
            expectSource += 2 + static_cast<uint32_t>(lineSource(pc, i).size());
    }
    for (int i : order) {
        const std::span<const uint8_t> code = lineCode(pc, i);
        out.push_back(static_cast<uint8_t>(code.size()));
        codeAt[static_cast<size_t>(i)] = static_cast<uint32_t>(out.size() - kHeaderSize);
        out.insert(out.end(), code.begin(), code.end());
        const std::string_view text = lineSource(pc, i);
        if (withoutSource || text.empty()) continue;
        put16(source, static_cast<uint16_t>(text.size()));
        sourceAt[static_cast<size_t>(i)] = static_cast<uint32_t>(source.size());
        source.insert(source.end(), text.begin(), text.end());
    }
    const uint32_t cbytes = static_cast<uint32_t>(out.size() - kHeaderSize);
    if (cbytes != expectCode) {
        fprintf(stderr, "\nERROR cbytes=%ld scodebytes=%ld\n", static_cast<long>(cbytes),
                static_cast<long>(expectCode));
        return kErrCodeTotal;
    }
    if (!withoutSource && source.size() != expectSource) {
        fprintf(stderr, "\nERROR sbytes=%ld ssourcebytes=%ld\n", static_cast<long>(source.size()),
                static_cast<long>(expectSource));
        return kErrSourceTotal;
    }
    // Line table: 14-byte entries in the order of the table, offsets in place of pointers.
    for (int i = 0; i < pc.linecnt; ++i) {
        const linetbl& e = pc.lineptr[static_cast<size_t>(i)];
        const uint8_t flags = static_cast<uint8_t>(e.flags() & ~LF_SOURCE_IN_CODE);
        put32(out, (e.numflags & 0xFFFFFF) | uint32_t{flags} << 24);
        put32(out, sourceAt[static_cast<size_t>(i)]);
        put32(out, codeAt[static_cast<size_t>(i)]);
        put16(out, static_cast<uint16_t>(e.next < 0 ? kEndOfChain : e.next));
    }
    // Dictionary data, then the offset of each slot's entry image.
    const size_t dictStart = out.size();
    // Functions are saved with the line of their DEF here, whatever they are linked to now.
    const std::vector<int16_t> defLines = functionDefLines(pc);
    bool holdsFunctions = false;
    for (int16_t line : defLines) holdsFunctions = holdsFunctions || line >= 0;
    std::vector<uint32_t> offsets(static_cast<size_t>(pc.dictcnt), 0xFFFFFFFFu);
    for (int i = 0; i < pc.dictcnt; ++i) {
        const de* e = pc.dictEntryPointer[static_cast<size_t>(i)].get();
        if (!e) continue;
        const std::string_view name = dictNameView(pc, kFirstDictIndex + i);
        out.insert(out.end(), name.begin(), name.end());
        offsets[static_cast<size_t>(i)] = static_cast<uint32_t>(out.size() - dictStart);
        writeEntryImage(out, *e, name.size(), defLines[static_cast<size_t>(i)]);
    }
    const uint32_t dictBytes = static_cast<uint32_t>(out.size() - dictStart);
    for (uint32_t off : offsets) put32(out, off);
    out.insert(out.end(), source.begin(), source.end());

    // The header.
    set32(out, 0, cbytes);
    set32(out, 4, withoutSource ? 0 : static_cast<uint32_t>(source.size()));
    out[8] = kProgramFileMark;
    out[9] = pc.version >= kMinCodeVersion && pc.version <= kCodeVersion ? pc.version : kCodeVersion;
    out[10] = 3;
    uint8_t flags = pc.progflags;
    if (holdsFunctions) flags |= PF_LIBRARY;  // its functions can be linked from other programs
    if (withoutSource)
        flags |= PF_NO_SOURCE;
    else
        flags &= static_cast<uint8_t>(~PF_NO_SOURCE);
    out[11] = flags;
    out[12] = pc.progoptions[0];
    out[13] = pc.progoptions[1];
    out[14] = pc.progoptions[2];
    out[15] = static_cast<uint8_t>((pc.progoptions[3] ? 1 : 0) | pc.optionlevel << 1);
    set32(out, 16, dictBytes);
    out[20] = kHeaderSize;
    out[21] = 0;
    out[22] = static_cast<uint8_t>(pc.imageheader);
    out[23] = static_cast<uint8_t>(pc.imageheader >> 8);
    out[24] = static_cast<uint8_t>(pc.dictcnt);
    out[25] = static_cast<uint8_t>(pc.dictcnt >> 8);
    out[26] = static_cast<uint8_t>(pc.linecnt);
    out[27] = static_cast<uint8_t>(pc.linecnt >> 8);
    const int16_t first = pc.linecnt ? pc.firstline : kNoLines;
    out[28] = static_cast<uint8_t>(first);
    out[29] = static_cast<uint8_t>(static_cast<uint16_t>(first) >> 8);
    return 0;
}

bool looksLikeProgramFile(std::span<const uint8_t> file) {
    // The mark at byte 8, after two sizes whose high bytes are zero; text has no zero bytes.
    if (file.size() <= 8 || file[8] != kProgramFileMark) return false;
    for (size_t i = 0; i < 8; ++i)
        if (file[i] == 0) return true;
    return false;
}

namespace {

// Converts one entry image at `at` (the name ends just before it) into a dictionary entry.
int readEntry(std::span<const uint8_t> data, size_t at, DictName& name, DePtr& entry) {
    if (at + 4 > data.size()) return kErrBadProgramFile;
    const uint8_t* p = data.data() + at;
    const uint8_t k = p[0];
    const size_t nameLength = p[1];
    const uint16_t length = get16(p + 2);
    if (nameLength > at) return kErrBadProgramFile;
    const std::string_view nm(reinterpret_cast<const char*>(data.data() + at - nameLength),
                              nameLength);
    const bool function = k & DE_FUNCTION, string = k & DE_STRING, array = k & 0x10;
    const int dims = k & DA_DIMS;
    auto need = [&](size_t n) { return at + n <= data.size(); };
    if (nameLength) {
        name = makeDictName(nm);
        if (!name) return kErrNoMemory;
    }
    if (string && length > kMaxStoredString) return kErrBadProgramFile;
    if (function) {
        if (!need(12) || nameLength == 0 || array) return kErrBadProgramFile;
        entry = newDictEntry(static_cast<uint8_t>(k & (DE_FUNCTION | DE_STRING)));
        if (!entry) return kErrNoMemory;
        if (string) entry->dimlen = length;
        entry->fnline = get16(p + 8);
    } else if (array) {
        if (!need(24) || nameLength == 0) return kErrBadProgramFile;
        entry = newDictEntry(static_cast<uint8_t>(k & DE_STRING));
        if (!entry) return kErrNoMemory;
        if (string) entry->dimlen = length;
        entry->attr = static_cast<uint8_t>(DA_DIMENSIONED | dims);
        for (int d = 0; d < kMaxDims; ++d)
            entry->dims[d] = get16(p + 8 + 2 * static_cast<size_t>(d));
        // An older one-dimensional form keeps a marker 1 or 2 in the second dimension, with
        // 10 or 11 in the first; the marker goes into the low bits of the kind flags.
        if (dims == 1 && (entry->dims[1] == 1 || entry->dims[1] == 2)) {
            if (entry->dims[0] != 9 + entry->dims[1]) return kErrBadProgramFile;
            entry->kind = static_cast<uint8_t>(entry->kind | entry->dims[1]);
            entry->dims[1] = 0;
        }
    } else if (string) {
        if (!need(6 + size_t{length})) return kErrBadProgramFile;
        if (nameLength == 0) {
            if (get16(p + 4) != length) return kErrBadProgramFile;
            entry = newStringLiteral({reinterpret_cast<const char*>(p + 6), length});
        } else {
            entry = newDictEntry(DE_STRING, kDefaultStringCapacity);
            if (entry) entry->dimlen = length;
        }
        if (!entry) return kErrNoMemory;
    } else {
        if (!need(12)) return kErrBadProgramFile;
        double v;
        memcpy(&v, p + 4, 8);
        entry = nameLength ? newDictEntry(0) : newNumberLiteral(v);
        if (!entry) return kErrNoMemory;
    }
    return 0;
}

int readImage(std::span<const uint8_t> file, pcb& pc, int mode, bool keepSource) {
    if (file.size() < kHeaderSize) return file.size() > 8 && file[8] == kProgramFileMark
                                              ? kErrBadProgramFile
                                              : kErrNotProgramFile;
    const uint8_t* h = file.data();
    if (h[8] != kProgramFileMark) return kErrNotProgramFile;
    if (h[9] < kMinCodeVersion || h[9] > kCodeVersion) {
        pc.stateflags |= SF_UNSUPPORTED;
        return kErrUnsupportedVersion;
    }
    const uint8_t optionLevel = h[15] >> 1;
    if (mode != kLoadPlain) {
        if (!(h[11] & PF_LIBRARY)) return kErrNotLibrary;
        if (optionLevel && (pc.loadflags & LDF_NO_OPTION_LEVEL)) return kErrOptionLevel;
    }
    if (pc.linecnt != 0 || pc.dictcnt != 0) return kErrNotEmpty;

    const uint64_t codeBytes = get32(h), sourceBytes = get32(h + 4), dictBytes = get32(h + 16);
    const int dictCount = get16(h + 24), lineCount = get16(h + 26);
    const int16_t first = static_cast<int16_t>(get16(h + 28));
    const uint64_t fixed =
        kHeaderSize + codeBytes + sourceBytes + dictBytes + 4 * static_cast<uint64_t>(dictCount);
    if (fixed > file.size()) return kErrBadProgramFile;
    const uint64_t tableBytes = file.size() - fixed;
    int entrySize = 16;
    if (lineCount == 0) {
        if (tableBytes != 0) return kErrBadProgramFile;
    } else {
        if (tableBytes % static_cast<uint64_t>(lineCount) != 0) return kErrBadProgramFile;
        entrySize = static_cast<int>(tableBytes / static_cast<uint64_t>(lineCount));
        // Only the 14- and 16-byte forms exist; any other size is a damaged file.
        if (entrySize != 14 && entrySize != 16) return kErrBadProgramFile;
    }
    if (lineCount > kMaxLoadedLines || dictCount > MAX_DICTIONARY_ELEMENTS)
        return kErrBadProgramFile;

    const size_t codeAt = kHeaderSize;
    const size_t tableAt = codeAt + codeBytes;
    const size_t dictAt = tableAt + tableBytes;
    const size_t offsetsAt = dictAt + dictBytes;
    const size_t sourceAt = offsetsAt + 4 * static_cast<size_t>(dictCount);

    const int lineCap = std::min(lineCount + 210 + (mode != kLoadPlain ? 10 : 0), kMaxLoadedLines);
    const int dictCap = std::min(dictCount + 20, MAX_DICTIONARY_ELEMENTS);
    if (!allocatePCBTables(pc, lineCap, dictCap)) return kErrNoMemory;
    pc.codearea.assign(file.begin() + static_cast<ptrdiff_t>(codeAt),
                       file.begin() + static_cast<ptrdiff_t>(tableAt));
    if (keepSource)
        pc.sourcearea.assign(file.begin() + static_cast<ptrdiff_t>(sourceAt), file.end());

    // The line table, spread to 16-byte entries, and checked: every offset inside its area, the
    // chain from the first line visiting every line once in rising line-number order.
    int32_t codeTotal = 0, sourceTotal = 0;
    for (int i = 0; i < lineCount; ++i) {
        const uint8_t* p = file.data() + tableAt + static_cast<size_t>(i) * entrySize;
        linetbl& e = pc.lineptr[static_cast<size_t>(i)];
        e = linetbl{};
        e.numflags = get32(p);
        e.source = get32(p + 4);
        e.code = get32(p + 8);
        e.next = static_cast<int16_t>(get16(p + 12));
        if (e.lineno() < 1 || e.lineno() > static_cast<uint32_t>(kMaxLineNumber))
            return kErrBadProgramFile;
        if (e.code < 1 || e.code > codeBytes) return kErrBadProgramFile;
        const size_t len = pc.codearea[e.code - 1];
        if (len == 0 || e.code + len > codeBytes) return kErrBadProgramFile;
        codeTotal += static_cast<int32_t>(len);
        if (e.source != 0) {
            const bool inCode = e.flags() & LF_SOURCE_IN_CODE;
            const uint64_t areaSize = inCode ? codeBytes : sourceBytes;
            if (e.source < 2 || e.source > areaSize) return kErrBadProgramFile;
            const uint8_t* lp = file.data() + (inCode ? codeAt : sourceAt) + e.source - 2;
            const size_t textLength = get16(lp);
            if (e.source + textLength > areaSize) return kErrBadProgramFile;
            sourceTotal += static_cast<int32_t>(textLength);
            if (!keepSource) e.source = 0;
        }
    }
    // Code is patched in place before a run (line references, block targets): no two lines
    // may share bytes of the code area, nor a text kept there share bytes with code.
    {
        std::vector<std::pair<uint64_t, uint64_t>> spans;  // [from, to) in the code area
        for (int i = 0; i < lineCount; ++i) {
            const linetbl& e = pc.lineptr[static_cast<size_t>(i)];
            spans.emplace_back(e.code - 1, e.code + pc.codearea[e.code - 1]);
            if (e.source && (e.flags() & LF_SOURCE_IN_CODE))
                spans.emplace_back(e.source - 2, e.source + get16(pc.codearea.data() + e.source - 2));
        }
        std::sort(spans.begin(), spans.end());
        for (size_t k = 1; k < spans.size(); ++k)
            if (spans[k].first < spans[k - 1].second) return kErrBadProgramFile;
    }
    pc.linecnt = lineCount;
    pc.ltblsize = entrySize;
    if (lineCount == 0) {
        if (first != kNoLines && first != kEndOfChain) return kErrBadProgramFile;
        pc.firstline = kNoLines;
    } else {
        std::vector<bool> seen(static_cast<size_t>(lineCount), false);
        int visited = 0;
        uint32_t previous = 0;
        for (int i = first; i != kEndOfChain; i = pc.lineptr[static_cast<size_t>(i)].next) {
            if (i < 0 || i >= lineCount || seen[static_cast<size_t>(i)]) return kErrBadProgramFile;
            seen[static_cast<size_t>(i)] = true;
            const uint32_t number = pc.lineptr[static_cast<size_t>(i)].lineno();
            if (number <= previous) return kErrBadProgramFile;
            previous = number;
            ++visited;
        }
        if (visited != lineCount) return kErrBadProgramFile;
        pc.firstline = first;
    }
    pc.codebytes = codeTotal;
    pc.sourcebytes = keepSource ? sourceTotal : 0;

    // The dictionary.
    const std::span<const uint8_t> data = file.subspan(dictAt, dictBytes);
    for (int i = 0; i < dictCount; ++i) {
        const uint32_t off = get32(file.data() + offsetsAt + 4 * static_cast<size_t>(i));
        if (off == 0xFFFFFFFFu) continue;
        if (off >= data.size()) return kErrBadProgramFile;
        DictName name;
        DePtr entry;
        if (int err = readEntry(data, off, name, entry)) return err;
        pc.dictnamebytes += name ? dictNameSpace(name[0]) : 0;
        pc.dictentrybytes += dictEntrySpace(*entry);
        pc.dictNamePointer[static_cast<size_t>(i)] = std::move(name);
        pc.dictEntryPointer[static_cast<size_t>(i)] = std::move(entry);
    }
    pc.dictcnt = dictCount;

    pc.progflags = h[11];
    pc.version = h[9];
    pc.progoptions[0] = h[12];
    pc.progoptions[1] = h[13];
    pc.progoptions[2] = h[14];
    pc.progoptions[3] = h[15] & 1;
    pc.optionlevel = optionLevel;
    pc.imageheader = get16(h + 22);
    if (mode == kLoadLibrary) pc.loadflags |= LDF_LIBRARY;
    pc.curline = pc.firstline < 0 ? 0 : pc.firstline;
    pc.resolved = false;
    pc.stateflags |= SF_LOADED;
    return 0;
}

}  // namespace

int readProgramImage(std::span<const uint8_t> file, pcb& pc, int mode, bool keepSource) {
    const int err = readImage(file, pc, mode, keepSource);
    if (err && err != kErrNotEmpty) resetProgram(pc);
    return err;
}

int readProgramFile(const std::string& path, std::vector<uint8_t>& out) {
    const int status = platform::readWholeFile(path, out, kMaxProgramFileBytes);
    if (status < 0) return lastOsError();
    return status > 0 ? kErrBadProgramFile : 0;
}

}  // namespace vxs
