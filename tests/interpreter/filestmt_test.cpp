// The file statements as programs use them: OPEN, CLOSE, READ, WRITE, REWRITE, REREAD, DELETE
// and RESTORE with FORM and their exits, the error handling of file errors, the file functions,
// PRINT and LINPUT on DISPLAY files with their line ends and page overflow, READ and RESTORE of
// DATA, and the files a program leaves open closed when it ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/compile_support.h"
#include "tests/support/test_support.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

class FileStatementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxfilestmt-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fileBlocks(), true);
        std::filesystem::remove_all(dir_);
    }
    // Each "@" in the text stands for the test's directory.
    std::string at(std::string text) const {
        for (size_t p = text.find('@'); p != std::string::npos; p = text.find('@', p))
            text.replace(p, 1, dir_);
        return text;
    }
    // The console lines of the program, then its errors as "error N L C".  Files the program
    // left open (it stopped on an error) are counted in `leftOpen_`, then closed.
    Lines run(Lines program, const Lines& typed = {}) {
        for (std::string& line : program) line = at(line);
        const test::RunResult r = test::runProgram(program, typed);
        Lines out = r.output;
        for (const std::string& e : r.errors) out.push_back("error " + e);
        leftOpen_ = 0;
        for (Ufcb* u = fileBlocks().first()->next; u; u = u->next) ++leftOpen_;
        (void)closeFilesAtEnd(fileBlocks(), true);
        return out;
    }
    std::string file(const std::string& name) const { return test::fileContents(dir_ + "/" + name); }

    std::string dir_;
    int leftOpen_ = 0;
};

TEST_F(FileStatementTest, RecordsThroughAFormWithTheirExits) {
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/A.INT,RECL=20,REPLACE\", INTERNAL, OUTIN, RELATIVE",
                     "20 FORM C 6, N 6.2",
                     "30 FOR I=1 TO 5",
                     "40 WRITE #1, USING 20: \"REC\", I*1.5",
                     "50 NEXT I",
                     "60 READ #1, USING 20, REC=3: A$, B",
                     "70 PRINT A$;B;REC(1)",
                     "80 REWRITE #1, USING 20: \"NEW\", 99",
                     "90 READ #1, USING 20, REC=3: A$, B",
                     "100 PRINT A$;B",
                     "110 DELETE #1, REC=4:",
                     "120 READ #1, USING 20, REC=4: A$, B NOREC 200",
                     "130 PRINT \"NOT HERE\"",
                     "140 STOP",
                     "200 PRINT \"NOREC\";FILE(1)",
                     "210 RESTORE #1:",
                     "220 READ #1, USING 20: A$, B EOF 300",
                     "230 PRINT B;",
                     "240 GOTO 220",
                     "300 PRINT \"EOF\";FILE(1);LREC(1);RLN(1);KLN(1)",
                     "310 CLOSE #1:",
                     "320 END"}),
                ElementsAre("REC   4.5 3", "NEW   99", "NOREC20", "1.5 3 99 7.5 EOF10 5 20 0"));
    EXPECT_EQ(leftOpen_, 0);
}

TEST_F(FileStatementTest, RestoreToARecordAndTheCurrentRecordAfterDelete) {
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/R.INT,RECL=8,REPLACE\", INTERNAL, OUTIN",
                     "20 FOR I=1 TO 6",
                     "30 WRITE #1, USING 40: I",
                     "40 FORM N 8",
                     "50 NEXT I",
                     "60 RESTORE #1, REC=4:",
                     "70 READ #1, USING 40: X",
                     "80 PRINT X;REC(1)",
                     "90 DELETE #1:",
                     "100 REREAD #1, USING 40: X IOERR 200",
                     "110 PRINT \"NOT HERE\"",
                     "120 STOP",
                     "200 PRINT \"REREAD\";ERR",
                     "210 READ #1, USING 40, REC=4: X NOREC 300",
                     "220 STOP",
                     "300 WRITE #1, USING 40, REC=4: 44",
                     "310 WRITE #1, USING 40, REC=4: 45 DUPREC 400",
                     "320 STOP",
                     "400 READ #1, USING 40, REC=4: X",
                     "410 PRINT X;LREC(1)",
                     "420 END"}),
                ElementsAre("4 4", "REREAD715", "44 6"));
}

TEST_F(FileStatementTest, WritesAndReadsWithoutAForm) {
    // Strings take their variables' capacity in the record, numbers 8 bytes.
    EXPECT_THAT(run({"10 DIM N$*5, M$*8",
                     "20 OPEN #1: \"NAME=@/B.INT,RECL=21,REPLACE\", INTERNAL, OUTPUT",
                     "25 LET N$=\"ABC\"", "26 LET X=2.25", "27 LET M$=\"LONGER\"",
                     "30 WRITE #1: N$, X, M$",
                     "35 LET N$=\"\"", "36 LET X=0", "37 LET M$=\"\"",
                     "40 CLOSE #1:",
                     "50 OPEN #1: \"NAME=@/B.INT\", INTERNAL, INPUT",
                     "60 READ #1: N$, X, M$",
                     "70 PRINT N$;X;M$;CNT",
                     "80 READ #1: N$ EOF 100",
                     "90 PRINT \"NOT HERE\"",
                     "100 PRINT FILE(1);FILE$(1)=\"@/B.INT\"",
                     "110 END"}),
                ElementsAre("ABC2.25 LONGER3", "10 1"));
}

TEST_F(FileStatementTest, FileErrorsGoToTheirHandlers) {
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/MISSING.INT\", INTERNAL, INPUT IOERR 100",
                     "20 PRINT \"OPENED\"",
                     "30 END",
                     "100 PRINT \"IOERR\";ERR;FILE$",
                     "110 END"}),
                ElementsAre(at("IOERR4152 @/MISSING.INT")));
    EXPECT_THAT(run({"10 ON IOERR GOTO 100",
                     "20 OPEN #1: \"NAME=@/MISSING.INT\", INTERNAL, INPUT",
                     "30 PRINT \"OPENED\"",
                     "40 END",
                     "100 PRINT \"ON IOERR\";ERR;LINE",
                     "110 END"}),
                ElementsAre("ON IOERR4152 20"));
    // Without a handler the error stops the program at its line.
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/MISSING.INT\", INTERNAL, INPUT", "20 END"}),
                ElementsAre("error 4152 10 1"));
    EXPECT_THAT(run({"10 READ #3: A$", "20 END"}), ElementsAre("error 704 10 1"));
    EXPECT_THAT(run({"10 OPEN #200: \"NAME=@/X\", DISPLAY, OUTPUT", "20 END"}),
                ElementsAre("error 706 10 1"));
}

TEST_F(FileStatementTest, FilesLeftOpenAreClosedWhenTheProgramEnds) {
    const Lines program = {"10 OPEN #1: \"NAME=@/C.INT,RECL=10,USE\", INTERNAL, OUTPUT",
                           "20 WRITE #1: \"X\"",
                           "30 PRINT LREC(1)",
                           "40 END"};
    EXPECT_THAT(run(program), ElementsAre("1"));
    EXPECT_EQ(fileBlocks().find(1), nullptr);
    EXPECT_EQ(file("C.INT").size(), 22u + 11u);
    EXPECT_THAT(run(program), ElementsAre("2"));
    EXPECT_EQ(file("C.INT").size(), 22u + 22u);
    EXPECT_EQ(file("C.INT")[0], 2);
}

TEST_F(FileStatementTest, PrintToADisplayFileAndLinputBack) {
    EXPECT_THAT(run({"10 OPEN #2: \"NAME=@/T.TXT,REPLACE\", DISPLAY, OUTPUT",
                     "20 PRINT #2: \"HELLO\"",
                     "30 PRINT #2: 1;2",
                     "40 PRINT #2: \"A\",\"B\"",
                     "50 PRINT #2: TAB(5);\"C\";",
                     "60 PRINT #2: \"D\"",
                     "70 PRINT #2: \"TRAILING   \"",
                     "80 CLOSE #2:",
                     "90 OPEN #2: \"NAME=@/T.TXT\", DISPLAY, INPUT",
                     "95 DIM L$*100",
                     "100 LINPUT #2: L$ EOF 200",
                     "110 PRINT \"[\";L$;\"]\"",
                     "120 GOTO 100",
                     "200 PRINT \"END\";FILE(2)",
                     "210 END"}),
                ElementsAre("[HELLO]", "[1 2]", "[A" + std::string(23, ' ') + "B]", "[    CD]",
                            "[TRAILING]", "END10"));
    EXPECT_EQ(file("T.TXT"), "HELLO\r\n1 2\r\nA" + std::string(23, ' ') + "B\r\n    CD\r\nTRAILING\r\n");

    EXPECT_THAT(run({"10 OPEN #2: \"NAME=@/U.TXT,EOL=LF,REPLACE\", DISPLAY, OUTPUT",
                     "20 PRINT #2: \"ONE\"",
                     "30 PRINT #2: \"TWO\"",
                     "40 END"}),
                IsEmpty());
    EXPECT_EQ(file("U.TXT"), "ONE\nTWO\n");
    // Output to an existing file without REPLACE goes after its end.
    EXPECT_THAT(run({"10 OPEN #2: \"NAME=@/U.TXT,EOL=LF\", DISPLAY, OUTPUT",
                     "20 PRINT #2: \"THREE\"",
                     "30 END"}),
                IsEmpty());
    EXPECT_EQ(file("U.TXT"), "ONE\nTWO\nTHREE\n");
}

TEST_F(FileStatementTest, PageOverflowAfterTheLinesOfAPage) {
    EXPECT_THAT(run({"10 OPEN #2: \"NAME=@/P.TXT,PAGEOFLOW=2,REPLACE\", DISPLAY, OUTPUT",
                     "20 PRINT #2: \"L1\" PAGEOFLOW 100",
                     "30 PRINT #2: \"L2\" PAGEOFLOW 100",
                     "40 PRINT \"NO OVERFLOW\"",
                     "50 END",
                     "100 PRINT \"OVERFLOW\";LINE",
                     "110 PRINT #2: CHR$(12);\"L3\" PAGEOFLOW 200",
                     "120 PRINT \"NEW PAGE\"",
                     "130 END",
                     "200 PRINT \"AGAIN\"",
                     "210 END"}),
                ElementsAre("OVERFLOW30", "NEW PAGE"));
    // An error exit after the print list adds no line of its own.
    EXPECT_EQ(file("P.TXT"), "L1\r\nL2\r\n\fL3\r\n");
    // Without a handler the overflow passes unnoticed; ON PAGEOFLOW catches it.
    EXPECT_THAT(run({"10 OPEN #2: \"NAME=@/P.TXT,PAGEOFLOW=2,REPLACE\", DISPLAY, OUTPUT",
                     "20 PRINT #2: \"L1\"", "30 PRINT #2: \"L2\"", "40 PRINT #2: \"L3\"",
                     "50 PRINT LINES(2)", "60 END"}),
                ElementsAre("3"));
    EXPECT_THAT(run({"10 ON PAGEOFLOW GOTO 100",
                     "20 OPEN #2: \"NAME=@/P.TXT,PAGEOFLOW=2,REPLACE\", DISPLAY, OUTPUT",
                     "30 PRINT #2: \"L1\"", "40 PRINT #2: \"L2\"", "50 PRINT #2: \"L3\"",
                     "60 END", "100 PRINT ERR;LINE", "110 END"}),
                ElementsAre("701 40"));
    EXPECT_EQ(file("P.TXT"), "L1\r\nL2\r\n");
}

TEST_F(FileStatementTest, OpenChecksInPrograms) {
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/D.TXT,REPLACE\", DISPLAY, OUTPUT",
                     "20 OPEN #1: \"NAME=@/E.TXT,REPLACE\", DISPLAY, OUTPUT",
                     "30 END"}),
                ElementsAre("error 610 20 1"));
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/D.TXT\", DISPLAY, OUTIN", "20 END"}),
                ElementsAre("error 615 10 1"));
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/D.TXT,NEW\", DISPLAY, OUTPUT", "20 END"}),
                ElementsAre("error 4150 10 1"));
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/D.TXT,NEW\", DISPLAY, INPUT", "20 END"}),
                ElementsAre("error 721 10 1"));
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/D.TXT,SHR\", DISPLAY, OUTPUT", "20 END"}),
                ElementsAre("error 614 10 1"));
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/D.BIN,REPLACE\", EXTERNAL, OUTPUT", "20 END"}),
                ElementsAre("error 605 10 1"));
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/D.TXT,KFNAME=@/D.KEY\", INTERNAL, INPUT", "20 END"}),
                ElementsAre("error 607 10 1"));
}

TEST_F(FileStatementTest, CloseFreeAndDrop) {
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/F.INT,RECL=10,REPLACE\", INTERNAL, OUTPUT",
                     "20 WRITE #1: \"A\"",
                     "30 WRITE #1: \"B\"",
                     "40 CLOSE #1, DROP:",
                     "50 OPEN #1: \"NAME=@/F.INT\", INTERNAL, INPUT",
                     "60 PRINT LREC(1)",
                     "70 CLOSE #1, FREE:",
                     "80 PRINT EXISTS(\"@/F.INT\")",
                     "90 END"}),
                ElementsAre("0", "0"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/F.INT"));
    // A shared number is neither freed nor closed.
    EXPECT_THAT(run({"10 OPEN #1: \"NAME=@/G.INT,RECL=10,REPLACE\", INTERNAL, OUTPUT",
                     "20 CLOSE #1:",
                     "30 OPEN #1: \"NAME=@/G.INT,SHR\", INTERNAL, INPUT",
                     "40 OPEN #2: \"NAME=@/G.INT,SHR\", INTERNAL, INPUT",
                     "50 CLOSE #1, FREE: IOERR 100",
                     "60 END",
                     "100 PRINT ERR;FILE(1)",
                     "110 END"}),
                ElementsAre("4148 21"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/G.INT"));
}

TEST_F(FileStatementTest, ReadAndRestoreOfData) {
    EXPECT_THAT(run({"10 DATA 1, \"TWO\", 3",
                     "20 DATA 4",
                     "30 READ A, B$, C",
                     "40 READ D",
                     "50 PRINT A;B$;C;D",
                     "60 RESTORE 20",
                     "70 READ E",
                     "80 RESTORE",
                     "90 READ F",
                     "100 PRINT E;F",
                     "110 READ S$, G, H, I EOF 200",
                     "120 END",
                     "200 PRINT \"EOF\";S$;G;H;CNT",
                     "210 END"}),
                ElementsAre("1 TWO3 4", "4 1", "EOFTWO3 4 3"));
}

}  // namespace
}  // namespace vxs
