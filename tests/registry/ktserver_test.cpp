// The registry file in one process: the stored bytes against the documented layout, an
// assignment and a release seen in the file, the user records, requests refused before the file
// is touched, and the first user's rebuild under injected faults.
#include "vxs/registry/ktserver.h"

#include "tests/registry/registry_test_support.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/faults.h"

namespace vxs {
namespace {

using regtest::RegistryDir;

// A new file, built from the layout table rather than from the code under test.
std::string documentedNewFile(uint8_t version) {
    std::string b;
    b += static_cast<char>(version);
    b.append(3, '\0');                // 0: version, little-endian
    b.append(20, ' ');                // 4: blanks
    b.append(1000, ' ');              // 24: wsidUsed
    for (int n = 0; n < 1000; ++n) {  // 1024 + 64n: user records
        b.append(63, ' ');
        b += '\0';
    }
    return b;
}

// Releases whatever the test process assigned itself.
struct Released {
    ~Released() { ktReleaseServer(); }
};

TEST(KtServerLayout, NewFileAndVersionsMatchTheDocumentedBytes) {
    const std::string golden = documentedNewFile(4);
    ASSERT_EQ(golden.size(), 65024u);
    EXPECT_EQ(ktNewFileImage(4), golden);
    EXPECT_EQ(ktNewFileImage(6).substr(0, 4), std::string("\x06\0\0\0", 4));
    EXPECT_EQ(ktVersionOfMode(1), 2);
    EXPECT_EQ(ktVersionOfMode(2), 4);
    EXPECT_EQ(ktVersionOfMode(3), 5);
    EXPECT_EQ(ktVersionOfMode(4), 6);
    EXPECT_EQ(ktVersionOfMode(0), 0);
    EXPECT_EQ(ktVersionOfMode(5), 0);
    EXPECT_EQ(ktSetServerFile("", 7), kErrInvalidData);
    // The lock table: the WSID/session bytes of region L fill exactly its 9000 bytes, and the
    // first-user range ends with the last region.
    EXPECT_EQ(ktSessionByte(3, 0, 1), ktRegionStart(3));
    EXPECT_EQ(ktSessionByte(3, 999, 9), ktRegionStart(3) + 9000 - 1);
    EXPECT_EQ(ktRegionStart(99) + 9000, kKtFirstUserLength);
}

TEST_F(RegistryDir, AssignmentMarksTheFileAndReleaseClearsIt) {
    Released released;
    ASSERT_EQ(ktSetServerFile(dir_, 2), 0);
    writeServer(std::string(500, 'Q'));  // stale rubbish: the first user rebuilds it
    std::string msg;
    int wsid = 0, users = 0;
    ASSERT_EQ(assignWSID(msg, 3, 1, 1000, 0, wsid, users, 0), 0) << msg;
    EXPECT_EQ(wsid, 3);
    EXPECT_EQ(users, 1);
    EXPECT_GE(ktLockOffset(), 0);
    EXPECT_LT(ktLockOffset(), KTS_NUMOFREGIONS);
    std::string golden = documentedNewFile(4);
    golden[24 + 3] = 'X';
    EXPECT_EQ(readServer(), golden);
    EXPECT_FALSE(std::filesystem::exists(serverPath() + ".new"));

    // The user record: the name, a NUL, zeros.
    ASSERT_EQ(ktWriteUserRecord(3, "carol"), 0);
    golden.replace(1024 + 64 * 3, 64, std::string("carol") + std::string(59, '\0'));
    EXPECT_EQ(readServer(), golden);
    std::string login;
    ASSERT_EQ(ktReadUserRecord(3, login), 0);
    EXPECT_EQ(login, "carol");
    ASSERT_EQ(ktReadUserRecord(4, login), 0);
    EXPECT_EQ(login, "");  // a new record: 63 blanks
    EXPECT_EQ(ktWriteUserRecord(3, std::string(63, 'a')), 0);
    EXPECT_EQ(ktWriteUserRecord(3, std::string(64, 'a')), kErrStringOverflow);
    EXPECT_EQ(ktWriteUserRecord(3, std::string("a\0b", 3)), kErrInvalidData);
    EXPECT_EQ(ktWriteUserRecord(1000, "x"), kErrInvalidData);
    EXPECT_EQ(ktWriteUserRecord(-1, "x"), kErrInvalidData);

    // A second call keeps the id.
    int again = 0;
    EXPECT_EQ(assignWSID(msg, 9, 1, 1000, 0, again, users, 0), kKtRefused);
    EXPECT_EQ(msg, "WSID previously assigned.\n");
    EXPECT_EQ(again, 3);

    ktReleaseServer();
    EXPECT_EQ(ktAssignedWsid(), -1);
    EXPECT_EQ(ktLockOffset(), -1);
    EXPECT_EQ(readServer()[24 + 3], ' ');
    EXPECT_EQ(ktReadUserRecord(3, login), kErrInvalidData);  // closed
}

TEST_F(RegistryDir, InvalidRequestsAreRefusedBeforeTheFileIsTouched) {
    ASSERT_EQ(ktSetServerFile(dir_, 2), 0);
    std::string msg;
    int wsid = 0, users = 0;
    EXPECT_EQ(assignWSID(msg, 1000, 1, 1000, 0, wsid, users, 0), kKtRefused);
    EXPECT_EQ(msg, "Workstation ID 1000 is invalid--must be 1-999.\n");
    EXPECT_FALSE(std::filesystem::exists(serverPath()));

    const std::string before = documentedNewFile(2);
    writeServer(before);
    EXPECT_EQ(assignWSID(msg, 5000, 1, 1000, 0, wsid, users, 1), kKtRefused);
    EXPECT_EQ(assignWSID(msg, 5, 0, 1000, 0, wsid, users, 0), kKtRefused);
    EXPECT_EQ(assignWSID(msg, 5, 10, 1000, 0, wsid, users, 0), kKtRefused);
    EXPECT_EQ(readServer(), before);
    EXPECT_EQ(ktAssignedWsid(), -1);
}

TEST_F(RegistryDir, MissingDirectoryGivesThePathMessage) {
    ASSERT_EQ(ktSetServerFile(dir_ + "/none", 2), 0);
    std::string msg;
    int wsid = 0, users = 0;
    EXPECT_EQ(assignWSID(msg, 1, 1, 1000, 0, wsid, users, 0), kKtOpenFailed);
    EXPECT_EQ(msg, "Couldn't open ktserver at PATH=" + dir_ +
                       "/none/ktserver.dat. \nPlease check if it exists and current user has "
                       "write permission.");
}

// The first user writes the new file beside the old one and renames it over: a failure on the
// way leaves the old file whole and nothing beside it.
TEST_F(RegistryDir, FailedRebuildLeavesTheOldFileWhole) {
    ASSERT_EQ(ktSetServerFile(dir_, 2), 0);
    std::string old = documentedNewFile(4);
    old[24 + 7] = 'X';
    writeServer(old);
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    std::string msg;
    int wsid = 0, users = 0;

    faults.failNth(platform::Call::kWriteAt, 1, ENOSPC);
    EXPECT_EQ(assignWSID(msg, 1, 1, 1000, 0, wsid, users, 0), kKtLockFailed);
    EXPECT_EQ(msg, "Couldn't write the new ktserver file.\nError Code is 4239\n");
    EXPECT_EQ(readServer(), old);
    EXPECT_FALSE(std::filesystem::exists(serverPath() + ".new"));

    faults.reset();
    faults.failNth(platform::Call::kRename, 1, EIO);
    EXPECT_EQ(assignWSID(msg, 1, 1, 1000, 0, wsid, users, 0), kKtRecreateFailed);
    EXPECT_EQ(msg, "Error: First user couldn't remove or truncate existing ktserver file.");
    EXPECT_EQ(readServer(), old);
    EXPECT_FALSE(std::filesystem::exists(serverPath() + ".new"));
    EXPECT_EQ(ktAssignedWsid(), -1);

    // Without faults the same call succeeds and only its own id is marked.
    faults.reset();
    {
        Released released;
        ASSERT_EQ(assignWSID(msg, 1, 1, 1000, 0, wsid, users, 0), 0) << msg;
        std::string golden = documentedNewFile(4);
        golden[24 + 1] = 'X';
        EXPECT_EQ(readServer(), golden);
    }
}

}  // namespace
}  // namespace vxs
