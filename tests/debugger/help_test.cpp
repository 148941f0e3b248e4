// The help file's format (golden bytes, damage, lookup), finding and reading a help file, the
// help request with its status-line error and action code, the stream front end's help, and
// the topics command mode asks for.
#include "vxs/debugger/help.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/command/cmdshared.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/screen/statline.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/debugger/helpfile.h"
#include "vxs/screen/streamterm.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

std::span<const uint8_t> bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string encoded(std::vector<HelpTopic> topics) {
    std::string image;
    EXPECT_EQ(encodeHelpFile(std::move(topics), image), 0);
    return image;
}

// ---- the stored format ----

TEST(HelpFile, GoldenBytes) {
    // One topic: the header, one index entry, then name, title and text without gaps.
    static const uint8_t kGolden[] = {
        0x56, 0x58, 0x48, 0x45, 0x4C, 0x50, 0x0D, 0x0A,  // "VXHELP" CR LF
        0x01, 0x00, 0x18, 0x00,                          // version 1, entries of 24 bytes
        0x01, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,  // one topic, index at 32
        0x38, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00,  // texts at 56, file of 60 bytes
        0xD1, 0x75, 0xE1, 0x7E,                          // CRC-32 of bytes 32..59
        0x38, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // name at 56, 1 byte
        0x39, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // title at 57, 1 byte
        0x3A, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // text at 58, 2 bytes
        0x41, 0x54, 0x78, 0x0A,                          // "A" "T" "x\n"
    };
    const std::string image = encoded({{"A", "T", "x\n"}});
    ASSERT_EQ(image, std::string(reinterpret_cast<const char*>(kGolden), sizeof kGolden));
    HelpTopic t;
    ASSERT_EQ(findHelpTopic(bytes(image), "a", t), 0);
    EXPECT_EQ(t.name, "A");
    EXPECT_EQ(t.title, "T");
    EXPECT_EQ(t.text, "x\n");
    EXPECT_EQ(helpCrc32(bytes("123456789")), 0xCBF43926u);
}

TEST(HelpFile, TopicsAreFoundInAnyCaseAndMissingOnesAre4272) {
    // Given out of order; names of every allowed kind.
    const std::string image = encoded({{"PRINT", "PRINT - statement", "prints\n"},
                                       {"ERR0004", "ERR0004 - a string too long", "four\n"},
                                       {"CHR$", "", ""},
                                       {"CMDMENU", "menu", std::string(5000, 'm')}});
    std::vector<HelpEntry> entries;
    ASSERT_EQ(decodeHelpFile(bytes(image), entries), 0);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "CHR$");  // sorted by name
    EXPECT_EQ(entries[3].name, "PRINT");
    HelpTopic t;
    for (const char* name : {"print", "Err0004", "chr$", "CMDMENU"})
        EXPECT_EQ(findHelpTopic(bytes(image), name, t), 0) << name;
    EXPECT_EQ(t.text.size(), 5000u);
    for (const char* name : {"PRIN", "PRINTS", "", "ERR4", "Z"})
        EXPECT_EQ(findHelpTopic(bytes(image), name, t), kErrKeyNotFound) << name;
    // A file without topics is a help file too.
    EXPECT_EQ(findHelpTopic(bytes(encoded({})), "CMDMENU", t), kErrKeyNotFound);
}

TEST(HelpFile, EncoderRefusesWhatTheFormatCannotHold) {
    std::string image;
    EXPECT_EQ(encodeHelpFile({{"A", "", ""}, {"A", "", ""}}, image), kErrInvalidData);
    EXPECT_EQ(encodeHelpFile({{"lower", "", ""}}, image), kErrInvalidData);
    EXPECT_EQ(encodeHelpFile({{"TWO WORDS", "", ""}}, image), kErrInvalidData);
    EXPECT_EQ(encodeHelpFile({{"", "", ""}}, image), kErrInvalidData);
    EXPECT_EQ(encodeHelpFile({{std::string(65, 'N'), "", ""}}, image), kErrInvalidData);
    EXPECT_EQ(encodeHelpFile({{"T", std::string(201, 't'), ""}}, image), kErrInvalidData);
    EXPECT_EQ(encodeHelpFile({{"T", "", std::string(kHelpMaxText + 1, 'x')}}, image),
              kErrInvalidData);
    EXPECT_EQ(encodeHelpFile({{std::string(64, 'N'), std::string(200, 't'), "x"}}, image), 0);
}

TEST(HelpFile, ForeignFilesAre4122) {
    std::vector<HelpEntry> entries;
    std::string image = encoded({{"A", "T", "x\n"}});
    EXPECT_EQ(decodeHelpFile({}, entries), kErrNotProgramFile);
    EXPECT_EQ(decodeHelpFile(bytes("#!/bin/sh\necho not a help file\n"), entries),
              kErrNotProgramFile);
    EXPECT_EQ(decodeHelpFile(bytes(image.substr(0, 31)), entries), kErrNotProgramFile);
    std::string version = image;
    version[8] = 2;  // a later format
    EXPECT_EQ(decodeHelpFile(bytes(version), entries), kErrNotProgramFile);
    std::string lineEnds = image;  // a text-mode transfer made CR LF a LF
    lineEnds.erase(6, 1);
    EXPECT_EQ(decodeHelpFile(bytes(lineEnds), entries), kErrNotProgramFile);
    EXPECT_TRUE(entries.empty());
}

TEST(HelpFile, EveryDamagedByteAndEveryCutIsFoundAndNothingIsReadOutside) {
    const std::string image =
        encoded({{"LIST", "LIST - command", "lists\nlines\n"}, {"RUN", "RUN - command", "runs\n"}});
    std::vector<HelpEntry> entries;
    ASSERT_EQ(decodeHelpFile(bytes(image), entries), 0);
    for (size_t at = 0; at < image.size(); ++at)
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::string damaged = image;
            damaged[at] = static_cast<char>(damaged[at] ^ flip);
            const int err = decodeHelpFile(bytes(damaged), entries);
            EXPECT_TRUE(err == kErrKeyFileDamaged || err == kErrNotProgramFile)
                << "byte " << at << " ^ " << int(flip) << ": " << err;
            EXPECT_TRUE(entries.empty());
        }
    for (size_t size = 0; size < image.size(); ++size)
        EXPECT_NE(decodeHelpFile(bytes(image.substr(0, size)), entries), 0) << size;
    EXPECT_EQ(decodeHelpFile(bytes(image + "x"), entries), kErrKeyFileDamaged);
}

TEST(HelpFile, OffsetsOutsideTheTextsAreDamageEvenWithAGoodChecksum) {
    // A file made by another program may be consistent in its checksum and still point wrong:
    // at the header, past the end, or names out of order.
    const std::string good = encoded({{"A", "", "x"}, {"B", "", "y"}});
    const auto patched = [&good](size_t at, uint32_t value) {
        std::string s = good;
        for (int i = 0; i < 4; ++i)
            s[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
        const uint32_t crc = helpCrc32(bytes(s).subspan(kHelpHeaderBytes));
        for (int i = 0; i < 4; ++i)
            s[28 + static_cast<size_t>(i)] = static_cast<char>(crc >> (8 * i));
        return s;
    };
    std::vector<HelpEntry> entries;
    EXPECT_EQ(decodeHelpFile(bytes(patched(32, 0)), entries), kErrKeyFileDamaged);  // in the header
    EXPECT_EQ(decodeHelpFile(bytes(patched(32 + 20, 0xFFFFFFF0u)), entries), kErrKeyFileDamaged);
    EXPECT_EQ(decodeHelpFile(bytes(patched(32 + 16, static_cast<uint32_t>(good.size()))), entries),
              kErrKeyFileDamaged);  // a text running past the end
    // The second entry's name made the first one's: not in ascending order.
    const uint32_t firstName = static_cast<uint8_t>(good[32]);
    EXPECT_EQ(decodeHelpFile(bytes(patched(56, firstName)), entries), kErrKeyFileDamaged);
    EXPECT_EQ(decodeHelpFile(bytes(patched(12, 100000)), entries), kErrKeyFileDamaged);
}

// ---- finding and showing a topic ----

// A front end that records the help it is given and what the status line says.
class HelpFrontEnd final : public test::NullFrontEnd {
  public:
    std::string showHelp(std::string_view title, std::string_view text) override {
        titles.emplace_back(title);
        texts.emplace_back(text);
        codeWhileShown = actionCode();
        return answer;
    }
    void statusText(int32_t field, std::string_view text) override {
        if (field == kStatusFieldMessage) messages.emplace_back(text);
    }
    std::vector<std::string> titles, texts, messages;
    int32_t codeWhileShown = -1;
    std::string answer;
};

class HelpRequestTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        test::CleanStateTest::SetUp();
        char dir[] = "/tmp/vxhelp-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        file_ = dir_ + "/topics.kth";
        test::writeFile(file_, encoded({{"CMDMENU", "CMDMENU - the commands", "ALERT\nAUTO\n"},
                                        {"ERR4152", "ERR4152 - the file does not exist", "x\n"}}));
        attachFrontEnd(front_);
    }
    void TearDown() override {
        detachFrontEnd();
        resetConfiguration();
        std::filesystem::remove_all(dir_);
        test::CleanStateTest::TearDown();
    }
    std::string dir_, file_;
    HelpFrontEnd front_;
};

TEST_F(HelpRequestTest, ATopicGoesToTheFrontEndWithActionCode40Meanwhile) {
    setActionCode(kActRun);
    front_.answer = "ERR4152";
    std::string answer;
    ASSERT_EQ(showHelp("cmdmenu", file_, &answer), 0);
    ASSERT_EQ(front_.titles.size(), 1u);
    EXPECT_EQ(front_.titles[0], "CMDMENU - the commands");
    EXPECT_EQ(front_.texts[0], "ALERT\nAUTO\n");
    EXPECT_EQ(front_.codeWhileShown, kActHelp);
    EXPECT_EQ(actionCode(), kActRun) << "the code before the help comes back";
    EXPECT_EQ(answer, "ERR4152") << "what the display hands back";
    EXPECT_TRUE(front_.messages.empty());
}

TEST_F(HelpRequestTest, FailuresShowHelpErrorWithTheRequest) {
    showHelpTopic("NOPE", file_);
    showHelpTopic("CMDMENU", dir_ + "/missing.kth");
    test::writeFile(dir_ + "/foreign.kth", "plain text, not a help file\n");
    showHelpTopic("CMDMENU", dir_ + "/foreign.kth");
    std::string damaged = test::fileContents(file_);
    damaged[damaged.size() - 2] ^= 0x20;
    test::writeFile(dir_ + "/damaged.kth", damaged);
    showHelpTopic("CMDMENU", dir_ + "/damaged.kth");
    ASSERT_EQ(front_.messages.size(), 4u);
    EXPECT_EQ(front_.messages[0], "Help Error 4272   *NOPE," + file_ + "\n");
    EXPECT_EQ(front_.messages[1], "Help Error 4152   *CMDMENU," + dir_ + "/missing.kth\n");
    EXPECT_EQ(front_.messages[2], "Help Error 4122   *CMDMENU," + dir_ + "/foreign.kth\n");
    EXPECT_EQ(front_.messages[3], "Help Error 4123   *CMDMENU," + dir_ + "/damaged.kth\n");
    EXPECT_TRUE(front_.titles.empty()) << "nothing is shown for a failed request";
    EXPECT_EQ(actionCode(), kActCommand);
}

TEST_F(HelpRequestTest, APlainNameIsLookedForInTheHelpdfltDirectory) {
    HelpTopic t;
    std::string path;
    EXPECT_EQ(findHelpFile("topics.kth", path), kErrFileNotFound) << "no HELPDFLT yet";
    ASSERT_EQ(defineDrive('H', dir_, ""), 0);
    ASSERT_EQ(processConfigStatement("HELPDFLT H:\\APP.KTH,CMDMENU"), 0);
    ASSERT_EQ(findHelpFile("topics.kth", path), 0);
    EXPECT_EQ(path, dir_ + "/topics.kth");
    ASSERT_EQ(readHelpTopic("ERR4152", "topics.kth", t), 0);
    EXPECT_EQ(t.text, "x\n");
    EXPECT_EQ(readHelpTopic("ERR4152", "other.kth", t), kErrFileNotFound);
    // A directory that is named is the only place looked at.
    EXPECT_EQ(findHelpFile(dir_ + "/sub/topics.kth", path), kErrFileNotFound);
}

TEST_F(HelpRequestTest, WithoutATerminalNothingIsShownAndNothingFails) {
    detachFrontEnd();
    std::string answer = "x";
    EXPECT_EQ(showHelp("CMDMENU", file_, &answer), 0);
    EXPECT_EQ(answer, "");
    attachFrontEnd(front_);
}

// ---- the stream front end ----

TEST(HelpStream, TopicIsWrittenAsLinesAndF1EndsACommandLineAsTheHelpKey) {
    test::resetProcessState();
    int in[2], out[2], err[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(err), 0);
    attachStreamTerminal(in[0], out[1], err[1]);
    EXPECT_EQ(terminalShowHelp("LIST - command", "first   \n\nlast line\n"), "");
    const std::string typed = "LI{f1}\nRUN {F1}\nPRINT \"{F1}\"\n";
    ASSERT_EQ(write(in[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    close(in[1]);
    std::string line;
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputHelp);
    EXPECT_EQ(line, "LI");
    EXPECT_EQ(consoleInput(line, 800, kInputCommand, "LI"), kInputHelp) << "after the offered text";
    EXPECT_EQ(line, "LIRUN ");
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputLine);
    EXPECT_EQ(line, "PRINT \"{F1}\"");
    detachStreamTerminal();
    close(out[1]);
    std::string written;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        written.append(buf, static_cast<size_t>(n));
    EXPECT_EQ(written, "LIST - command\nfirst\n\nlast line\n");
    for (int fd : {in[0], out[0], err[0], err[1]}) close(fd);
    test::resetProcessState();
}

// ---- the topics command mode asks for ----

TEST(HelpTopics, CommandModeAsksForTheErrorTheCommandOrTheMenu) {
    EXPECT_EQ(helpTopicFor("", 0), "CMDMENU");
    EXPECT_EQ(helpTopicFor("  ", 2102), "ERR2102");
    EXPECT_EQ(helpTopicFor("", 4), "ERR0004");
    EXPECT_EQ(helpTopicFor("li", 2102), "LIST") << "a word wins over the error shown";
    EXPECT_EQ(helpTopicFor("PROC", 0), "PROC");
    EXPECT_EQ(helpTopicFor("SAVE \"pay\"", 0), "SAVE");
    EXPECT_EQ(helpTopicFor("4152", 0), "ERR4152");
    EXPECT_EQ(helpTopicFor("10005", 0), "ERR10005");
    EXPECT_EQ(helpTopicFor("123456", 0), "UNRECOGNIZED");
    EXPECT_EQ(helpTopicFor("\"quoted\"", 0), "UNRECOGNIZED");
    // Words that are no command: a topic of that name in ktcmd.kth, else UNRECOGNIZED (the unit
    // tests have no ktcmd.kth beside them).
    EXPECT_EQ(helpTopicFor("XYZZY", 0), "UNRECOGNIZED");
    EXPECT_EQ(helpTopicFor("10 XYZZY", 0), "UNRECOGNIZED");
}

}  // namespace
}  // namespace vxs
