// Printers and debugger channels as the data files reach them: through the device interface,
// with whatever opener the owning layer registered.  A recording device stands in for the print
// job and the debugger link, so that what OPEN asks for and what PRINT and CLOSE send is seen.
#include "vxs/datafiles/device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/debugger/debug.h"
#include "vxs/errors/errors.h"
#include "vxs/printing/spool.h"

namespace vxs {
namespace {

struct Recorded {
    std::vector<DeviceRequest> opens;
    std::vector<std::string> lines;
    int finishes = 0;
    int openError = 0;
    int pageLines = 0;
};
Recorded g_rec;

class RecordingStream final : public DeviceStream {
  public:
    int writeLine(std::string_view line, std::string_view lineEnd) override {
        g_rec.lines.push_back(std::string(line) + std::string(lineEnd));
        return 0;
    }
    int finish(std::string& message) override {
        ++g_rec.finishes;
        message = "printed";
        return 0;
    }
    int linesPerPage() const override { return g_rec.pageLines; }
};

int recordingOpener(const DeviceRequest& r, std::unique_ptr<DeviceStream>& out) {
    g_rec.opens.push_back(r);
    if (g_rec.openError) return g_rec.openError;
    out = std::make_unique<RecordingStream>();
    return 0;
}

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_rec = Recorded{};
        setDeviceOpener(Device::kPrinter, recordingOpener);
        setDeviceOpener(Device::kDebug, recordingOpener);
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fb_, true);
        setDeviceOpener(Device::kPrinter, openPrinterDevice);
        setDeviceOpener(Device::kDebug, openDebugChannelDevice);
    }
    int open(int number, const std::string& text, Ufcb*& u) {
        text_ = text;
        OpenRequest r;
        r.number = number;
        r.text = text_;
        r.type = kFileDisplay;
        r.mode = kModeOutput;
        return openFile(fb_, r, u);
    }
    FileBlocks fb_;
    std::string text_;
};

TEST_F(DeviceTest, PrinterLinesAndCloseGoThroughTheRegisteredDevice) {
    Ufcb* u = nullptr;
    ASSERT_EQ(open(3, "NAME=PRN:/LASER,COPIES=2", u), 0);
    ASSERT_EQ(g_rec.opens.size(), 1u);
    EXPECT_EQ(g_rec.opens[0].kind, Device::kPrinter);
    EXPECT_EQ(g_rec.opens[0].name, "PRN:/LASER");
    EXPECT_EQ(g_rec.opens[0].copies, 2);
    EXPECT_EQ(writeTextLine(*u, "FIRST"), 0);
    EXPECT_EQ(writeTextLine(*u, "SECOND", 2), 0);
    EXPECT_EQ(g_rec.finishes, 0) << "nothing is printed before CLOSE";
    EXPECT_EQ(closeFile(fb_, u), 0);
    ASSERT_EQ(g_rec.lines.size(), 2u);
    EXPECT_EQ(g_rec.lines[0], "FIRST\r\n");
    EXPECT_EQ(g_rec.lines[1], "SECOND\r\n\r\n") << "each line feed ends the line once";
    EXPECT_EQ(g_rec.finishes, 1);
}

TEST_F(DeviceTest, ADebuggerChannelGetsItsNumberAndItsLines) {
    Ufcb* u = nullptr;
    ASSERT_EQ(open(4, "NAME=DEBUG:7", u), 0);
    ASSERT_EQ(g_rec.opens.size(), 1u);
    EXPECT_EQ(g_rec.opens[0].kind, Device::kDebug);
    EXPECT_EQ(g_rec.opens[0].channel, 7);
    EXPECT_EQ(writeTextLine(*u, "TRACE"), 0);
    ASSERT_EQ(g_rec.lines.size(), 1u) << "a channel line goes at once, not at CLOSE";
    EXPECT_EQ(g_rec.lines[0].rfind("TRACE", 0), 0u);
    EXPECT_EQ(closeFile(fb_, u), 0);
    EXPECT_EQ(g_rec.finishes, 0) << "closing a channel finishes nothing";
}

TEST_F(DeviceTest, AFailedOrMissingDeviceLeavesTheFileNumberClosed) {
    Ufcb* u = nullptr;
    g_rec.openError = kErrNotReady;
    EXPECT_EQ(open(5, "NAME=PRN:/LASER", u), kErrNotReady);
    EXPECT_EQ(fb_.find(5), nullptr);
    setDeviceOpener(Device::kPrinter, nullptr);
    EXPECT_EQ(open(5, "NAME=PRN:/LASER", u), kErrNotAvailable)
        << "no layer registered printers: the facility is missing, not a crash";
    EXPECT_EQ(fb_.find(5), nullptr);
}

TEST_F(DeviceTest, APrinterWithShorterPagesOverflowsWithThem) {
    g_rec.pageLines = 20;
    Ufcb* u = nullptr;
    ASSERT_EQ(open(6, "NAME=PRN:/LASER", u), 0);
    EXPECT_EQ(u->pageOverflow, 20);
    EXPECT_EQ(closeFile(fb_, u), 0);
}

}  // namespace
}  // namespace vxs
