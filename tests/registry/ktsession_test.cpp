// Joining the registry with real processes: sessions of one machine, requests and their
// refusals, stale marks, the first user's rebuild, a copy killed with SIGKILL, the user limit and
// damaged files; and the request choice and the [WSID]/[SESSION] texts.
#include "vxs/registry/ktsession.h"

#include <algorithm>

#include "tests/registry/registry_test_support.h"
#include "vxs/base/logger.h"
#include "vxs/registry/ktserver.h"

namespace vxs {
namespace {

using regtest::Copy;
using regtest::RegistryDir;

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

struct Released {
    ~Released() { ktReleaseServer(); }
};

TEST(KtSessionTexts, RequestChoiceAndNames) {
    WsidRequest r = ktChooseRequest(12, 5, 7, 3);
    EXPECT_EQ(ktRequestText(r), "WSID requested 12 by multiple sessions with increment 0.");
    r = ktChooseRequest(0, 5, 7, 3);
    EXPECT_EQ(ktRequestText(r), "WSID requested 5 by command line with increment 0.");
    r = ktChooseRequest(0, 0, 7, 3);
    EXPECT_EQ(ktRequestText(r), "WSID requested 7 by vxconfig.sys with increment 3.");
    r = ktChooseRequest(0, 0, 0, 3);
    EXPECT_EQ(ktRequestText(r), "WSID requested 1 by default values with increment 1.");

    EXPECT_EQ(ktSessionText(7, 1), "071");
    EXPECT_EQ(ktWsidText(7, 1, false), "07");
    EXPECT_EQ(ktWsidText(7, 1, true), "071");
    EXPECT_EQ(ktSessionText(123, 1), "1231");
    EXPECT_EQ(ktWsidText(123, 1, false), "123");
    EXPECT_EQ(ktWsidText(99, 9, false), "99");

    EXPECT_EQ(ktSessionFilePath("/r", "pc-1.lan"), "/r/ktsess.pc-1.lan");
    EXPECT_EQ(ktSessionFilePath("/r/", "a/b c"), "/r/ktsess.a_b_c");
    EXPECT_EQ(ktSessionFilePath("", ""), "ktsess.localhost");
}

TEST_F(RegistryDir, CopiesOnOneMachineAreSessionsOfOneWorkstation) {
    Copy& a = start({"--host", "m1"});
    Copy& b = start({"--host", "m1", "--session-names"});
    ASSERT_EQ(a.result, 0) << a.message;
    ASSERT_EQ(b.result, 0) << b.message;
    EXPECT_EQ(a.wsid, 1);
    EXPECT_EQ(a.session, 1);
    EXPECT_EQ(a.source, "default");  // "default values", cut at the blank by the parser
    EXPECT_EQ(b.wsid, 1);
    EXPECT_EQ(b.session, 2);
    EXPECT_EQ(b.source, "multiple");
    EXPECT_EQ(b.users, 1);  // a further session is no new workstation
    EXPECT_EQ(b.wsidText, "012");
    EXPECT_EQ(b.sessionText, "012");

    // Another machine gets its own WSID; so does a unique copy on the first one.
    Copy& c = start({"--host", "m2"});
    EXPECT_EQ(c.wsid, 2);
    EXPECT_EQ(c.session, 1);
    EXPECT_EQ(c.users, 2);
    Copy& u = start({"--host", "m1", "--unique"});
    EXPECT_EQ(u.result, 0) << u.message;
    EXPECT_EQ(u.wsid, 3);
    EXPECT_EQ(u.session, 3);
    EXPECT_EQ(u.wsidText, "03");
    // A unique copy publishes nothing: the next copy on m1 still joins WSID 1.
    Copy& d = start({"--host", "m1"});
    EXPECT_EQ(d.wsid, 1);
    EXPECT_EQ(d.session, 4);
    for (Copy* x : {&a, &b, &c, &u, &d}) EXPECT_EQ(x->stop(), 0);
}

TEST_F(RegistryDir, RequestedIdsAndIdsInUse) {
    Copy& a = start({"--host", "m1", "--id", "5", "--login", "alice"});
    ASSERT_EQ(a.result, 0) << a.message;
    EXPECT_EQ(a.wsid, 5);
    EXPECT_EQ(a.source, "command");

    // Another machine, session 1 too, asking for 5 exactly.
    Copy& b = start({"--host", "m2", "--id", "5"});
    EXPECT_EQ(b.result, kKtRefused);
    EXPECT_EQ(b.message, "The requested Workstation ID (5) is already in use by alice.\n");
    // The same through assignWSID with an explicit session; then with a step.
    {
        Released released;
        ASSERT_EQ(ktSetServerFile(dir_, 2), 0);
        std::string msg;
        int wsid = 0, users = 0;
        EXPECT_EQ(assignWSID(msg, 5, 1, 1000, 0, wsid, users, 0), kKtRefused);
        EXPECT_EQ(msg, "The requested Workstation ID (5) is already in use by alice.\n");
        // Session 2 of the machine that holds 5 would join it, one of a new machine may not.
        EXPECT_EQ(assignWSID(msg, 5, 2, 1000, 0, wsid, users, 0, true), kKtRefused);
        ASSERT_EQ(assignWSID(msg, 5, 2, 1000, 0, wsid, users, 0), 0) << msg;
        EXPECT_EQ(wsid, 5);
        EXPECT_EQ(users, 1);
        EXPECT_FALSE(ktIsNewUser(5, 2));
        EXPECT_TRUE(ktIsNewUser(6, 2));
    }
    Copy& c = start({"--host", "m3", "--config", "5", "2"});
    EXPECT_EQ(c.result, 0) << c.message;
    EXPECT_EQ(c.wsid, 7);
    EXPECT_EQ(c.source, "vxconfig.sys");

    // 998 and 999 taken: the step runs off the end.
    Copy& d = start({"--host", "m4", "--id", "998"});
    Copy& e = start({"--host", "m5", "--id", "999"});
    ASSERT_EQ(d.wsid, 998);
    ASSERT_EQ(e.wsid, 999);
    Copy& f = start({"--host", "m6", "--config", "998", "1"});
    EXPECT_EQ(f.result, kKtRefused);
    EXPECT_EQ(f.message, "All wsid's tried by 998 1 are in use.  Last attempted ID was 999.\n");

    Copy& g = start({"--host", "m7", "--id", "1000"});
    EXPECT_EQ(g.result, kKtRefused);
    EXPECT_EQ(g.message, "Workstation ID 1000 is invalid--must be 1-999.\n");
}

TEST_F(RegistryDir, StaleMarksAreCleanedAndTheLastOneOutLeavesAFreshFile) {
    Copy& a = start({"--host", "m1"});
    Copy& b = start({"--host", "m2"});
    ASSERT_EQ(b.wsid, 2);
    pokeServer(24 + 77, 'X');  // a copy that crashed long ago
    pokeServer(24 + 78, 'x');
    b.killHard();  // leaves its mark behind

    const std::string log = dir_ + "/log";
    ASSERT_EQ(setLogFile(log.c_str()), 0);
    setLogLevel(kLogProgress);
    {
        Released released;
        ASSERT_EQ(ktSetServerFile(dir_, 2), 0);
        std::string msg;
        int wsid = 0, users = 0;
        ASSERT_EQ(assignWSID(msg, 1, 3, 1000, 0, wsid, users, 1, true), 0) << msg;
        EXPECT_EQ(wsid, 2);
        EXPECT_EQ(users, 2);
        const std::string file = readServer();
        EXPECT_EQ(file[24 + 77], ' ');
        EXPECT_EQ(file[24 + 78], ' ');
        EXPECT_EQ(file[24 + 1], 'X');
        EXPECT_EQ(file[24 + 2], 'X');
    }
    setLogLevel(0);
    closeLogFile();
    const std::string text = slurp(log);
    EXPECT_NE(text.find("Initial count complete, found <1> users logged on"), std::string::npos);
    EXPECT_NE(text.find("ID set and count update complete, ID is <2> with <2> users found"),
              std::string::npos);

    // Everyone gone (the last one killed): the next copy rebuilds, only its id is marked.
    pokeServer(24 + 500, 'X');
    a.killHard();
    Copy& c = start({"--host", "m9", "--id", "40"});
    ASSERT_EQ(c.result, 0) << c.message;
    std::string golden = ktNewFileImage(4);
    golden[24 + 40] = 'X';
    EXPECT_EQ(readServer(), golden);
}

TEST_F(RegistryDir, KilledCopyFreesItsWsidAndSessionAtOnce) {
    Copy& other = start({"--host", "k"});  // keeps the file alive: no rebuild in between
    Copy& a1 = start({"--host", "h"});
    Copy& a2 = start({"--host", "h"});
    ASSERT_EQ(a1.wsid, 2);
    ASSERT_EQ(a2.session, 2);
    a1.killHard();
    Copy& b = start({"--host", "h"});  // session 1 again, joining the live session 2
    EXPECT_EQ(b.result, 0) << b.message;
    EXPECT_EQ(b.session, 1);
    EXPECT_EQ(b.wsid, 2);
    EXPECT_EQ(b.source, "multiple");
    a2.killHard();
    b.killHard();
    Copy& c = start({"--host", "h", "--id", "2"});  // the id is free at once, no wait
    EXPECT_EQ(c.result, 0) << c.message;
    EXPECT_EQ(c.wsid, 2);
    EXPECT_EQ(c.session, 1);
    EXPECT_EQ(c.users, 2);
    EXPECT_EQ(other.stop(), 0);
}

TEST_F(RegistryDir, UserLimitHoldsNewWorkstationsOnly) {
    Copy& a = start({"--host", "m1", "--max", "1"});
    ASSERT_EQ(a.result, 0);
    const std::string before = readServer();
    Copy& b = start({"--host", "m2", "--max", "1"});
    EXPECT_EQ(b.result, 1);  // the count: start-up may offer to try again
    EXPECT_EQ(b.message, "All 1 workstations allowed are in use.\n");
    EXPECT_EQ(readServer(), before);
    {
        // A copy of a new machine that happens to have session 2 does not join WSID 1: stepping
        // on would make it a new workstation, which the limit refuses too.
        ASSERT_EQ(ktSetServerFile(dir_, 2), 0);
        std::string msg;
        int wsid = 0, users = 0;
        EXPECT_EQ(assignWSID(msg, 1, 2, 1, 0, wsid, users, 1, true), 1);
        EXPECT_EQ(msg, "All 1 workstations allowed are in use.\n");
        EXPECT_EQ(ktAssignedWsid(), -1);
    }
    EXPECT_EQ(readServer(), before);
    Copy& c = start({"--host", "m1", "--max", "1"});
    EXPECT_EQ(c.result, 0) << c.message;
    EXPECT_EQ(c.wsid, 1);
    EXPECT_EQ(c.session, 2);
    EXPECT_EQ(a.stop(), 0);
    EXPECT_EQ(c.stop(), 0);
    Copy& d = start({"--host", "m2", "--max", "1"});  // a place is free again
    EXPECT_EQ(d.result, 0) << d.message;
}

TEST_F(RegistryDir, WrongVersionAndDamagedFiles) {
    Copy& a = start({"--host", "m1"});
    ASSERT_EQ(a.result, 0);
    Copy& b = start({"--host", "m2", "--mode", "1"});
    EXPECT_EQ(b.result, kKtBadFile);
    EXPECT_EQ(b.message, "Wrong version of ktserver.dat\n");

    std::filesystem::resize_file(serverPath(), 2000);
    Copy& c = start({"--host", "m3"});
    EXPECT_EQ(c.result, kKtBadFile);
    EXPECT_EQ(c.message, "ktserver.dat is damaged: 2000 bytes instead of 65024.\n");
    std::filesystem::resize_file(serverPath(), 100);
    Copy& d = start({"--host", "m4"});
    EXPECT_EQ(d.result, kKtBadFile);
    EXPECT_EQ(d.message, "Couldn't read server header.\n");
    EXPECT_EQ(std::filesystem::file_size(serverPath()), 100u);  // nothing written
    EXPECT_EQ(a.stop(), 0);
}

// Copies of many machines starting at once on an empty directory: one of them rebuilds the
// file while others may have opened the old one; every copy must end up with an id of its own.
TEST_F(RegistryDir, CopiesStartingTogetherGetDistinctIds) {
    std::vector<Copy*> all;
    for (const char* host : {"p1", "p2", "p3", "p4", "p5", "p6"})
        all.push_back(&launch({"--host", host, "--wait", "20"}));
    std::vector<int> ids;
    for (Copy* c : all) {
        finish(*c);
        EXPECT_EQ(c->result, 0) << c->message;
        ids.push_back(c->wsid);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    const std::string file = readServer();
    ASSERT_EQ(file.size(), 65024u);
    EXPECT_EQ(file.substr(24, 8), " XXXXXX ");
    for (Copy* c : all) EXPECT_EQ(c->stop(), 0);
    EXPECT_EQ(readServer().substr(24, 8), "        ");
}

}  // namespace
}  // namespace vxs
