// Helpers for the compiler tests: a fresh program to compile into, and the bytes and
// disassembly of what a line or an expression compiles to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vxs/compiler/command2.h"
#include "vxs/compiler/command7.h"
#include "vxs/compiler/compile.h"
#include "vxs/compiler/pcb.h"

namespace vxs::test {

// A program of its own for each test (the chain is reset around it).
class ProgramFixture {
  public:
    ProgramFixture();
    ~ProgramFixture();
    ProgramFixture(const ProgramFixture&) = delete;
    ProgramFixture& operator=(const ProgramFixture&) = delete;

    pcb& program() { return *pc_; }
    // Compiles and stores a numbered line; returns the compile error (0 when stored).
    int enter(const std::string& line);
    // The code of the stored line with this number (empty when none).
    std::vector<uint8_t> code(uint32_t number);
    // Compiles a line without storing it.
    int compile(const std::string& text, CompiledLine& out, bool numbered = true);
    // Compiles one expression; returns the error, with the expression section's bytes.
    int expression(const std::string& text, std::vector<uint8_t>& bytes,
                   ExprType want = ExprType::Any);

  private:
    pcb* pc_ = nullptr;
};

// Runs a program through the run loop with a recording terminal: the lines are entered into a
// fresh program, RUN from its first line.  `typed` answers input statements.
struct RunResult {
    std::vector<std::string> output;  // console lines
    std::vector<std::string> errors;  // "error line clause" of each reported error
    int status = 0;                   // the run status afterwards
};
RunResult runProgram(const std::vector<std::string>& lines,
                     const std::vector<std::string>& typed = {});
// Runs one statement typed without a line number in a fresh program.
RunResult runStatement(const std::string& statement);

// Bytes as "02 00 01 ..." for readable failures.
std::string hex(const std::vector<uint8_t>& bytes);

}  // namespace vxs::test
