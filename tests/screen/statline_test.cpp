// The status line seen from the terminal side: an error travels with its words (the table's
// text, the 4000 series only under OPTION 17, the file it concerns, a failed child's first line),
// and stays until a later line is accepted, which also gives the run status its name back.
#include "vxs/screen/statline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tests/support/test_support.h"
#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;

// The table's text of an error as the status line shows it: with a capital.
std::string text(int error) {
    std::string t = errorText(error);
    if (!t.empty()) t[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    return t;
}

class StatusLine : public ::testing::Test {
  protected:
    void SetUp() override {
        statusLineFree();
        osForgetFailedPath();
        setOption(17, false);
    }
    void TearDown() override {
        statusLineFree();
        osForgetFailedPath();
        setOption(17, false);
    }
    // Opens a file that does not exist: the path becomes the one a file error names.
    static void failToOpen(const std::string& path) {
        int handle = -1;
        ASSERT_NE(osOpen(path, kOsRead, kOsOpenExisting, handle), 0);
    }
};

TEST_F(StatusLine, AnErrorTravelsWithItsWordsAndStaysUntilALineIsAccepted) {
    test::RecordingTerminal& term = test::installRecordingTerminal();
    statusShowStatus("READY");
    statusShowError(kErrArithmeticOverflow, 0, 0);
    EXPECT_THAT(term.errors, ElementsAre("6 0 0"));
    EXPECT_THAT(term.errorWords, ElementsAre(text(kErrArithmeticOverflow)));
    EXPECT_THAT(term.statusTexts, ElementsAre("READY", "ERROR"));
    EXPECT_EQ(statusLastError(), kErrArithmeticOverflow);

    // The next accepted line takes it away once, and READY comes back.
    term.statusTexts.clear();
    statusClear();
    statusClear();
    EXPECT_EQ(term.errorsCleared, 1);
    EXPECT_THAT(term.statusTexts, ElementsAre("READY"));
    EXPECT_EQ(statusLastError(), 0);

    // A message goes at the next line too.
    statusShowMessage("Print preview in x.pdf");
    term.statusTexts.clear();
    statusClear();
    EXPECT_THAT(term.statusTexts, ElementsAre(""));
    EXPECT_EQ(statusText(kStatusFieldMessage), "");
}

TEST_F(StatusLine, FileErrorsNameTheFileAndShowTheirTextUnderOption17) {
    failToOpen("no/such/dir/cust.dat");
    EXPECT_EQ(statusErrorWords(kErrPathNotFound), "no/such/dir/cust.dat");
    setOption(17, true);
    EXPECT_EQ(statusErrorWords(kErrPathNotFound), text(kErrPathNotFound) + ": no/such/dir/cust.dat");
    // An error about no file does not name the last failed one.
    EXPECT_EQ(statusErrorWords(kErrRecordLocked).find("cust.dat"), std::string::npos);
    // A later line forgets the path: an error then names nothing stale.
    statusClear();
    EXPECT_EQ(statusErrorWords(kErrPathNotFound), text(kErrPathNotFound));
    // Errors below 4000 have their words whatever the option says.
    setOption(17, false);
    EXPECT_EQ(statusErrorWords(kErrBound), text(kErrBound));
}

TEST_F(StatusLine, ACommandsOwnTextTakesThePlaceOfTheTables) {
    failToOpen("missing.txt");
    statusNoteErrorText(" File Not Found");
    EXPECT_EQ(statusText(kStatusFieldMessage), " File Not Found");
    EXPECT_EQ(statusErrorWords(kErrFileNotFound), "File Not Found: missing.txt");
    statusClear();
    EXPECT_EQ(statusErrorWords(kErrFileNotFound), "");
}

TEST_F(StatusLine, AFailureNotesWhatItsChildSaidForTheNextError) {
    statusNoteErrorDetail("lp: The printer or class does not exist.");
    EXPECT_EQ(statusErrorWords(kErrSpoolCommandFailed), "lp: The printer or class does not exist.");
    statusClear();
    EXPECT_EQ(statusErrorWords(kErrSpoolCommandFailed).find("lp:"), std::string::npos);
}

}  // namespace
}  // namespace vxs
