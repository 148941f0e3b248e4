// READ, WRITE and REWRITE through a FORM at fixed places held against the general path: every
// program runs with the fast path and the clauses' kept preparation on, then off, and must print
// the same lines, report the same errors and leave the same files.
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
#include "vxs/interpreter/formio.h"

namespace vxs {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using Lines = std::vector<std::string>;

class FormIoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxformio-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override {
        setFastRecordForms(true);
        (void)closeFilesAtEnd(fileBlocks(), true);
        std::filesystem::remove_all(dir_);
    }
    // The console lines, the errors ("error N L C") and then the bytes of every file the
    // program left in the test's directory, in name order.
    Lines runOnce(Lines program, bool fast) {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directory(dir_);
        setFastRecordForms(fast);
        for (std::string& line : program)
            for (size_t p = line.find('@'); p != std::string::npos; p = line.find('@', p))
                line.replace(p, 1, dir_);
        const test::RunResult r = test::runProgram(program);
        (void)closeFilesAtEnd(fileBlocks(), true);
        Lines out = r.output;
        for (const std::string& e : r.errors) out.push_back("error " + e);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            out.push_back(name + ": " + test::hex(bytesOf(test::fileContents(dir_ + "/" + name))));
        return out;
    }
    static std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }
    // Runs the program both ways; the fast run's result, which the general run must equal.
    Lines both(const Lines& program) {
        const Lines fast = runOnce(program, true);
        const Lines general = runOnce(program, false);
        EXPECT_EQ(fast, general);
        return fast;
    }

    std::string dir_;
};

TEST_F(FormIoTest, EveryKindOfFieldWrittenAndReadBack) {
    const Lines out = both({
        "10 OPEN #1: \"NAME=@/A.INT,RECL=80,REPLACE\", INTERNAL, OUTIN, RELATIVE",
        "20 FORM C 6, V 6, CR 6, CC 6, PD 5.2, N 8.2, G 6, ZD 4, B 2, BH 4.1, D, S, NZ 4, GZ 4",
        "30 WRITE #1, USING 20: \"AB\", \"CD\", \"EF\", \"GH\", -123.456, 99.5, 7, -12, 300, "
        "-4.5, 1/3, 2.5, 0, 0",
        "40 WRITE #1, USING 20: \"\", \"X\", \"\", \"Y\", 0, -0.01, -7, 9999, -1, 0, -1E10, 0, 5, 6",
        "50 RESTORE #1:",
        "60 READ #1, USING 20: A$, B$, C$, D$, P, N, G, Z, B, H, D, S, NZ, GZ EOF 90",
        "70 PRINT A$&\"|\"&B$&\"|\"&C$&\"|\"&D$&\"|\";P;N;G;Z;B;H;D;S;NZ;GZ",
        "80 GOTO 60",
        "90 PRINT \"EOF\";FILE(1);CNT",
        "100 CLOSE #1:",
    });
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "AB    |CD|EF|GH|-123.46 99.5 7 -12 300 -4.5 0.333333333333333 2.5 0 0");
    EXPECT_THAT(out[2], HasSubstr("EOF"));
}

TEST_F(FormIoTest, ConversionErrorsKeepTheTargetsAssignedBeforeThem) {
    // The second record's N field holds letters, the third is blank in an N field (an error)
    // and in a G field (zero); the first targets are assigned before the failing one.
    const Lines out = both({
        "10 OPEN #1: \"NAME=@/B.INT,RECL=20,REPLACE\", INTERNAL, OUTIN, RELATIVE",
        "20 FORM C 4, C 6, C 4",
        "30 WRITE #1, USING 20: \"1\", \"  12.5\", \"X\"",
        "40 WRITE #1, USING 20: \"2\", \"12AB\", \"Y\"",
        "50 WRITE #1, USING 20: \"3\", \"      \", \"Z\"",
        "60 FORM C 4, N 6.1, C 4",
        "70 FORM C 4, G 6, C 4",
        "80 FOR R=1 TO 3",
        "90 LET K$=\"?\" \\ LET X=-1 \\ LET T$=\"?\"",
        "100 READ #1, USING 60, REC=R: K$, X, T$ CONV 130",
        "110 PRINT \"OK\";K$;X;T$",
        "120 GOTO 140",
        "130 PRINT \"CONV\";ERR;K$;X;T$;CNT",
        "140 READ #1, USING 70, REC=R: K$, X, T$ CONV 160",
        "150 PRINT \"G\";X \\ GOTO 170",
        "160 PRINT \"GCONV\";ERR;CNT",
        "170 NEXT R",
        "180 READ #1, USING 60, REC=2: K$, X",
    });
    EXPECT_THAT(out, Contains("OK1   12.5 X   "));
    EXPECT_THAT(out, Contains("CONV2 2   -1 ?1"));
    EXPECT_THAT(out, Contains("GCONV2 1"));
    EXPECT_THAT(out, Contains("G0"));
    EXPECT_THAT(out, Contains(HasSubstr("error 2 ")));
}

TEST_F(FormIoTest, ShortRecordsWrongKindsAndStringOverflow) {
    const Lines out = both({
        "10 OPEN #1: \"NAME=@/C.INT,RECL=10,REPLACE\", INTERNAL, OUTIN, RELATIVE",
        "20 FORM C 4, N 4, C 8",  // the last field passes the record's end
        "30 FORM C 4, N 6",
        "40 DIM S$*2",
        "50 WRITE #1, USING 30: \"ABCD\", 12",
        "60 READ #1, USING 20, REC=1: A$, B, C$ IOERR 80",
        "70 PRINT \"READ\";A$;B;C$ \\ GOTO 90",
        "80 PRINT \"SHORT\";ERR;A$;B;CNT",
        "90 READ #1, USING 30, REC=1: N, X ERROR 110",  // a number from a C field
        "100 PRINT \"NUM\";N \\ GOTO 120",
        "110 PRINT \"KIND\";ERR;CNT",
        "120 READ #1, USING 30, REC=1: S$, X ERROR 140",  // four bytes into a string of two
        "130 PRINT \"S\";S$ \\ GOTO 150",
        "140 PRINT \"SOFLOW\";ERR;CNT",
        "150 WRITE #1, USING 20: \"A\", 1, \"B\" IOERR 170",  // a record too short to write
        "160 PRINT \"WROTE\" \\ GOTO 180",
        "170 PRINT \"NOROOM\";ERR",
        "180 WRITE #1, USING 30: \"TOOLONG\", 1 ERROR 200",
        "190 PRINT \"WROTE\" \\ GOTO 210",
        "200 PRINT \"LONG\";ERR",
        "210 WRITE #1, USING 30: \"A\", 1234567 ERROR 230",
        "220 PRINT \"WROTE\" \\ GOTO 240",
        "230 PRINT \"FIT\";ERR;LREC(1)",
        "240 CLOSE #1:",
    });
    EXPECT_THAT(out, Contains(HasSubstr("SHORT")));
    EXPECT_THAT(out, Contains(HasSubstr("KIND")));
    EXPECT_THAT(out, Contains(HasSubstr("SOFLOW")));
    EXPECT_THAT(out, Contains(HasSubstr("FIT")));
}

TEST_F(FormIoTest, KeyedReadsRewritesAndTheirExits) {
    const Lines out = both({
        "10 OPEN #1: \"NAME=@/K.DAT,KFNAME=@/K.KEY,KPS=1,KLN=4,RECL=24,REPLACE\", INTERNAL, "
        "OUTIN, KEYED",
        "20 FORM C 4, C 8, PD 4.2, BL 2",
        "30 FOR I=5 TO 1 STEP -1",
        "40 WRITE #1, USING 20: STR$(1000+I), \"NAME\"&STR$(I), I*1.25, -I",
        "50 NEXT I",
        "60 READ #1, USING 20, KEY=\"1003\": K$, N$, A, B NOKEY 900",
        "70 PRINT K$;N$;A;B",
        "80 REWRITE #1, USING 20: K$, \"CHANGED\", A*2",  // the last field keeps its bytes
        "90 READ #1, USING 20, KEY=\"1009\": K$, N$, A, B NOKEY 110",
        "100 PRINT \"FOUND\"",
        "110 PRINT \"NOKEY\";K$",
        "120 RESTORE #1:",
        "130 READ #1, USING 20: K$, N$, A, B EOF 160",
        "140 PRINT K$;N$;A;B",
        "150 GOTO 130",
        "160 REREAD #1, USING 20: K$ IOERR 180",
        "170 PRINT \"AGAIN\";K$ \\ GOTO 190",
        "180 PRINT \"NOREREAD\";ERR",
        "190 CLOSE #1:",
        "900 PRINT \"MISSING\"",
    });
    EXPECT_THAT(out, Contains("1003NAME3   3.75 -3"));
    EXPECT_THAT(out, Contains("1003CHANGED 7.5 -3"));
    EXPECT_THAT(out, Contains("NOKEY1003"));
}

TEST_F(FormIoTest, ArraysInTheListAndListsLongerThanTheForm) {
    const Lines out = both({
        "10 OPEN #1: \"NAME=@/M.INT,RECL=40,REPLACE\", INTERNAL, OUTIN, RELATIVE",
        "20 FORM C 3, 4*N 3, PD 3",
        "30 DIM V(3), S$(2)*3, W(3)",
        "40 MAT V = (7) \\ LET V(2)=8",
        "50 WRITE #1, USING 20: \"AB\", MAT V, 99",
        "60 READ #1, USING 20, REC=1: S$(1), MAT W",
        "70 PRINT S$(1);W(0);W(1);W(2);W(3)",
        "80 FORM C 3, N 3",  // six values through two items: the walk starts again
        "90 WRITE #1, USING 80: \"X\", 1, \"Y\", 2, \"Z\", 3",
        "100 READ #1, USING 80, REC=2: A$, A, B$, B",
        "110 PRINT A$;A;B$;B",
        "120 END",
    });
    EXPECT_THAT(out, Contains("AB 7 7 8 7"));
    EXPECT_THAT(out, Contains("X  1 Y  2"));
}

TEST_F(FormIoTest, FormsWithPlacesAndFillers) {
    // POS places fields anywhere; X and literals are written by the general path alone, and a
    // REWRITE keeps the bytes no field or filler covers.
    const Lines out = both({
        "10 OPEN #1: \"NAME=@/F.INT,RECL=20,REPLACE\", INTERNAL, OUTIN, RELATIVE",
        "20 FORM POS 11, C 3, POS 1, N 4",
        "30 FORM C 2, X 2, C 2, \"LIT\", N 3",
        "40 FORM POS 18, C 3, N 2",  // the second field passes the record's end
        "50 WRITE #1, USING 20: \"ABC\", 12",
        "60 WRITE #1, USING 30: \"AB\", \"CD\", 5",
        "70 READ #1, USING 30, REC=2: A$, B$, C",
        "80 PRINT A$;B$;C",
        "90 REWRITE #1, USING 30, REC=1: \"EF\"",
        "100 REWRITE #1, USING 20, REC=2: \"XYZ\"",
        "110 READ #1, USING 20, REC=1: A$",
        "120 PRINT A$",
        "130 WRITE #1, USING 40: \"A\", 1 IOERR 150",
        "140 PRINT \"WROTE\" \\ GOTO 160",
        "150 PRINT \"PAST\";ERR",
        "160 READ #1, USING 40, REC=1: A$, A CONV 180",
        "170 PRINT A$;A \\ STOP",
        "180 PRINT \"SHORT\";ERR;CNT;A$",
        "190 END",
    });
    EXPECT_THAT(out, Contains("ABCD5"));
    EXPECT_THAT(out, Contains("ABC"));
    EXPECT_THAT(out, Contains(HasSubstr("PAST")));
}

TEST_F(FormIoTest, DynamicFormTextAndAFormLineThatChanges) {
    // The same clause with a USING text that changes from one READ to the next, and the same
    // program run again with its FORM line replaced: the kept preparation must not outlive it.
    const Lines first = both({
        "10 OPEN #1: \"NAME=@/D.INT,RECL=12,REPLACE\", INTERNAL, OUTIN, RELATIVE",
        "20 FORM C 4, N 8.2",
        "30 WRITE #1, USING 20: \"ABCD\", 12.5",
        "40 DIM F$(3)*20",
        "50 LET F$(1)=\"FORM C 4, N 8.2\" \\ LET F$(2)=\"FORM C 2, C 10\" \\ LET F$(3)=\"FORM N 4\"",
        "60 FOR I=1 TO 3",
        "70 READ #1, USING F$(I), REC=1: X$ CONV 90",
        "80 PRINT I;\"[\"&X$&\"]\" \\ GOTO 100",
        "90 PRINT I;\"CONV\";ERR",
        "100 NEXT I",
        "110 READ #1, USING 20, REC=1: X$, Y",
        "120 PRINT X$;Y",
        "130 END",
    });
    EXPECT_THAT(first, Contains("1 [ABCD]"));
    EXPECT_THAT(first, Contains("2 [AB]"));
    EXPECT_THAT(first, Contains("3 CONV2"));
    EXPECT_THAT(first, Contains("ABCD12.5"));
    const Lines second = both({
        "10 OPEN #1: \"NAME=@/D.INT,RECL=12,REPLACE\", INTERNAL, OUTIN, RELATIVE",
        "20 FORM C 2, PD 3.1",
        "30 WRITE #1, USING 20: \"AB\", 12.5",
        "40 DIM F$(3)*20",
        "50 LET F$(1)=\"FORM C 4, N 8.2\" \\ LET F$(2)=\"FORM C 2, C 10\" \\ LET F$(3)=\"FORM N 4\"",
        "60 FOR I=1 TO 3",
        "70 READ #1, USING F$(I), REC=1: X$ CONV 90",
        "80 PRINT I;\"[\"&X$&\"]\" \\ GOTO 100",
        "90 PRINT I;\"CONV\";ERR",
        "100 NEXT I",
        "110 READ #1, USING 20, REC=1: X$, Y",
        "120 PRINT X$;Y",
        "130 END",
    });
    EXPECT_THAT(second, Contains("AB12.5"));
}

}  // namespace
}  // namespace vxs
