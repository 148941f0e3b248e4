// The command line: switches, start-up text, and the initial command from the other words.
#include "vxs/control/startup.h"

#include <gtest/gtest.h>

#include <vector>

namespace vxs {
namespace {

CommandLineArgs parse(std::vector<const char*> words) {
    words.insert(words.begin(), "veltrix");
    return parseCommandLine(static_cast<int>(words.size()), const_cast<char**>(words.data()));
}

TEST(CommandLine, SwitchesAndTheInitialCommand) {
    const CommandLineArgs a = parse({"-12", "RUN", "-@hello", "+3", "-Mx", "-M40", "-sh", "PAY", "@set up", "-custom.cfg", "-other.cfg"});
    EXPECT_EQ(a.requestedWsid, 12);
    EXPECT_EQ(a.wsidMode, 3);
    EXPECT_EQ(a.startupText, "set up") << "the last one wins";
    EXPECT_EQ(a.configFile, "other.cfg") << "-Mx is no number: a configuration name, then replaced";
    EXPECT_EQ(a.initialCommand, "RUN PAY");
}

TEST(CommandLine, EmptyAndOddWords) {
    EXPECT_EQ(parse({}).initialCommand, "");
    EXPECT_EQ(parse({"", "  ", "LIST"}).initialCommand, "LIST");
    EXPECT_EQ(parse({"-", "+"}).initialCommand, "- +") << "a lone sign is an ordinary word";
    EXPECT_EQ(parse({"+x"}).initialCommand, "+x");
    EXPECT_EQ(parse({"-1234567890"}).configFile, "1234567890") << "too long for a WSID";
}

TEST(CommandLine, WorkstationSwitchesSetTheSelectionModeOnce) {
    const CommandLineArgs a = parse({"-wsid=unique", "-WSID=SESSION", "RUN"});
    EXPECT_EQ(a.wsidMode, 2) << "the first switch counts";
    EXPECT_EQ(a.configFile, "WSID=SESSION") << "after it, the next one is a file name";
    EXPECT_EQ(a.initialCommand, "RUN");
    EXPECT_EQ(parse({"-WSID=SESSION", "-pay.sys"}).configFile, "pay.sys")
        << "a switch the configuration takes is not also the configuration file";
    EXPECT_EQ(parse({"+1", "-WSID=UNIQUE"}).wsidMode, 1) << "a mode from +n comes first";
}

// --help and --version are never names, and an unknown long option is no configuration file.
TEST(CommandLine, LongOptionsAskForTheUsageOrTheVersion) {
    EXPECT_EQ(parse({}).request, CommandLineRequest::kSession);
    EXPECT_EQ(parse({"-5", "RUN", "PAY"}).request, CommandLineRequest::kSession);
    const CommandLineArgs h = parse({"-5", "--help", "-my.sys"});
    EXPECT_EQ(h.request, CommandLineRequest::kHelp);
    EXPECT_EQ(h.configFile, "my.sys") << "--help is not taken as the name \"-help\"";
    EXPECT_EQ(parse({"RUN", "--version"}).request, CommandLineRequest::kVersion);
    EXPECT_EQ(parse({"RUN", "--version"}).initialCommand, "RUN");
    EXPECT_EQ(parse({"--version", "--help"}).request, CommandLineRequest::kVersion)
        << "the first of the two counts";
    const CommandLineArgs u = parse({"--verbose", "-x.sys", "--config"});
    EXPECT_EQ(u.request, CommandLineRequest::kUnknownOption);
    EXPECT_EQ(u.unknownOption, "--verbose") << "the first unknown one is reported";
    EXPECT_EQ(u.configFile, "x.sys");
    EXPECT_EQ(parse({"--verbose", "--help"}).request, CommandLineRequest::kHelp)
        << "asking for help wins over a wrong option";
    EXPECT_EQ(parse({"--"}).request, CommandLineRequest::kUnknownOption);
    EXPECT_EQ(parse({"-help"}).configFile, "help") << "one dash: a configuration file";
    EXPECT_EQ(parse({"--HELP"}).request, CommandLineRequest::kUnknownOption);
}

// The usage fits an 80-column terminal and names every form the parser accepts.
TEST(CommandLine, UsageNamesEveryFormInEightyColumns) {
    const std::string usage = usageText();
    size_t start = 0;
    while (start < usage.size()) {
        const size_t end = usage.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "every line ends with a line feed";
        EXPECT_LE(end - start, 80u) << usage.substr(start, end - start);
        start = end + 1;
    }
    for (const char* form :
         {"Usage: veltrix", "  -n ", "  +n ", "-WSID=SESSION", "-WSID=UNIQUE", "  -file ",
          "@text, -@text", "-Mn, -sh", "command ...", "--help", "--version"})
        EXPECT_NE(usage.find(form), std::string::npos) << form;
    const std::string version = versionText();
    EXPECT_TRUE(version.starts_with("Veltrix! Release ")) << version;
    EXPECT_EQ(version.find('\n'), version.size() - 1) << "one line";
}

}  // namespace
}  // namespace vxs
