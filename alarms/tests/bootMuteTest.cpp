// The boot mute through the main loop: the muted frame on the first pass,
// the unmuted frame on the first pass after "Remove GLOBAL MUTE", event bit
// 44 in DbPool meanwhile, and no further frame over many passes.
#include "core/base/rfMute.h"
#include "core/mainLoop.h"
#include "alarmFixture.h"

namespace {

class BootMuteTest : public AlarmTest {
protected:
    void SetUp() override
    {
        AlarmTest::SetUp();
        mainLoopResetForTest();
        timeThread();
        mainLoopBegin(&loop, 0);
    }
    // One pass and the 1 ms sleep; the time base follows every 10 ms.
    void pass()
    {
        if (passes++ % 10 == 0)
            timeThread();
        mainLoopPass(&loop);
        clockSleepUs(1000);
    }
    MainLoopState loop;
    int passes = 0;
};

TEST_F(BootMuteTest, OneMutedFrameWhileTheBootMuteHoldsAndOneUnmutedFrameAfter)
{
    globalMute = 1;
    pass();
    EXPECT_EQ(countCalls("Fpga_SendConfig"), 1u);
    EXPECT_EQ(eventCell(44), 1);
    EXPECT_EQ(rfMuteState.load(), 1);
    while (globalMute.load() && passes < 10000) {
        pass();
        EXPECT_EQ(eventCell(44), globalMute.load()) << "pass " << passes;
    }
    ASSERT_EQ(globalMute.load(), 0);
    EXPECT_NE(book().find("INFO: Remove GLOBAL MUTE\n"), std::string::npos);
    // The release happens inside the pass, before its SetAlarms.
    EXPECT_EQ(countCalls("Fpga_SendConfigOff"), 1u);
    EXPECT_EQ(eventCell(44), 0);
    EXPECT_EQ(rfMuteState.load(), 0);
    for (int i = 0; i < 20000; i++)
        pass();
    EXPECT_EQ(countCalls("Fpga_SendConfig"), 1u);
    EXPECT_EQ(countCalls("Fpga_SendConfigOff"), 1u);
    EXPECT_EQ(eventCell(44), 0);
}

} // namespace
