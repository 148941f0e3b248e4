// The configuration processor: defaults without a file, the value conventions, limits that keep
// their old value when refused, reading rules, conditional lines and substitution, INCLUDE
// depth, printer values, the workstation statements, the CONFIG command's restrictions and the
// round trip of the settings through their statement form.
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_support.h"
#include "vxs/command/command.h"
#include "vxs/compiler/pcb.h"
#include "vxs/errors/errors.h"
#include "vxs/base/logger.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/state.h"
#include "vxs/interpreter/strsub.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;

// Each test runs in a scratch directory with a recording terminal and a fresh configuration.
class ConfigTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        test::CleanStateTest::SetUp();
        term_ = &test::installRecordingTerminal();
        char dir[] = "/tmp/vxcfg-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        login_ = loginName();
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
        (void)setLoginName(login_);
        clearEnvironmentTable();
        resetConfiguration();
        applySettings();
        test::CleanStateTest::TearDown();
    }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    // Start-up processing of a file holding `text`.
    int startup(const std::string& text) { return processConfigFile(write("vx.sys", text)); }

    test::RecordingTerminal* term_ = nullptr;
    std::filesystem::path dir_, old_;
    std::string login_;
};

TEST_F(ConfigTest, WithoutAFileTheDefaultsHoldAndDriveCIsTheCurrentDirectory) {
    EXPECT_EQ(processConfig((dir_ / "none.sys").string()), 0);
    EXPECT_TRUE(configStartupDone());
    EXPECT_EQ(configFileName(), "");
    const DriveEntry* c = driveEntry('c');
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->osDirectory, std::filesystem::current_path().string() + "/");
    EXPECT_EQ(c->current, "\\");
    EXPECT_EQ(defaultDrive(), 'C');
    for (int n = 1; n < 100; ++n) EXPECT_FALSE(optionOn(n)) << "OPTION " << n;
    const ConfigLimits& l = configLimits();
    EXPECT_EQ(l.rd, 6);
    EXPECT_EQ(l.flowStack, 50);
    EXPECT_EQ(l.forStack, 30);
    EXPECT_EQ(l.rpnStack, 300);
    EXPECT_EQ(l.workStack, 4000);
    EXPECT_EQ(l.maxRecall, 200);
    EXPECT_EQ(l.pageOflow, 60);
    EXPECT_EQ(l.maxSortMemoryMb, 8);
    EXPECT_EQ(l.baseYear, 1900);
    EXPECT_EQ(l.breakLines, 8);
    EXPECT_EQ(maxWorkstations(), 1000);
    EXPECT_EQ(lockOptionValue(), 31);
    EXPECT_EQ(stackCountOption(), 5);
    EXPECT_EQ(fieldsConfig().scanMilliseconds, 20);
    EXPECT_TRUE(term_->output.empty());
    // Once start-up is done, processConfig takes a statement.
    EXPECT_EQ(processConfig("OPTION 1"), 0);
    EXPECT_TRUE(optionOn(1));
}

TEST_F(ConfigTest, TheSampleFileReadsWithoutMessages) {
    EXPECT_EQ(processConfigFile(VX_SOURCE_DIR "/etc/vxconfig.sys"), 0);
    EXPECT_EQ(configFileName(), VX_SOURCE_DIR "/etc/vxconfig.sys");
    EXPECT_TRUE(configMessages().empty());
}

TEST_F(ConfigTest, OnOffWordsAndOptionNumbers) {
    ASSERT_EQ(processConfigFile(""), 0);
    EXPECT_EQ(processConfigStatement("OPTION 15"), 0);
    EXPECT_TRUE(optionOn(15));
    EXPECT_EQ(processConfigStatement("OPTION 15 OFF"), 0);
    EXPECT_FALSE(optionOn(15));
    EXPECT_EQ(processConfigStatement("option 15 onx"), 0);
    EXPECT_TRUE(optionOn(15));
    const auto before = configStatements();
    for (const char* s : {"OPTION 3", "OPTION 56", "OPTION 60", "OPTION 96", "OPTION 100", "OPTION",
                          "OPTION 9 1001", "OPTION 13 19", "OPTION 97 0", "OPTION 15X"})
        EXPECT_EQ(processConfigStatement(s), 1) << s;
    EXPECT_EQ(processConfigStatement("OPTION 6"), 0);
    EXPECT_EQ(processConfigStatement("OPTION 30 ON"), 0);
    EXPECT_EQ(configStatements(), before);
    EXPECT_EQ(processConfigStatement("OPTION 9 12"), 0);
    EXPECT_EQ(maxWorkstations(), 12);
    EXPECT_EQ(processConfigStatement("OPTION 5"), 0);
    EXPECT_EQ(defaultIndexType(), 4);
    EXPECT_EQ(processConfigStatement("OPTION 99"), 0);
    EXPECT_TRUE(nullRecordCheck());
    EXPECT_EQ(processConfigStatement("OPTION 98"), 0);
    EXPECT_FALSE(nullRecordCheck());
    EXPECT_EQ(processConfigStatement("OPTION 24 ON"), 0);
    EXPECT_EQ(fieldsConfig().options[24], 1);
}

// Every flag OPTION takes ON and OFF, whether it is usually written with a word or without one:
// an OFF never turns an option on, at start-up or through CONFIG.
TEST_F(ConfigTest, EveryFlagOptionTakesOnAndOff) {
    ASSERT_EQ(processConfigFile(""), 0);
    for (int n = 1; n <= 99; ++n) {
        if (n == 3 || n == 8 || n == 12 || n == 20 || n == 56 || (n >= 58 && n <= 96)) continue;
        if (n == 6 || n == 30 || n == 9 || n == 13 || n == 33 || n == 97 || n == 98) continue;
        const std::string on = "OPTION " + std::to_string(n) + " ON";
        const std::string off = "OPTION " + std::to_string(n) + " OFF";
        ASSERT_EQ(processConfigStatement(off), 0) << off;
        EXPECT_FALSE(optionOn(n)) << off << " from the start";
        ASSERT_EQ(processConfigStatement(on), 0) << on;
        EXPECT_TRUE(optionOn(n)) << on;
        ASSERT_EQ(processConfigStatement(off), 0) << off;
        EXPECT_FALSE(optionOn(n)) << off << " after ON";
    }
    EXPECT_EQ(defaultBtreeType(), 1);
    EXPECT_EQ(defaultIndexType(), 7);
    // 98 switches the NULL-record check off; "98 OFF" switches nothing on.
    ASSERT_EQ(processConfigStatement("OPTION 99 ON"), 0);
    ASSERT_EQ(processConfigStatement("OPTION 98"), 0);
    EXPECT_FALSE(nullRecordCheck());
    ASSERT_EQ(processConfigStatement("OPTION 98 OFF"), 0);
    EXPECT_FALSE(nullRecordCheck());
    ASSERT_EQ(processConfigStatement("OPTION 99 ON"), 0);
    ASSERT_EQ(processConfigStatement("OPTION 98 OFF"), 0);
    EXPECT_TRUE(nullRecordCheck());
    // The same at start-up.
    resetConfiguration();
    EXPECT_EQ(startup("OPTION 22\nOPTION 5\nOPTION 54\nOPTION 19\n"
                      "OPTION 22 OFF\nOPTION 5 OFF\nOPTION 54 OFF\nOPTION 19 OFF\n"),
              0);
    EXPECT_EQ(defaultBtreeType(), 1);
    EXPECT_EQ(defaultIndexType(), 7);
    EXPECT_FALSE(optionOn(54));
    EXPECT_FALSE(optionOn(19));
}

TEST_F(ConfigTest, RefusedLimitsKeepTheirValueAndAreReportedOnce) {
    EXPECT_EQ(
        startup("FORSTACK 40\nRPNSTACK 60\nWORKSTACK 600\nMAXRECALL 100\nMAX_SORT_MEMORY 16 MB\n"
                "BASEYEAR 2000\nRD 3\n"
                "FORSTACK 4\nRPNSTACK 49\nWORKSTACK 499\nMAXRECALL 301\nMAX_SORT_MEMORY 1 MB\n"
                "MAX_SORT_MEMORY 8\nBASEYEAR 2400\nRD 16\nNOSUCH STATEMENT\n! a comment\n"),
        1);
    const ConfigLimits& l = configLimits();
    EXPECT_EQ(l.forStack, 40);
    EXPECT_EQ(l.rpnStack, 60);
    EXPECT_EQ(l.workStack, 600);
    EXPECT_EQ(l.maxRecall, 100);
    EXPECT_EQ(l.maxSortMemoryMb, 16);
    EXPECT_EQ(l.baseYear, 2000);
    EXPECT_EQ(l.rd, 3);
    EXPECT_DOUBLE_EQ(roundingConstant(), 0.0005);
    EXPECT_THAT(term_->output,
                ElementsAre("Configuration Messages:", "FORSTACK 4", "RPNSTACK 49", "WORKSTACK 499",
                            "MAXRECALL 301", "MAX_SORT_MEMORY 1 MB", "MAX_SORT_MEMORY 8",
                            "BASEYEAR 2400", "RD 16", "NOSUCH STATEMENT"));
    EXPECT_EQ(configMessages().size(), 9u);
}

TEST_F(ConfigTest, WithALogFileMessagesGoToTheLogOnly) {
    EXPECT_EQ(startup("LOGGING 1, 'vx.log' UNATTENDED\nOPTION 3\nLOGGING 1, nosuchdir/x.log\n"), 1);
    EXPECT_TRUE(configLimits().unattended);
    EXPECT_EQ(logFileName(), "vx.log");
    EXPECT_TRUE(term_->output.empty());
    closeLogFile();
    setLogLevel(0);
    std::ifstream in(dir_ / "vx.log");
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("OPTION 3\n"), std::string::npos);
    EXPECT_NE(log.find("LOGGING 1, nosuchdir/x.log\n"), std::string::npos);
}

TEST_F(ConfigTest, ScreenSettings) {
    ASSERT_EQ(startup("CURSOR 0F0F\n3D_FIELDS UNDR_ON\nDATAHILITE ON\nINSERT MIN_LENGTH 5\n"
                      "FIELDBREAK MIN_SPACES 300 UNDERSCORE OFF\nGRAPHIC_LINEDRAW THINRAISED\n"
                      "USERLEVEL 1\nCOLOR [LIGHT]#A0B0C0\n"),
              0);
    const FieldsConfig& f = fieldsConfig();
    EXPECT_EQ(f.cursor, 0x0C0D);
    EXPECT_TRUE(f.fields3d && f.underline);
    EXPECT_EQ(f.dataHilite, 3);
    EXPECT_EQ(f.insertMode, 3);
    EXPECT_EQ(f.insertMinLength, 5);
    EXPECT_EQ(f.fieldBreakMinSpaces, 255);
    EXPECT_FALSE(f.fieldBreakUnderscore);
    EXPECT_EQ(f.lineDraw, 4);
    EXPECT_EQ(f.userLevel, '1');
    for (const char* s :
         {"CURSOR 0F0", "CURSOR XYZW", "COLOR [X]#12345", "COLOR [X]123456", "USERLEVEL 4",
          "FIELDBREAK UNDERSCORE MAYBE", "3D_FIELDS SOMETIMES", "SCREEN N=ZZ", "MAXRECALL 301"})
        EXPECT_EQ(processConfigStatement(s), 1) << s;
    EXPECT_EQ(processConfigStatement("CURSOR 0001"), 0);
    EXPECT_EQ(fieldsConfig().cursor, 0x0001);
}

TEST_F(ConfigTest, ReadingRulesAndComments) {
    // CR and NUL dropped, TAB as eight blanks, trailing blanks gone, "\!" kept, "!" ends the
    // statement, an 801st character starts the next line, Ctrl-Z ends the file.
    std::string text = "SPOOLCMD a\tb\\!c ! comment  \r\n";
    text += std::string("APPLICATION_NAME x\0y   \n", 24);
    text += "# a comment\n\n   \n";
    text += "SETENV LONG " + std::string(800 - 12, 'v') + "OPTION 17\n";
    text += "OPTION 18\n\x1aOPTION 19\n";
    EXPECT_EQ(startup(text), 0);
    EXPECT_EQ(spoolCommand(), "a        b!c");
    EXPECT_EQ(applicationName(), "xy");
    std::string value;
    ASSERT_TRUE(environmentVariable("LONG", value));
    EXPECT_EQ(value.size(), 788u);
    EXPECT_TRUE(optionOn(17));
    EXPECT_TRUE(optionOn(18));
    EXPECT_FALSE(optionOn(19));
    EXPECT_TRUE(term_->output.empty());
}

TEST_F(ConfigTest, ConditionalLinesFollowTheLoginName) {
    ASSERT_EQ(setLoginName("Clerk"), 0);
    EXPECT_EQ(startup("@CLERK OPTION 1\n@'clerk' OPTION 4\n@BOSS OPTION 7\n@clerk\n"), 0);
    EXPECT_TRUE(optionOn(1));
    EXPECT_TRUE(optionOn(4));
    EXPECT_FALSE(optionOn(7));
}

TEST_F(ConfigTest, EnvironmentAndLoginSubstitution) {
    ASSERT_EQ(setEnvironmentVariable("VXTEMP", "/tmp/q"), 0);
    ASSERT_EQ(setLoginName("ann"), 0);
    EXPECT_EQ(startup("SPOOLCMD %vxtemp%\\x %NOSUCHVAR% 50% [login_name$] [OTHER]\n"), 0);
    EXPECT_EQ(spoolCommand(), "/tmp/q\\x %NOSUCHVAR% 50% ann [OTHER]");
    EXPECT_EQ(processConfigStatement("SPOOLCMD copy [SPOOLFILE"), 1);
    EXPECT_EQ(processConfigStatement("SPOOLCMD copy ]x["), 1);
    EXPECT_EQ(spoolCommand(), "/tmp/q\\x %NOSUCHVAR% 50% ann [OTHER]");
}

TEST_F(ConfigTest, IncludeStopsAtTenOpenFiles) {
    // vx.sys includes inc1 ... inc9: ten files open; the INCLUDE in inc9 is refused, and every
    // file still reads its statement after the INCLUDE.
    for (int i = 1; i <= 10; ++i)
        write("inc" + std::to_string(i), "INCLUDE " +
                                             (dir_ / ("inc" + std::to_string(i + 1))).string() +
                                             "\nOPTION " + std::to_string(20 + i) + "\n");
    EXPECT_EQ(startup("INCLUDE " + (dir_ / "inc1").string() + "\nOPTION 1\n"), 1);
    EXPECT_TRUE(optionOn(1));
    for (int i = 1; i <= 9; ++i) EXPECT_TRUE(optionOn(20 + i)) << i;
    EXPECT_FALSE(optionOn(30));
    EXPECT_THAT(configMessages(), ElementsAre("INCLUDE " + (dir_ / "inc10").string()));
    // After start-up the name goes through the drive table: C: is the current directory.
    write("late.sys", "OPTION 44\nOPTION 3\n");
    EXPECT_EQ(processConfigStatement("INCLUDE late.sys"), 1);
    EXPECT_TRUE(optionOn(44));
    EXPECT_EQ(processConfigStatement("INCLUDE missing.sys"), 1);
}

TEST_F(ConfigTest, EscapedBangsStayAndTheDepthMessageComesInReadingOrder) {
    // "\!" is a literal "!" wherever it stands; a bare "!" after the first character ends the
    // statement, in an INCLUDE as anywhere.  The INCLUDE refused at the depth limit is reported
    // as the statement it is (without its comment), when it is read: before the statements
    // of the files around it that come after it.
    for (int i = 1; i <= 9; ++i)
        write("d" + std::to_string(i),
              "INCLUDE " + (dir_ / ("d" + std::to_string(i + 1))).string() + " ! deeper\n" +
                  (i == 9 ? "APPLICATION_NAME Hello\\! World ! greeting\nBAD9\n" : ""));
    write("d10", "OPTION 5\n");
    EXPECT_EQ(startup("INCLUDE " + (dir_ / "d1").string() + "\nBADMAIN\n"), 1);
    EXPECT_EQ(applicationName(), "Hello! World");
    EXPECT_FALSE(optionOn(5));
    EXPECT_THAT(configMessages(),
                ElementsAre("INCLUDE " + (dir_ / "d10").string(), "BAD9", "BADMAIN"));
    EXPECT_EQ(processConfigStatement("APPLICATION_NAME \\!Bang\\!"), 0);
    EXPECT_EQ(applicationName(), "!Bang!");
}

TEST_F(ConfigTest, IncludeCyclesAndChainsEnd) {
    // A file that includes itself five times: each INCLUDE is refused and reported, and the
    // statements around them are read once.
    const std::string self = (dir_ / "self.sys").string();
    std::string text = "OPTION 1\n";
    for (int i = 0; i < 5; ++i) text += "INCLUDE " + self + "\n";
    write("self.sys", text + "OPTION 2\n");
    EXPECT_EQ(processConfigFile(self), 1);
    EXPECT_TRUE(optionOn(1));
    EXPECT_TRUE(optionOn(2));
    EXPECT_EQ(configMessages().size(), 5u);
    for (const std::string& m : configMessages()) EXPECT_EQ(m, "INCLUDE " + self);

    // Two files that include each other, reached through another name of the first (a link).
    resetConfiguration();
    const std::string a = write("a.sys", "INCLUDE " + (dir_ / "b.sys").string() + "\nOPTION 4\n");
    write("b.sys", "INCLUDE " + (dir_ / "alias.sys").string() + "\nOPTION 7\n");
    std::filesystem::create_symlink(dir_ / "a.sys", dir_ / "alias.sys");
    EXPECT_EQ(processConfigFile(a), 1);
    EXPECT_TRUE(optionOn(4));
    EXPECT_TRUE(optionOn(7));
    EXPECT_THAT(configMessages(), ElementsAre("INCLUDE " + (dir_ / "alias.sys").string()));

    // Without a cycle: each of eight nested files includes the next five times.  The run reads
    // 100 files and refuses every INCLUDE after them.
    resetConfiguration();
    for (int i = 1; i <= 8; ++i) {
        std::string t;
        for (int k = 0; k < 5; ++k)
            t += "INCLUDE " + (dir_ / ("n" + std::to_string(i + 1))).string() + "\n";
        write("n" + std::to_string(i), t);
    }
    write("n9", "OPTION 11\n");
    EXPECT_EQ(startup("INCLUDE " + (dir_ / "n1").string() + "\n"), 1);
    EXPECT_TRUE(optionOn(11));
    EXPECT_FALSE(configMessages().empty());
    EXPECT_LT(configMessages().size(), 50000u);

    // A CONFIG INCLUDE after start-up of a file that includes itself ends too.
    write("selfc.sys", "INCLUDE selfc.sys\nOPTION 44\n");
    EXPECT_EQ(processConfigStatement("INCLUDE selfc.sys"), 1);
    EXPECT_TRUE(optionOn(44));
}

TEST_F(ConfigTest, BinaryLinesAreShownEscaped) {
    EXPECT_EQ(startup(std::string("OPTION 1\nBAD\x1b[2J\x07 line\x7f\nOPTION 2\n")), 1);
    EXPECT_TRUE(optionOn(2));
    EXPECT_THAT(configMessages(), ElementsAre("BAD\\033[2J\\007 line\\177"));
    for (const std::string& line : term_->output)
        for (char c : line) EXPECT_FALSE(static_cast<unsigned char>(c) < 32 || c == 127) << line;
}

TEST_F(ConfigTest, PrinterValues) {
    ASSERT_EQ(
        startup("PRINTER EPSON\nPRINTER [BOLD],1B 45 \"x\\e\\101\\q\"\nPRINTER LASER INIT HP\n"
                "PRINTER LASER LPP 66 2B1B28,'a'\nPRINTER TYPE LASER SELECT COPY [FILE]\n"),
        0);
    EXPECT_TRUE(printerTranslation());
    EXPECT_EQ(defaultPrinter().type, 1);
    ASSERT_EQ(defaultPrinter().keys.size(), 1u);
    EXPECT_EQ(defaultPrinter().keys[0].second,
              "\x1b"
              "Ex\x1b"
              "Aq");
    ASSERT_EQ(namedPrinters().size(), 1u);
    const PrinterTable& laser = namedPrinters()[0];
    EXPECT_EQ(laser.lpp, 66);
    ASSERT_EQ(laser.keys.size(), 2u);
    EXPECT_EQ(laser.keys[0].first, "[INIT+]");
    EXPECT_EQ(laser.keys[0].second,
              "\x1b%-12345X@PJL SET PAGEPROTECT=OFF\n@PJL ENTER LANGUAGE=PCL\n\x1b"
              "E");
    EXPECT_EQ(laser.keys[1].first, "+\x1b(");
    ASSERT_EQ(printerTypes().size(), 1u);
    EXPECT_EQ(printerTypes()[0].select, "COPY [FILE]");
    const std::string longValue = "PRINTER [X]," + std::string(512, 'A');
    for (const std::string& s : {longValue, std::string("PRINTER [X],1B4"),
                                 std::string("PRINTER [X],\"abc"), std::string("PRINTER [X.Y],00"),
                                 std::string("PRINTER 2B41,00"), std::string("PRINTER [X] 00")})
        EXPECT_EQ(processConfigStatement(s), 1) << s;
    EXPECT_EQ(processConfigStatement("PRINTER [BOLD],CLEAR"), 0);
    EXPECT_TRUE(defaultPrinter().keys.empty());
    EXPECT_EQ(processConfigStatement("OPTION 28"), 0);
    EXPECT_EQ(processConfigStatement("PRINTER [BOLD],00"), 1);
}

TEST_F(ConfigTest, FirstExecuteAndLoginNameWin) {
    EXPECT_EQ(startup("EXECUTE RUN \"Menu\"\nEXECUTE RUN OTHER\nLOGIN_NAME Ann\nLOGIN_NAME Bob\n"),
              0);
    EXPECT_EQ(executeCommand(), "menu");
    EXPECT_EQ(executeSource(), "vxconfig.sys");
    EXPECT_EQ(loginName(), "ann");
}

TEST_F(ConfigTest, WorkstationStatements) {
    EXPECT_EQ(startup("WSID 12+3\nWSID 1000\nWSID=UNIQUE\n"), 1);
    EXPECT_EQ(wsidRequest(), 12);
    EXPECT_EQ(wsidIncrement(), 3);
    EXPECT_TRUE(wsidUnique());
    EXPECT_FALSE(wsidSession());
    resetConfiguration();
    setCommandLineWsid(5);
    EXPECT_EQ(startup("WSID 7+X\n"), 0);
    EXPECT_EQ(wsidRequest(), 0);
    EXPECT_EQ(parseConfigSwitch("wsid=session"), 1);
    EXPECT_EQ(parseConfigSwitch("WSID = UNIQUE"), 2);
    EXPECT_EQ(parseConfigSwitch("5"), -1);
    EXPECT_EQ(parseConfigSwitch("myconfig.sys"), -1);
}

TEST_F(ConfigTest, StatementsAfterStartUpAndTheConfigCommand) {
    ASSERT_EQ(createPCB(kDefaultLineCapacity, kDefaultDictCapacity, "", &pchain.curpcb), 0);
    ASSERT_EQ(processConfigFile(""), 0);
    EXPECT_EQ(executeCommandLine("CONFIG FORSTACK 40"), kErrUnrecognized);
    EXPECT_EQ(executeCommandLine("CONFIG OPTION 33 31"), kErrUnrecognized);
    for (const char* s : {"EXECUTE RUN X", "WSID 3", "WSID=SESSION", "KTSERVER x", "WORKPATH x",
                          "RPNSTACK 400", "NOVELL", "ONQ3", "NOSUCH"})
        EXPECT_EQ(processConfigStatement(s), 1) << s;
    EXPECT_EQ(executeCommandLine("CONFIG OPTION 37 ON"), 0);
    EXPECT_TRUE(optionOn(37));
    EXPECT_EQ(executeCommandLine("CONFIG   BREAK 20   "), 0);
    EXPECT_EQ(t.breakLines, 20);
    EXPECT_EQ(executeCommandLine("CONFIG BASEYEAR 1950"), 0);
    EXPECT_EQ(baseYearPivot(), 50);
    EXPECT_EQ(
        executeCommandLine("CONFIG " + std::string(120, ' ') + "SPOOLCMD " + std::string(119, 'x')),
        0);
    EXPECT_EQ(executeCommandLine("CONFIG SPOOLCMD " + std::string(121, 'x')), kErrCommandTooLong);
    EXPECT_EQ(executeCommandLine("CONFIG DRIVE C:,.,.,\\"), kErrUnrecognized);  // defined once
    EXPECT_EQ(executeCommandLine("CONFIG DRIVE 1:,.,.,\\"), kErrUnrecognized);
    EXPECT_TRUE(term_->output.empty());  // refused statements after start-up are not reported
}

TEST_F(ConfigTest, DriveAndSetenvErrors) {
    std::filesystem::create_directory(dir_ / "data");
    EXPECT_EQ(defineDrive('1', ".", "\\"), kErrBadDrive);
    EXPECT_EQ(defineDrive('d', "data", "\\"), 0);
    EXPECT_EQ(defineDrive('D', "data", "\\"), kErrDriveDefined);
    EXPECT_EQ(defineDrive('E', "nosuch", "\\"), kErrPathNotFound);
    EXPECT_EQ(defineDrive('E', ".", "\\nosuch"), kErrPathNotFound);
    EXPECT_EQ(driveEntry('E')->osDirectory, "");
    EXPECT_EQ(defineDrive('F', std::string(600, 'x'), "\\"), kErrNameTooLong);
    EXPECT_EQ(driveNumber(1), 'D');
    EXPECT_EQ(driveNumber(2), 0);
    EXPECT_EQ(processConfigFile(write("s.sys",
                                      "SETENV BAD$NAME x\nSETENV\nSETENV CLIPBOARD hello\n"
                                      "SETENV Path_1 Mixed Case\n")),
              1);
    std::string v;
    ASSERT_TRUE(environmentVariable("PATH_1", v));
    EXPECT_EQ(v, "Mixed Case");
    EXPECT_EQ(configMessages().size(), 2u);
    // The drive defined before the file is the first; no default C: is added.
    EXPECT_EQ(driveEntry('C')->osDirectory, "");
}

TEST_F(ConfigTest, SubstituteTable) {
    ASSERT_EQ(processConfigFile(""), 0);
    EXPECT_EQ(processConfigStatement("SUBSTITUTE \"my data\" 'x y'"), 0);
    EXPECT_EQ(processConfigStatement("SUBSTITUTE \"open"), 1);
    EXPECT_EQ(processConfigStatement("SUBSTITUTE ,x y"), 1);
    EXPECT_EQ(processConfigStatement("SUBSTITUTE lonely"), 1);
    EXPECT_EQ(processConfigStatement("SUBSTITUTE a\"b' c"), 1);  // cannot be written back
    EXPECT_EQ(processConfigStatement("SUBSTITUTE a\x06 c"), 1);  // a control character
    EXPECT_EQ(processConfigStatement("SPOOLPATH @remote"), 0);
    EXPECT_EQ(processConfigStatement("SPOOLPATH /var/spool"), 0);
    std::string out;
    ASSERT_EQ(substituteName("My Data/[SPOOLPATH]/[REMOTESPOOLPATH]", out), 0);
    EXPECT_EQ(out, "x y//var/spool/@:remote");
    EXPECT_EQ(processConfigStatement("SUBSTITUTE [WSID] CLEAR"), 1);  // built-in entries stay
    EXPECT_EQ(processConfigStatement("SUBSTITUTE CLEAR"), 0);
    ASSERT_EQ(substituteName("my data [SPOOLPATH]", out), 0);
    EXPECT_EQ(out, "my data /var/spool");
    EXPECT_EQ(substitutions().size(), 5u);
}

// Every setting written as statements and read back at start-up gives the same settings.
TEST_F(ConfigTest, SettingsRoundTripThroughTheirStatements) {
    std::filesystem::create_directories(dir_ / "d" / "sub");
    const std::string text =
        "DRIVE D:," + (dir_ / "d").string() +
        ",x, \\sub\nDRIVE C:,.,.,\\\n"
        "SUBSTITUTE DATA: \"D:\\data\\!x\"\nSPOOLPATH spool\nSPOOLPATH @rs\n"
        "OPTION 1\nOPTION 2 ON\nOPTION 5\nOPTION 9 50\nOPTION 11\nOPTION 13 100\nOPTION 22\n"
        "OPTION 24\nOPTION 33 64\nOPTION 37\nOPTION 54\nOPTION 97 9\nOPTION 99\n"
        "FLOWSTACK 60\nFORSTACK 35\nRPNSTACK 350\nWORKSTACK 5000\nMAXRECALL 250\nPAGEOFLOW 66\n"
        "MAX_SORT_MEMORY 64 MB\nBREAK 12 3\nBASEYEAR 1970\nRD 4\nCOLLATE ALTERNATE\nDECIMAL "
        "REQUIRED\n"
        "DIMONLY ON\nIOERR_EXEMPT ON\nS/36-MODE ON\nCHAINDFLT O\nFILENAMES MIXED_CASE\n"
        "STYLE KEYWORDS LOWER COMMENTS UPPER INDENT 3 40\nSHELL DEFAULT SERVER\nSHELL LIMIT -5\n"
        "PRINTDIR /var/print\nONQPATH /onq\nKTSERVER /srv/ktserver.dat\nWORKPATH /tmp/work\n"
        "SPOOLCMD lpr [SPOOLFILE]\nCLIENT_CURRENT_DIR \"C:\\My Dir\"\nEDITOR \"/usr/bin/vi\" "
        "NOWAIT REMOVE\n"
        "EXECUTE run menu\nLOGIN_NAME clerk\nAPPLICATION_NAME Pay Roll\nHELPDFLT PAY.HLP,INDEX\n"
        "BTREE_VERIFY CUST.IDX\nS/23-DRIVES ABC\n3D_FIELDS OFF\nATTRIBUTE [HILITE]R\nATTRIBUTE ESC "
        "NOSPACE\n"
        "COLOR [SKY]#87CEEB\nCONSOLE OFF ALWAYS\nCURSOR 0A0C\nDATAHILITE WIN_OFF\n"
        "FIELDBREAK MIN_SPACES 4 UNDERSCORE OFF\nFIELDHELP BORDER=S N=W\nFONT COURIER\n"
        "FORCE VISIBILITY ON\nGRAPHIC_LINEDRAW SUNKEN\nGUI OFF\nINSERT ON\nKEYBOARD F1,HELP\n"
        "MIN_FONTSIZE 8X16\nSCREEN N=1F S=[W/B]\nSCREEN OPENDFLT \"SROW=2,SCOL=1\"\n"
        "STATUSLINE OFF please wait\nSTATUSLINE ROWCOL OFF\nTYPEAHEAD OFF\nUSERLEVEL 2\nPICTURE "
        "CACHE_OFF\n"
        "PRINTER IBMCOLOR\nPRINTER [CPI10],1B50\nPRINTER LASER LPP 60 INIT \"\\eE\"\nPRINTER LASER "
        "RESET 0C\n"
        "PRINTER LASER 2B0E,1B 57\nPRINTER TYPE LASER SELECT LPR -P LASER\nPRINTER TYPE INK SELECT "
        "LPR\n"
        "PRINTSCREEN APPEND NEWPAGE GUI OFF prtscr.txt\nWSID 12+3\nWSID=SESSION\n";
    ASSERT_EQ(startup(text), 0) << ::testing::PrintToString(configMessages());
    const std::vector<std::string> first = configStatements();
    std::string again;
    for (const auto& line : first) again += line + "\n";
    resetConfiguration();
    ASSERT_EQ(startup(again), 0) << ::testing::PrintToString(configMessages());
    EXPECT_EQ(configStatements(), first);
    std::string sub;
    ASSERT_EQ(substituteName("data:x", sub), 0);
    EXPECT_EQ(sub, "D:\\data!xx");
    EXPECT_EQ(driveEntry('D')->current, "\\sub");
    EXPECT_TRUE(optionOn(11));
    EXPECT_EQ(lockOptionValue(), 64);
    EXPECT_TRUE(configLimits().ioerrExempt);
    resetConfiguration();
    applySettings();  // the interpreter's settings back to the defaults
}

}  // namespace
}  // namespace vxs

namespace vxs {
namespace {

std::string g_heard;
void hearA() { g_heard += "A"; }
void hearB() { g_heard += "B"; }

TEST(SettingsListeners, EachHearsOnceInTheOrderOfRegistration) {
    addSettingsListener(hearA);
    addSettingsListener(hearB);
    addSettingsListener(hearA);  // registered again: still once
    addSettingsListener(nullptr);
    g_heard.clear();
    applySettings();
    EXPECT_EQ(g_heard, "AB");
}

}  // namespace
}  // namespace vxs
