// File-name mapping: devices and client-server names, substitution, the case rule, the
// name/dir forms, drive letters through the DRIVE table, path lengths, and the reverse mapping.
#include "vxs/datafiles/ktname.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_support.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/errors/errors.h"

namespace vxs {
namespace {

class NameMapTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        test::CleanStateTest::SetUp();
        char dir[] = "/tmp/vxname-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = std::filesystem::canonical(dir);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        std::filesystem::create_directories(dir_ / "Data" / "Sub");
        std::filesystem::create_directories(dir_ / "other");
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
        test::CleanStateTest::TearDown();
    }
    std::string map(std::string_view name) {
        std::string path;
        const int err = mapFileName(name, path);
        return err ? "error " + std::to_string(err) : path;
    }
    std::filesystem::path dir_, old_;
};

TEST_F(NameMapTest, WithoutConfigurationNamesStayRelativeAndLowerCase) {
    EXPECT_EQ(map("Sub\\Prog.VXP"), "sub/prog.vxp");
    EXPECT_EQ(map("C:Prog"), "prog");
    EXPECT_EQ(map("c:\\Dir\\Prog"), "dir/prog");
    EXPECT_EQ(map("D:Prog"), "error 4180");
    EXPECT_EQ(map("/home/Ann/X"), "/home/Ann/X");
    EXPECT_EQ(map(":Mixed\\Case"), "Mixed/Case");
    EXPECT_EQ(map("\\\\Server\\Share"), "//Server/Share");
    EXPECT_EQ(map(""), "error 4215");
    EXPECT_EQ(map(std::string(600, 'a')), "error 4129");
    // The full path counts: the current directory in front of a relative name.
    EXPECT_EQ(map(std::string(511 - dir_.string().size(), 'a')), "error 4129");
    EXPECT_EQ(map(std::string(510 - dir_.string().size(), 'a')),
              std::string(510 - dir_.string().size(), 'a'));
}

TEST_F(NameMapTest, DevicesAndClientServerNames) {
    EXPECT_EQ(map("prn:/laser"), "PRN:/LASER");
    EXPECT_EQ(map("PRN:"), "error 609");
    EXPECT_EQ(map("win:"), "error 609");
    EXPECT_EQ(map("WIN:/"), "WIN:/");
    EXPECT_EQ(map("PREVIEW:laser"), "error 609");
    EXPECT_EQ(map("DIRECT:x"), "error 609");
    EXPECT_EQ(map("con:"), "CON:");
    EXPECT_EQ(map("DEBUG:12"), "DEBUG:12");
    EXPECT_EQ(map("@:remote.dat"), "error 302");
    EXPECT_TRUE(isDeviceName("  Prn:/x"));
    EXPECT_FALSE(isDeviceName("prnfile"));
}

TEST_F(NameMapTest, DrivesAndTheNameDirForms) {
    ASSERT_EQ(processConfigStatement("DRIVE D:,Data,.,\\Sub"), 0);
    ASSERT_EQ(processConfigStatement("DRIVE E:," + (dir_ / "other").string() + ",.,\\"), 0);
    ASSERT_EQ(processConfigStatement("DRIVE F:,.,.,\\"), 0);
    const std::string data = (dir_ / "Data").string() + "/";
    EXPECT_EQ(map("D:Prog"), data + "Sub/prog");
    EXPECT_EQ(map("d:\\Acct\\Prog"), data + "acct/prog");
    EXPECT_EQ(map("E:x.dat"), (dir_ / "other").string() + "/x.dat");
    EXPECT_EQ(map("C:x"), "error 4180");  // drives are configured, C: is not among them
    EXPECT_EQ(map("Prog/Acct"), "acct/prog");
    EXPECT_EQ(map("Prog/Acct/2"), (dir_ / "other").string() + "/acct/prog");
    EXPECT_EQ(map("Prog/Acct/1"), data + "Sub/acct/prog");
    EXPECT_EQ(map("Prog/Acct/4"), "error 4215");  // no fourth DRIVE
    EXPECT_EQ(map("Prog/Acct/x"), "Prog/Acct/x");  // not a drive number: a Linux path
    EXPECT_EQ(map("Prog/"), "error 4215");
    EXPECT_EQ(map("Payroll1//10"), "PRN:/PAYROLL1");
    EXPECT_EQ(map("Payroll12//10"), "PRN:/PAYROLL1");
    EXPECT_EQ(driveNumber(3), 'F');
}

// Paths as a Linux user types them stand as they are, case and all; the one-slash form and the
// drive and printer forms keep their meaning.
TEST_F(NameMapTest, LinuxPathsBesideTheNameDirForms) {
    ASSERT_EQ(processConfigStatement("DRIVE D:,Data,.,\\"), 0);
    const std::string data = (dir_ / "Data").string() + "/";
    EXPECT_EQ(map("docs/examples/Orders.txt"), "docs/examples/Orders.txt");
    EXPECT_EQ(map("Sub/Dir/Prog"), "Sub/Dir/Prog");
    EXPECT_EQ(map("a/b/c/d.dat"), "a/b/c/d.dat");
    EXPECT_EQ(map("./Prog"), "./Prog");
    EXPECT_EQ(map("./Prog/Acct"), "./Prog/Acct");  // "./" first: not name/dir
    EXPECT_EQ(map("../Up/x.dat"), "../Up/x.dat");
    EXPECT_EQ(map("../x"), "../x");
    EXPECT_EQ(map("sub\\dir/x/y"), "sub/dir/x/y");
    // Only a single digit 1-9 ending the name after the second "/" is a drive number.
    EXPECT_EQ(map("Prog/Acct/1"), data + "acct/prog");
    EXPECT_EQ(map("Prog/Acct/0"), "Prog/Acct/0");
    EXPECT_EQ(map("Prog/Acct/10"), "Prog/Acct/10");
    EXPECT_EQ(map("Prog/Acct/1x"), "Prog/Acct/1x");
    EXPECT_EQ(map("Prog/Acct/1/x"), "Prog/Acct/1/x");
    EXPECT_EQ(map("Prog/Acct/2"), "error 4215");  // a drive number without its drive
    EXPECT_EQ(map("Prog//3"), "error 4215");
    EXPECT_EQ(map("Prog//10"), "PRN:/PROG");
    EXPECT_EQ(map("Prog//x"), "Prog//x");
    // One slash stays name/dir; a drive letter keeps its own meaning.
    EXPECT_EQ(map("Prog/Acct"), "acct/prog");
    EXPECT_EQ(map("Prog/"), "error 4215");
    EXPECT_EQ(map("D:Prog"), data + "prog");
    EXPECT_EQ(map("D:a/b/c"), "error 4215");
    // Substitution comes first and may make one; the length limit holds for them too.
    ASSERT_EQ(processConfigStatement("SUBSTITUTE [HIST] archive/2025/q1"), 0);
    EXPECT_EQ(map("[HIST]/Jan.dat"), "archive/2025/q1/Jan.dat");
    EXPECT_EQ(map("./" + std::string(509 - dir_.string().size(), 'a')), "error 4129");
    EXPECT_EQ(map("a/b/" + std::string(200, 'c')), "a/b/" + std::string(200, 'c'));
}

TEST_F(NameMapTest, SubstitutionAndTheCaseRule) {
    ASSERT_EQ(processConfigStatement("SUBSTITUTE [CO] Acme"), 0);
    ASSERT_EQ(processConfigStatement("SUBSTITUTE LIB: \":/opt/Lib/\""), 0);
    setSubstitution("[WSID]", "07");
    EXPECT_EQ(map("[co]\\F[wsid].dat"), "acme/f07.dat");
    EXPECT_EQ(map("~[co].dat"), "[co].dat");
    EXPECT_EQ(map("lib:Prog"), "/opt/Lib/Prog");  // the replacement made an OS path
    ASSERT_EQ(processConfigStatement("FILENAMES MIXED_CASE"), 0);
    EXPECT_EQ(map("[co]\\Mixed.Dat"), "Acme/Mixed.Dat");
    ASSERT_EQ(processConfigStatement("FILENAMES UPPER_CASE"), 0);
    EXPECT_EQ(map("[co]\\Mixed.Dat"), "ACME/MIXED.DAT");
    ASSERT_EQ(processConfigStatement("SUBSTITUTE X " + std::string(300, 'y')), 0);
    EXPECT_EQ(map("XX"), "error 600");
    std::string out;
    EXPECT_EQ(substituteName(std::string(512, 'a'), out), kErrSubstituteOverflow);
}

TEST_F(NameMapTest, ReverseMappingShowsDriveLetters) {
    ASSERT_EQ(processConfigStatement("DRIVE D:,Data,.,\\"), 0);
    ASSERT_EQ(processConfigStatement("DRIVE E:,Data/Sub,.,\\"), 0);
    std::string name;
    ASSERT_EQ(unmapFileName((dir_ / "Data" / "x" / "f.dat").string(), name), 0);
    EXPECT_EQ(name, "D:\\x\\f.dat");
    ASSERT_EQ(unmapFileName((dir_ / "Data" / "Sub" / "f.dat").string(), name), 0);
    EXPECT_EQ(name, "E:\\f.dat");  // the longer directory wins
    ASSERT_EQ(unmapFileName("Data/g.dat", name), 0);
    EXPECT_EQ(name, "D:\\g.dat");
    ASSERT_EQ(unmapFileName("/etc/passwd", name), 0);
    EXPECT_EQ(name, ":/etc/passwd");
    EXPECT_EQ(unmapFileName("/" + std::string(511, 'a'), name), kErrBadName);
    // A mapped name shown again is the name it came from.
    std::string path;
    ASSERT_EQ(mapFileName("D:\\Acct\\Prog", path), 0);
    ASSERT_EQ(unmapFileName(path, name), 0);
    EXPECT_EQ(name, "D:\\acct\\prog");
}

}  // namespace
}  // namespace vxs
