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

}  // namespace
}  // namespace vxs
