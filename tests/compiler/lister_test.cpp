// Stored source and the lister: every line lists back exactly as it was typed, and the listing
// compiles again to the same code.
#include "vxs/compiler/lister.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/compile_support.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"

namespace vxs {
namespace {

TEST(Lister, ListsTheNumberAsFiveDigitsAndTheTextAsTyped) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 print \"Mixed Case\"; x ! note"), 0);
    ASSERT_EQ(f.enter("7   PRINT  \"spaced\""), 0);
    EXPECT_EQ(listLine(f.program(), findLine(f.program(), 10)),
              "00010 print \"Mixed Case\"; x ! note");
    EXPECT_EQ(listLine(f.program(), findLine(f.program(), 7)), "00007   PRINT  \"spaced\"")
        << "one blank after the number is the separator; the rest is indentation";
}

TEST(Lister, SourceIsTokenised) {
    test::ProgramFixture f;
    CompiledLine out;
    ASSERT_EQ(f.compile("10 READ #1, KEY=K$: A$ EOF 500 ! done", out), 0);
    const std::string& s = out.source;
    // The statement keyword as typed, the clause keywords by code, the line number as a
    // number, the comment by length.
    EXPECT_EQ(s.substr(0, 6), std::string("\x05\x04READ", 6));
    EXPECT_NE(s.find(std::string("\x02\x30", 2)), std::string::npos) << "KEY= is code 48";
    EXPECT_NE(s.find(std::string("\x02\x78", 2)), std::string::npos) << "EOF is code 120";
    EXPECT_NE(s.find(std::string("\x04\xF4\x01\x00\x03", 5)), std::string::npos) << "500";
    EXPECT_NE(s.find(std::string("\x06\x05 done", 7)), std::string::npos);
    EXPECT_EQ(restoreSource(s), "READ #1, KEY=K$: A$ EOF 500 ! done");
}

TEST(Lister, ClauseKeywordsTypedOtherwiseStayAsTyped) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 read #1, key=k$: a$ eof 500"), 0);
    EXPECT_EQ(listLine(f.program(), findLine(f.program(), 10)),
              "00010 read #1, key=k$: a$ eof 500");
}

TEST(Lister, LineNumbersKeepTheirTypedWidth) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 GOTO 00100"), 0);
    EXPECT_EQ(listLine(f.program(), findLine(f.program(), 10)), "00010 GOTO 00100");
}

TEST(Lister, ControlBytesInTheTextAreKept) {
    test::ProgramFixture f;
    std::string line = "10 PRINT \"A";
    line += '\x01';
    line += '\x05';
    line += '\x06';
    line += "B\"";
    ASSERT_EQ(f.enter(line), 0);
    EXPECT_EQ(listLine(f.program(), findLine(f.program(), 10)), "000" + line);
}

TEST(Lister, LongCommentsSpanSeveralTokens) {
    test::ProgramFixture f;
    const std::string comment(600, 'c');
    ASSERT_EQ(f.enter("10 PRINT !" + comment), 0);
    EXPECT_EQ(listLine(f.program(), findLine(f.program(), 10)), "00010 PRINT !" + comment);
}

TEST(Lister, TruncatedSourceStopsWithoutReadingBeyondIt) {
    EXPECT_EQ(restoreSource(std::string("\x05\x09PR", 4)), "");
    EXPECT_EQ(restoreSource(std::string("A\x04\x01", 3)), "A");
    EXPECT_EQ(restoreSource(std::string("A\x02", 2)), "A");
    EXPECT_EQ(restoreSource(std::string("\x02\xC8", 2)), "") << "an unknown clause keyword";
}

// A few hundred lines covering every statement and its forms.
TEST(Corpus, EveryLineListsBackAndRecompilesToTheSameCode) {
    std::ifstream in(VX_SOURCE_DIR "/tests/compiler/corpus.txt");
    ASSERT_TRUE(in) << "corpus missing";
    test::ProgramFixture first;
    std::vector<std::string> typed;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        ASSERT_EQ(first.enter(line), 0) << line;
        typed.push_back(line);
    }
    ASSERT_GE(typed.size(), 300u);
    EXPECT_EQ(resolveProgram(first.program()) >= 0, true);
    // The listing of each line is what was typed, and it compiles to the same code in a
    // program that is built from the listing alone.
    test::ProgramFixture second;
    const std::vector<int> order = linesInOrder(first.program());
    ASSERT_EQ(order.size(), typed.size());
    for (size_t i = 0; i < order.size(); ++i) {
        const std::string listed = listLine(first.program(), order[i]);
        EXPECT_EQ(listed, typed[i]);
        ASSERT_EQ(second.enter(listed), 0) << listed;
    }
    resolveProgram(second.program());
    for (size_t i = 0; i < order.size(); ++i) {
        const uint32_t n = first.program().lineptr[static_cast<size_t>(order[i])].lineno();
        EXPECT_EQ(test::hex(first.code(n)), test::hex(second.code(n))) << typed[i];
    }
    EXPECT_EQ(first.program().dictcnt, second.program().dictcnt);
}

TEST(Corpus, EveryStatementKeywordIsCovered) {
    std::ifstream in(VX_SOURCE_DIR "/tests/compiler/corpus.txt");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* kw :
         {"BREAK",   "CALL",   "CASE",      "CHAIN",   "CLOSE",   "CONTINUE", "DATA",   "DEF",
          "DELETE",  "DIM",    "DISPLAY",   "DO",      "END",     "EXECUTE",  "EXIT",   "FNEND",
          "FOR",     "FORM",   "GOSUB",     "GOTO",    "IF",      "IGNORE",   "INPUT",  "LET",
          "LIBRARY", "LINPUT", "LOOP",      "MAT",     "NEXT",    "ON",       "OPEN",   "OPTION",
          "PAUSE",   "PRINT",  "RANDOMIZE", "READ",    "RELEASE", "REM",      "REREAD", "RESERVE",
          "RESTORE", "RETRY",  "RETURN",    "REWRITE", "RINPUT",  "SELECT",   "STOP",   "SYSTEM",
          "TRACE",   "UNTIL",  "USE",       "WHILE",   "WRITE"})
        EXPECT_NE(all.find(std::string(" ") + kw), std::string::npos) << kw;
}

}  // namespace
}  // namespace vxs
