// A small program on a shared keyed file, with INDEX after it, run by the whole system again and
// again, each time with the Nth call of one kind (write, read, lock, rename, truncate, fsync)
// failing, over every N its run makes (a sample of them for the frequent kinds).  Whatever
// fails: the system does not crash, the failure is reported as an error number, the data file
// stays readable, VERIFY finds the key file sound or names the damage, and REORG makes it sound.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/control/entry.h"
#include "vxs/control/vxapp.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/platform.h"

namespace vxs {
namespace {

namespace fs = std::filesystem;
using platform::Call;

// The session: SYNC ON (so that changes are flushed), the program, then INDEX into a second key
// file (a rename), and the program's second file made again with REPLACE (a truncation).
const char* const kSession =
    "CONFIG SYNC ON\n"
    "10 OPEN #1: \"NAME=f.dat,KFNAME=f.key,KPS=1,KLN=6,RECL=20,USE,SHR\", INTERNAL, OUTIN, KEYED\n"
    "20 FOR I = 1 TO 30\n"
    "30 WRITE #1, USING 90: STR$(100000 + MOD(I * 7, 31)), I\n"
    "40 NEXT I\n"
    "50 FOR I = 1 TO 12\n"
    "60 READ #1, USING 90, KEY=STR$(100000 + I): K$, N NOKEY 80\n"
    "65 IF MOD(I, 4) = 0 THEN DELETE #1: ELSE REWRITE #1, USING 90: K$, N + 100\n"
    "80 NEXT I\n"
    "82 CLOSE #1:\n"
    "84 OPEN #2: \"NAME=g.dat,RECL=20,REPLACE\", INTERNAL, OUTPUT\n"
    "86 WRITE #2, USING 90: \"G\", 1\n"
    "88 CLOSE #2:\n"
    "89 END\n"
    "90 FORM C 6, N 8\n"
    "RUN\n"
    "INDEX f.dat f2.key 1 6 replace -n\n"
    "SYSTEM\n";

platform::FaultPlatform* g_faults = nullptr;

// The calls of each kind, to calls.txt as the child exits (the system ends the process itself).
void writeCalls() {
    std::ofstream counts("calls.txt");
    for (int c = 0; c < static_cast<int>(Call::kCount); ++c)
        counts << g_faults->calls(static_cast<Call>(c)) << "\n";
}

// Runs the whole system in a child, in `dir`, on `input`; with `fail` set, the nth call of that
// kind fails with `error`.  The calls of each kind are written to calls.txt.
test::ChildResult runSystem(const std::string& dir, const std::string& input, Call fail = Call::kCount,
                            int nth = 0, int error = EIO) {
    return test::runInChild(
        [&] {
            if (chdir(dir.c_str()) != 0) _exit(90);
            platform::FaultPlatform faults(platform::posixPlatform());
            platform::ScopedPlatform guard(faults);
            if (fail != Call::kCount) faults.failNth(fail, nth, error);
            g_faults = &faults;
            atexit(writeCalls);
            static char name[] = "veltrix";
            static char* argv[] = {name, nullptr};
            int argc = 1;
            setProcessArguments(argc, argv);
            wxApp::SetInstance(new vxApp);
            exit(wxEntry(argc, argv));
        },
        &input);
}

// Whether every line of `err` is an error report: "ERROR n", or "ERROR n at lllll:cc".
bool onlyErrorReports(const std::string& err) {
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        size_t at = 0;
        if (line.compare(0, 6, "ERROR ") != 0) return false;
        at = 6;
        const size_t digits = line.find_first_not_of("0123456789", at);
        if (digits == at) return false;
        if (digits == std::string::npos) continue;
        const std::string rest = line.substr(digits);
        if (rest.size() != 12 || rest.compare(0, 4, " at ") != 0 || rest[9] != ':') return false;
    }
    return true;
}

class FaultRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxfaultrun-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override { fs::remove_all(dir_); }
    // A fresh directory: the second file exists, so that REPLACE truncates it.
    void fresh() {
        for (const auto& e : fs::directory_iterator(dir_)) fs::remove_all(e.path());
        std::ofstream(dir_ + "/g.dat") << "old contents";
    }
    std::vector<int> calls() {
        std::vector<int> n;
        std::ifstream in(dir_ + "/calls.txt");
        for (int v; in >> v;) n.push_back(v);
        return n;
    }
    std::string dir_;
};

TEST_F(FaultRunTest, EveryFailedCallIsReportedAndLeavesFilesThatReadOrRepair) {
    fresh();
    const test::ChildResult clean = runSystem(dir_, kSession);
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    ASSERT_EQ(clean.err, "");
    const std::vector<int> total = calls();
    ASSERT_EQ(total.size(), static_cast<size_t>(Call::kCount));
    struct Kind {
        Call call;
        const char* name;
        int error;
    };
    const Kind kinds[] = {{Call::kWriteAt, "write", ENOSPC}, {Call::kWrite, "write", ENOSPC},
                          {Call::kReadAt, "read", EIO},      {Call::kRead, "read", EIO},
                          {Call::kLock, "lock", EIO},        {Call::kRename, "rename", EIO},
                          {Call::kTruncate, "truncate", EIO}, {Call::kSync, "fsync", EIO}};
    int runs = 0, failedRuns = 0;
    for (const Kind& k : kinds) {
        const int n = total[static_cast<size_t>(k.call)];
        const int step = n > 24 ? n / 12 : 1;
        for (int nth = 1; nth <= n; nth += step) {
            SCOPED_TRACE(std::string(k.name) + " call " + std::to_string(nth) + " of " +
                         std::to_string(n));
            fresh();
            const test::ChildResult r = runSystem(dir_, kSession, k.call, nth, k.error);
            ++runs;
            // No crash, and what failed was reported: as an error number, or, when the
            // registry could not be joined at start-up, as a fatal message.
            ASSERT_EQ(r.signal, 0) << r.err;
            const bool fatal = r.err.find("Fatal error called with message: ") != std::string::npos;
            EXPECT_TRUE(onlyErrorReports(r.err) || (fatal && r.exitStatus != 0)) << r.err;
            if (!r.err.empty()) ++failedRuns;
            // Whatever the run left: the data file reads to its end, VERIFY finds the key file
            // sound or names the damage, REORG makes it sound.  (An OPEN that failed after
            // making the file leaves it empty, which later opens take as a new file.)
            std::error_code ec;
            if (fs::file_size(dir_ + "/f.dat", ec) == 0 || ec) continue;
            std::string session =
                "10 OPEN #1: \"NAME=f.dat\", INTERNAL, INPUT\n"
                "20 READ #1, USING 50: K$ EOF 40\n30 GOTO 20\n40 PRINT \"READ\"\n45 END\n"
                "50 FORM C 6\nRUN\n";
            const bool keys = fs::exists(dir_ + "/f.key");
            if (keys)
                session += "INDEX f.dat f.key verify -n\nINDEX f.dat f.key 1 6 reorg -n\n"
                           "INDEX f.dat f.key verify -n\n";
            const test::ChildResult check = runSystem(dir_, session + "SYSTEM\n");
            EXPECT_EQ(check.out, "READ\n");
            EXPECT_TRUE(check.err == "" || (keys && (check.err == "ERROR 4123\n" ||
                                                     check.err == "ERROR 4124\n")))
                << check.err;
        }
    }
    EXPECT_GT(runs, 40);
    EXPECT_GT(failedRuns, runs / 2) << "most injected failures show";
}

}  // namespace
}  // namespace vxs
