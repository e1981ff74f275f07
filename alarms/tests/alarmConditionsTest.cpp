// Raw conditions from the measures (temperature hysteresis, auxiliary
// voltages, supply window) and the call sequences of the reprogramming
// requests.
#include "alarms/alarmConditions.h"
#include "alarms/alarmKeys.h"
#include "alarmFixture.h"

namespace {

class AlarmConditionsTest : public AlarmTest {
protected:
    static void temperature(int32_t t) { setPowerTableWord(7, static_cast<uint32_t>(t)); }
    static int64_t nowUs()
    {
        struct timespec ts;
        clockPeekTime(CLOCK_MONOTONIC_RAW, &ts);
        return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
    }
};

TEST_F(AlarmConditionsTest, TemperatureHysteresisOfAlarmWarningAndLowTemperature)
{
    struct Row {
        int32_t t;
        uint32_t warningAt; // W (A stays 80)
        uint8_t alarm, warning, low;
    };
    const Row rows[] = {
        {60, 70, 0, 0, 0}, {70, 70, 0, 1, 0}, // W sets the warning
        {66, 70, 0, 1, 0}, {65, 70, 0, 0, 0}, // W - 4 keeps it, W - 5 clears it
        {72, 70, 0, 1, 0}, {80, 70, 1, 1, 0}, // A sets the alarm
        {79, 70, 1, 1, 0},                    // A - 1 keeps it
        {79, 90, 1, 1, 0},                    // the warning is frozen while the alarm holds
        {75, 90, 0, 0, 0},                    // A - 5 clears the alarm, then the warning follows
        {14, 90, 0, 0, 1}, {0, 70, 0, 0, 1},  // below 15: low; a reading of 0 freezes all three
        {15, 70, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "T " << r.t << " W " << r.warningAt);
        setCriticalTempLow(r.warningAt);
        temperature(r.t);
        ComputeAlarmConditions();
        EXPECT_EQ(getAlarmInput(123), r.alarm);
        EXPECT_EQ(getAlarmInput(124), r.warning);
        EXPECT_EQ(getAlarmInput(125), r.low);
    }
    // The thresholds are taken as their low bytes: 336 is 80.
    setCriticalTempHigh(336);
    temperature(81);
    ComputeAlarmConditions();
    EXPECT_EQ(getAlarmInput(123), 1);
}

TEST_F(AlarmConditionsTest, AuxiliaryVoltagesOnlyWithDriverLevel60)
{
    setHpaMeasureWord(16, 4499);
    setHpaMeasureWord(17, 3000);
    setAlarmInput(152, 1);
    setAlarmInput(153, 0);
    setHpaDriverLevel(59);
    ComputeAlarmConditions();
    EXPECT_EQ(getAlarmInput(152), 1);
    EXPECT_EQ(getAlarmInput(153), 0);
    setHpaDriverLevel(60);
    ComputeAlarmConditions();
    EXPECT_EQ(getAlarmInput(152), 0);
    EXPECT_EQ(getAlarmInput(153), 1);
}

TEST_F(AlarmConditionsTest, SupplyWindowNeedsFiftyConsecutiveScansOutside)
{
    setPsuCount(1);
    setPsuPresent(0, 1);
    setPsuVoutSetpoint(0, 50000);
    auto scans = [](int n, uint32_t vout) {
        setPsuVoutMeasured(0, vout);
        for (int i = 0; i < n; i++)
            ComputeAlarmConditions();
    };
    scans(49, 44999); // 5001 mV low
    scans(1, 45000);  // back in the window on the 50th
    EXPECT_EQ(getAlarmInput(145), 0);
    scans(49, 44999);
    EXPECT_EQ(getAlarmInput(145), 0);
    scans(1, 44999);
    EXPECT_EQ(getAlarmInput(145), 1);
    scans(500, 44999); // held at 50: stays raised
    EXPECT_EQ(getAlarmInput(145), 1);
    scans(1, 50000);
    EXPECT_EQ(getAlarmInput(145), 0);

    // High side, from the HPA measure word when the supplies are not managed
    // here; presence is not needed.
    setPsuPresent(0, 0);
    setHPSMngMode(1);
    setHpaMeasureWord(15, 55001);
    scans(50, 0);
    EXPECT_EQ(getAlarmInput(146), 1);
    EXPECT_EQ(getAlarmInput(145), 0) << "an absent supply never raises the low condition";
    setHpaMeasureWord(15, 55000);
    scans(1, 0);
    EXPECT_EQ(getAlarmInput(146), 0);

    // A supply count past the counters' seven entries is not followed.
    setPsuCount(1000);
    scans(3, 0);
}

TEST_F(AlarmConditionsTest, EachRequestRunsItsSequenceOnceInOrder)
{
    const std::vector<std::string> relock = {"Fpga_PulseAudioPllReset", "Fpga_WaitAudioPllLock(1)"};
    const std::vector<std::string> frame = {"Fpga_PrepareConfig(0,1,0,0)", "Fpga_Transfer(2)"};
    auto cat = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> v;
        for (const auto& p : parts)
            v.insert(v.end(), p.begin(), p.end());
        return v;
    };
    struct Case {
        ReprogramRequest req;
        std::vector<std::string> calls;
        int64_t sleptUs;
    };
    const Case cases[] = {
        {REQ_RF_SYNTH, {"initRfSynth"}, 500000},
        {REQ_OUT_FIFO, cat({{"initRfSynth", "UpdateQM"}, relock}), 500000},
        {REQ_100MHZ, {"initRfSynth"}, 500000},
        {REQ_SPARE, {}, 0},
        {REQ_AUDIO_PLL, relock, 0},
        {REQ_AES_EBU,
         cat({{"setAesRxResetA(1)"}, frame, {"setAesRxResetA(0)"}, frame,
              {"setAesEbuOutputSel(1)", "applyOutputMatrix", "setAesRxResetB(1)"}, frame,
              {"setAesRxResetB(0)", "setAesEbuOutputSel(0)"}, frame, {"applyOutputMatrix"}}),
         35000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "request " << int(c.req));
        standInCalls().clear();
        raiseReprogramRequest(c.req);
        int64_t t0 = nowUs();
        EXPECT_EQ(ServiceReprogramRequests(), 0);
        int64_t slept = nowUs() - t0;
        EXPECT_EQ(standInCalls(), c.calls);
        EXPECT_GE(slept, c.sleptUs);
        EXPECT_LT(slept, c.sleptUs + 1000);
        EXPECT_EQ(isReprogramRequested(c.req), 0);
        standInCalls().clear();
        ServiceReprogramRequests();
        EXPECT_TRUE(standInCalls().empty()) << "served once";
    }
    EXPECT_EQ(count(book(), "INFO: Lock Pll Audio OK\n"), 2u);

    // All at once: synthesizer, OUT_FIFO, 100 MHz, audio PLL, AES/EBU.
    standInCalls().clear();
    for (int r = REQ_AES_EBU; r >= 0; r--)
        raiseReprogramRequest(static_cast<ReprogramRequest>(r));
    ServiceReprogramRequests();
    ASSERT_GE(standInCalls().size(), 9u);
    EXPECT_EQ(std::vector<std::string>(standInCalls().begin(), standInCalls().begin() + 9),
              cat({{"initRfSynth", "initRfSynth", "UpdateQM"}, relock, {"initRfSynth"}, relock,
                   {"setAesRxResetA(1)"}}));
}

} // namespace
