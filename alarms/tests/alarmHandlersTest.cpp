// The handlers whose rules go beyond the table's common shape.
#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "alarms/alarmConditions.h"
#include "alarms/alarmHandlers.h"
#include "alarms/alarmKeys.h"
#include "Config/eventBitmaps.h"
#include "alarms/logicaTx.h"
#include "alarmFixture.h"
#include "testing/cplShelfLog.h"
#include "core/base/locks.h"

namespace {

// Raises or clears summary flag n through an event bit it summarises:
// event 6 (flag 1), 7 (flag 2) and 33 (flag 3).
void raiseSummaryFlag(uint8_t n, uint8_t v)
{
    static const uint16_t kEvent[4] = {0, 6, 7, 33};
    setEventBit(v, kEvent[n]);
    LogicaTx_StatusSummaryStep();
    ASSERT_EQ(LogicaTx_GetSummaryFlag(n), v);
}

using AlarmHandlersTest = AlarmTest;

// The same with the three shelf modules fitted, whose commands are read back
// from the bus.
class AlarmShelfTest : public AlarmTest {
protected:
    AlarmShelfTest() { profile = cplShelfProfile(); }
    void SetUp() override
    {
        AlarmTest::SetUp();
        sem_sys_init();
    }
    void TearDown() override
    {
        sem_sys_remove();
        AlarmTest::TearDown();
    }
};

TEST_F(AlarmShelfTest, InterlockMutesUnlessPowerClass17AndSwitchesTheSecondFamilysSupplies)
{
    setAmpFamily(1);
    setPsuCount(3);
    setPsuEnabled(0, 1);
    setPsuEnabled(2, 1);
    setTxOnState(1);
    setAlarmState(101, 1);
    uint64_t mark = cplLogMark(busLog(SIM_BUS_I2C1));
    handleInterlock(101);
    EXPECT_EQ(getAlarmField0(101), 1);
    EXPECT_EQ(getAlarmState(4), 1);
    EXPECT_EQ(cplCalls(busLog(SIM_BUS_I2C1, mark)),
              (std::vector<std::string>{"CPL_SetOperation(0,0)", "CPL_SetOperation(2,0)"}));
    handleInterlock(101);
    EXPECT_EQ(cplCalls(busLog(SIM_BUS_I2C1, mark)).size(), 2u) << "only on the edge";
    setAlarmState(101, 0);
    mark = cplLogMark(busLog(SIM_BUS_I2C1));
    handleInterlock(101);
    EXPECT_EQ(getAlarmField0(101), 0);
    EXPECT_EQ(cplCalls(busLog(SIM_BUS_I2C1, mark)),
              (std::vector<std::string>{"CPL_SetOperation(0,1)", "CPL_SetOperation(2,1)"}));

    // Power class 17 never mutes; stand-by keeps the supplies off on the Out
    // edge.
    setHpaPowerClass(17);
    setTxOnState(0);
    mark = cplLogMark(busLog(SIM_BUS_I2C1));
    setAlarmState(101, 1);
    handleInterlock(101);
    EXPECT_EQ(getAlarmField0(101), 0);
    setAlarmState(101, 0);
    handleInterlock(101);
    EXPECT_EQ(cplCalls(busLog(SIM_BUS_I2C1, mark)),
              (std::vector<std::string>{"CPL_SetOperation(0,0)", "CPL_SetOperation(2,0)"}));
}

TEST_F(AlarmHandlersTest, AmplifierTemperatureDropsTheApcAndLocksOutThenRestores)
{
    setHpsCode(3);
    setVoltageAPC(900, 0);
    setPsuAvailableCount(2);
    setAlarmInput(123, 1);
    handleAmpTemperature(123);
    EXPECT_EQ(getAlarmField0(123) + getAlarmField3(123), 2);
    EXPECT_EQ(LogicaTx_GetLockoutState(), 1);
    EXPECT_EQ(getVoltageAPC(), 0u);
    EXPECT_EQ(readDbAreaCell(13, 24), 0u);
    setAlarmInput(123, 2); // any other value changes nothing
    handleAmpTemperature(123);
    EXPECT_EQ(getAlarmState(123), 1);
    setAlarmInput(123, 0);
    handleAmpTemperature(123);
    EXPECT_EQ(getAlarmField0(123) + getAlarmField3(123), 0);
    EXPECT_EQ(LogicaTx_GetLockoutState(), 0);
    EXPECT_EQ(getVoltageAPC(), 800u);
    EXPECT_EQ(readDbAreaCell(13, 24), 800u);
}

TEST_F(AlarmHandlersTest, FanAlarmMutesOnlyInTheSecondFamilyAndNotForTheSerialModuleClass18)
{
    struct Case {
        uint8_t family;
        uint32_t powerClass, psuType;
        uint8_t mute;
    };
    for (const Case& c : {Case{0, 0, 0, 0}, Case{1, 0, 0, 1}, Case{1, 18, 3, 0}, Case{1, 18, 1, 1}}) {
        setAmpFamily(c.family);
        setHpaPowerClass(c.powerClass);
        setPsuType(0, c.psuType);
        setAlarmState(126, 1);
        handleFans(126);
        EXPECT_EQ(getAlarmField0(126), c.mute) << int(c.family) << " " << c.powerClass << " " << c.psuType;
        EXPECT_EQ(getAlarmField3(126), 1);
        setAlarmState(126, 0);
        handleFans(126);
    }
    // The warning's bit 23 follows on every call.
    setAlarmState(127, 1);
    handleFans(127);
    EXPECT_EQ(eventCell(23), 1);
    EXPECT_EQ(getAlarmField5(127), 1);
}

TEST_F(AlarmHandlersTest, SupplyAvailabilityAndStatus)
{
    struct Avail {
        uint32_t hps;
        uint8_t available, changing, wrn, alm;
    };
    const Avail avails[] = {{3, 3, 0, 0, 0}, {3, 2, 0, 1, 0}, {3, 1, 0, 1, 0}, {3, 0, 0, 0, 1},
                            {3, 0, 1, 0, 0}, {1, 0, 0, 0, 1}, {1, 1, 0, 0, 0}};
    for (const Avail& a : avails) {
        setHpsCode(a.hps);
        setPsuAvailableCount(a.available);
        LogicaTx_SetTxStatus(a.changing);
        handlePsuAvailability(144);
        EXPECT_EQ(getAlarmField5(144), a.wrn) << a.hps << " " << int(a.available);
        EXPECT_EQ(getAlarmField3(144), a.alm) << a.hps << " " << int(a.available);
    }
    LogicaTx_SetTxStatus(0);

    setPsuStatus(1, 2);
    handlePsuStatus(149);
    EXPECT_EQ(getAlarmField5(150), 1);
    EXPECT_EQ(count(eventLog(), "EVENT: Alm PSU_2 Status <--- In\n"), 1u);
    setPsuStatus(1, 1); // to 1: no line
    handlePsuStatus(149);
    EXPECT_EQ(getAlarmField5(150), 0);
    setPsuStatus(1, 0);
    handlePsuStatus(149);
    EXPECT_EQ(count(eventLog(), "EVENT: Alm PSU_2 Status ---> Out\n"), 1u);
    EXPECT_EQ(count(eventLog(), "PSU_2 Status"), 2u);
    setPsuStatus(0, 3);
    LogicaTx_SetTxStatus(1);
    handlePsuStatus(149);
    EXPECT_EQ(getAlarmField5(149), 0) << "cleared during a power change";
}

TEST_F(AlarmHandlersTest, InputModuleLinesAndTheMuteOfAlarm2)
{
    setInputAlarmVsTxStatus(2);
    setAlarmState(2, 1);
    handleInputModule(2);
    EXPECT_EQ(getAlarmField0(2), 1);
    setAlarmState(6, 1); // a group 6 change under group 2 reads as Out
    handleInputModule(2);
    setAlarmState(6, 0);
    handleInputModule(2);
    EXPECT_EQ(count(eventLog(), "EVENT: Wrn Input Module ---> Out\n"), 2u);
    setAlarmState(2, 0);
    setAlarmState(6, 1);
    handleInputModule(2);
    EXPECT_EQ(getAlarmField0(2), 0);
    EXPECT_EQ(count(eventLog(), "EVENT: Alm Input Module <--- In\n"), 1u);
    EXPECT_EQ(count(eventLog(), "EVENT: Alm Input Module ---> Out\n"), 1u);
    EXPECT_EQ(count(eventLog(), "EVENT: Wrn Input Module <--- In\n"), 1u);
    setInputAlarmVsTxStatus(1);
    setAlarmState(2, 1);
    handleInputModule(2);
    EXPECT_EQ(getAlarmField0(2), 0);
}

TEST_F(AlarmHandlersTest, InputAlarmsWaitFiveSecondsAfterASwitchAndChooseTheirGroup)
{
    struct Case {
        uint32_t backup, onAir;
        uint8_t primaryLost, secondaryLost;
        uint8_t s67, s69, g2, g6;
    };
    const Case cases[] = {
        {0, 0, 1, 0, 1, 0, 1, 0}, {1, 0, 1, 0, 1, 0, 0, 1}, {1, 0, 1, 1, 1, 1, 1, 0},
        {1, 0, 0, 1, 0, 1, 0, 1}, {1, 1, 1, 0, 1, 0, 0, 1}, {1, 1, 1, 1, 1, 1, 1, 0},
    };
    setInputPresAlmEnable(1);
    for (const Case& c : cases) {
        setInputBackup(c.backup);
        setOnAirInput(c.onAir);
        setEventBit(!c.primaryLost, 76);
        setEventBit(!c.secondaryLost, 77);
        setAlarmState(2, 0);
        setAlarmState(6, 0);
        handleInputs(67);
        EXPECT_EQ(getAlarmState(67), c.s67);
        EXPECT_EQ(getAlarmState(69), c.s69);
        EXPECT_EQ(getAlarmState(2), c.g2) << c.backup << c.onAir << int(c.primaryLost) << int(c.secondaryLost);
        EXPECT_EQ(getAlarmState(6), c.g6) << c.backup << c.onAir << int(c.primaryLost) << int(c.secondaryLost);
    }
    EXPECT_EQ(eventCell(81), 1);
}

TEST_F(AlarmHandlersTest, TxWarningAndAlarmEdges)
{
    raiseSummaryFlag(1, 1);
    raiseSummaryFlag(3, 1);
    handleTxAlarmWarning(0);
    handleTxAlarmWarning(0);
    raiseSummaryFlag(3, 0);
    raiseSummaryFlag(2, 1);
    handleTxAlarmWarning(0);
    raiseSummaryFlag(1, 0);
    raiseSummaryFlag(2, 0);
    handleTxAlarmWarning(0);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Warning <--- In\n"), 1u);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Warning ---> Out\n"), 1u);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Alarm <--- In\n"), 1u);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Alarm ---> Out\n"), 1u);
}

TEST_F(AlarmHandlersTest, ExternalReferenceWordFollowsAlarms95To97)
{
    setFreqRefSource(1);
    setAlarmInput(95, 1);
    handleCommon(95);
    EXPECT_EQ(getRefEventWord(), 0u);
    EXPECT_EQ(eventCell(59), 0);
    setAlarmInput(95, 0);
    handleCommon(95);
    EXPECT_EQ(getRefEventWord(), 1u);
    EXPECT_EQ(eventCell(59), 1);
    // Not in use: the raw byte's absence, and the Alm flag cleared.
    setFreqRefSource(2);
    setAlarmField3(95, 1);
    setAlarmInput(95, 1);
    handleCommon(95);
    EXPECT_EQ(getRefEventWord(), 0u);
    EXPECT_EQ(getAlarmState(95), 0);
    EXPECT_EQ(getAlarmField3(95), 0);
}

TEST_F(AlarmHandlersTest, PrimaryPowerFailFollowsAlarm105AfterTheDelay)
{
    setAlarmInput(105, 1);
    for (int i = 0; i < 39; i++)
        handleCommon(105);
    EXPECT_EQ(getSelfShutdownPending(), 0u);
    handleCommon(105);
    EXPECT_EQ(getSelfShutdownPending(), 1u);
    EXPECT_EQ(getStatusBitA(79), 1);
}

TEST_F(AlarmHandlersTest, AesEbuErrorRequestsAResetAtMostEveryThreeSeconds)
{
    setOutputConfiguration(27);
    setInputCfg(1);
    setAlarmInput(53, 1);
    handleCommon(53);
    EXPECT_EQ(isReprogramRequested(REQ_AES_EBU), 1);
    EXPECT_EQ(getAlarmState(2), 1);
    ServiceReprogramRequests();
    advanceSeconds(3);
    handleCommon(53);
    EXPECT_EQ(isReprogramRequested(REQ_AES_EBU), 0);
    advanceSeconds(1.1);
    handleCommon(53); // re-armed on this call, requested on the next
    handleCommon(53);
    EXPECT_EQ(isReprogramRequested(REQ_AES_EBU), 1);
}

TEST_F(AlarmHandlersTest, HundredMegahertzRetriesEverySixthScanWithBookLines)
{
    setUnitWord8(1);
    setForceDacLevelSaved(123);
    setAlarmInput(61, 1);
    for (int i = 0; i < 12; i++)
        handleRetry(61);
    EXPECT_EQ(count(book(), "INFO: Retry prog ALM_100MHZ_PLL_LOCK n. "), 2u);
    EXPECT_EQ(count(book(), "INFO: 100 MHz Ref. <--- not Locked\n"), 1u);
    EXPECT_EQ(eventLog().find("100 MHz"), std::string::npos);
    setAlarmInput(61, 0);
    handleRetry(61);
    EXPECT_EQ(count(book(), "INFO: 100 MHz Ref. ---> Locked\n"), 1u);
    EXPECT_EQ(getForceDacLevel(), 123);
    // Without the Low Noise board the alarm is not raised.
    setUnitWord8(0);
    setAlarmInput(61, 1);
    handleRetry(61);
    EXPECT_EQ(getAlarmState(61), 0);
}

// The level written back on a relock is the one last set: a configured
// level survives the relock.
TEST_F(AlarmHandlersTest, RelockWritesBackTheLevelLastSet)
{
    setUnitWord8(1);
    setForceDacLevel(40000, 0);
    EXPECT_EQ(getForceDacLevelSaved(), 40000);
    setAlarmInput(61, 1);
    handleRetry(61);
    setAlarmInput(61, 0);
    handleRetry(61);
    EXPECT_EQ(count(book(), "INFO: 100 MHz Ref. ---> Locked\n"), 1u);
    EXPECT_EQ(getForceDacLevel(), 40000);
}

TEST_F(AlarmHandlersTest, TimeReferenceMutesByItsOwnRule)
{
    setNetMode(1);
    setTimeRefSource(1);
    setMuteTrefAbsent(1);
    struct Case {
        uint32_t code;
        uint8_t mutes;
    };
    for (const Case& c : {Case{0, 0}, Case{25, 0}, Case{48, 0}, Case{12, 1}}) {
        cfgSetElement(KEYROW(OutputCfgCode), 0, c.code);
        setAlarmInput(46, 1);
        handleReferenceLock(46);
        EXPECT_EQ(getAlarmField0(46), c.mutes) << c.code;
        EXPECT_EQ(getAlarmField5(46), !c.mutes) << c.code;
    }
    // Without net_mode 1 the alarm is cleared outright.
    setNetMode(0);
    handleReferenceLock(46);
    EXPECT_EQ(getAlarmState(46), 0);
    EXPECT_EQ(count(eventLog(), "EVENT: Time Ref. ---> Locked\n"), 1u);
}

TEST_F(AlarmHandlersTest, SecondFamilySummaryBitsAndReferenceHoldoverNeverRises)
{
    setAlarmState(119, 1);
    handleAmpSummary(131);
    EXPECT_EQ(getAlarmState(131), 1);
    EXPECT_EQ(ampCell(4), 0);
    handleAmpGroupBits(0);
    EXPECT_EQ(ampCell(1), 1);
    setAlarmState(119, 0);
    setAlarmState(131, 0);
    handleAmpSummary(131);
    EXPECT_EQ(ampCell(4), 1);
    setTxOnState(1);
    handleAmpTxOnBit(0);
    EXPECT_EQ(ampCell(6), 1);

    setSystemClockSource(1);
    setAlarmField5(94, 1);
    handleHoldover(98);
    EXPECT_EQ(getAlarmState(98), 0);
}

} // namespace
