// What the fuzz targets whose inputs write files share: a scratch directory of their own that
// becomes the working directory and goes away when the process ends, and the rewriting of
// libFuzzer's path arguments into absolute paths before any target changes directory.
#pragma once

#include <span>
#include <string>

namespace vxfuzz {

// For LLVMFuzzerInitialize, which libFuzzer calls before it reads its arguments: rewrites every
// argument naming a file or directory (the corpus directories and input files, and the values
// of the path flags such as -dict= and -artifact_prefix=) as an absolute path of the current
// directory, and adds -artifact_prefix=<current directory>/ when neither an artifact prefix nor
// an exact artifact path is given, so that inputs, new corpus entries and crash reports stay
// where they were meant to be once the target has changed directory.  `*argv` then points to
// storage kept for the life of the process.
void absolutePathArguments(int* argc, char*** argv);

// Creates a new directory "vxfuzz-<tag>-XXXXXX" in the temporary directory ($TMPDIR, else
// /tmp), makes it the working directory and returns its absolute path.  At a normal end of the
// process (a return from main, exit()) the former working directory comes back and the scratch
// directory is removed with its contents.  Only the first call makes a directory; later calls
// return the same one.  Aborts when it cannot be made.
const std::string& enterScratchDirectory(const char* tag);

// Removes everything inside the scratch directory, which stays the working directory.  Aborts
// when there is no scratch directory or its contents cannot be removed.
void emptyScratchDirectory();

// Writes `bytes` as the file `name` of the working directory.  Aborts on failure.
void writeScratchFile(const char* name, const std::string& bytes);

// The program file image of the numbered lines `lines` (a library the targets' inputs call).
// Aborts when a line is refused or the image cannot be written.
std::string programImage(std::span<const char* const> lines);

}  // namespace vxfuzz
