// Fuzz target: configuration text.  An input whose first byte is odd is a whole configuration
// file read at start-up (written to the scratch directory); otherwise the rest is one statement
// given after start-up, as CONFIG gives it.  processConfig answers 0 or 1, and the settings it
// leaves, written as statements and read back at start-up, give the same settings again; so do
// the configuration sections of the STATUS report, read back as a configuration file.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/scratch.h"
#include "vxs/command/statusconfig.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/base/logger.h"
#include "vxs/interpreter/strsub.h"

namespace {

std::string g_login;

void setUpOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    vxfuzz::enterScratchDirectory("config");
    // The report shows the login name, which LOGIN_NAME reads back in lower case.
    for (char c : vxs::loginName()) g_login += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The sections of the STATUS report that are statements, as one text.
std::string listing() {
    std::string text;
    const vxs::ReportSink sink = [&](std::string_view line) {
        text += line;
        return true;
    };
    for (auto* section : {vxs::reportConfigSection, vxs::reportAttributesSection,
                          vxs::reportPrinterSection, vxs::reportBtreeVerifySection,
                          vxs::reportKeyboardSection, vxs::reportColorsSection,
                          vxs::reportSubstituteSection})
        if (!section(sink)) abort();
    return text;
}

// Back to the state before the input: no log file, level 0, the table of SETENV empty.
void cleanUp() {
    if (!vxs::logFileName().empty()) vxs::closeLogFile();
    if (vxs::logLevel() != 0) vxs::setLogLevel(0);
    vxs::clearEnvironmentTable();
    (void)vxs::setLoginName(g_login);
    vxs::resetConfiguration();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    setUpOnce();
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    // Names stay inside the scratch directory: no separators, no environment values, no "..".
    if (text.find_first_of("/\\%~") != std::string_view::npos ||
        text.find("..") != std::string_view::npos)
        return 0;
    cleanUp();
    vxfuzz::emptyScratchDirectory();
    int result;
    if (data[0] & 1) {
        vxfuzz::writeScratchFile("in.sys", std::string(text));
        result = vxs::processConfigFile("in.sys");
    } else {
        if (vxs::processConfigFile("absent.sys") != 0) abort();
        result = vxs::processConfigStatement(text);
    }
    if (result != 0 && result != 1) abort();

    std::string again;
    const auto first = vxs::configStatements();
    for (const auto& line : first) again += line + "\n";
    const std::string report = listing();
    cleanUp();
    vxfuzz::writeScratchFile("again.sys", again);
    if (vxs::processConfigFile("again.sys") != 0) {
        for (const auto& m : vxs::configMessages())
            fprintf(stderr, "refused when read back: %s\n", m.c_str());
        abort();
    }
    const auto second = vxs::configStatements();
    if (second != first) {
        // Show the first statement that did not come back the same.
        for (size_t i = 0; i < first.size() || i < second.size(); ++i) {
            const std::string a = i < first.size() ? first[i] : "",
                              b = i < second.size() ? second[i] : "";
            if (a != b) {
                fprintf(stderr, "written: %s\nread back: %s\n", a.c_str(), b.c_str());
                break;
            }
        }
        abort();
    }
    cleanUp();
    vxfuzz::writeScratchFile("listing.sys", report);
    if (vxs::processConfigFile("listing.sys") != 0) {
        for (const auto& m : vxs::configMessages())
            fprintf(stderr, "report line refused when read back: %s\n", m.c_str());
        abort();
    }
    if (listing() != report) {
        fprintf(stderr, "report:\n%s\nread back:\n%s\n", report.c_str(), listing().c_str());
        abort();
    }
    cleanUp();
    return 0;
}
