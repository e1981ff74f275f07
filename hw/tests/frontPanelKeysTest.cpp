// Front-panel key scan on the simulated key matrix, keys held from another
// process through simctl.
#include "hw/frontPanelKeys.h"

#include "core/base/timeBase.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "sim/simFpga.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

namespace {

class FrontPanelKeys : public SandboxTest {
protected:
    FrontPanelKeys() : SandboxTest(SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        ASSERT_EQ(initAxi(), 0);
        timeThread();
    }

    void hold(const char* codes)
    {
        int status = -1;
        runInSandbox(root, std::string(CORVANE_TOOLS_DIR "/simctl fpga keys ") + codes, &status);
        ASSERT_EQ(status, 0);
    }

    void advanceMs(int ms)
    {
        clockAdvanceUs(ms * 1000LL);
        timeThread();
    }
};

TEST_F(FrontPanelKeys, HeldKeyRepeatsEvery270Ms)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(detectKeyPress(), 0);
    hold("0x0402");
    EXPECT_EQ(detectKeyPress(), KEY_DOWN);
    advanceMs(200);
    EXPECT_EQ(detectKeyPress(), 0);
    advanceMs(70);
    EXPECT_EQ(detectKeyPress(), KEY_DOWN);
    hold("0x0101"); // column 1 row 1 is no key
    EXPECT_EQ(detectKeyPress(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "detectKeyPress : DOWN key pressed \ndetectKeyPress : DOWN key pressed \n");
}

TEST_F(FrontPanelKeys, EarlierColumnWinsAndTwoRowsCountAsNone)
{
    testing::internal::CaptureStdout();
    hold("0x0201,0x0104"); // LEFT (column 1) and ON (column 4)
    EXPECT_EQ(detectKeyPress(), KEY_LEFT);
    hold("0x0102,0x0202,0x0104"); // UP and ENTER read as row 3 in column 2
    EXPECT_EQ(detectKeyPress(), KEY_ON);
    hold("0x0402,0x0104"); // DOWN lets the scan go on to ON, still in its repeat gap
    EXPECT_EQ(detectKeyPress(), KEY_DOWN);
    advanceMs(300);
    EXPECT_EQ(detectKeyPress(), KEY_ON);
    testing::internal::GetCapturedStdout();
}

TEST_F(FrontPanelKeys, DownAndRightHeldGiveLockoutOnce)
{
    testing::internal::CaptureStdout();
    hold("0x0402,0x0204");
    EXPECT_EQ(detectKeyPress(), 0);
    for (int ms = 0; ms < 1900; ms += 100) {
        advanceMs(100);
        EXPECT_EQ(detectKeyPress(), 0) << ms;
    }
    advanceMs(200); // more than one whole second since the first scan
    EXPECT_EQ(detectKeyPress(), KEY_LOCKOUT);
    EXPECT_EQ(detectKeyPress(), 0); // the timer starts again
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("detectKeyPress : LOCKOUT key pressed \n"), std::string::npos);
}

} // namespace
