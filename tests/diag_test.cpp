#include <gtest/gtest.h>

#include <string>

#include "diag/clock.h"
#include "diag/log.h"
#include "diag/stat_counter.h"
#include "platform/scripted_platform.h"
#include "test_util.h"

namespace {

class DiagTest : public ::testing::Test {
protected:
    void SetUp() override { ResetClock(); }
    void TearDown() override {
        CloseLogFile();
        ResetClock();
    }
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
    TempDir dir;
};

// The log file is truncated when opened and flushed after every message;
// messages are cut at 2047 characters and need a format.
TEST_F(DiagTest, LogFileIsTruncatedFlushedAfterEveryMessageAndTakesTextLiterally) {
    LogPrintf("nowhere to go");  // must not crash with no file
    EXPECT_FALSE(LogFileOpen());
    WriteAll(dir.File("debuglog.txt"), {'o', 'l', 'd'});
    ASSERT_TRUE(OpenLogFile(dir.File("debuglog.txt").c_str()));
    LogPrintf("\n\n    InitGL\n    =====\n");
    // Read while the file is still open: the message must already be there.
    EXPECT_EQ(ReadText(dir.File("debuglog.txt")), "\n\n    InitGL\n    =====\n");
    LogPrintf("\nLoading GRF file: '%s'...", "C:/levels/%s%d.grf");
    const std::string longText(3000, 'x');
    LogPrintf("%s", longText.c_str());
    LogPrintf(nullptr);
    EXPECT_EQ(ReadText(dir.File("debuglog.txt")),
              "\n\n    InitGL\n    =====\n\nLoading GRF file: 'C:/levels/%s%d.grf'..." + std::string(2047, 'x'));
    DebugPrintf("%s!", longText.c_str());
    EXPECT_EQ(pf.debug, std::string(2047, 'x'));
    pf.debug.clear();
    DebugPrintf(nullptr);
    InfoPrintf(nullptr);
    EXPECT_EQ(pf.debug, "");
    EXPECT_FALSE(pf.infoOpen);
    DebugPrintf("\nSelect: %d %d", 12, 3);
    DebugPrintf("\n%s: %d", "gTotalTris", -4);
    EXPECT_EQ(pf.debug, "\nSelect: 12 3\ngTotalTris: -4");
}

TEST_F(DiagTest, InfoTextOpensTheDialogGetsCarriageReturnsAndIsClearedForADump) {
    InfoPrintf("\nSource geometry type: %d", 2);
    EXPECT_TRUE(pf.infoOpen);
    EXPECT_EQ(pf.infoCreations, 1);
    InfoPrintf("\n%d Vertices\n", 4);
    EXPECT_EQ(pf.infoText, "\r\nSource geometry type: 2\r\n4 Vertices\r\n");
    ScrollInfoToTop();
    EXPECT_EQ(pf.infoCaret, 1u);

    ShowInfoDialog();
    EXPECT_EQ(pf.infoText, "");
    InfoPrintf("\nnew");
    EXPECT_EQ(pf.infoText, "\r\nnew");
    EXPECT_EQ(pf.infoCreations, 1);
    // A closed dialog is created again by the next use.
    pf.infoOpen = false;
    ShowInfoDialog();
    EXPECT_EQ(pf.infoCreations, 2);
    EXPECT_EQ(pf.infoText, "");
}

TEST_F(DiagTest, InfoExpansionNeverOutgrowsItsBuffer) {
    // 2047 line feeds would need 4094 bytes once expanded; the text is cut.
    const std::string breaks(2100, '\n');
    InfoPrintf("%s", breaks.c_str());
    EXPECT_LE(pf.infoText.size(), kFormatBufferSize - 1);
    EXPECT_EQ(pf.infoText.size() % 2, 0u);  // never half a line break
    EXPECT_EQ(pf.infoText.substr(0, 4), "\r\n\r\n");
}

TEST_F(DiagTest, TimeStartsAtZeroAndFrameDeltasFollowTheCounter) {
    pf.frequency = 1000;
    pf.counter = 5000;
    EXPECT_EQ(GetFrameDelta(), 0.0);  // the first
    EXPECT_EQ(GetTime(), 0.0);
    pf.counter = 5016;
    EXPECT_DOUBLE_EQ(GetFrameDelta(), 0.016);
    pf.counter = 5050;
    EXPECT_DOUBLE_EQ(GetFrameDelta(), 0.034);
    pf.counter = 7500;
    EXPECT_DOUBLE_EQ(GetTime(), 2.5);
}

TEST_F(DiagTest, TimeFallsBackToTicksAcrossTheirWrap) {
    pf.frequency = 0;
    pf.ticks = 0xFFFFFF00u;
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetTime(), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING: Init hi-res timer failed: not supported?\n");
    pf.ticks = 0x00000100u;  // 512 ms later, after the 32-bit wrap
    EXPECT_DOUBLE_EQ(GetTime(), 0.512);
}

TEST(StatCounterTest, CountersReportTheirValuesAndWrapIn32Bits) {
    ResetStatCounters();
    gTotalTris.value = 12;
    gNeighbourTriTex.value = -3;
    const std::string report = StatReport();
    // (The order is a load's report, checked whole after a load.)
    EXPECT_NE(report.find("\ngNeighbourTriTex: -3\n"), std::string::npos) << report;
    gRawRGBTexMem.Add(0x7FFFFFFF);
    gRawRGBTexMem.Add(2);
    EXPECT_EQ(gRawRGBTexMem.value, static_cast<std::int32_t>(0x80000001u));
    gRawRGBTexMem.Add(-1);
    EXPECT_EQ(gRawRGBTexMem.value, static_cast<std::int32_t>(0x80000000u));
    ResetStatCounters();
    EXPECT_EQ(gTotalTris.value, 0);
}

TEST(StatCounterTest, ACounterDefinedLaterIsReportedLast) {
    // Each test runs in its own process, so the extra counter stays here.
    static StatCounter extra("gExtraCounter");
    extra.value = 7;
    const std::string report = StatReport();
    EXPECT_EQ(report.substr(report.rfind('\n')), "\ngExtraCounter: 7");
}

}  // namespace
