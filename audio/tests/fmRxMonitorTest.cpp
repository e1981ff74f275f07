// FM receiver monitor against the simulated tuner and down-converter of the
// full board, on the virtual clock.
#include "audio/fmRxMonitor.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/input.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/logicaTx.h"
#include "audio/audioMeasures.h"
#include "core/base/locks.h"
#include "hw/fpgaWindows.h"
#include "hw/si4769.h"
#include "sim/simModels.h"
#include "sim/simSi4769.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

class FmRx : public SandboxTest {
protected:
    FmRx() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        setenv("CORVANE_BOARD_PROFILE", "full", 1);
        SandboxTest::SetUp();
        unsetenv("CORVANE_BOARD_PROFILE");
        sem_sys_init();
        ASSERT_EQ(initAxi(), 0);
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    static SimModel* tuner() { return simModelOf(simFindDevice(SIM_BUS_I2C0, SI4769_ADDRESS)); }
    static void set(uint32_t r, uint8_t v) { tuner()->poke(r, &v, 1); }
    static int tunerFreq()
    {
        uint8_t b[2] = {};
        tuner()->peek(SI4769_SIM_FREQ, b, 2);
        return b[0] << 8 | b[1];
    }
    // Brings the receiver up, without the down-converter unless asked.
    void start(bool downConverter = false)
    {
        if (!downConverter)
            simFindDevice(SIM_BUS_I2C1, 0x2E)->absent.store(1);
        fmRx_Init();
        ASSERT_EQ(fmRx_DetectSystem(1, 0), 1);
        ASSERT_EQ(getFmRxSystem(), downConverter ? 2 : 1);
    }
    static FmRxContext& c() { return *fmRx_GetContext(); }
};

TEST_F(FmRx, NominalFrequencyIsRoundedAndThePollTunes)
{
    start();
    EXPECT_NE(book().find("Detected FM Rx System"), std::string::npos);
    c().frqNom.set(&c().frqNom, 98030);
    EXPECT_EQ(fmRx_GetNominalFrequency(), 98000u);
    EXPECT_EQ(getFmRxMode(), 0);
    fmRx_MeasurePollig();
    EXPECT_EQ(getFmRxMode(), 2);
    EXPECT_EQ(tunerFreq(), 9800);
    FmRxStatusRecord rec;
    ASSERT_EQ(fmRx_GetStatus(98000, &rec, 0), 1);
    EXPECT_EQ(rec.words[0], 98000u);
    EXPECT_EQ(static_cast<int32_t>(rec.words[2]), 60 + getLevelRxOffset_dB());
    // A failed tuning gives mode 3, and the next poll retries.
    set(SI4769_SIM_ERR_CMD, 0x30);
    c().frqNom.set(&c().frqNom, 99000);
    fmRx_MeasurePollig();
    EXPECT_EQ(getFmRxMode(), 3);
    EXPECT_NE(book().find("Error on fmRx_MeasurePollig: fmRx_Tuning Fails"), std::string::npos);
    set(SI4769_SIM_ERR_CMD, 0);
    fmRx_MeasurePollig();
    EXPECT_EQ(getFmRxMode(), 2);
    EXPECT_EQ(tunerFreq(), 9900);
}

TEST_F(FmRx, ARepeaterRecordCarriesTheMeasuredDeviationsAndTheRelayedPi)
{
    start();
    FmRxStatusRecord rec;
    ASSERT_EQ(fmRx_Tuning(98000, &rec, 0), 1);
    setMeasuredFmDeviation(75);
    setMeasuredAuxDeviation(4000);
    setCurrentRDSDSN(3);
    setPI(2, 0xC201);
    auto pi = [](const FmRxStatusRecord& r) {
        uint16_t v;
        memcpy(&v, reinterpret_cast<const uint8_t*>(r.words) + 54, 2);
        return v;
    };
    struct Row {
        uint32_t functionalType, measSource, rxRds;
        bool overridden;
        uint16_t pi;
    } rows[] = {
        {10, 0, 1, true, 0xC201}, // repeater relaying RDS
        {10, 0, 0, true, 0},      // repeater, RDS not relayed
        {10, 1, 1, false, 0},     // audio measures from the receiver
        {0, 0, 1, false, 0},      // no repeater
    };
    for (const Row& r : rows) {
        setFunctionalType(r.functionalType, 0);
        setInputRouteFlag(r.measSource);
        setInputRxRds(r.rxRds);
        ASSERT_EQ(fmRx_GetStatus(98000, &rec, 0), 1);
        EXPECT_EQ(rec.words[10] == 75u && rec.words[14] == 4000u, r.overridden) << r.functionalType << r.measSource;
        EXPECT_EQ(pi(rec), r.pi) << r.functionalType << r.measSource << r.rxRds;
    }
}

TEST_F(FmRx, DownConverterTakesTheChannelAndTheTunerTheShiftedIf)
{
    start(true);
    c().intermFrqOffset.set(&c().intermFrqOffset, -2);
    FmRxStatusRecord rec;
    ASSERT_EQ(fmRx_Tuning(98000, &rec, 0), 1);
    EXPECT_EQ(tunerFreq(), 6590);
    EXPECT_EQ(c().downConvKHz, 97900u);
    EXPECT_EQ(fmRx_GetTunedFrequency(), 65900u);
    EXPECT_EQ(fmRx_IsLocked(), 1);
}

TEST_F(FmRx, TenRssiAlarmsSetTheFlagAndOneGoodReadingClearsIt)
{
    start();
    fmRx_MeasurePollig();
    ASSERT_EQ(getFmRxMode(), 2);
    Alarm* rssi = AlarmSet_GetAlarm(c().alarms, FMRX_ALM_RSSI);
    set(SI4769_SIM_RSQ + 5, 0); // RSSI -107
    for (int i = 0; i < 9; i++)
        fmRx_MeasurePollig();
    EXPECT_EQ(Alarm_GetState(rssi), 0);
    fmRx_MeasurePollig();
    EXPECT_EQ(Alarm_GetState(rssi), 1);
    set(SI4769_SIM_RSQ + 5, 167);
    fmRx_MeasurePollig();
    EXPECT_EQ(Alarm_GetState(rssi), 0);
}

TEST_F(FmRx, AlarmsMapOntoTheirIdsByConfigurationAndSeverity)
{
    start();
    fmRx_MeasurePollig();
    Alarm* rssi = AlarmSet_GetAlarm(c().alarms, FMRX_ALM_RSSI);
    Alarm_Configure(rssi, 1, 0, 3);
    Alarm_Set(rssi, 1);
    setOutputCfg(24);
    fmRx_UpdateAlarms();
    EXPECT_EQ(getAlarmField0(161), 1);
    EXPECT_EQ(getAlarmField6(161), 1);
    EXPECT_EQ(getAlarmField7(161), 0);
    // Only the backup configuration uses the receiver: a warning.
    setOutputCfg(1);
    setInputBackup(1);
    setSecondaryConfiguration(28);
    ASSERT_EQ(getSecondaryConfiguration(), 28u);
    ASSERT_EQ(getInputBackup(), 1u);
    ASSERT_EQ(getOutputCfgCode(), 1u);
    fmRx_UpdateAlarms();
    EXPECT_EQ(getAlarmField0(161), 0);
    EXPECT_EQ(getAlarmField6(161), 0);
    EXPECT_EQ(getAlarmField7(161), 1);
    // With the mute latched, the receiver taken off air clears it all.
    setOutputCfg(24);
    fmRx_UpdateAlarms();
    ASSERT_EQ(getAlarmField0(161), 1);
    fmRx_PowerDown();
    fmRx_UpdateAlarms();
    EXPECT_EQ(getAlarmField0(161), 0);
    EXPECT_EQ(getAlarmField6(161), 0);
}

} // namespace
