// Program files: the compiled image of a program (header, code area, line table, dictionary
// data with its offset table, source area) that loads without recompiling, its writer and its
// reader.  The byte layout is described in docs/program-file.md and is a contract with every
// stored program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vxs/compiler/pcb.h"
#include "vxs/errors/errors.h"

namespace vxs {

inline constexpr uint8_t kProgramFileMark = 0x0A;  // byte 8 of every program file
inline constexpr uint8_t kCodeVersion = 37;        // the code version this build writes
inline constexpr uint8_t kMinCodeVersion = 30;
inline constexpr uint8_t PF_NO_SOURCE = 0x20;  // header flags: saved without source text
inline constexpr uint8_t PF_LIBRARY = 0x80;    // may be loaded in library mode
inline constexpr uint8_t PF_PROTECTED = 0x01;  // PROTECT: always saved without source text
inline constexpr uint8_t LDF_LIBRARY = 0x80;   // load flags: loaded in library mode
inline constexpr uint8_t LDF_NO_OPTION_LEVEL = 0x40;  // refuses programs with an option level
inline constexpr uint8_t SF_UNSUPPORTED = 0x08;       // state flags: written by another version
inline constexpr uint8_t SF_LOADED = 0x60;            // state flags: loaded completely


inline constexpr int kHeaderSize = 32;

// File name extensions of compiled programs and of program source text.
inline constexpr const char kObjectExtension[] = ".vxp";
inline constexpr const char kSourceExtension[] = ".vxb";

// Read modes.
inline constexpr int kLoadPlain = 0, kLoadLibrary = 1, kLoadLibraryLinked = 2;

// The file image of a program; with `withoutSource` the lines keep no text.  Returns 0, or
// 9111 / 9112 when the totals written disagree with the header.
[[nodiscard]] int writeProgramImage(const pcb& pc, bool withoutSource, std::vector<uint8_t>& out);

// Reads a file image into an empty control block.  Without `keepSource` the lines get no text.
// Returns 0 or an error number (4122, 2240, 2278, 2280, 9309, 9999, 9000); on failure the block
// is left reset and empty.
[[nodiscard]] int readProgramImage(std::span<const uint8_t> file, pcb& pc, int mode,
                                   bool keepSource);

// The largest file a program can come from: 32000 lines of at most 255 code bytes and 800
// source characters with their 16-byte table entries (about 34 MB), and a full dictionary, stay
// under it.  Anything larger (an endless device, a file that is no program) is refused before it
// fills memory.
inline constexpr size_t kMaxProgramFileBytes = size_t{64} << 20;

// Reads a program, source or procedure file whole.  Returns 0, the operating-system error, or
// 9309 when the file is larger than kMaxProgramFileBytes (nothing is kept then).
[[nodiscard]] int readProgramFile(const std::string& path, std::vector<uint8_t>& out);

// Whether the bytes start like a program file rather than source text (the mark at byte 8
// after the header's two sizes).
bool looksLikeProgramFile(std::span<const uint8_t> file);

}  // namespace vxs
