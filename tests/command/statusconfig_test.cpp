// The configuration sections of the STATUS report: the exact lines of a default configuration,
// a listing of many settings read back as the start-up configuration file making the same
// listing without a message, damaged listing lines refused, and a sink that stops the report.
#include "vxs/command/statusconfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/test_support.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/base/logger.h"
#include "vxs/interpreter/strsub.h"

namespace vxs {
namespace {

using ::testing::Contains;
using ::testing::IsEmpty;

class StatusConfigTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        test::CleanStateTest::SetUp();
        test::installRecordingTerminal();
        char dir[] = "/tmp/vxstatcfg-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        login_ = loginName();
        wsid_ = fieldsConfig().wsid;
        fieldsConfig().wsid = 0;  // not joined to a registry: the request comes from the settings
        resetConfiguration();
    }
    void TearDown() override {
        if (!logFileName().empty()) closeLogFile();
        setLogLevel(0);
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
        (void)setLoginName(login_);
        fieldsConfig().wsid = wsid_;
        resetConfiguration();
        applySettings();
        test::CleanStateTest::TearDown();
    }
    // Start-up processing of a file holding `text`.
    int startup(const std::string& text) {
        std::ofstream(dir_ / "vx.sys", std::ios::binary) << text;
        return processConfigFile((dir_ / "vx.sys").string());
    }
    // Back to the state before start-up, as a new process would be.
    void restart() {
        if (!logFileName().empty()) closeLogFile();
        setLogLevel(0);
        (void)setLoginName(login_);
        resetConfiguration();
    }
    // The text of one section, which must run to its end.
    static std::string section(bool (*write)(const ReportSink&)) {
        std::string text;
        EXPECT_TRUE(write([&](std::string_view line) {
            text += line;
            return true;
        }));
        return text;
    }
    // The sections that are statements, in the report's order.
    static std::string listing() {
        return section(reportConfigSection) + section(reportAttributesSection) +
               section(reportPrinterSection) + section(reportBtreeVerifySection) +
               section(reportKeyboardSection) + section(reportColorsSection) +
               section(reportSubstituteSection);
    }
    static std::vector<std::string> linesOf(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // Reads `text` back as a new process's configuration file: no message, the same listing.
    void expectReadsBack(const std::string& text) {
        restart();
        EXPECT_EQ(startup(text), 0);
        EXPECT_THAT(configMessages(), IsEmpty());
        EXPECT_EQ(listing(), text);
    }

    std::filesystem::path dir_, old_;
    std::string login_;
    int wsid_ = 0;
};

TEST_F(StatusConfigTest, TheDefaultConfigurationListsItsDefaultsAndReadsBack) {
    ASSERT_EQ(processConfigFile((dir_ / "none.sys").string()), 0);
    const std::string config = section(reportConfigSection);
    const auto lines = linesOf(config);
    EXPECT_EQ(lines.front(), "3D_FIELDS ON, 3D_FIELDS UNDR_OFF");
    for (const char* expected :
         {"APPLICATION_NAME ", "BASEYEAR 1900", "BREAK 8, 0",
          "CHAINDFLT   - Look for object files with source first.", "COLLATE NATIVE",
          "CONSOLE NOT SET", "CURSOR 0000", "DATAHILITE WIN_ON - using windows selected colors",
          "DIMONLY is OFF", "EDITOR ", "EXECUTE WAS NOT SET",
          "FIELDBREAK MIN_SPACES 2, UNDERSCORE ON", "GRAPHIC_LINEDRAW THIN",
          "GUI SUPPRESS - ignore VXVB syntax is ON.", "HELPDFLT is not defined",
          "INSERT not defined - default to datahilite setting", "LOGGING is off",
          "MAX_SORT_MEMORY 8 MB", "MAXRECALL 200", "ONQPATH NOT DEFINED",
          "The following option descriptions are for the ON state.",
          "OPTION 1 is OFF - FORM statement default count", "OPTION 9 is 1000 - maximum number of concurrent workstations",
          "OPTION 13 is 20 - terminal scan milliseconds",
          "OPTION 33 is 31 - locking position for large file support",
          "OPTION 45 is OFF - allow old style 'window on a field' syntax.",
          "OPTIONS 98 and 99 check for NULL records is OFF", "PAGEOFLOW 60",
          "PRINTDIR IS NOT SPECIFIED", "PRINTSCREEN all defaults", "RD 6", "S36MODE is OFF",
          "SCREEN N DEFAULT", "SCREEN OPENDFLT NOT SPECIFIED", "SHELL DEFAULT CLIENT",
          "SHELL LIMIT 240", "SPOOLCMD IS NOT DEFINED", "STATUSLINE ROWCOL ON", "STATUSLINE ON",
          "STYLE INDENT CLEAR", "STYLE COMMENT CLEAR, LABELS CLEAR, KEYWORDS CLEAR, EXPRESSIONS CLEAR",
          "TYPEAHEAD ON", "USERLEVEL 3", "WSID requested 1 by default values with increment 1.",
          "WSID assigned  0", "WSID=SESSION is OFF"})
        EXPECT_THAT(lines, Contains(std::string(expected)));
    EXPECT_EQ(lines.back(), "WSID=UNIQUE is OFF");
    // Options without a text of their own are not listed; the settings are in statement order.
    EXPECT_THAT(config, ::testing::Not(::testing::HasSubstr("OPTION 6 ")));
    EXPECT_LT(config.find("MAX_SORT_MEMORY"), config.find("MAXRECALL"));
    EXPECT_LT(config.find("OPTION 9 "), config.find("OPTION 11 "));

    const std::string substitute = section(reportSubstituteSection);
    EXPECT_EQ(substitute,
              " \nSubstitute [WSID] \nSubstitute [SESSION] \nSubstitute [SPOOLPATH] .\n"
              "Substitute [REMOTESPOOLPATH] @:.\nSubstitute CON: CON:\n");
    expectReadsBack(listing());
}

// Every statement kind set away from its default, listed, read back by a new process: the
// same listing, and no configuration message on either reading.
TEST_F(StatusConfigTest, AListingOfManySettingsReadsBackAsTheSameConfiguration) {
    const std::string statements =
        "OPTION 1\nOPTION 7 ON\nOPTION 11 ON\nOPTION 5\nOPTION 22\nOPTION 19\nOPTION 24 ON\n"
        "OPTION 45 ON\nOPTION 9 12\nOPTION 13 40\nOPTION 33 64\nOPTION 97 7\nOPTION 99\n"
        "BASEYEAR 1905\nBREAK 12 3\nCHAINDFLT O\nCOLLATE ALTERNATE\nDECIMAL REQUIRED\n"
        "DIMONLY ON\nRD 4\nS/36-MODE ON\nMAXRECALL 100\nPAGEOFLOW 66\nMAX_SORT_MEMORY 16 MB\n"
        "STYLE COMMENTS UPPER KEYWORDS LOWER LABELS MIXED INDENT 3 40\nINSERT MIN_LENGTH 5\n"
        "DATAHILITE R/W:B\n3D_FIELDS UNDR_ON\n3D_FIELDS OFF\nCONSOLE OFF ALWAYS\nCURSOR 0F0F\n"
        "FIELDBREAK MIN_SPACES 4 UNDERSCORE OFF\nFIELDHELP BORDER=S N=R\nFORCE VISIBILITY ON\n"
        "GRAPHIC_LINEDRAW SUNKEN\nGUI OFF\nTYPEAHEAD OFF\nUSERLEVEL 1\n"
        "STATUSLINE OFF Closed for lunch\nSTATUSLINE ROWCOL OFF\nPICTURE CACHE_ON\n"
        "SCREEN N=1F U:[R] OPENDFLT \"SROW=2,SCOL=2\"\n"
        "EDITOR \"/usr/bin/my editor\" NOWAIT REMOVE\nEXECUTE run menu\\!now\n"
        "SPOOLCMD lpr -P office [SPOOLFILE]\nPRINTDIR /var/spool/Out\nONQPATH /srv/onq\n"
        "APPLICATION_NAME Accounts Payable\\!\nHELPDFLT HELP.HLP,INDEX\nLOGIN_NAME Clerk\n"
        "FILENAMES MIXED_CASE\nPRINTSCREEN REPLACE NEWPAGE GUI screen.txt\n"
        "SHELL DEFAULT SERVER\nSHELL LIMIT -5\nS/23-DRIVES ABC\nWSID 12+3\nWSID=SESSION\n"
        "WSID=UNIQUE\nLOGGING 1, log.txt UNATTENDED\n"
        "SUBSTITUTE [DATA] /srv/data\nSUBSTITUTE \"[OLD CO]\" \"[NEW CO]\"\nSPOOLPATH /tmp/spool\n"
        "SPOOLPATH @remote\nCOLOR [SKY]#87ceeb [SEA]#000080\nATTRIBUTE [ALERT]R/W:B\n"
        "ATTRIBUTE ESC NOSPACE\nKEYBOARD 41,HELLO\nKEYBOARD F1=RUN\n"
        "BTREE_VERIFY CUST.IDX\nBTREE_VERIFY ORDERS.IDX\nPRINTER EPSON\nPRINTER LPP 66\n"
        "PRINTER [BOLD],\"\\e(s3B\"\nPRINTER LASER INIT HP\nPRINTER LASER [NORMAL],1B 28 73 30 42\n"
        "PRINTER LASER 2B1B45,\"x\"\nPRINTER TYPE LASER SELECT lpr -P laser\n"
        "PRINTER TYPE INK SELECT lpr -P ink\n";
    ASSERT_EQ(startup(statements), 0);
    ASSERT_THAT(configMessages(), IsEmpty());
    const std::string first = listing();
    const auto lines = linesOf(first);
    for (const char* expected :
         {"3D_FIELDS OFF, 3D_FIELDS UNDR_ON", "APPLICATION_NAME Accounts Payable\\!",
          "BASEYEAR 1905", "BREAK 12, 3", "CHAINDFLT O - Look for object files first.",
          "CONSOLE OFF ALWAYS", "CURSOR 0C0D", "DATAHILITE R/W:B", "DIMONLY is ON",
          "EDITOR \"/usr/bin/my editor\", NOWAIT, REMOVE", "EXECUTE run menu\\!now",
          "EXECUTE came from vxconfig.sys", "FIELDBREAK MIN_SPACES 4, UNDERSCORE OFF",
          "HELPDFLT is HELP.HLP,INDEX", "INSERT MIN_LENGTH 5", "LOGGING 1, log.txt UNATTENDED",
          "LOGIN_NAME clerk", "OPTION 5 is ON - default to ISAM indexes",
          "OPTION 11 is ON - don't clear unreferenced variables",
          "OPTION 33 is 64 - locking position for large file support",
          "OPTION 97 is 7 - count kept with the stack sizes",
          "OPTIONS 98 and 99 check for NULL records is ON",
          "PRINTSCREEN REPLACE NEWPAGE GUI screen.txt", "S23DRIVES ABC", "S36MODE is ON",
          "SCREEN N=1F", "SCREEN U:[R]", "SCREEN H DEFAULT", "SCREEN OPENDFLT \"SROW=2,SCOL=2\"",
          "STATUSLINE OFF Closed for lunch", "STYLE INDENT 3, 40",
          "STYLE COMMENT UPPER, LABELS MIXED, KEYWORDS LOWER, EXPRESSIONS CLEAR",
          "WSID requested 12 by vxconfig.sys with increment 3.", "WSID=SESSION is ON",
          "ATTRIBUTE [ALERT]R/W:B", "ATTRIBUTE ESC NOSPACE", "PRINTER EPSON",
          "PRINTER LASER [NORMAL],1B 28 73 30 42", "PRINTER TYPE LASER SELECT LPR -P LASER",
          "BTREE_VERIFY ORDERS.IDX", "KEYBOARD 0041,HELLO", "KEYBOARD F1=RUN",
          "COLOR [SKY] #87CEEB", "Substitute [DATA] /srv/data",
          "Substitute \"[OLD CO]\" \"[NEW CO]\"", "Substitute [SPOOLPATH] /tmp/spool",
          "Substitute [REMOTESPOOLPATH] @:remote"})
        EXPECT_THAT(lines, Contains(std::string(expected)));
    expectReadsBack(first);
    // The listing read back makes the same settings, not only the same text.
    EXPECT_EQ(configLimits().baseYear, 1905);
    EXPECT_EQ(wsidRequest(), 12);
    EXPECT_EQ(wsidIncrement(), 3);
    EXPECT_EQ(lockOptionValue(), 64);
    EXPECT_EQ(executeCommand(), "run menu!now");
}

// OPTION 28 refuses PRINTER statements without a printer name: a default printer defined
// before it still reads back.
TEST_F(StatusConfigTest, TheDefaultPrinterReadsBackUnderOption28) {
    ASSERT_EQ(startup("PRINTER EPSON\nPRINTER LPP 66\nOPTION 28 ON\nPRINTER LASER LPP 60\n"), 0);
    const std::string printers = section(reportPrinterSection);
    EXPECT_EQ(printers,
              "PRINTER EPSON\nOPTION 28 OFF\nPRINTER LPP 66\nOPTION 28 ON\nPRINTER LASER LPP 60\n");
    expectReadsBack(listing());
    EXPECT_TRUE(optionOn(28));
    EXPECT_EQ(defaultPrinter().lpp, 66);
}

TEST_F(StatusConfigTest, TheReportsHeadingLinesSetNothing) {
    restart();
    EXPECT_EQ(startup("WSID=  3    Date=12/10/2026   Time=07:08:02\n\nProgram ID pay.vxp\n"
                      "Procedure 1  Line   4  start.prc\n"
                      "Current Line=00200:02     Last Error=0004     Error Line=00200:02\n"
                      "Last OS Error 0\n"
                      "pay.vxp                                  MAIN      ACTIVE     END      0 LINKS\n"
                      "BASEYEAR 1905\n"),
              0);
    EXPECT_THAT(configMessages(), IsEmpty());
    EXPECT_EQ(configLimits().baseYear, 1905);
    EXPECT_EQ(wsidRequest(), 0) << "the heading's WSID= is no request";
}

TEST_F(StatusConfigTest, DamagedListingLinesAreStatementErrors) {
    for (const char* line :
         {"3D_FIELDS ON, 3D_FIELDS UNDR_MAYBE", "3D_FIELDS ONX, 3D_FIELDS UNDR_OFF", "BREAK 8, X",
          "CHAINDFLT O - Look for object files with source first.",
          "CHAINDFLT X - Look for object files first.", "DIMONLY is MAYBE", "S36MODE is",
          "OPTION 1 is ON - FORM statement default amount",
          "OPTION 1 is MAYBE - FORM statement default count",
          "OPTION 13 is 5 - terminal scan milliseconds", "OPTION 6 is ON - no effect",
          "OPTION 33 is 33 - locking position for large file support",
          "OPTIONS 98 and 99 check for NULL records is SOMETIMES",
          "OPTIONS 97 and 99 check for NULL records is ON", "STYLE INDENT 3, X",
          "STYLE COMMENT UPPER, LABELS SHOUTING", "STYLE COMMENT UPPER,",
          "FIELDBREAK MIN_SPACES 2, UNDERSCORE MAYBE", "FIELDBREAK MIN_SPACES 2,",
          "WSID requested 12 by vxconfig.sys with increment 3",
          "WSID requested 1000 by vxconfig.sys with increment 1.",
          "WSID requested 12 by the operator with increment 1.", "WSID assigned  X",
          "WSID=SESSION is MAYBE", "COLOR [SKY] #87CEEG", "INSERT not defined",
          "CURSOR 000", "DATAHILITE", "GUI VXVB - use VXVB as console is MAYBE.",
          "The following option descriptions are for the OFF state.",
          // The report's heading lines are passed over only in their own forms.
          "Program IDX", "WSID=  3    Date=12/10/2026", "Procedure X  Line   4  start.prc",
          "pay.vxp                                  MAIN      ACTIVE     END      X LINKS"}) {
        restart();
        EXPECT_EQ(startup(std::string(line) + "\n"), 1) << line;
        EXPECT_EQ(configMessages().size(), 1u) << line;
    }
    // A refused line keeps the value the setting had.
    restart();
    EXPECT_EQ(startup("OPTION 13 40\nDIMONLY ON\nWSID 7\n"
                      "OPTION 13 is 5 - terminal scan milliseconds\nDIMONLY is MAYBE\n"
                      "WSID requested 1000 by vxconfig.sys with increment 1.\n"),
              1);
    EXPECT_EQ(configMessages().size(), 3u);
    EXPECT_EQ(fieldsConfig().scanMilliseconds, 40);
    EXPECT_TRUE(configLimits().dimOnly);
    EXPECT_EQ(wsidRequest(), 7);
}

TEST_F(StatusConfigTest, ListingLinesWorkAsCommandsAfterStartUpWithTheSameRestrictions) {
    ASSERT_EQ(processConfigFile((dir_ / "none.sys").string()), 0);
    EXPECT_EQ(processConfigStatement("DIMONLY is ON"), 0);
    EXPECT_TRUE(configLimits().dimOnly);
    EXPECT_EQ(processConfigStatement("OPTION 37 is ON - right arrow generates down arrow FKEY"), 0);
    EXPECT_TRUE(optionOn(37));
    EXPECT_EQ(processConfigStatement("OPTION 37 is OFF - right arrow generates down arrow FKEY"), 0);
    EXPECT_FALSE(optionOn(37));
    EXPECT_EQ(processConfigStatement("OPTION 5 is OFF - default to ISAM indexes"), 0);
    EXPECT_EQ(defaultIndexType(), 7);  // "is OFF" switches off an option that OPTION 5 sets
    EXPECT_EQ(processConfigStatement("STYLE INDENT CLEAR, 30"), 0);
    EXPECT_EQ(configLimits().styleIndent, -1);
    EXPECT_EQ(configLimits().styleCommentColumn, 30);
    // A spool path the SUBSTITUTE section could not write as one argument is refused.
    EXPECT_EQ(processConfigStatement("SPOOLPATH a\"b 'c"), 1);
    EXPECT_EQ(processConfigStatement("SPOOLPATH clear"), 1);
    // Nor is a print-screen file named OFF: "PRINTSCREEN NEWPAGE OFF" would switch NEWPAGE off.
    EXPECT_EQ(processConfigStatement("PRINTSCREEN OFF"), 1);
    // Start-up-only settings stay refused in their listing form.
    EXPECT_EQ(processConfigStatement("OPTION 33 is 64 - locking position for large file support"), 1);
    EXPECT_EQ(processConfigStatement("WSID=UNIQUE is ON"), 1);
    EXPECT_EQ(processConfigStatement("EXECUTE WAS NOT SET"), 1);
    EXPECT_EQ(lockOptionValue(), 31);
    // The plain statements read as before.
    EXPECT_EQ(processConfigStatement("DIMONLY OFF"), 0);
    EXPECT_FALSE(configLimits().dimOnly);
    EXPECT_EQ(processConfigStatement("CHAINDFLT S"), 0);
    EXPECT_EQ(configLimits().chainDflt, 'S');
    EXPECT_EQ(processConfigStatement("CURSOR 0000"), 0);
    EXPECT_EQ(fieldsConfig().cursor, 0);
}

TEST_F(StatusConfigTest, ASinkThatStopsEndsTheSection) {
    ASSERT_EQ(processConfigFile((dir_ / "none.sys").string()), 0);
    int calls = 0;
    const ReportSink stopAtThree = [&](std::string_view line) {
        EXPECT_EQ(line.back(), '\n');
        return ++calls < 3;
    };
    EXPECT_FALSE(reportConfigSection(stopAtThree));
    EXPECT_EQ(calls, 3);
    calls = 0;
    EXPECT_FALSE(reportSubstituteSection(stopAtThree));
    EXPECT_EQ(calls, 3);
    // An empty section never calls the sink and runs to its end.
    calls = 0;
    EXPECT_TRUE(reportBtreeVerifySection(stopAtThree));
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace vxs
