// The application object end to end: wxWidgets' entry, the published event loop, the process
// entry's paths, and wxWidgets assertions turned into consistency failures.
#include "vxs/control/vxapp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/support/test_support.h"
#include "vxs/clientserver/common.h"
#include "vxs/control/entry.h"
#include "vxs/base/process.h"

namespace vxs {
namespace {

using ::testing::HasSubstr;

// Initialises wxWidgets with the application object, as main() does, without running it.
void startWidgets() {
    static char name[] = "veltrix";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    setProcessArguments(argc, argv);
    wxApp::SetInstance(new vxApp);
    if (!wxEntryStart(argc, argv)) _exit(5);
}

// Runs the whole system as main() does, in a child, with `input` on standard input.  The child
// ends with wxEntry's result, or with `check`'s when that is nonzero (run after wxEntry).
test::ChildResult runApplication(
    const std::string& input, const std::function<int()>& check = [] { return 0; }) {
    return test::runInChild(
        [&] {
            static char name[] = "veltrix";
            static char* argv[] = {name, nullptr};
            int argc = 1;
            setProcessArguments(argc, argv);
            wxApp::SetInstance(new vxApp);
            const int result = wxEntry(argc, argv);
            const int checked = check();
            _exit(checked ? checked : result);
        },
        &input);
}

TEST(Application, RunsTheSystemAndReturnsTheExitCode) {
    auto r = runApplication("NOTHING\nSYSTEM 3\n");
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.err, "ERROR 1001\n") << "NOTHING is not a statement";
    EXPECT_EQ(r.out, "");
}

TEST(Application, WaitingHelpersDispatchTheEventLoopsWork) {
    auto r = test::runInChild([] {
        startWidgets();
        vxEventLoop loop;
        publishEventLoop(&loop);
        static int calls = 0, idles = 0;
        wxTheApp->CallAfter([] { ++calls; });
        wxTheApp->Bind(wxEVT_IDLE, [](wxIdleEvent&) { ++idles; });
        dispatchPending();  // runs the queued call, but no idle processing
        const bool dispatched = calls == 1 && idles == 0;
        timedWait(1000);  // sleeps, then pumps: idle processing too
        publishEventLoop(nullptr);
        fprintf(stderr, "calls %d idles %d\n", calls, idles);
        _exit(dispatched && calls == 1 && idles == 1 ? 0 : 7);
    });
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(processEventLoop(), nullptr) << "outside the application there is none";
}

TEST(Application, ProcessEntryRecordsItsPaths) {
    auto r = runApplication("SYSTEM\n", [] {
        const std::string& dir = moduleDirectory();
        char cwd[512];
        const bool ok =
            !dir.empty() && dir.back() == '/' && modulePath().compare(0, dir.size(), dir) == 0 &&
            modulePath().find('/', dir.size()) == std::string::npos && getcwd(cwd, sizeof cwd) &&
            startingDirectory() == cwd && memoryTraceName() == "memtrace.001";
        return ok ? 0 : 9;
    });
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(Application, WidgetsAssertionIsAConsistencyFailure) {
    auto r = test::runInChild([] {
        startWidgets();
        wxFAIL_MSG("deliberate");
        _exit(6);
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("vxassertion (wxWidgets caused as assertion failure.) failed in"));
    EXPECT_THAT(r.err, HasSubstr("vxapp.cpp line 756."));
}

}  // namespace
}  // namespace vxs
