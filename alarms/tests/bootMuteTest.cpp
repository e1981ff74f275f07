// The boot mute through the main loop: the muted frame on the first pass,
// the unmuted frame on the first pass after "Remove GLOBAL MUTE", event bit
// 44 in DbPool meanwhile, and no further frame over many passes.
#include "core/base/rfMute.h"
#include "core/mainLoop.h"
#include "alarmFixture.h"

#include <cstring>

namespace {

// Frames the simulated FPGA received while SetAlarms ran (between its trace
// step and the next one), as their mute bits: the loop's own periodic frame
// is told apart from them.
struct SetAlarmsFrames {
    bool inside = false;
    uint32_t mark = 0;
    std::vector<bool> muted;
};
SetAlarmsFrames& setAlarmsFrames()
{
    static SetAlarmsFrames s;
    return s;
}

class BootMuteTest : public AlarmTest {
protected:
    void SetUp() override
    {
        AlarmTest::SetUp();
        setAlarmsFrames() = SetAlarmsFrames{};
        mainLoopTrace = [](const char* step) {
            SetAlarmsFrames& s = setAlarmsFrames();
            if (s.inside)
                for (const SimFrameRecord& f : framesAfter(s.mark))
                    s.muted.push_back(muted(f));
            s.inside = strcmp(step, "SetAlarms") == 0;
            s.mark = frameCount();
        };
        mainLoopResetForTest();
        timeThread();
        mainLoopBegin(&loop, 0);
    }
    void TearDown() override
    {
        mainLoopTrace = nullptr;
        AlarmTest::TearDown();
    }
    // One pass and the 1 ms sleep; the time base follows every 10 ms.
    // Returns the frames of the pass.
    std::vector<SimFrameRecord> pass()
    {
        uint32_t before = frameCount();
        if (passes++ % 10 == 0)
            timeThread();
        mainLoopPass(&loop);
        clockSleepUs(1000);
        return framesAfter(before);
    }
    MainLoopState loop;
    int passes = 0;
};

TEST_F(BootMuteTest, OneMutedFrameWhileTheBootMuteHoldsAndOneUnmutedFrameAfter)
{
    globalMute = 1;
    pass();
    EXPECT_EQ(setAlarmsFrames().muted, std::vector<bool>{true});
    EXPECT_EQ(eventCell(44), 1);
    EXPECT_EQ(rfMuteState.load(), 1);
    // Every frame of the loop goes out muted meanwhile (the pass that
    // releases the mute sends its periodic frame before SetAlarms unmutes).
    while (globalMute.load() && passes < 10000) {
        for (const SimFrameRecord& f : pass())
            EXPECT_TRUE(muted(f) || !globalMute.load()) << "pass " << passes;
        EXPECT_EQ(eventCell(44), globalMute.load()) << "pass " << passes;
    }
    ASSERT_EQ(globalMute.load(), 0);
    EXPECT_NE(book().find("INFO: Remove GLOBAL MUTE\n"), std::string::npos);
    // The release happens inside the pass, before its SetAlarms.
    EXPECT_EQ(setAlarmsFrames().muted, (std::vector<bool>{true, false}));
    EXPECT_EQ(eventCell(44), 0);
    EXPECT_EQ(rfMuteState.load(), 0);
    size_t periodic = 0;
    for (int i = 0; i < 20000; i++)
        for (const SimFrameRecord& f : pass()) {
            EXPECT_FALSE(muted(f)) << "pass " << passes;
            periodic++;
        }
    EXPECT_GE(periodic, 39u) << "the loop's frame every 0.5 s";
    EXPECT_EQ(setAlarmsFrames().muted, (std::vector<bool>{true, false}));
    EXPECT_EQ(eventCell(44), 0);
    EXPECT_EQ(parityErrors(), 0u);
}

} // namespace
