// Printing: the SPOOLCMD substitution rules, the translation tables and printed lines, the
// escape interpreter's parse, print jobs' bytes, and a page drawn to PDF compared with its
// reference image and text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/shell_words.h"
#include "tests/support/test_support.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/os.h"
#include "vxs/printing/print.h"
#include "vxs/printing/printer.h"
#include "vxs/printing/printers.h"
#include "vxs/printing/spool.h"

namespace vxs {
namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class PrintingTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        test::CleanStateTest::SetUp();
        test::installRecordingTerminal();
        char dir[] = "/tmp/vxprint-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        resetConfiguration();
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
        resetConfiguration();
        test::CleanStateTest::TearDown();
    }
    void config(const char* statement) {
        ASSERT_EQ(processConfigStatement(statement), 0) << statement;
    }
    std::filesystem::path dir_, old_;
};

// ---- the spool command ----

SpoolKeys keys() {
    SpoolKeys k;
    k.name = "PRN:/LASER";
    k.copies = 3;
    k.spoolFile = "./ktspl7.001";
    k.program = "/apps/inv/INVOICE.vx";
    k.wsid = 7;
    return k;
}

TEST(SpoolCommand, EveryKeyIsReplacedInAnyCase) {
    SpoolCommand c;
    ASSERT_EQ(buildSpoolCommand("lp [name=] q[QUEUE]q -d [PRINTER] -n [COPIES] [SPOOLFILE] "
                                "[PROGRAM] [WSID] [SPOOLFILE]",
                                keys(), c),
              0);
    EXPECT_EQ(c.text, "lp PRN:/LASER q q -d LASER -n 3 ./ktspl7.001 INVOICE.vx 7 ./ktspl7.001");
    EXPECT_TRUE(c.substituted);
}

TEST(SpoolCommand, CopyToADeviceForWorkstation7) {
    SpoolCommand c;
    ASSERT_EQ(buildSpoolCommand("copy [SPOOLFILE] LPT1:", keys(), c), 0);
    EXPECT_EQ(c.text, "copy ./ktspl7.001 LPT1:");
}

TEST(SpoolCommand, TildeRunsTheTemplateAsWritten) {
    SpoolCommand c;
    ASSERT_EQ(buildSpoolCommand("~print [SPOOLFILE]", keys(), c), 0);
    EXPECT_EQ(c.text, "print [SPOOLFILE]");
    EXPECT_FALSE(c.substituted);
}

TEST(SpoolCommand, PrefixesAreTakenOff) {
    SpoolCommand c;
    ASSERT_EQ(buildSpoolCommand("@  -W  -C   lp [SPOOLFILE]", keys(), c), 0);
    EXPECT_EQ(c.text, "lp ./ktspl7.001");
    EXPECT_TRUE(c.wait);
    EXPECT_TRUE(c.console);
    ASSERT_EQ(buildSpoolCommand("-C lp", keys(), c), 0);
    EXPECT_EQ(c.text, "lp");
    EXPECT_FALSE(c.wait);
    EXPECT_TRUE(c.console);
    // "-Wx" is not the option.
    ASSERT_EQ(buildSpoolCommand("-Wx lp", keys(), c), 0);
    EXPECT_EQ(c.text, "-Wx lp");
}

TEST(SpoolCommand, GrowthBeyond150StopsSubstitution) {
    SpoolKeys k = keys();
    k.spoolFile = std::string(140, 'f');
    SpoolCommand c;
    // [NAME=] adds 3 characters, then each [SPOOLFILE] 129: the second would pass 150.
    ASSERT_EQ(buildSpoolCommand("[NAME=] [SPOOLFILE] [SPOOLFILE] [WSID]", k, c), 0);
    EXPECT_EQ(c.text, "PRN:/LASER " + std::string(140, 'f') + " [SPOOLFILE] [WSID]");
}

TEST(SpoolCommand, LongerThan200Is9006) {
    SpoolCommand c;
    EXPECT_EQ(buildSpoolCommand(std::string(201, 'x'), keys(), c), kErrSpoolCommandTooLong);
    EXPECT_EQ(buildSpoolCommand(std::string(200, 'x'), keys(), c), 0);
    // The limit applies after substitution, and to "~" templates too.
    EXPECT_EQ(buildSpoolCommand(std::string(190, 'x') + "[SPOOLFILE]", keys(), c),
              kErrSpoolCommandTooLong);
    EXPECT_EQ(buildSpoolCommand("~" + std::string(201, 'x'), keys(), c), kErrSpoolCommandTooLong);
}

TEST(SpoolCommand, EmptyPartsAreBlanksAndShellCharactersAreQuoted) {
    SpoolKeys k = keys();
    k.name = "PRN:/a b;rm x";
    k.program = "";
    SpoolCommand c;
    ASSERT_EQ(buildSpoolCommand("lp -d [PRINTER] <[QUEUE]> <[PROGRAM]>", k, c), 0);
    EXPECT_EQ(c.text, "lp -d 'a b;rm x' < > < >");
    k.name = "PRN:/it's";
    ASSERT_EQ(buildSpoolCommand("[PRINTER]", k, c), 0);
    EXPECT_EQ(c.text, "'it'\\''s'");
}

// The words the shell receives from a command built for `name` and `program`.
std::vector<std::string> wordsOf(std::string_view tmpl, const std::string& name,
                                 const std::string& program = "INV.vx") {
    SpoolKeys k = keys();
    k.name = name;
    k.program = program;
    SpoolCommand c;
    EXPECT_EQ(buildSpoolCommand(tmpl, k, c), 0) << tmpl;
    const test::ShellWords w = test::shellWords(c.text);
    EXPECT_EQ(w.status, 0) << c.text;
    return w.words;
}

TEST(SpoolCommand, SubstitutedValuesAreNeverScannedForKeys) {
    using V = std::vector<std::string>;
    // The printer part of the name carries a key and shell syntax; [NAME=] is replaced first.
    EXPECT_EQ(wordsOf("[NAME=] [PRINTER]", "PRN:/;>FILE;[PRINTER]"),
              (V{"PRN:/;>FILE;[PRINTER]", ";>FILE;[PRINTER]"}));
    EXPECT_EQ(wordsOf("-t [PROGRAM] [SPOOLFILE]", "PRN:/10", "/apps/x;touch f;y"),
              (V{"-t", "x;touch f;y", "./ktspl7.001"}));
    // A key in a value, though in another key's place, stays text.
    EXPECT_EQ(wordsOf("[QUEUE] [PRINTER]", "PRN:[PRINTER]/[QUEUE]"),
              (V{"[PRINTER]", "[QUEUE]"}));
    EXPECT_FALSE(std::filesystem::exists("FILE"));
}

TEST(SpoolCommand, ValuesInQuotedPartsOfTheTemplateStayOneWord) {
    using V = std::vector<std::string>;
    const std::string hostile = "PRN:/a'b\"c$(echo X)`echo Y`\\d ${HOME} ;e\nf*";
    const std::string printer = spoolPrinterOf(hostile);
    EXPECT_EQ(wordsOf("[PRINTER] '[PRINTER]' \"[PRINTER]\"", hostile),
              (V{printer, printer, printer}));
    EXPECT_EQ(wordsOf("\"$(printf %s [PRINTER])\" \"$(printf %s \"[PRINTER]\")\"", hostile),
              (V{printer, printer}));
    EXPECT_EQ(wordsOf("\"`printf %s [PRINTER]`\" \"`printf %s '[PRINTER]'`\"", hostile),
              (V{printer, printer}));
    // Joined to template text, the value is part of that word.
    EXPECT_EQ(wordsOf("x[PRINTER]y 'x[PRINTER]y'", "PRN:/a b"), (V{"xa by", "xa by"}));
    // An escaped key and a key in a comment are text.
    EXPECT_EQ(wordsOf("\\[PRINTER] \"\\\\[PRINTER]\" # [PRINTER]", "PRN:/a b"),
              (V{"[PRINTER]", "\\a b"}));
    // So is a key after a backslash that stays one in double quotes: the value's first byte
    // would be escaped by it ("\$..." turning into "\\$..." and expanding).
    EXPECT_EQ(wordsOf("\"\\[PRINTER]\" '\\[PRINTER]'", "PRN:/$(echo X)"),
              (V{"\\[PRINTER]", "\\$(echo X)"}));
}

TEST(SpoolCommand, TemplateOptionsAreNotTakenFromValues) {
    SpoolKeys k = keys();
    k.name = "PRN:/@-W";
    SpoolCommand c;
    ASSERT_EQ(buildSpoolCommand("[PRINTER] lp", k, c), 0);
    EXPECT_EQ(c.text, "@-W lp");
    k.name = "-C x/-W";
    ASSERT_EQ(buildSpoolCommand("[PRINTER] [QUEUE]", k, c), 0);
    EXPECT_FALSE(c.wait);
    EXPECT_FALSE(c.console);
    // A NUL byte cannot be handed to the shell.
    k.name = std::string("PRN:/a\0b", 8);
    EXPECT_EQ(buildSpoolCommand("lp [SPOOLFILE]", k, c), kErrBadName);
}

TEST(SpoolCommand, QueueAndPrinterParts) {
    EXPECT_EQ(spoolQueueOf("PRN:/10"), "");
    EXPECT_EQ(spoolPrinterOf("PRN:/10"), "10");
    EXPECT_EQ(spoolQueueOf("WIN:ACCT/SELECT"), "ACCT");
    EXPECT_EQ(spoolPrinterOf("WIN:ACCT/SELECT"), "SELECT");
    EXPECT_EQ(spoolPrinterOf("PRN:"), "");
    EXPECT_EQ(printDeviceOf("DIRECT:/X"), PrintDevice::kDirect);
    EXPECT_EQ(printDeviceOf("preview:/10"), PrintDevice::kPreview);
    EXPECT_EQ(printDeviceOf("WIN:/10"), PrintDevice::kNative);
    EXPECT_EQ(printDeviceOf("PRN:/10"), PrintDevice::kSpool);
}

// ---- translation ----

TEST_F(PrintingTest, BuiltInTableWithOwnKeysFirst) {
    config("PRINTER EPSON");
    config("PRINTER [BOLD],\"<b>\"");
    config("PRINTER LPP 40");
    const PrinterSetup s = printerSetup("");
    EXPECT_EQ(s.init, "\033@");
    EXPECT_EQ(s.reset, "\033@");
    EXPECT_EQ(s.lpp, 40);
    EXPECT_EQ(translatePrinterLine(s, "[bold]A[/BOLD] [ITALIC]b[Nope]"), "<b>A\033F \0334b[Nope]");
    // Another name without its own table takes the default printer's.
    EXPECT_EQ(printerSetup("OTHER").init, "\033@");
}

TEST_F(PrintingTest, NamedPrinterWithRawSequences) {
    config("PRINTER EPSON");
    config("PRINTER LASER INIT \"\\E&l0O\"");
    config("PRINTER LASER 2B1B45,\"\\E(s3B\"");
    config("PRINTER LASER 2B1B452B,\"[long]\"");  // the longer raw key wins where it matches
    const PrinterSetup s = printerSetup("laser");
    EXPECT_EQ(s.table, "LASER");
    EXPECT_EQ(s.init, "\033&l0O");
    EXPECT_EQ(s.reset, "");
    EXPECT_EQ(translatePrinterLine(s, "\033Ea\033E+b[BOLD]"), "\033(s3Ba[long]b[BOLD]");
}

TEST_F(PrintingTest, WithoutTablesLinesAreUnchanged) {
    const PrinterSetup s = printerSetup("");
    EXPECT_TRUE(s.keys.empty());
    EXPECT_EQ(translatePrinterLine(s, "[BOLD]\033E"), "[BOLD]\033E");
}

TEST(PrinterTables, BuiltInTablesHaveTheirSequences) {
    for (int type = 1; type <= 4; ++type) {
        const auto& keys = builtinPrinterKeys(type);
        ASSERT_FALSE(keys.empty()) << type;
        bool init = false, bold = false;
        for (const auto& [k, v] : keys) {
            init = init || (k == "[INIT+]" && !v.empty());
            bold = bold || (k == "[BOLD]" && !v.empty());
        }
        EXPECT_TRUE(init && bold) << type;
    }
    EXPECT_TRUE(builtinPrinterKeys(5).empty());
}

// ---- print jobs ----

TEST_F(PrintingTest, JobWritesInitOnceTranslatesAndBreaksPages) {
    config("PRINTER EPSON");
    config("PRINTER LPP 2");
    std::unique_ptr<PrintJob> job;
    ASSERT_EQ(openPrintJob({"PRN:/10", 1, "", ""}, job), 0);
    EXPECT_EQ(job->spoolPath().rfind("./ktspl", 0), 0u) << job->spoolPath();
    ASSERT_EQ(job->write("[BOLD]a", "\r\n"), 0);
    ASSERT_EQ(job->write("b", "\r\n"), 0);
    ASSERT_EQ(job->write("\fc", "\r\n"), 0);  // a line starting a page gets no extra form feed
    ASSERT_EQ(job->write("d", "\r\n\r\n"), 0);
    ASSERT_EQ(job->write("e", ""), 0);
    EXPECT_EQ(slurp(job->spoolPath()), "\033@\033Ea\r\nb\r\n\fc\r\nd\r\n\r\n\fe");
    // A second job of the same workstation gets a name of its own.
    std::unique_ptr<PrintJob> second;
    ASSERT_EQ(openPrintJob({"PRN:/10", 1, "", ""}, second), 0);
    EXPECT_NE(second->spoolPath(), job->spoolPath());
    config("SPOOLCMD true [SPOOLFILE]");
    std::string message;
    ASSERT_EQ(finishPrintJob(*job, message), 0);
    EXPECT_FALSE(std::filesystem::exists(job->spoolPath()));
    ASSERT_EQ(finishPrintJob(*second, message), 0);  // nothing printed: just removed
    EXPECT_FALSE(std::filesystem::exists(second->spoolPath()));
}

TEST_F(PrintingTest, FailedCommandKeepsTheSpoolFile) {
    config("SPOOLCMD false [SPOOLFILE]");
    std::unique_ptr<PrintJob> job;
    ASSERT_EQ(openPrintJob({"PRN:/10", 1, "", ""}, job), 0);
    ASSERT_EQ(job->write("kept", "\n"), 0);
    std::string message;
    EXPECT_EQ(finishPrintJob(*job, message), kErrSpoolCommandFailed);
    EXPECT_EQ(slurp(job->spoolPath()), "kept\n");
}

TEST_F(PrintingTest, SpoolFileInAMissingDirectoryIsAnError) {
    setSubstitution("[SPOOLPATH]", "no/such/dir");
    std::unique_ptr<PrintJob> job;
    EXPECT_NE(openPrintJob({"PRN:/10", 1, "", ""}, job), 0);
    EXPECT_FALSE(job);
}

// ---- the escape interpreter ----

std::vector<PageItem> parsed(std::string_view bytes, int expect = 0, bool suppress = false) {
    std::vector<PageItem> out;
    size_t at = 0;
    EscapeOptions o;
    o.suppressUnsupported = suppress;
    EXPECT_EQ(parseEscapes(bytes, o, out, at), expect) << escapeText(bytes);
    return out;
}

std::string ops(const std::vector<PageItem>& items) {
    std::string s;
    for (const PageItem& it : items) {
        if (!s.empty()) s += ' ';
        s += std::to_string(static_cast<int>(it.op));
        if (it.op == PageOp::kText || it.op == PageOp::kMarkup || it.op == PageOp::kFont)
            s += ":" + it.text;
        else if (it.a || it.b)
            s += ":" + std::to_string(it.a) + "," + std::to_string(it.b);
    }
    return s;
}

TEST(EscapeParse, ControlCharactersAndWidthModes) {
    const auto items = parsed("ab\tc\r\n\f\x0e\x14\x0f\x12|\x05");
    EXPECT_EQ(ops(items), "0:ab 1 0:c 3 2 4 5:3,0 5:4,0 5:1,0 5:2,0 0:| 6");
}

TEST(EscapeParse, MarkupWords) {
    const auto items = parsed(
        "\033font='Courier New'x\033color='#FF8000'\033begin_box|a|\033end_box|"
        "\033begin_boxtop\033center\033tray='2'");
    ASSERT_EQ(items.size(), 12u);
    EXPECT_EQ(items[0].text, "Courier New");
    EXPECT_EQ(items[2].op, PageOp::kColor);
    EXPECT_EQ(items[2].a, 0xFF8000);
    EXPECT_EQ(items[3].text, "begin_box");
    EXPECT_EQ(items[4].op, PageOp::kRule);  // "|" inside a box is a rule
    EXPECT_EQ(items[7].text, "end_box");
    EXPECT_EQ(items[8].op, PageOp::kText);  // and text again after it
    EXPECT_EQ(items[8].text, "|");
    EXPECT_EQ(items[9].text, "begin_boxtop");
    EXPECT_EQ(items[10].text, "center");
    EXPECT_EQ(fontFamilyOf("courier new"), "monospace");
    EXPECT_EQ(fontFamilyOf("CG Times"), "serif");
    EXPECT_EQ(fontFamilyOf("DejaVu Sans"), "DejaVu Sans");
}

TEST(EscapeParse, PositionRelativeAndAbsolute) {
    const auto items = parsed("\033position='+1,2'\033position='3.5, -0.5'");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].relX);
    EXPECT_FALSE(items[0].relY);
    EXPECT_DOUBLE_EQ(items[0].x, 1);
    EXPECT_DOUBLE_EQ(items[0].y, 2);
    EXPECT_FALSE(items[1].relX);
    EXPECT_TRUE(items[1].relY);
    EXPECT_DOUBLE_EQ(items[1].y, -0.5);
}

TEST(EscapeParse, Errors) {
    EXPECT_EQ(ops(parsed("ok\033font='Arial", kErrMissingQuote)), "0:ok");
    parsed("\033color='red'", kErrBadColor);
    parsed("\033color='#12345'", kErrBadColor);
    parsed("\033color='#12345G'", kErrBadColor);
    parsed("\033picture='1,2'", kErrBadPicture);
    parsed("\033picture='x,2,a.png'", kErrBadPicture);
    parsed("\033picture='0,2,a.png'", kErrBadPicture);
    parsed("\033position='1'", kErrEscapeUnsupported);
    parsed("\033Z", kErrEscapeUnsupported);
    parsed("\033", kErrEscapeUnsupported);
    parsed("\033*c100A", kErrEscapeUnsupported);
    // Values off any page's scale are not positions or pitches.
    parsed("\033position='nan,1'", kErrEscapeUnsupported);
    parsed("\033position='1e308,1'", kErrEscapeUnsupported);
    parsed("\033(s0.0001H", kErrEscapeUnsupported);
    parsed("\033(s99999999999999999999B", kErrEscapeUnsupported);
    // Suppressed, the sequence is skipped and the text goes on.
    EXPECT_EQ(ops(parsed("a\033Zb", 0, true)), "0:ab");
    EXPECT_EQ(ops(parsed("a\033position='x,1'b\033tray='two'", 0, true)), "0:ab");
}

TEST(EscapeParse, OneCharacterCommands) {
    const auto items = parsed(
        "\0330\0332\033M\033P\033g\033@\0334\0335\033E\033F"
        "\033G\033H\033-1\033W\x01\033S\x01\0339\033=\033Tx");
    EXPECT_EQ(ops(items),
              "14:8,0 14:6,0 15:12,0 15:10,0 15:15,0 16 17:73,1 17:73,0 17:66,1 17:66,0 "
              "17:68,1 17:68,0 18:45,1 18:87,1 0:x");
}

TEST(EscapeParse, PclSequencesAndJobHeader) {
    const auto items = parsed(
        "\033%-12345X@PJL SET PAGEPROTECT=OFF\n@PJL ENTER LANGUAGE=PCL\n\033E\033(s1s3B"
        "\033&l8D\033(10U\033(s12H"
        "text\033E");
    // The ESC E that ends the job header resets; elsewhere it is bold.
    EXPECT_EQ(ops(items), "16 20:1,0 19:3,0 14:8,0 15:12,0 0:text 17:66,1");
}

// ---- native printing ----

bool havePdfTools() {
    return platform::runShellCommand(
               "command -v pdftoppm >/dev/null && command -v pdftotext "
               ">/dev/null") == 0;
}

// A PGM (P5, 8-bit) image: width, height, grey levels.
bool readPgm(const std::filesystem::path& p, int& w, int& h, std::string& pixels) {
    std::ifstream in(p, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if (magic != "P5" || maxval != 255 || w <= 0 || h <= 0) return false;
    pixels.resize(static_cast<size_t>(w) * h);
    in.read(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return in.gcount() == static_cast<std::streamsize>(pixels.size());
}

const char kSamplePage[] =
    "\033center\033EACME SUPPLY CO.\033F\r\n"
    "\r\n"
    "\033begin_box|Item       |Qty|   Price|\r\n"
    "|Widget     |  2|   10.00|\r\n"
    "|Gadget     |  1|    4.50|\033end_box\r\n"
    "\033right_justify\033-1Total 24.50\033-0\r\n"
    "\033color='#C00000'\0334Thank you\0335\r\n"
    "\x0fsmall print\x12\033position='+2,9'done\r\n";

TEST_F(PrintingTest, SamplePageMatchesItsReference) {
    if (!havePdfTools()) GTEST_SKIP() << "pdftoppm or pdftotext missing";
    NativeOptions o;
    ASSERT_EQ(renderPages(kSamplePage, "page.pdf", o), 0);
    ASSERT_FALSE(std::filesystem::exists("page.pdf.part"));
    ASSERT_EQ(platform::runShellCommand("pdftotext -layout page.pdf page.txt"), 0);
    const std::string text = slurp("page.txt");
    for (const char* want :
         {"ACME SUPPLY CO.", "Widget", "4.50", "Total 24.50", "Thank you", "small print", "done"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    // The top half of the page at 40 dpi, in grey levels.
    ASSERT_EQ(platform::runShellCommand("pdftoppm -gray -r 40 -H 220 -singlefile page.pdf page"),
              0);
    int w = 0, h = 0, rw = 0, rh = 0;
    std::string got, want;
    ASSERT_TRUE(readPgm("page.pgm", w, h, got));
    const std::filesystem::path ref = VX_SOURCE_DIR "/tests/printing/sample_page.pgm";
    if (getenv("VX_UPDATE_REFERENCE"))
        std::filesystem::copy_file("page.pgm", ref,
                                   std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(readPgm(ref, rw, rh, want));
    ASSERT_EQ(w, rw);
    ASSERT_EQ(h, rh);
    double diff = 0;
    for (size_t i = 0; i < got.size(); ++i)
        diff += std::abs(static_cast<unsigned char>(got[i]) - static_cast<unsigned char>(want[i]));
    diff /= static_cast<double>(got.size());
    EXPECT_LT(diff, 2.0) << "mean grey difference";
    // And the page is not blank: the reference itself differs from white.
    double ink = 0;
    for (unsigned char c : want) ink += 255 - c;
    EXPECT_GT(ink / static_cast<double>(want.size()), 1.0);
}

TEST_F(PrintingTest, PagesBreakAtFormFeedsAndLinesPerPage) {
    if (!havePdfTools()) GTEST_SKIP() << "pdftoppm or pdftotext missing";
    NativeOptions o;
    o.linesPerPage = 2;
    ASSERT_EQ(renderPages("one\r\ntwo\r\nthree\fdone", "pages.pdf", o), 0);
    ASSERT_EQ(platform::runShellCommand("pdftotext pages.pdf pages.txt"), 0);
    const std::string text = slurp("pages.txt");
    // pdftotext ends every page with a form feed.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3) << text;
}

TEST_F(PrintingTest, RenderErrorsLeaveNoFile) {
    NativeOptions o;
    EXPECT_EQ(renderPages("a\033Z", "bad.pdf", o), kErrEscapeUnsupported);
    EXPECT_EQ(renderPages("\033picture='2,2,missing.png'", "bad.pdf", o), kErrBadPicture);
    EXPECT_FALSE(std::filesystem::exists("bad.pdf"));
    EXPECT_FALSE(std::filesystem::exists("bad.pdf.part"));
    o.suppressUnsupported = true;
    EXPECT_EQ(renderPages("a\033Z", "ok.pdf", o), 0);
    EXPECT_TRUE(std::filesystem::exists("ok.pdf"));
}

TEST_F(PrintingTest, BytesAbove127AreLatin1Characters) {
    if (!havePdfTools()) GTEST_SKIP() << "pdftoppm or pdftotext missing";
    for (bool each : {false, true}) {
        NativeOptions o;
        o.alignEach = each;
        ASSERT_EQ(renderPages("Caf\xe9 \xa3"
                              "5 \xdc",
                              "latin.pdf", o),
                  0);
        ASSERT_EQ(platform::runShellCommand("pdftotext latin.pdf latin.txt"), 0);
        EXPECT_NE(slurp("latin.txt").find("Caf\u00e9 \u00a35 \u00dc"), std::string::npos)
            << slurp("latin.txt");
    }
}

}  // namespace
}  // namespace vxs
