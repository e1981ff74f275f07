// Automatic reference choice and input-delay measurement, tick by tick on the
// virtual clock against the system image.
#include "timing/autoReference.h"

#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "comtab/dbPool.h"
#include "platform/clock.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class AutoReference : public SandboxTest {
protected:
    AutoReference() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        autoReferenceResetForTest();
    }
};

// Ticks with the absence flags as given, then the active references expected.
struct Step {
    int ticks;
    uint32_t no10MHz, noPps, noSine;
    uint32_t freqSrc, timeSrc;
};

struct Case {
    const char* name;
    uint32_t freqRef, timeRef, freqSrc, timeSrc;
    std::vector<Step> steps;
};

TEST_F(AutoReference, TickSequences)
{
    const std::vector<Case> cases = {
        {"both external present: ticks 1-11 change nothing, the 12th switches to 1",
         8, 8, 0, 0, {{11, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 1, 1}}},
        {"the active time reference already 1 stops the branch",
         8, 8, 5, 1, {{20, 0, 0, 0, 5, 1}}},
        {"the active frequency reference already 1 stops the branch",
         8, 8, 1, 0, {{20, 0, 0, 0, 1, 0}}},
        {"19 kHz sine present with an external one missing switches to 3 on the 12th tick",
         8, 8, 0, 0, {{11, 1, 0, 0, 0, 0}, {1, 0, 1, 0, 3, 3}}},
        {"the active reference already 3 stops the sine branch",
         8, 8, 3, 0, {{20, 1, 1, 0, 3, 0}}},
        {"1PPS and sine missing: nothing changes and no counter moves",
         8, 8, 0, 0, {{11, 0, 0, 0, 0, 0}, {30, 0, 1, 1, 0, 0}, {1, 0, 0, 0, 1, 1}}},
        {"alternating presence with the sine present never switches",
         8, 8, 0, 0,
         {{5, 0, 0, 0, 0, 0}, {5, 1, 0, 0, 0, 0}, {5, 0, 0, 0, 0, 0}, {5, 0, 1, 0, 0, 0},
          {11, 0, 0, 0, 0, 0}, {11, 1, 1, 0, 0, 0}, {11, 0, 0, 0, 0, 0}}},
        {"freq_ref 2 with time_ref Auto: frequency follows at once, time keeps its value",
         2, 8, 0, 3, {{1, 0, 0, 0, 2, 3}}},
        {"time_ref 1 with freq_ref Auto: time follows, frequency keeps its value",
         8, 1, 5, 0, {{1, 1, 1, 1, 5, 1}}},
        {"no Auto: both configured references are copied",
         4, 2, 0, 0, {{1, 0, 0, 0, 4, 2}}},
    };
    for (const Case& c : cases) {
        autoReferenceResetForTest();
        setFreqRef(c.freqRef);
        setTimeRef(c.timeRef);
        setFreqRefSource(c.freqSrc);
        setTimeRefSource(c.timeSrc);
        int tick = 0;
        for (const Step& s : c.steps) {
            setNoExt10MHz(s.no10MHz);
            setNoExtPps(s.noPps);
            setNoExt19kHzSinus(s.noSine);
            for (int i = 0; i < s.ticks; i++, tick++) {
                selectAutoReferences();
                clockAdvanceUs(250000);
            }
            EXPECT_EQ(getFreqRefSource(), s.freqSrc) << c.name << ", after tick " << tick;
            EXPECT_EQ(getTimeRefSource(), s.timeSrc) << c.name << ", after tick " << tick;
        }
    }
    // The active references reach their cells.
    EXPECT_EQ(readDbAreaCell(55, 5), 4u);
    EXPECT_EQ(readDbAreaCell(55, 4), 2u);
}

TEST_F(AutoReference, CounterKeptWhileNotAutoSwitchesOnReturn)
{
    setFreqRef(8);
    setTimeRef(8);
    for (int i = 0; i < 12; i++)
        selectAutoReferences();
    ASSERT_EQ(getFreqRefSource(), 1u);
    // Leaving Auto copies the settings; the counter still stands at 12.
    setFreqRef(0);
    setTimeRef(0);
    selectAutoReferences();
    ASSERT_EQ(getFreqRefSource(), 0u);
    setFreqRef(8);
    setTimeRef(8);
    selectAutoReferences();
    EXPECT_EQ(getFreqRefSource(), 1u);
    EXPECT_EQ(getTimeRefSource(), 1u);
}

// The FPGA's side of a measurement as the status block reports it.
struct Fpga {
    uint32_t busy, ok, count;
};

class InputDelayMeasurement : public AutoReference {
protected:
    // One tick with the FPGA flags given, 250 ms later than the previous.
    void tick(Fpga f)
    {
        setDelMeasBusy(static_cast<uint8_t>(f.busy));
        setDelMeasOk(static_cast<uint8_t>(f.ok));
        setDelMeasValue(f.count);
        measureInputDelay();
        clockAdvanceUs(250000);
    }
    void request()
    {
        setInputDelayMeasReq(1);
    }
};

TEST_F(InputDelayMeasurement, CountOf16384GivesInputDelay10000)
{
    setInputDelay(1);
    request();
    tick({0, 0, 0});
    EXPECT_EQ(getDelMeasStart(), 1);
    EXPECT_EQ(getInputDelayMeasReq(), 0u);
    EXPECT_EQ(readDbAreaCell(55, 11), 0u);
    tick({1, 0, 0});
    EXPECT_EQ(readDbAreaCell(55, 11), 1u);
    EXPECT_EQ(getDelMeasStart(), 1); // cleared on the next tick
    tick({1, 0, 0});
    EXPECT_EQ(getDelMeasStart(), 0);
    tick({0, 1, 16384});
    EXPECT_EQ(readDbAreaCell(55, 11), 2u);
    EXPECT_EQ(getInputDelay(), 10000u);
    EXPECT_EQ(readDbAreaCell(55, 6), 10000u);
    // The published state stays until the next start publishes 0.
    tick({0, 1, 16384});
    EXPECT_EQ(readDbAreaCell(55, 11), 2u);
    request();
    tick({0, 0, 0});
    EXPECT_EQ(readDbAreaCell(55, 11), 0u);
}

TEST_F(InputDelayMeasurement, RoundingOfTheCount)
{
    const struct {
        uint32_t count, delay;
    } rows[] = {{0, 0}, {1, 1}, {16383, 9999}, {0xFFFFFF, 10239999}, {8191, 4999}, {8193, 5001}};
    for (const auto& r : rows) {
        autoReferenceResetForTest();
        setInputDelayMeasReq(0);
        request();
        tick({0, 0, 0});
        tick({1, 0, 0});
        tick({0, 1, r.count});
        EXPECT_EQ(getInputDelay(), r.delay) << r.count;
    }
}

TEST_F(InputDelayMeasurement, DoneWithoutSuccessFails)
{
    request();
    tick({0, 0, 0});
    tick({1, 0, 0});
    tick({0, 0, 77});
    EXPECT_EQ(readDbAreaCell(55, 11), 3u);
    EXPECT_EQ(getInputDelay(), 0u);
}

TEST_F(InputDelayMeasurement, NoBusyReportForMoreThanThreeWholeSecondsFails)
{
    request();
    tick({0, 0, 0});
    // Seconds fields 3 apart: still waiting.
    clockAdvanceUs(3000000 - 250000 - 100);
    tick({0, 0, 0});
    EXPECT_EQ(readDbAreaCell(55, 11), 0u);
    EXPECT_EQ(getDelMeasStart(), 1);
    clockAdvanceUs(1000000);
    tick({0, 0, 0});
    EXPECT_EQ(readDbAreaCell(55, 11), 3u);
    EXPECT_EQ(getDelMeasStart(), 0);
}

TEST_F(InputDelayMeasurement, RequestDuringAMeasurementIsDroppedAndANewOneStarts)
{
    request();
    tick({0, 0, 0});
    tick({1, 0, 0});
    request(); // not served while measuring: the measuring step clears it
    tick({1, 0, 0});
    EXPECT_EQ(getInputDelayMeasReq(), 0u);
    EXPECT_EQ(getDelMeasStart(), 0);
    tick({0, 1, 1638});
    EXPECT_EQ(getInputDelay(), 1000u);
    EXPECT_EQ(getDelMeasStart(), 0);
    request();
    tick({0, 0, 0});
    EXPECT_EQ(getDelMeasStart(), 1);
    EXPECT_EQ(readDbAreaCell(55, 11), 0u);
}

} // namespace
