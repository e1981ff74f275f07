// The detector calibration and the hardware thresholds: the K1 and K2
// factors and the detector target from the RF EEPROM of the first-family
// board, the driver-power clamp, the thresholds seen as DAC frames on the
// SPI bus, the closed forms of the second and third families and the APC
// voltage by frequency.
#include "power/powerCalibration.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "hw/eepromDevices.h"
#include "core/base/timeBase.h"
#include "power/ampMeasuresOsk.h"
#include "power/hpaDetect.h"
#include "power/powerThresholds.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string profileText(const std::string& name)
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/" + name + ".profile");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Records of the SPI bus after a mark (the whole ring).
std::vector<SimLogRecord> spiRecords(uint64_t after)
{
    std::vector<SimLogRecord> r(kSimLogEntries);
    r.resize(simLogRead(SIM_BUS_SPI0, after, r.data(), r.size()));
    return r;
}

uint64_t spiMark()
{
    return simState()->buses[SIM_BUS_SPI0].logHead.load();
}

// The DAC frames (command byte -> last value) sent on chip select 3 since
// the mark.
std::map<int, int> dacFrames(uint64_t mark)
{
    std::map<int, int> out;
    for (const SimLogRecord& r : spiRecords(mark))
        if (r.op == SIM_OP_XFER && r.addr == 3 && r.dataLen == 3)
            out[r.data[0]] = r.data[1] << 8 | r.data[2];
    return out;
}


// Logical DACs 1 and 2 of model 0 are channels 0 and 1 (commands 0x10,
// 0x12); of models 3 and 4 the same; of model 5 channels 3 and 2.
constexpr int kCh0 = 0x10, kCh1 = 0x12, kCh2 = 0x14, kCh3 = 0x16;

void putWord(uint32_t addr, uint16_t w)
{
    uint8_t b[2] = {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
    ASSERT_EQ(M24LC512_WriteBytes(b, addr, 2, 0x52), 0);
}

uint32_t eepromField(uint32_t addr, uint32_t n)
{
    uint8_t b[4] = {};
    EXPECT_EQ(M24LC512_ReadBytes(b, addr, n, 0x52), 0);
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; i++)
        v = v << 8 | b[i];
    return v;
}

// The first-family board without IF board: nominal 41.0 dBm (class 0), its
// RF EEPROM written by the plant (forward table from 21 dBm, reflected from
// 6 dBm, 25 points each; K2 words 10000 from 87.5 MHz in 500 kHz steps).
class OskCalibration : public SandboxTest {
protected:
    OskCalibration() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-osk")) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        detectHpaSystem();
        initHpa();
        ASSERT_EQ(getHpaDetected(), 1);
        ASSERT_EQ(getHpaPowerClass(), 0u);
        setDriverPowerQuiet(300);
        setOutputRFfrequency(98000000, 0);
    }
};

TEST_F(OskCalibration, TargetAndThresholdsFromTheEeprom)
{
    // The K1 word of 30.0 dBm: 10000 x 10^((300 - 410) / 200), rounded.
    uint32_t k1Base = eepromField(156, 3);
    EXPECT_EQ(eepromField(k1Base + 2 * 90, 2), 2818u);
    setEventBit(1, 54);
    uint64_t mark = spiMark();
    calcDetectorCalibration(1);
    EXPECT_EQ(getEventBit(54), 0);
    EXPECT_FLOAT_EQ(getK1Factor(), 0.2818f);
    EXPECT_FLOAT_EQ(getK2Factor(), 1.0f);
    EXPECT_EQ(getVdetTarget(), 704); // 2500 x 0.2818 = 704.5
    // The scaled tables (K2 = 1) are the detector tables.
    std::vector<float> fwd, ref;
    copyScaledDetectorTables(&fwd, &ref);
    ASSERT_EQ(fwd.size(), 25u);
    ASSERT_EQ(ref.size(), 25u);
    EXPECT_FLOAT_EQ(fwd[10], hpaVdetFwd(10));

    // Over-power: the detector at 31 dBm (table entry 10: 2500 x 0.3162)
    // x 16. Reflected: class 0 keeps 8.0 dB below the set power, 22 dBm
    // (entry 16 of the reflected table: 2500 x 0.6310) x 16.
    std::map<int, int> f = dacFrames(mark);
    EXPECT_EQ(f[kCh0], 12648);
    EXPECT_EQ(f[kCh1], 25240);
    EXPECT_EQ(getReflectedAlarmThresholdCopy(), 80);

    // Without the follow-up nothing is written.
    mark = spiMark();
    calcDetectorCalibration(0);
    EXPECT_TRUE(dacFrames(mark).empty());
}

TEST_F(OskCalibration, ThresholdsByPowerClassAndReflectedPowerClampedToTheTable)
{
    calcDetectorCalibration(0);
    struct Case {
        uint32_t powerClass;
        int16_t driverPower, refCalOffset;
        int over, ref; // -1: not written
    } cases[] = {
        {17, 300, 0, -1, -1},     // no thresholds at all
        {1, 300, 0, 12648, -1},   // no reflected detector
        {2, 300, 0, 12648, 20048}, // 10.0 dB: 20 dBm, 2500 x 0.5012
        {9, 460, 0, -1, 63396},   // 39 dBm: the table's last power, 30 dBm (2500 x 1.5849)
        {0, 300, -300, -1, 4000}, // -8 dBm: the first power, 6 dBm (2500 x 0.1)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("class " + std::to_string(c.powerClass));
        setHpaPowerClass(c.powerClass);
        setDriverPowerQuiet(static_cast<uint32_t>(c.driverPower));
        setRefPowerCalOffset(static_cast<uint32_t>(c.refCalOffset));
        uint64_t mark = spiMark();
        if (c.over != -1 || c.powerClass == 17)
            calcOverPowerThreshold_OSK();
        calcRefPowerThreshold_OSK();
        std::map<int, int> f = dacFrames(mark);
        EXPECT_EQ(f.count(kCh0) ? f[kCh0] : -1, c.over);
        EXPECT_EQ(f.count(kCh1) ? f[kCh1] : -1, c.ref);
    }
    EXPECT_EQ(reflectedThresholdOfClass(8), 80);
    EXPECT_EQ(reflectedThresholdOfClass(7), 100);
    EXPECT_EQ(reflectedThresholdOfClass(22), 70);
}

TEST_F(OskCalibration, DriverPowerClampedOnceIntoTheAmplifiersRange)
{
    // The "Dig" range of this amplifier: 21.0 + 2.0 to 21.0 + 25.0 dBm.
    int32_t low = 0, high = 0;
    getDriverPowerLimits(&low, &high);
    EXPECT_EQ(low, 230);
    EXPECT_EQ(high, 460);
    setDriverPowerQuiet(100);
    calcDetectorCalibration(0);
    EXPECT_EQ(getDriverPower(), 230);
    setDriverPowerQuiet(600);
    calcDetectorCalibration(0);
    EXPECT_EQ(getDriverPower(), 460);

    // Our part number with the "An" fields takes the "An" range.
    setHpaTypeWord(kHpaAnPartNumber);
    setHpaMinPowerAn(250);
    calcDetectorCalibration(0);
    EXPECT_EQ(getDriverPower(), 460);
    setDriverPowerQuiet(240);
    calcDetectorCalibration(0);
    EXPECT_EQ(getDriverPower(), 250);

    // A clamp through the setter, which calibrates again once the hardware
    // is ready: one clamp, one calibration.
    setHpaTypeWord(1);
    setHwReady(1);
    setDriverPowerQuiet(500);
    EXPECT_EQ(getDriverPower(), 460);
    EXPECT_EQ(count(book(), "DriverPower: 46.0 dB"), 1u);
    // Inverted limits from a bad EEPROM clamp nothing, with one line a
    // calibration.
    setHpaMinPowerDig(400);
    setHpaMaxPowerDig(300);
    setDriverPowerQuiet(350);
    calcDetectorCalibration(1);
    EXPECT_EQ(getDriverPower(), 350);
    EXPECT_EQ(count(book(), "Driver power limits inverted (400 > 300)"), 2u);
    setHwReady(0);
}

TEST_F(OskCalibration, K1IndexBelowTheTableAndChannelsOutsideTheK2TableReadItsEnds)
{
    // Offsets of -4.0 dB with 23.0 dBm: 2.0 dB below the table start; the
    // first K1 word (21 dBm: 1000) is taken.
    setDriverPowerOffset(static_cast<uint32_t>(-30));
    setPowerOffsetFine(static_cast<uint32_t>(-10));
    setDriverPowerQuiet(230);
    calcDetectorCalibration(0);
    EXPECT_FLOAT_EQ(getK1Factor(), 0.1f);
    EXPECT_EQ(getVdetTarget(), 250);
    setDriverPowerOffset(0);
    setPowerOffsetFine(0);
    setDriverPowerQuiet(300);

    // Distinct K2 words: entry 0 0.9, entry 1 0.95, the last (41) 1.05.
    uint32_t k2Base = eepromField(186, 3);
    putWord(k2Base, 9000);
    putWord(k2Base + 2, 9500);
    putWord(k2Base + 2 * 41, 10500);
    struct Case {
        uint32_t hz;
        float k2;
        uint16_t target;
    } cases[] = {
        {80000000, 0.9f, 634},   // below the start: entry 0
        {87500000, 0.9f, 634},
        {88000000, 0.95f, 669},  // one step of 500 kHz
        {200000000, 1.05f, 739}, // beyond the last entry: the last
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        setOutputRFfrequency(c.hz, 0);
        calcDetectorCalibration(0);
        EXPECT_FLOAT_EQ(getK2Factor(), c.k2);
        EXPECT_EQ(getVdetTarget(), c.target);
        std::vector<float> fwd, ref;
        copyScaledDetectorTables(&fwd, &ref);
        EXPECT_FLOAT_EQ(fwd[3], hpaVdetFwd(3) * c.k2);
    }
}

TEST_F(OskCalibration, Class17TargetHeldAt4095AndNothingWithoutAnAmplifier)
{
    setHpaPowerClass(17);
    setVdet0Fwd(60000);
    setDriverPowerQuiet(460); // K1 1.7783
    calcDetectorCalibration(0);
    EXPECT_EQ(getVdetTarget(), 4095);
    setHpaPowerClass(0);
    calcDetectorCalibration(0);
    EXPECT_EQ(getVdetTarget(), 65535) << "60000 x 1.7783 saturates";

    setHpaDetected(0);
    setVdetTarget(1);
    calcDetectorCalibration(1);
    EXPECT_EQ(getVdetTarget(), 1);
}

// The power settings recalibrate from the transmitter-logic thread while
// the main loop's measure reads the scaled tables.
TEST(OskCalibrationThreads, RecalibrationRacesTheMeasureSafely)
{
    setenv("CORVANE_BOARD_PROFILE", "hpa-osk", 1);
    std::string root = makeTestSandbox();
    unsetenv("CORVANE_BOARD_PROFILE");
    clockUseVirtual();
    detectHpaSystem();
    initHpa();
    setDriverPowerQuiet(300);
    setOutputRFfrequency(98000000, 0);
    calcDetectorCalibration(0);
    std::atomic<bool> done{false};
    std::thread settings([&] {
        for (int i = 0; i < 200; i++) {
            setOutputRFfrequency(i % 2 ? 98000000 : 88000000, 0);
            calcDetectorCalibration(0);
        }
        done = true;
    });
    int runs = 0;
    while (!done || runs < 10) {
        clockAdvanceUs(30000);
        timeThread();
        ForwardReflectedPowerMeasure(30000);
        runs++;
    }
    settings.join();
    std::vector<float> fwd, ref;
    copyScaledDetectorTables(&fwd, &ref);
    EXPECT_EQ(fwd.size(), 25u);
    EXPECT_FLOAT_EQ(fwd[10], hpaVdetFwd(10) * getK2Factor());
    clockUseReal();
    removeTestSandbox(root);
}

// The second and third families' thresholds on the same bus: the closed
// forms worked by hand.
class FamilyThresholds : public OskCalibration {
protected:
    void setFamily(uint32_t family, uint32_t model)
    {
        setAmpFamily(family);
        setHpaModelCode(model);
        setFwdPowerCalibrated(1);
        setRefPowerCalibrated(1);
        setFwdPowerMuteThd(10);
        setRefPowerCalOffset(0);
        setRefPowerMode(0);
        setDriverPowerQuiet(550);
        setHpaNomDrvPow(570);
    }
};

TEST_F(FamilyThresholds, OverPowerAndReflectedClosedForms)
{
    struct Case {
        const char* what;
        uint32_t family, model;
        uint16_t nomFwd, nomRef;
        int32_t copy;
        uint8_t refMode;
        int overCmd, over, refCmd, ref;
    } cases[] = {
        // Margin 1.3 dB: 13 / (1760/65536 x 10) = 48.41 counts; x 16.
        // Reflected: 10.0 dB = 372.36 counts; (2500 - 372.36) / 1.5151 = 1404.
        {"model 4", 1, 4, 2500, 2500, 100, 0, kCh0, 40768, kCh1, 22464},
        // Calibration mode 1 adds the 2.0 dB below the nominal drive.
        {"model 4 mode 1", 1, 4, 2500, 2500, 100, 1, kCh0, 40768, kCh1, 21680},
        // 13 / (125/65536 x 10) = 681.57 counts.
        {"model 3", 1, 3, 40000, 40000, 100, 0, kCh0, 40681, kCh1, 34757},
        // 13 / 0.055182464 = 235.58; reflected (15.0 - 10.0) / 0.11082036 = 451.18.
        {"model 5", 2, 5, 3000, 3000, 150, 0, kCh3, 51760, kCh2, 55216},
        // Codes beyond 16 bits are held at 65535.
        {"saturated", 1, 4, 65000, 0, 100, 0, kCh0, 65535, kCh1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setFamily(c.family, c.model);
        setHpaNomFwd(c.nomFwd);
        setHpaNomRef(c.nomRef);
        setRefPowerMode(c.refMode);
        uint64_t mark = spiMark();
        setReflectedAlarmThresholdCopy(c.copy); // recomputes the reflected one
        if (c.family == 1)
            calcOverPowerThreshold_VASK();
        else
            calcOverPowerThreshold_TREL();
        std::map<int, int> f = dacFrames(mark);
        EXPECT_EQ(f[c.overCmd], c.over);
        EXPECT_EQ(f[c.refCmd], c.ref);
    }
}

TEST_F(FamilyThresholds, CalibrationGuards)
{
    setFamily(1, 4);
    setFwdPowerCalibrated(0);
    uint64_t mark = spiMark();
    calcOverPowerThreshold_VASK();
    calcRefPowerThreshold_VASK();
    EXPECT_TRUE(dacFrames(mark).empty());

    setFamily(2, 5);
    setFwdPowerCalibrated(0);
    mark = spiMark();
    calcOverPowerThreshold_TREL();
    EXPECT_TRUE(dacFrames(mark).empty());
    calcRefPowerThreshold_TREL();
    EXPECT_EQ(dacFrames(mark).count(kCh2), 1u) << "the reflected one needs only RefPowerCalibrated";
    setRefPowerCalibrated(0);
    mark = spiMark();
    calcRefPowerThreshold_TREL();
    EXPECT_TRUE(dacFrames(mark).empty());
}

TEST_F(FamilyThresholds, ApcVoltageByFrequency)
{
    setFamily(1, 4);
    struct Case {
        uint32_t hz, hpsCode;
        int rc, code;
        uint32_t mv;
    } cases[] = {
        {98000000, 0, 0, 41104, 3136},  // a table point: 3.136 V x 13107.2
        {98000000, 1, 0, 15729, 1200},  // HPS code 1: 1.2 V
        {104000000, 3, 0, 13107, 1000}, // HPS code 3: 1.0 V
        {0, 0, -1, -1, 1000},           // no frequency: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        setOutputRFfrequency(c.hz, 0);
        setHpsCode(c.hpsCode);
        uint64_t mark = spiMark();
        EXPECT_EQ(calculateVapcFreq(0), c.rc);
        std::map<int, int> f = dacFrames(mark);
        EXPECT_EQ(f.count(kCh2) ? f[kCh2] : -1, c.code);
        EXPECT_EQ(getVoltageAPC(), c.mv);
    }
    setOutputRFfrequency(98000000, 0);
    setAlarmState(123, 1);
    EXPECT_EQ(calculateVapcFreq(0), -1);
}

} // namespace
