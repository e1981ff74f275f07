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
    setCriticalTempHigh(80); // as the amplifier tables set it
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

// Each request as the board sees it: whole RF synthesizer programmings and
// RF DAC programmings on the SPI bus, the audio-PLL relock and the AES/EBU
// reset bits in the control frames, in order.
TEST_F(AlarmConditionsTest, EachRequestRunsItsSequenceOnceInOrder)
{
    // One programming of the RF DAC, as many SPI transfers as it takes.
    uint64_t head = spiHead();
    UpdateQM();
    const size_t qmWords = spiWrites(QM_CS, head).size();
    ASSERT_GT(qmWords, 0u);
    auto qmUpdates = [&](uint64_t after) {
        size_t n = spiWrites(QM_CS, after).size();
        EXPECT_EQ(n % qmWords, 0u);
        return n / qmWords;
    };
    auto relocks = [&](const std::vector<SimFrameRecord>& f) {
        size_t n = 0;
        for (size_t i = 0; i < f.size();) {
            size_t end = relockEnd(f, i);
            if (!end)
                return size_t(1000); // frames that are no relock
            i = end;
            n++;
        }
        return n;
    };
    struct Case {
        ReprogramRequest req;
        size_t synth, qm, relock;
        int64_t sleptUs;
    };
    const Case cases[] = {
        // A relock takes the 5 ms sync pulse and the 100 ms reset pulse.
        {REQ_RF_SYNTH, 1, 0, 0, 500000}, {REQ_OUT_FIFO, 1, 1, 1, 605000}, {REQ_100MHZ, 1, 0, 0, 500000},
        {REQ_SPARE, 0, 0, 0, 0},         {REQ_AUDIO_PLL, 0, 0, 1, 105000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "request " << int(c.req));
        head = spiHead();
        uint32_t frames = frameCount();
        raiseReprogramRequest(c.req);
        int64_t t0 = nowUs();
        EXPECT_EQ(ServiceReprogramRequests(), 0);
        int64_t slept = nowUs() - t0;
        EXPECT_EQ(synthInits(head), c.synth);
        EXPECT_EQ(qmUpdates(head), c.qm);
        std::vector<SimFrameRecord> f = framesAfter(frames);
        EXPECT_EQ(relocks(f), c.relock);
        if (c.synth && c.qm) {
            // The RF DAC follows the synthesizer once it settled; the relock
            // follows the RF DAC.
            auto synth = spiWrites(kRfSynthCs, head), qm = spiWrites(QM_CS, head);
            EXPECT_LT(synth.back().seq, qm.front().seq);
            EXPECT_GE(qm.front().timeNs - synth.back().timeNs, 500000000);
            ASSERT_FALSE(f.empty());
            EXPECT_LE(qm.back().timeNs, f.front().timeNs);
        }
        EXPECT_GE(slept, c.sleptUs);
        EXPECT_LT(slept, c.sleptUs + 3000);
        EXPECT_EQ(isReprogramRequested(c.req), 0);
        head = spiHead();
        frames = frameCount();
        ServiceReprogramRequests();
        EXPECT_EQ(spiHead(), head) << "served once";
        EXPECT_EQ(frameCount(), frames) << "served once";
    }
    EXPECT_EQ(count(book(), "INFO: Lock Pll Audio OK\n"), 2u);

    // AES/EBU: a pulse of reset A (word 19 bit 17), the output switched to
    // the receiver (the matrix's DIG/AUX select 1), a pulse of reset B (word
    // 17 bit 6), the output switched back; four frames, unmuted with the
    // modulation off, 5, 10 and 10 ms apart, the output matrix applied after
    // each switch.
    {
        SCOPED_TRACE("AES/EBU");
        uint32_t frames = frameCount();
        uint64_t i2c = i2cHead();
        raiseReprogramRequest(REQ_AES_EBU);
        testing::internal::CaptureStdout();
        int64_t t0 = nowUs();
        EXPECT_EQ(ServiceReprogramRequests(), 0);
        int64_t slept = nowUs() - t0;
        std::string out = testing::internal::GetCapturedStdout();
        std::vector<SimFrameRecord> f = framesAfter(frames);
        ASSERT_EQ(f.size(), 4u);
        const uint32_t a[] = {1, 0, 0, 0}, b[] = {0, 0, 1, 0};
        for (size_t i = 0; i < 4; i++) {
            EXPECT_EQ(frameBit(f[i], 19, 17), a[i]) << "frame " << i;
            EXPECT_EQ(frameBit(f[i], 17, 6), b[i]) << "frame " << i;
            EXPECT_FALSE(muted(f[i])) << "frame " << i;
        }
        EXPECT_GE(f[1].timeNs - f[0].timeNs, 5000000);
        EXPECT_GE(f[2].timeNs - f[1].timeNs, 10000000);
        EXPECT_GE(f[3].timeNs - f[2].timeNs, 10000000);
        EXPECT_EQ(count(out, "[mtx_cfg="), 2u);
        EXPECT_NE(out.find("DIG/AUX=1 [mtx_cfg=0x4]\n"), std::string::npos) << out;
        EXPECT_GT(out.find("DIG/AUX=0 [mtx_cfg=0x0]\n"), out.find("DIG/AUX=1")) << out;
        EXPECT_EQ(getMatrixDigAux(), 0u);
        // The output-matrix expander took code 4 between the second and the
        // third frame, and 0 after the fourth.
        std::vector<SimLogRecord> m = i2cWrites(0x27, i2c);
        ASSERT_EQ(m.size(), 2u);
        EXPECT_EQ(m[0].data[1] & 7, 4);
        EXPECT_EQ(m[1].data[1] & 7, 0);
        EXPECT_GT(m[0].timeNs, f[1].timeNs);
        EXPECT_LT(m[0].timeNs, f[2].timeNs);
        EXPECT_GT(m[1].timeNs, f[3].timeNs);
        EXPECT_GE(slept, 35000);
        EXPECT_LT(slept, 36000);
        EXPECT_EQ(isReprogramRequested(REQ_AES_EBU), 0);
        frames = frameCount();
        ServiceReprogramRequests();
        EXPECT_EQ(frameCount(), frames) << "served once";
    }

    // All at once: synthesizer, OUT_FIFO, 100 MHz, audio PLL, AES/EBU.
    head = spiHead();
    uint32_t frames = frameCount();
    for (int r = REQ_AES_EBU; r >= 0; r--)
        raiseReprogramRequest(static_cast<ReprogramRequest>(r));
    ServiceReprogramRequests();
    EXPECT_EQ(synthInits(head), 3u);
    EXPECT_EQ(qmUpdates(head), 1u);
    auto synth = spiWrites(kRfSynthCs, head), qm = spiWrites(QM_CS, head);
    std::vector<SimFrameRecord> f = framesAfter(frames);
    // Two synthesizer programmings, the RF DAC, a relock, the third
    // programming (100 MHz), the second relock, then the AES/EBU frames.
    ASSERT_EQ(synth.size(), 3 * kRfSynthWords);
    EXPECT_LT(synth[2 * kRfSynthWords - 1].seq, qm.front().seq);
    EXPECT_GT(synth[2 * kRfSynthWords].seq, qm.back().seq);
    size_t first = relockEnd(f, 0);
    ASSERT_NE(first, 0u);
    size_t second = relockEnd(f, first);
    ASSERT_NE(second, 0u);
    EXPECT_LE(qm.back().timeNs, f.front().timeNs);
    EXPECT_LE(f[first - 1].timeNs, synth[2 * kRfSynthWords].timeNs);
    EXPECT_GE(f[first].timeNs, synth.back().timeNs);
    ASSERT_EQ(f.size(), second + 4);
    EXPECT_EQ(frameBit(f[second], 19, 17), 1u);
    EXPECT_EQ(parityErrors(), 0u);
}

} // namespace
