// Small board devices: bit requests, telecommand status cache, LEDs, the
// LTC2451, the MAX31725 and the RTC square wave.
#include "hw/smallDevices.h"

#include "Config/keys/factoryKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "core/base/timeBase.h"
#include "hw/tests/boardFixture.h"

#include <fstream>
#include <sstream>

namespace {

const char* const kLtcProfile =
    "i2c 1 0x14 regfile name=LTC2451 regs=1 width=2 ptr=0 init=0:0x8123\n"
    "i2c 1 0x20 pca9655 name=PCA9655_IC45 pins=0:0x5A\n"
    "i2c 1 0x21 pca9655 name=PCA9655_IC83\n"
    "i2c 1 0x26 pca9655 name=PCA9655_IC85 pins=1:0xF2\n"
    "i2c 1 0x2D pca9655 name=PCA9655_IC5_BP\n"
    "i2c 1 0x48 regfile name=MAX31725 regs=4 width=2 inc=none init=0:0x1900\n"
    "i2c 1 0x68 regfile name=M41T94 regs=20 kernel attrs=sqwfreq\n";

class SmallDevices : public SandboxTest {
protected:
    SmallDevices() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, kLtcProfile) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    static SimDevice* device(uint16_t a) { return simFindDevice(SIM_BUS_I2C1, a); }
    static int reg(uint16_t a, uint32_t r)
    {
        uint8_t v = 0;
        return simModelOf(device(a))->peek(r, &v, 1) == 1 ? v : -1;
    }
    static void setReg(uint16_t a, uint32_t r, uint8_t v) { simModelOf(device(a))->poke(r, &v, 1); }
    static uint64_t logHead() { return simState()->buses[SIM_BUS_I2C1].logHead.load(); }
    static size_t transfersSince(uint64_t from) { return busLog(SIM_BUS_I2C1, from).size(); }
    static void advanceTimeBase(int64_t us)
    {
        clockAdvanceUs(us);
        timeThread();
    }
};

TEST_F(SmallDevices, AmpCommandBitsAreWrittenOnceAndReplaceOnlyTheirField)
{
    setReg(0x20, 3, 0xC7);
    EXPECT_EQ(setAmpCmdBits(0x08, 1), 0);
    EXPECT_EQ(reg(0x20, 3), 0xCF);
    uint64_t from = logHead();
    EXPECT_EQ(setAmpCmdBits(0x08, 1), 0x08) << "unchanged: the mask, no bus access";
    EXPECT_EQ(transfersSince(from), 0u);
    EXPECT_EQ(setAmplifierCommandBits(0x20, 1), 0);
    EXPECT_EQ(reg(0x20, 3), 0xEF);
    EXPECT_EQ(setAmpCmdBits(0x08, 0), 0);
    EXPECT_EQ(reg(0x20, 3), 0xE7);

    setReg(0x20, 3, 0x00);
    EXPECT_EQ(setTlsCfgBits(0x05, 1), 0);
    EXPECT_EQ(reg(0x20, 3), 0x05);
    EXPECT_EQ(setTlsCfgBpBits(0x81, 1), 0);
    EXPECT_EQ(reg(0x2D, 3), 0x81);
}

TEST_F(SmallDevices, FailedWriteOfARequestIsRetriedByTheNextIdenticalRequest)
{
    device(0x2D)->absent.store(1);
    EXPECT_LT(setTlsCfgBpBits(0x01, 1), 0);
    EXPECT_EQ(count(book(), "ERR: FAIL setting P1_OUT[TlsCfg] - PCA9655_IC5_BP\n"), 1u);
    device(0x2D)->absent.store(0);
    EXPECT_EQ(setTlsCfgBpBits(0x01, 1), 0) << "the request was never written";
    EXPECT_EQ(reg(0x2D, 3), 0x01);

    device(0x20)->nackNext.store(1);
    EXPECT_LT(setAmpCmdBits(0x10, 1), 0);
    EXPECT_EQ(count(book(), "ERR: FAIL Reading AmpCmd - PCA9655_IC45\n"), 1u);
    EXPECT_EQ(setAmpCmdBits(0x10, 1), 0);
    EXPECT_EQ(reg(0x20, 3) & 0x38, 0x10);
}

TEST_F(SmallDevices, TelecommandStatusIsReadAtMostEvery100ms)
{
    advanceTimeBase(1'000'000);
    EXPECT_EQ(getTlcStatusBits(), 0x25A) << "IC45 port 0, then bits 0-1 of IC85 port 1";
    setReg(0x20, 0, 0x00);
    uint64_t from = logHead();
    advanceTimeBase(50'000);
    EXPECT_EQ(getTlcStatusBits(), 0x25A);
    EXPECT_EQ(transfersSince(from), 0u);
    advanceTimeBase(60'000);
    EXPECT_EQ(getTlcStatusBits(), 0x200);

    // A failed read keeps the cache and reads again on the next call.
    setReg(0x26, 1, 0x01);
    advanceTimeBase(200'000);
    device(0x26)->nackNext.store(1);
    EXPECT_EQ(getTlcStatusBits(), 0x200);
    EXPECT_EQ(count(book(), "ERR: FAIL Reading P1_IN [TlcStatus] - PCA9655_IC85\n"), 1u);
    EXPECT_EQ(getTlcStatusBits(), 0x100);
}

TEST_F(SmallDevices, ExtendedTelecommandStatusOnlyWithTheBoardEnabledAndFound)
{
    setReg(0x2D, 0, 0xC3);
    advanceTimeBase(1'000'000);
    struct Case {
        uint8_t enabled;
        uint32_t found;
    };
    for (Case c : {Case{0, 1}, Case{1, 0}}) {
        setTlcTlsExtended(c.enabled);
        setTlcTlsExtDetected(c.found);
        uint64_t from = logHead();
        EXPECT_EQ(getTlcExtStatusBits(), 0);
        EXPECT_EQ(transfersSince(from), 0u) << "no bus access";
    }
    setTlcTlsExtended(1);
    setTlcTlsExtDetected(1);
    EXPECT_EQ(getTlcExtStatusBits(), 0xC3) << "input port 0 of the backplane expander";
    setReg(0x2D, 0, 0x11);
    advanceTimeBase(50'000);
    EXPECT_EQ(getTlcExtStatusBits(), 0xC3) << "cached for 100 ms";
    advanceTimeBase(60'000);
    device(0x2D)->nackNext.store(1);
    EXPECT_EQ(getTlcExtStatusBits(), 0xC3) << "a failed read keeps the cache";
    EXPECT_EQ(count(book(), "ERR: FAIL Reading P0_IN [TlcExtStatus] - PCA9655_IC5_BP\n"), 1u);
    EXPECT_EQ(getTlcExtStatusBits(), 0x11);
}

TEST_F(SmallDevices, LedBitsWriteBothBytesOnlyWhenTheWordChanges)
{
    uint64_t from = logHead();
    EXPECT_EQ(setLedBits(0x0001, 1), 0);
    auto log = busLog(SIM_BUS_I2C1, from);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].data[0], 2);
    EXPECT_EQ(log[0].data[1], 0xFE);
    EXPECT_EQ(log[1].data[0], 3);
    EXPECT_EQ(log[1].data[1], 0xFF);
    from = logHead();
    EXPECT_EQ(setLedBits(0x0001, 1), 1);
    EXPECT_EQ(transfersSince(from), 0u);

    // A failed write is written again by the next identical request.
    device(0x21)->absent.store(1);
    EXPECT_LT(setLedBits(0x0100, 1), 0);
    device(0x21)->absent.store(0);
    EXPECT_EQ(setLedBits(0x0100, 1), 0);
    EXPECT_EQ(reg(0x21, 3), 0xFE);
    EXPECT_EQ(setLedBits(0x0101, 0), 0);
    EXPECT_EQ(reg(0x21, 2), 0xFF);
    EXPECT_EQ(reg(0x21, 3), 0xFF);
}

TEST_F(SmallDevices, Ltc2451ConversionAndDetection)
{
    uint16_t code = 0;
    EXPECT_EQ(LTC2451_Read(&code), 0);
    EXPECT_EQ(code, 0x8123);
    EXPECT_EQ(Hpa_DetectLtc2451(), 1);
    EXPECT_EQ(count(book(), "INFO: Detected LTC2451"), 1u);
    device(0x14)->absent.store(1);
    code = 7;
    EXPECT_EQ(LTC2451_Read(&code), -1);
    EXPECT_EQ(code, 7);
    EXPECT_EQ(Hpa_DetectLtc2451(), 0);
    EXPECT_EQ(LTC2451_Write(1), -1);
    EXPECT_EQ(count(book(), "ERR: LTC2451: Error on read!\n"), 2u);
    EXPECT_EQ(count(book(), "ERR: LTC2451: Error on write!\n"), 1u);
}

TEST_F(SmallDevices, Max31725DecodesSignAndMagnitude)
{
    struct Case {
        uint8_t hi, lo;
        int32_t t;
    } cases[] = {{0x19, 0x80, 25}, {0x99, 0x80, -25}, {0x19, 0x00, 25}, {0x00, 0xFF, 0}, {0x7F, 0xFF, 127},
                 {0x80, 0x80, 0}};
    for (const Case& c : cases) {
        uint8_t v[2] = {c.hi, c.lo};
        simModelOf(device(0x48))->poke(0, v, 2);
        int32_t t = 1000;
        EXPECT_EQ(MAX31725_Read(&t), 0);
        EXPECT_EQ(t, c.t) << int(c.hi) << " " << int(c.lo);
    }
    EXPECT_EQ(MAX31725_Configure(), 0);
    device(0x48)->absent.store(1);
    int32_t t = 1000;
    EXPECT_LT(MAX31725_Read(&t), 0);
    EXPECT_EQ(t, 1000);
    EXPECT_LT(MAX31725_Configure(), 0);
    EXPECT_EQ(count(book(), "ERR: max31725 config FAILURE\n\n"), 1u);
}

TEST_F(SmallDevices, RtcSquareWaveAndRegisterImages)
{
    setRtcSqwFreq();
    std::ifstream in(host("/sys/class/i2c-dev/i2c-1/device/1-0068/sqwfreq"));
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "1");

    RtcTime t = {59, 7, 23, 5, 31, 12, 26};
    Rtc_SetTime(&t, 1, 0);
    EXPECT_EQ(rtcLastImage(1), 0xD9);
    EXPECT_EQ(rtcLastImage(3), 0x23);
    EXPECT_EQ(rtcLastImage(6), 0x12);
    Rtc_SetCalibration(-5, 0, 1);
    EXPECT_EQ(rtcLastImage(8), 0x85);
    Rtc_SetCalibration(5, 1, 0);
    EXPECT_EQ(rtcLastImage(8), 0x65);
    Rtc_SetWatchdog(1, 3, 2);
    EXPECT_EQ(rtcLastImage(9), 0x8E);
    Rtc_SetSquareWave(4, 1);
    EXPECT_EQ(rtcLastImage(19), 0x40);
    EXPECT_EQ(rtcLastImage(10), 0x40);
    RtcTime got;
    EXPECT_EQ(Rtc_GetTime(&got), 0);
    EXPECT_EQ(got.hours, 0) << "the register block reads nothing in this system";
}

} // namespace
