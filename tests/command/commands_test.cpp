// Command mode sessions: the command table's special words, assignments typed like commands,
// REPLACE that never loses the old file, procedure files with PROCERR and SKIP, DATE and TIME,
// break points and watched variables, STATUS and HELP.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_support.h"
#include "vxs/command/cmdshared.h"
#include "vxs/command/command.h"
#include "vxs/config/config.h"
#include "vxs/control/entry.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/interpreter/run.h"
#include "vxs/platform/faults.h"

namespace vxs {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Each test runs in a scratch directory of its own, with a fresh program.
class SessionTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        test::CleanStateTest::SetUp();
        char dir[] = "/tmp/vxcmd-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        ASSERT_EQ(createPCB(kDefaultLineCapacity, kDefaultDictCapacity, "", &pchain.curpcb), 0);
    }
    void TearDown() override {
        commandWork() = CommandWork{};
        t.watches.clear();
        setClockOffset(0);
        setOption(kOptionNoBackup, false);
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
        test::CleanStateTest::TearDown();
    }
    // Types the lines at the prompt and runs the session until it shuts down.
    test::RecordingTerminal& session(std::vector<std::string> lines) {
        test::RecordingTerminal& term = test::installRecordingTerminal();
        term.inputLines = std::move(lines);
        setActionCode(kActCommand);
        for (int guard = 0; actionCode() != kActShutdown && guard < 1000; ++guard) (void)dispatchOnce();
        return term;
    }
    static void write(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path dir_, old_;
};

TEST(CommandTable, SpecialWordsAndAbbreviations) {
    EXPECT_EQ(lookupCommand("LI"), CmdList) << "LI is LIST, not ambiguous with LINK";
    EXPECT_EQ(lookupCommand("li"), CmdList);
    EXPECT_EQ(lookupCommand("PROC"), CmdProc) << "an exact name wins over PROCERR";
    EXPECT_EQ(lookupCommand("PROCE"), CmdProcerr);
    EXPECT_EQ(lookupCommand("G"), CmdGo);
    EXPECT_EQ(lookupCommand("SUB"), CmdSubproc);
    EXPECT_EQ(lookupCommand("RE"), 0) << "RENAME, RENUM, REPLACE";
    EXPECT_EQ(lookupCommand("D"), 0);
    EXPECT_EQ(lookupCommand("LISTX"), 0);
    EXPECT_EQ(commandTable().size(), 40);
    EXPECT_EQ(lookupOption("SOU"), OptSource);
    EXPECT_EQ(lookupOption("NO"), 0);
    EXPECT_EQ(lookupOption("REM"), OptRem);
}

TEST_F(SessionTest, AWordFollowedByEqualsIsAnAssignment) {
    auto& term = session({"G = 7", "GO", "PRINT G", "LIST$ = \"L\"", "PRINT LIST$", "SYSTEM"});
    EXPECT_THAT(term.output, ElementsAre("7", "L"));
    EXPECT_THAT(term.errors, ElementsAre("2102 -1 0"));
}

TEST_F(SessionTest, ReplaceKeepsABackupUnlessOption26) {
    auto& term = session({"10 PRINT 1", "SAVE P", "10 PRINT 2", "REPLACE P", "SYSTEM"});
    EXPECT_TRUE(term.errors.empty());
    ASSERT_TRUE(std::filesystem::exists("p.vxp"));
    ASSERT_TRUE(std::filesystem::exists("p.bak"));
    EXPECT_NE(read("p.vxp"), read("p.bak"));
    const std::string older = read("p.bak");
    setOption(kOptionNoBackup, true);
    session({"10 PRINT 3", "REPLACE P", "SYSTEM"});
    EXPECT_EQ(read("p.bak"), older) << "no new backup with OPTION 26";
}

TEST_F(SessionTest, AnInterruptedReplaceLeavesTheOldFileIntact) {
    session({"10 PRINT 1", "SAVE P", "SYSTEM"});
    const std::string before = read("p.vxp");
    setOption(kOptionNoBackup, true);  // no backup to fall back on
    // The new contents are written and flushed, and then the process cannot rename them over
    // the old file.
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform scoped(faults);
    faults.failNth(platform::Call::kRename, 1, EIO);
    auto& term = session({"10 PRINT 99", "REPLACE P", "SYSTEM"});
    EXPECT_EQ(faults.failures(platform::Call::kRename), 1);
    EXPECT_THAT(term.errors, ElementsAre(HasSubstr(" -1 0")));
    EXPECT_EQ(read("p.vxp"), before);
    for (const auto& e : std::filesystem::directory_iterator("."))
        EXPECT_EQ(e.path().filename().string().find(".~"), std::string::npos) << "no temporary left";
}

TEST_F(SessionTest, AFailedLoadKeepsTheProgramInMemory) {
    write("bad.vxp", std::string("\x05\x00\x00\x00\x00\x00\x00\x00\x0a\x25\x03", 11));
    auto& term = session({"10 PRINT \"KEPT\"", "LOAD bad.vxp", "LOAD none", "LIST", "SYSTEM"});
    EXPECT_THAT(term.errors, ElementsAre("9309 -1 0", "4152 -1 0"));
    EXPECT_THAT(term.output, ElementsAre("00010 PRINT \"KEPT\""));
}

TEST_F(SessionTest, ProceduresRunCommandsAndNest) {
    write("inner.prc", "PRINT \"INNER\"\n");
    write("outer.prc", "10 PRINT \"LINE\"\r\nSUBPROC inner.prc\nRUN\nSKIP 1\nPRINT \"SKIPPED\"\nPRINT \"LAST\"\n");
    auto& term = session({"PROC outer.prc", "PRINT \"TYPED\"", "SYSTEM"});
    EXPECT_THAT(term.output, ElementsAre("INNER", "LINE", "LAST", "TYPED"));
}

TEST_F(SessionTest, ProcErrChoosesWhetherAnErrorEndsTheProcedures) {
    write("p.prc", "PRINT \"A\"\nBOGUS LINE\nPRINT \"B\"\n");
    auto& stop = session({"PROC p.prc", "PRINT \"C\"", "SYSTEM"});
    EXPECT_THAT(stop.output, ElementsAre("A", "C"));
    auto& go = session({"PROCERR RETURN", "PROC p.prc", "SYSTEM"});
    EXPECT_THAT(go.output, ElementsAre("A", "B"));
    EXPECT_EQ(go.errors.size(), 1u);
}

TEST_F(SessionTest, TimeAndDateSetTheSystemsOwnClock) {
    auto& term = session({"TIME 10:20:30", "TIME", "DATE 2/29/2004", "DATE", "DATE 2/29/2001",
                          "TIME 24:00:00", "DATE 13/1/99", "DATE 1/1/2038", "TIME 1:2", "SYSTEM"});
    ASSERT_EQ(term.output.size(), 2u);
    EXPECT_THAT(term.output[0], HasSubstr("10:20:3"));
    EXPECT_EQ(term.output[1], "04/02/29");
    EXPECT_THAT(term.errors, ElementsAre("1038 -1 0", "1038 -1 0", "1038 -1 0", "1038 -1 0",
                                         "1038 -1 0"));
}

TEST_F(SessionTest, BreakPointsStopAndGoResumes) {
    auto& term = session({"10 PRINT \"A\" \\ PRINT \"B\"", "20 PRINT \"C\"", "30 END", "BREAK 10:2",
                          "BREAK", "RUN", "GO", "BREAK OFF", "BREAK", "RUN", "SYSTEM"});
    EXPECT_THAT(term.output, ElementsAre("BREAK LINE 00010:02", "A", "B", "C", "A", "B", "C"));
}

TEST_F(SessionTest, WatchedVariablesBreakOrDisplay) {
    auto& term = session({"10 X = 1", "20 X = 2", "30 PRINT \"END\"", "40 END", "DISPLAY X",
                          "RUN", "DISPLAY OFF", "BREAK X", "BREAK", "RUN", "PRINT X", "GO",
                          "PRINT X", "BREAK OFF X", "GO", "BREAK", "BREAK Y", "SYSTEM"});
    // Each change stops the run at the start of the next line.
    EXPECT_THAT(term.output,
                ElementsAre("X = 1", "X = 2", "END", "BREAK VARIABLE X", "1", "2", "END"));
    EXPECT_THAT(term.errors, ElementsAre("1006 -1 0")) << "Y is not a variable of the program";
}

TEST_F(SessionTest, WatchesEndWithTheirProgram) {
    write("other.vxb", "10 Y = 1\n20 END\n");
    auto& term = session({"10 X = 1", "20 END", "DISPLAY X", "LOAD other.vxb", "RUN", "BREAK",
                          "10 X = 2", "DISPLAY X", "CLEAR", "BREAK", "SYSTEM"});
    EXPECT_TRUE(term.output.empty());
    EXPECT_TRUE(term.errors.empty());
}

TEST_F(SessionTest, StatusShowsTheHeaderAndThePrograms) {
    auto& term = session({"10 END", "SAVE PAY", "STATUS", "STATUS FILES", "SYSTEM"});
    ASSERT_GE(term.output.size(), 6u);
    EXPECT_THAT(term.output[1], HasSubstr("WSID="));
    EXPECT_THAT(term.output[1], HasSubstr("Date="));
    EXPECT_EQ(term.output[3], "Program ID pay.vxp");
    EXPECT_THAT(term.output[5], HasSubstr("MAIN"));
    EXPECT_THAT(term.output, Contains("No Files Are Open"));
    EXPECT_TRUE(term.errors.empty());
}

TEST_F(SessionTest, StatusKeywordsAbbreviationsAndErrors) {
    auto& term = session({"STATUS C", "STATUS XYZ", "STATUS > a.txt > b.txt", "STATUS \"open",
                          "STATUS FIL,LIB", "STATUS B", "STATUS BR", "SYSTEM"});
    // C is COLORS or CONFIG, B BREAKPOINTS or BTREE_VERIFY.
    EXPECT_THAT(term.errors, ElementsAre("1000 -1 0", "1000 -1 0", "1006 -1 0", "1000 -1 0",
                                         "1000 -1 0"));
    EXPECT_THAT(term.output, Contains("No Files Are Open"));
    EXPECT_THAT(term.output, Contains("Persistent break points:"));
}

TEST_F(SessionTest, TheAttentionKeyEndsAStatusReportQuietly) {
    test::RecordingTerminal& term = test::installRecordingTerminal();
    test::announceKeysAtEveryPoll(true);
    term.inputLines = {"STATUS ALL", "STATUS", "SYSTEM"};
    term.attentionAtLine = 4;
    setActionCode(kActCommand);
    for (int guard = 0; actionCode() != kActShutdown && guard < 1000; ++guard) (void)dispatchOnce();
    test::announceKeysAtEveryPoll(false);
    // The first report stops after its fourth line; the next one is whole.
    EXPECT_EQ(term.output[3], "Program ID ");
    EXPECT_EQ(term.output[4], "");
    EXPECT_THAT(term.output[5], HasSubstr("WSID="));
    EXPECT_TRUE(term.errors.empty());
}

TEST_F(SessionTest, StatusToAFileWritesNothingOnTheConsole) {
    write("old.txt", "kept until the report is complete");
    auto& term = session({"10 END", "SAVE PAY", "STATUS >st.txt FILES", "STATUS FILES,ALL > 'old.txt'", "SYSTEM"});
    EXPECT_TRUE(term.output.empty());
    EXPECT_TRUE(term.errors.empty());
    const std::string text = read("st.txt");
    EXPECT_THAT(text, HasSubstr("\r\nProgram ID pay.vxp\r\n"));
    EXPECT_THAT(text, HasSubstr("\r\nNo Files Are Open\r\n"));
    EXPECT_THAT(text, HasSubstr("Number of I/O retries: 0\r\n"));
    EXPECT_THAT(read("old.txt"), HasSubstr("Resource"));
    EXPECT_FALSE(std::filesystem::exists("old.txt.~" + std::to_string(getpid())));
}

TEST_F(SessionTest, StatusStacksShowsDepthsCallersAndRestartsItsMarks) {
    auto& term = session({"10 FOR I = 1 TO 1", "20 FOR J = 1 TO 1", "30 GOSUB 100", "40 NEXT J",
                          "50 NEXT I", "60 END", "100 GOSUB 200", "110 RETURN", "200 PAUSE",
                          "210 RETURN", "RUN", "STATUS STACKS RESET", "GO", "STATUS STACKS",
                          "STATUS STACKS RESET", "STATUS STACKS", "SYSTEM"});
    auto row = [](const char* name, unsigned long max, unsigned long used, unsigned long high) {
        char line[128];
        snprintf(line, sizeof line, "%-11.11s %13lu %13lu %13lu %13lu", name, max, used, max - used, high);
        return std::string(line);
    };
    char heading[128];
    snprintf(heading, sizeof heading, "%-11.11s %13.13s %13.13s %13.13s %13.13s", "Resource", "Max",
             "In Use", "Available", "Max Used");
    EXPECT_EQ(std::count(term.output.begin(), term.output.end(), heading), 4);
    // Stopped at 200: two GOSUB frames and two loops open.
    EXPECT_THAT(term.output, Contains(row("Flow Stack", 50, 2, 2)));
    EXPECT_THAT(term.output, Contains(row("FOR Stack", 30, 2, 2)));
    EXPECT_THAT(term.output, Contains("current  line 00200:02, program "));
    EXPECT_THAT(term.output, Contains("called by line 00100:01, program  in a GOSUB routine"));
    EXPECT_THAT(term.output, Contains("called by line 00030:01, program  in a GOSUB routine"));
    // After the run the marks stay until RESET starts them again.
    EXPECT_THAT(term.output, Contains(row("Flow Stack", 50, 0, 2)));
    EXPECT_THAT(term.output, Contains(row("Flow Stack", 50, 0, 0)));
    EXPECT_THAT(term.output, Contains(row("FOR Stack", 30, 0, 0)));
    EXPECT_TRUE(term.errors.empty());
}

TEST_F(SessionTest, StatusFilesShowsTheOpenFilesTheirKeysAndLocks) {
    auto& term = session({"10 OPEN #1: \"NAME=cust.dat,RECL=20,KFNAME=cust.key,KPS=3,KLN=5,REPLACE\", INTERNAL, OUTIN, KEYED",
                          "20 WRITE #1, USING 30: \"AAAAAAAAAA\"", "30 FORM C 10",
                          "40 OPEN #2: \"NAME=rep.txt,REPLACE\", DISPLAY, OUTPUT",
                          "45 OPEN #3: \"SROW=2,SCOL=3,EROW=10,ECOL=40\", DISPLAY, OUTPUT",
                          "50 PAUSE", "60 END", "RUN", "STATUS FILES", "STATUS FILES CUST.DAT",
                          "STATUS LOCKS cust.dat", "SYSTEM"});
    EXPECT_THAT(term.output, Contains("Open File #  1  cust.dat"));
    EXPECT_THAT(term.output, Contains("     Internal,Keyed,Outin,Noshr"));
    EXPECT_THAT(term.output, Contains(HasSubstr("Btree Key File  ")));
    EXPECT_THAT(term.output, Contains("     Part 1 Field   Pos=    3    Length=  5    "));
    EXPECT_THAT(term.output, Contains("Open File #  2  rep.txt"));
    EXPECT_THAT(term.output, Contains("     Display,Sequential,Output,Noshr"));
    EXPECT_THAT(term.output, Contains("     Window,"));
    EXPECT_THAT(term.output, Contains(HasSubstr("  SROW= 2, SCOL= 3, EROW=10, ECOL=40, PARENT=#  0:")));
    // FILES with a name shows that file only (names compare without case), once.
    EXPECT_EQ(std::count(term.output.begin(), term.output.end(), "Open File #  1  cust.dat"), 2);
    EXPECT_EQ(std::count(term.output.begin(), term.output.end(), "Open File #  2  rep.txt"), 1);
    EXPECT_THAT(term.output, Contains("Current Users of cust.dat"));
    EXPECT_THAT(term.output, Contains(::testing::StartsWith("NOSHR        0 1")));
    EXPECT_TRUE(term.errors.empty());
}

TEST_F(SessionTest, StatusEnvBreakpointsAndDims) {
    auto& term = session({"10 DIM A(5), B$*20", "15 DIM A(3)", "20 X = 1 \\ I = 2 \\ PRINT B$",
                          "30 PAUSE", "BREAK 20", "BREAK X", "DISPLAY I",
                          "PRINT SETENV(\"ZONE\", \"north\")",
                          "STATUS ENV BREAKPOINTS DIMS", "SYSTEM"});
    EXPECT_THAT(term.output, Contains("ENV$(\"ZONE\") is \"north\""));
    EXPECT_THAT(term.output, Contains("Persistent break points:"));
    EXPECT_THAT(term.output, Contains("BREAK LINE 00020:01"));
    EXPECT_THAT(term.output, Contains("BREAK VARIABLE X"));
    EXPECT_THAT(term.output, Contains("DISPLAY VARIABLE I"));
    const auto at = [&](const std::string& s) {
        return std::find(term.output.begin(), term.output.end(), s) - term.output.begin();
    };
    // X and I have no DIM; A is named twice; nothing uses A.
    const auto undimmed = at("Undimmed variables"), unreferenced = at("Unreferenced"),
               duplicates = at("Duplicates");
    ASSERT_LT(duplicates, static_cast<long>(term.output.size()));
    EXPECT_LT(undimmed, unreferenced);
    EXPECT_LT(unreferenced, duplicates);
    EXPECT_GT(at("X"), undimmed);
    EXPECT_LT(at("X"), unreferenced);
    EXPECT_GT(at("A"), unreferenced);
    EXPECT_EQ(term.output.back(), "A");
}

TEST_F(SessionTest, StatusLibraryListsTheLoadedLibrariesAndTheirLinks) {
    auto& term = session({"10 DEF FNA(X) = X + 1", "20 DEF FNB = 2", "SAVE LIB", "CLEAR",
                          "10 LIBRARY \"lib\": FNA, FNB \\ X = FNA(1)", "20 PAUSE", "30 END",
                          "SAVE MAIN", "RUN", "STATUS LIB", "GO", "STATUS", "SYSTEM"});
    auto has = [&](const std::string& text) {
        return std::count(term.output.begin(), term.output.end(), text);
    };
    char main[128], lib[128];
    snprintf(main, sizeof main, "%-40s %-10s%-11s%-6s% 4d %s", "main.vxp", "MAIN", "ACTIVE", "END",
             2, "LINKS");
    snprintf(lib, sizeof lib, "%-40s %-10s%-11s%-6s% 4d %s", "lib.vxp", "LIBRARY", "LOADED", "END",
             2, "LINKS");
    EXPECT_EQ(has(main), 1);
    EXPECT_EQ(has(lib), 1);
    char fn[128];
    snprintf(fn, sizeof fn, "     %-30s  %s", "FNA", "main.vxp");
    EXPECT_EQ(has(fn), 1);
    // Once the run has ended the library is gone.
    snprintf(main, sizeof main, "%-40s %-10s%-11s%-6s% 4d %s", "main.vxp", "MAIN", "READY", "END",
             0, "LINKS");
    EXPECT_EQ(has(main), 1);
    EXPECT_TRUE(term.errors.empty());
}

TEST_F(SessionTest, HelpNamesItsTopic) {
    auto& term = session({"HELP", "HELP LI", "HELP XYZ", "SYSTEM"});
    std::vector<std::string> help;
    for (const std::string& s : term.statusTexts)
        if (s.find("Help Error") != std::string::npos) help.push_back(s);
    EXPECT_THAT(help, ElementsAre(HasSubstr("*CMDMENU,ktcmd.kth"), HasSubstr("*LIST,ktcmd.kth"),
                                  HasSubstr("*UNRECOGNIZED,ktcmd.kth")));
}

TEST_F(SessionTest, EditLoadsTheEditedSourceBack) {
    // The "editor" is a script that changes the listing it is given.
    write("ed.sh", "#!/bin/sh\nsed -i 's/ONE/TWO/' \"$1\"\n");
    std::filesystem::permissions("ed.sh", std::filesystem::perms::owner_all);
    setEditorCommand((dir_ / "ed.sh").string());
    auto& term = session({"10 PRINT \"ONE\"", "EDIT", "LIST", "SYSTEM"});
    setEditorCommand("");
    EXPECT_THAT(term.output, ElementsAre("00010 PRINT \"TWO\""));
}

TEST_F(SessionTest, QueuedCommandsRunAfterTheProgramEnds) {
    write("other.vxb", "10 PRINT \"OTHER\"\n20 END\n");
    auto& term = session({"10 PRINT \"FIRST\"", "20 PAUSE", "30 END", "RUN", "LOAD other.vxb",
                          "LIST", "SYSTEM 6"});
    EXPECT_THAT(term.output, ElementsAre("FIRST", "00010 PRINT \"OTHER\"", "00020 END"));
    EXPECT_EQ(exitCode(), 6);
}

TEST_F(SessionTest, SourceFilesWithAByteOrderMarkLoad) {
    write("bom.vxb", "\xEF\xBB\xBF" "10 PRINT \"BOM\"\r\n20 END\r\n");
    write("bomproc.prc", "\xEF\xBB\xBF" "PRINT \"PROC\"\n");
    auto& term = session({"LOAD bom.vxb", "RUN", "PROC bomproc.prc", "SYSTEM"});
    EXPECT_THAT(term.errors, ElementsAre());
    EXPECT_THAT(term.output, ElementsAre("BOM", "PROC"));
}

TEST_F(SessionTest, AbsolutePathsKeepTheirCase) {
    std::filesystem::create_directories(dir_ / "Pay" / "Mixed");
    const std::string name = (dir_ / "Pay" / "Mixed" / "Prog").string();
    auto& term = session({"10 PRINT \"ABS\"", "20 END", "SAVE " + name, "CLEAR", "LOAD " + name,
                          "RUN", "SAVE '" + name + "2'", "SYSTEM"});
    EXPECT_THAT(term.errors, ElementsAre());
    EXPECT_THAT(term.output, ElementsAre("ABS"));
    EXPECT_TRUE(std::filesystem::exists(name + ".vxp"));
    EXPECT_TRUE(std::filesystem::exists(name + "2.vxp"));
}

TEST(FileNames, AbsolutePathsAreTakenAsTheyStand) {
    std::string path;
    ASSERT_EQ(mapFileName("/home/Ann/Pay/Prog", path), 0);
    EXPECT_EQ(path, "/home/Ann/Pay/Prog");
    ASSERT_EQ(mapFileName("  Sub\\Prog.VXP ", path), 0);
    EXPECT_EQ(path, "sub/prog.vxp");
    EXPECT_EQ(mapFileName(std::string_view("/a\0b", 4), path), 4215);
    EXPECT_EQ(mapFileName("   ", path), 4215);
}

}  // namespace
}  // namespace vxs
