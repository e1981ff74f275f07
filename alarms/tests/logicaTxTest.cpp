// Transmitter logic on the simulated board and the virtual clock: the task's
// order, the keypad, ON and stand-by with the supply read-back, the lockout
// procedure and its restore, the unit slots, the LEDs, and the telecommand
// filter, pulses, roles (master, slave, change-over, EXTERN) and outputs.
#include "alarms/logicaTx.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/powerKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/utils.h"
#include "alarms/logicaTxConfig.h"
#include "alarms/telecommand.h"
#include "comtab/dbPool.h"
#include "links/comChannels.h"
#include "links/slaveLink.h"
#include "links/tableResponder.h"
#include "Config/keys/rdsKeys.h"
#include "testing/cplShelfLog.h"
#include "alarmFixture.h"
#include "hw/eeprom.h"
#include "hw/eepromManager.h"
#include "platform/paths.h"
#include "power/powerManagement.h"
#include "sim/board.h"
#include "sim/simCplPsu.h"
#include "sim/simModels.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sched.h>

namespace {

class LogicaTxTest : public AlarmTest {
protected:
    void SetUp() override
    {
        AlarmTest::SetUp();
        sem_sys_init();
        // A valid unit identity record, so the EEPROM manager starts clean.
        simMakeDirs(sysPath("/mnt/ubi0/conf").c_str());
        uint8_t record[128] = {};
        for (int i = 0; i < 124; i++)
            record[i] = static_cast<uint8_t>(i * 7 + 1);
        putU32BE(unitInfoCrc(record), record + 124);
        simModelOf(simFindDevice(SIM_BUS_I2C1, 0x51))->poke(0, record, sizeof record);
        ASSERT_EQ(EEM_Init(1, 1, EEM_MODE_EMUL), 0);
        LogicaTx_SetDefaults();
        LogicaTx_InitSettings();
        TLC_SetMode();
    }
    void TearDown() override
    {
        sem_sys_remove();
        AlarmTest::TearDown();
    }

    static uint8_t item8(uint32_t item)
    {
        uint8_t v = 0;
        EEM_ReadData(&v, item, 1);
        return v;
    }
    static uint32_t item32(uint32_t item)
    {
        uint8_t b[4] = {};
        EEM_ReadData(b, item, 4);
        return getU32LE(b);
    }
    static void writeItem8(uint32_t item, uint8_t v) { ASSERT_EQ(EEM_WriteData(&v, item, 1), 0); }

    // The command manager is not started here: every request is refused
    // with a book line that names its slot, in the order they were made.
    size_t requestMark = 0;
    void clearRequests() { requestMark = book().size(); }
    std::vector<std::string> requests()
    {
        std::vector<std::string> r;
        std::string added = book().substr(requestMark);
        const std::string tag = "Request for Command #";
        for (size_t at = added.find(tag); at != std::string::npos; at = added.find(tag, at + 1))
            r.push_back("CMD_Request(" + std::to_string(std::stoi(added.substr(at + tag.size()))) + ",1)");
        return r;
    }
    // A reflected-power lockout cause: the latched alarm 47 keeps the
    // published reflected alarm (the power runtime flag) set.
    static void holdReflectedCause(uint8_t on)
    {
        setAlarmState(47, on);
        setPowerRuntimeFlag(on);
    }
    // One 10 ms step of the task.
    static void step()
    {
        clockAdvanceUs(10000);
        syncTimeBase();
        LogicaTx_Task();
    }
};

TEST_F(LogicaTxTest, TaskPollsTheAmplifiersAndRunsTheSlaveStepByExciterMode)
{
    // With one external amplifier the unit tick of the master polls it: its
    // identity read is queued.
    setAmplifierNumber(1);
    AMP_FM_ResetAll();
    ASSERT_EQ(AMP_FM_Register(1, nullptr, 0), 0);
    LogicaTx_Task();
    EXPECT_EQ(AMP_FM_GetRecord(1)->unanswered, 1);
    // A slave carries the TA its external logic set into the current data
    // set; in mode 2 nothing does.
    TR_WriteElement(slaveTableSet(), 5, 21, 1);
    setTaFromTlc(1);
    setCustomTA(0);
    setCurrentRDSDSN(1);
    setTA(0, 0);
    setExciterMode(2);
    LogicaTx_Task();
    EXPECT_EQ(getTA(0), 0u);
    setExciterMode(1);
    LogicaTx_Task();
    EXPECT_EQ(getTA(0), 1u);
    setExciterMode(0);
}

TEST_F(LogicaTxTest, KeypadByModeAndExciterMode)
{
    struct Case {
        uint8_t exciterMode;
        uint8_t local;
        uint8_t forced;
        uint16_t key;
        const char* out;  // standard output
        const char* book; // the INFO line, "" for none
        const char* request;
        int item1; // -1: not written
    };
    const char* localOut = "AnalyzeKeyPadMsg : LOCAL key pressed  [0x0401] \nAnalyzeKeyPadMsg : go to LOCAL \n";
    const char* remoteOut = "AnalyzeKeyPadMsg : LOCAL key pressed  [0x0401] \nAnalyzeKeyPadMsg : go to REMOTE \n";
    const char* resetOut = "AnalyzeKeyPadMsg : LOCKOUT RESET key pressed  [0x0606] \n";
    const Case cases[] = {
        {0, 0, 0, 0x0401, localOut, "INFO: LOCAL key pressed\n", "CMD_Request(0,1)", 1},
        {0, 1, 0, 0x0401, remoteOut, "INFO: REMOTE key pressed\n", "CMD_Request(1,1)", 0},
        {0, 0, 1, 0x0401, "", "INFO: LOCAL forced from Change Over -- LOCAL key disabled\n", nullptr, -1},
        {0, 1, 1, 0x0401, "", "INFO: LOCAL forced from Change Over -- LOCAL key disabled\n", nullptr, -1},
        {0, 0, 0, 0x0104, "", "", nullptr, -1},
        {0, 0, 0, 0x0404, "", "", nullptr, -1},
        {0, 0, 0, 0x0606, "", "", nullptr, -1},
        {0, 1, 0, 0x0104, "AnalyzeKeyPadMsg : ON key pressed  [0x0104] \n", "INFO: ON key pressed\n",
         "CMD_Request(3,1)", -1},
        {0, 1, 0, 0x0404, "AnalyzeKeyPadMsg : STBY key pressed  [0x0404] \n", "INFO: STBY key pressed\n",
         "CMD_Request(4,1)", -1},
        {0, 1, 0, 0x0606, resetOut, "INFO: LOCKOUT RESET key pressed\n", "CMD_Request(5,1)", -1},
        {1, 0, 0, 0x0606, resetOut, "INFO: LOCKOUT RESET key pressed\n", "CMD_Request(5,1)", -1},
        {1, 1, 0, 0x0606, resetOut, "INFO: LOCKOUT RESET key pressed\n", "CMD_Request(5,1)", -1},
        {1, 1, 0, 0x0104, "", "", nullptr, -1},
        {1, 0, 0, 0x0404, "", "", nullptr, -1},
        {1, 0, 1, 0x0401, localOut, "INFO: LOCAL key pressed\n", "CMD_Request(0,1)", 1}, // no change-over test
        {1, 1, 0, 0x0401, remoteOut, "INFO: REMOTE key pressed\n", "CMD_Request(1,1)", 0},
        {2, 1, 0, 0x0401, "", "", nullptr, -1},
        {2, 1, 0, 0x0606, "", "", nullptr, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.exciterMode) << " local " << int(c.local) << " forced "
                                        << int(c.forced) << " key " << std::hex << c.key);
        setExciterMode(c.exciterMode);
        LogicaTx_SetSlaveConnected(0);
        LogicaTx_SetManagementMode(c.local);
        LogicaTx_SetLocalForcedByChangeOver(c.forced);
        writeItem8(1, 0x55);
        std::string before = book();
        clearRequests();
        testing::internal::CaptureStdout();
        if (c.key == 0x0606) {
            // LOCKOUT RESET: DOWN and RIGHT held together for more than one whole
            // second (the scan reports it once in these 3 s).
            simFpgaSetKeys(simFpgaKeyBit(0x0402) | simFpgaKeyBit(0x0204));
            for (int k = 0; k < 300; k++)
                step();
        } else {
            simFpgaSetKeys(simFpgaKeyBit(c.key));
            step();
        }
        std::string out = testing::internal::GetCapturedStdout();
        simFpgaSetKeys(0);
        step(); // the scan sees the release
        clockAdvanceUs(300000); // past the key repeat
        syncTimeBase();
        EXPECT_NE(out.find(c.out), std::string::npos) << out;
        if (*c.out == 0) {
            EXPECT_EQ(out.find("AnalyzeKeyPadMsg"), std::string::npos) << out;
        }
        std::string added = book().substr(before.size());
        if (*c.book) {
            EXPECT_EQ(count(added, c.book), 1u) << added;
        } else {
            EXPECT_EQ(count(added, "key"), 0u) << added;
        }
        std::vector<std::string> made = requests();
        if (c.request) {
            EXPECT_EQ(made, std::vector<std::string>{c.request});
        } else {
            EXPECT_TRUE(made.empty()) << made.size();
        }
        EXPECT_EQ(item8(1), c.item1 < 0 ? 0x55 : c.item1);
        EXPECT_EQ(readDbAreaCell(13, 19), c.key) << "the last key code is published in every mode";
    }
}

// The internal cause held: the power runtime flag with no external
// amplifier (the reflected-power lockout).
TEST_F(LogicaTxTest, LockoutAfterThreeRetriesWithTheCauseHeld)
{
    LogicaTx_SetTxStartRequest(1);
    holdReflectedCause(1);
    uint8_t warningSeen = 0;
    for (int s = 0; s < 80 && LogicaTx_GetLockoutState() == 0; s++) {
        clockAdvanceUs(1000000);
        step();
        if (LogicaTx_GetLockoutEvent())
            warningSeen |= getStatusBitA(14) << 1 | getStatusBitA(13);
    }
    EXPECT_EQ(warningSeen, 2) << "the lockout event is delayed bit 14, not the lockout's 13";
    std::string ev = eventLog();
    EXPECT_EQ(count(ev, "EVENT: Start of the LOCKOUT test period\n"), 1u);
    for (int n = 1; n <= 3; n++)
        EXPECT_EQ(count(ev, "EVENT: LOCKOUT procedure -- retry #" + std::to_string(n) + "\n"), 1u);
    EXPECT_EQ(count(ev, "retry #4"), 0u);
    EXPECT_LT(ev.find("retry #3"), ev.find("EVENT: Max retry reached : LOCKOUT\n"));
    EXPECT_EQ(LogicaTx_GetLockoutState(), 1);
    EXPECT_EQ(item8(4), 1);
    EXPECT_EQ(item8(5), 1) << "the reflected-power cause is kept for the next start";
    EXPECT_EQ(getStatusBitA(13), 1);
    EXPECT_EQ(getStatusBitA(14), 0);
    EXPECT_EQ(getEventBit(13), 1);
    EXPECT_EQ(LogicaTx_GetLockoutRetry(), 0);
    EXPECT_EQ(LogicaTx_GetLockoutStartTime(), 0u);
    EXPECT_EQ(getTxOnState(), 0);
    // Locked out: the check rests until the lockout is reset.
    size_t standby = count(book(), "STBY command sent to all units");
    for (int s = 0; s < 30; s++) {
        clockAdvanceUs(1000000);
        step();
    }
    EXPECT_EQ(count(book(), "STBY command sent to all units"), standby);
}

TEST_F(LogicaTxTest, RetryClearsTheAmplifierLockoutFlag)
{
    // The amplifier lockout output alone holds the reflected alarm, and
    // with it the lockout cause, until the retry clears it.
    LogicaTx_SetTxStartRequest(1);
    setAmpLockoutFlag(1);
    for (int s = 0; s < 120; s++) {
        clockAdvanceUs(1000000);
        step();
    }
    EXPECT_EQ(count(eventLog(), "EVENT: LOCKOUT procedure -- retry #1\n"), 1u);
    EXPECT_EQ(count(eventLog(), "retry #2"), 0u) << "the cause went with the retry";
    EXPECT_EQ(getAmpLockoutFlag(), 0);
    EXPECT_EQ(getPowerRuntimeFlag(), 0);
    EXPECT_EQ(LogicaTx_GetLockoutState(), 0);
}

TEST_F(LogicaTxTest, TelecommandSelectorIsPublishedAndClearedAtRestore)
{
    LogicaTx_SetKeyMode(2);
    EXPECT_EQ(readDbAreaCell(13, 51), 2u);
    EXPECT_EQ(LogicaTx_GetCommandWord(), 2);
    LogicaTx_SetKeyMode(3);
    EXPECT_EQ(readDbAreaCell(13, 51), 2u) << "larger values are ignored";
    LogicaTx_RestoreFromEeprom();
    EXPECT_EQ(readDbAreaCell(13, 51), 0u);
    EXPECT_EQ(LogicaTx_GetCommandWord(), 0);
}

TEST_F(LogicaTxTest, DefaultsWriteThePowerAndEthernetSettingsAndTheTaskPublishesThePowerRecord)
{
    EXPECT_EQ(readDbAreaCell(5, 1), 300u);
    EXPECT_EQ(readDbAreaCell(5, 19), 10000u);
    EXPECT_EQ(readDbAreaCell(5, 3), 100u);
    EXPECT_EQ(readDbAreaCell(13, 26), 30u);
    EXPECT_EQ(readDbAreaCell(13, 32), 360u);
    EXPECT_EQ(readDbAreaCell(13, 33), 127u);
    EXPECT_EQ(readDbAreaCell(5, 23), 65u);
    EXPECT_EQ(getExciterNominalPower(), 300);
    EXPECT_EQ(getExciterLowPowerWarningThreshold(), 15);
    EXPECT_EQ(getExternalAmplifierReferencePower(), 400000u);
    EXPECT_EQ(getPwrDeratingTemperature(), 72);
    EXPECT_EQ(getPwrProgDeratingFactor(), 30);
    EXPECT_EQ(getFrontEthernetIPAddress(), inet_addr("192.168.0.1"));
    EXPECT_EQ(getRearEthernetIPGateway(), inet_addr("10.200.8.254"));
    EXPECT_EQ(getFSKSignEna(), 0);
    EXPECT_EQ(getFSKTxId(0), 0x5441524Eu);

    setPowerTableWord(1, 295);
    step();
    EXPECT_EQ(readDbAreaCell(6, 1), 295u);
}

TEST_F(LogicaTxTest, TestPeriodClearsLockoutProcTimeMinutesAfterItsStart)
{
    LogicaTx_SetTxStartRequest(1);
    holdReflectedCause(1);
    while (count(eventLog(), "retry #1") == 0) {
        clockAdvanceUs(1000000);
        step();
    }
    holdReflectedCause(0);
    uint32_t start = LogicaTx_GetLockoutStartTime();
    ASSERT_NE(start, 0u);
    EXPECT_EQ(LogicaTx_GetLockoutRetry(), 1);
    EXPECT_EQ(item32(7), start);
    auto advanceTo = [](uint32_t second) {
        struct timespec now;
        clockGetTime(CLOCK_MONOTONIC_RAW, &now);
        clockAdvanceUs((static_cast<int64_t>(second) - now.tv_sec) * 1000000LL);
        step();
    };
    advanceTo(start + 3599);
    EXPECT_EQ(LogicaTx_GetLockoutRetry(), 1);
    EXPECT_EQ(count(book(), "LOCKOUT test period expired"), 0u);
    advanceTo(start + 3601);
    EXPECT_EQ(count(book(), "INFO: LOCKOUT test period expired => Clean all information\n"), 1u);
    EXPECT_EQ(LogicaTx_GetLockoutRetry(), 0);
    EXPECT_EQ(LogicaTx_GetLockoutStartTime(), 0u);
    EXPECT_EQ(LogicaTx_GetLockoutEvent(), 0);
    EXPECT_EQ(item8(6), 0);
    EXPECT_EQ(item32(7), 0u);
}

TEST_F(LogicaTxTest, StopRequestReturnsTheProcedureToWatching)
{
    LogicaTx_SetTxStartRequest(1);
    holdReflectedCause(1);
    for (int s = 0; s < 3 && LogicaTx_GetLockoutProcState() != 2; s++)
        step();
    ASSERT_EQ(LogicaTx_GetLockoutProcState(), 2u);
    LogicaTx_SetTxStartRequest(0);
    step();
    EXPECT_NE(LogicaTx_GetLockoutProcState(), 2u);
    for (int s = 0; s < 40; s++) {
        clockAdvanceUs(1000000);
        step();
    }
    EXPECT_EQ(count(eventLog(), "retry #"), 0u) << "no retry while stopped";
    EXPECT_EQ(count(book(), "ON command sent to all units"), 0u);
}

TEST_F(LogicaTxTest, RestoredTestPeriodRunsItsFullLengthAfterARestart)
{
    // The previous run saved its start at 5 s of its own monotonic clock.
    uint8_t start[4];
    putU32LE(5, start);
    ASSERT_EQ(EEM_WriteData(start, 7, 4), 0);
    writeItem8(6, 2);
    writeItem8(4, 0);
    clockAdvanceUs(7200LL * 1000000);
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    LogicaTx_RestoreFromEeprom();
    uint32_t restored = LogicaTx_GetLockoutStartTime();
    EXPECT_GE(restored, static_cast<uint32_t>(now.tv_sec));
    EXPECT_LE(restored, static_cast<uint32_t>(now.tv_sec) + 1);
    EXPECT_EQ(item32(7), restored) << "item and cell keep their layout";
    EXPECT_EQ(readDbAreaCell(13, 2), restored);
    EXPECT_EQ(LogicaTx_GetLockoutEvent(), 1);
    EXPECT_EQ(count(book(), "INFO: LOCKOUT procedure was running -- retry #2 \n\n"), 1u);
    step();
    EXPECT_EQ(LogicaTx_GetLockoutRetry(), 2) << "not expired at once";
    clockAdvanceUs(3602LL * 1000000);
    step();
    EXPECT_EQ(LogicaTx_GetLockoutRetry(), 0);
}

TEST_F(LogicaTxTest, RestoreSetsTheStateAndEventsFromTheItems)
{
    writeItem8(1, 1);
    writeItem8(3, 1);
    writeItem8(4, 1);
    LogicaTx_RestoreFromEeprom();
    EXPECT_EQ(LogicaTx_GetControlMode(), 1);
    EXPECT_EQ(eventCell(1), 1);
    EXPECT_EQ(eventCell(62), 1);
    EXPECT_EQ(eventCell(13), 1);
    EXPECT_EQ(eventCell(70), 1);
    EXPECT_EQ(LogicaTx_GetLockoutState(), 1);
    EXPECT_EQ(count(book(), "ERR: LOCKOUT detected from EEPROM\n\n"), 1u);
}

// With the three shelf modules fitted, so the operation commands show on the bus.
class LogicaTxShelfTest : public LogicaTxTest {
protected:
    LogicaTxShelfTest() { profile = cplShelfProfile(); }
    static size_t operations(uint64_t mark, const std::string& call)
    {
        size_t n = 0;
        for (const std::string& c : cplCalls(busLog(SIM_BUS_I2C1, mark)))
            n += c == call;
        return n;
    }
};

TEST_F(LogicaTxShelfTest, StandbyResendsFromTheSixthReadBackAndReportsAfterTheTenth)
{
    setAmpFamily(1);
    setPsuCount(1);
    setPsuPresent(0, 1);
    SimModel* psu = simModelOf(simFindDevice(SIM_BUS_I2C1, 0x40));
    ASSERT_NE(psu, nullptr);
    auto slow = [&](uint8_t reads) { psu->poke(SIM_CPL_SLOW, &reads, 1); };
    struct Case {
        uint8_t lag; // read-backs that still show the former state
        size_t sends;
        bool fail;
    };
    for (Case c : {Case{0, 1, false}, Case{5, 1, false}, Case{6, 2, false}, Case{9, 5, false},
                   Case{10, 6, true}, Case{40, 6, true}}) {
        SCOPED_TRACE(static_cast<int>(c.lag));
        slow(0);
        setPsuOperationMode(0, 1);
        slow(c.lag);
        uint64_t mark = cplLogMark(busLog(SIM_BUS_I2C1));
        std::string before = book();
        LogicaTx_AllUnitsStandby();
        EXPECT_EQ(operations(mark, "CPL_SetOperation(0,0)"), c.sends);
        EXPECT_EQ(count(book().substr(before.size()), "INFO: PSU_1: OperationMode setting fail\n"), c.fail ? 1u : 0u);
        EXPECT_EQ(getTxOnState(), 0);
    }
    slow(0);
    uint64_t mark = cplLogMark(busLog(SIM_BUS_I2C1));
    // The defaults' nominal power already started (and the restore ended) a
    // power change; ON starts the next one.
    const size_t startsBefore = count(eventLog(), "EVENT: TX Power Change --> START\n");
    LogicaTx_AllUnitsOn();
    EXPECT_EQ(operations(mark, "CPL_SetOperation(0,1)"), 1u);
    EXPECT_EQ(getPsuOperationState(0), 1);
    EXPECT_EQ(getTxOnState(), 1);
    EXPECT_EQ(LogicaTx_IsPowerChanging(), 1);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Power Change --> START\n"), startsBefore + 1);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Status -> ON\n"), 1u);
    EXPECT_EQ(count(book(), "EVENT: TX Status -> STBY \n"), 6u);
}

TEST_F(LogicaTxTest, UnitSlotsChangeOnlyAtTheirThresholds)
{
    static uint32_t connectedCalls = 0;
    UnitSlot_Configure(2, 3, 2, [](uint32_t slot) { connectedCalls += slot; });
    for (int k = 0; k < 2; k++) {
        UnitSlot_SetConnected(2);
        UnitSlot_SetDisconnected(2); // not connected: a positive count is reset
    }
    EXPECT_EQ(UnitSlot_IsConnected(2), 0u);
    for (int k = 0; k < 3; k++)
        UnitSlot_SetConnected(2);
    EXPECT_EQ(UnitSlot_IsConnected(2), 1u);
    EXPECT_EQ(connectedCalls, 2u);
    EXPECT_EQ(readDbAreaCell(13, 15), 4u);
    EXPECT_EQ(count(book(), "INFO: Unit on slot 2 CONNECTED \n\n"), 1u);
    UnitSlot_SetDisconnected(2);
    UnitSlot_SetConnected(2); // a good exchange clears the negative count
    UnitSlot_SetDisconnected(2);
    EXPECT_EQ(UnitSlot_IsConnected(2), 1u);
    UnitSlot_SetDisconnected(2);
    EXPECT_EQ(UnitSlot_IsConnected(2), 0u);
    EXPECT_EQ(readDbAreaCell(13, 15), 0u);
    EXPECT_EQ(count(book(), "ERR: Unit on slot 2 DISCONNECTED \n\n"), 1u);
    UnitSlot_SetConnected(7); // beyond the table: ignored
    EXPECT_EQ(LogicaTx_GetConnectedUnits(), 0u);
}

TEST_F(LogicaTxTest, LocalEndsWithARemoteRequestAfterLocalMaxTime)
{
    setLocalTimeEnable(1);
    setLocalMaxTime(1);
    LogicaTx_SetManagementMode(1);
    uint32_t t = static_cast<uint32_t>(clockWallSeconds());
    LogicaTx_SetLocalStartTime(t);
    EXPECT_EQ(item32(11), t);
    step();
    EXPECT_GE(readDbAreaCell(13, 8), 3599u);
    clearRequests();
    clockAdvanceUs(3590LL * 1000000);
    step();
    EXPECT_TRUE(requests().empty());
    clockAdvanceUs(11LL * 1000000);
    step();
    EXPECT_EQ(requests(), std::vector<std::string>{"CMD_Request(1,1)"});
    EXPECT_EQ(count(book(), "INFO: CMD_CNTR_REMOTO request from AutoBackToRemote\n"), 1u);
    EXPECT_EQ(readDbAreaCell(13, 8), 0u);
    EXPECT_EQ(LogicaTx_GetLocalStartTime(), 0u);
    EXPECT_EQ(item32(11), 0u);
    step();
    EXPECT_EQ(requests().size(), 1u) << "asked once";
}

TEST_F(LogicaTxTest, LinkDeadlinesEndTheChangeOverAndTheMasterLinks)
{
    step(); // the telecommands' first pass reports CO_PRES absent
    LogicaTx_ChangeOverMessageSeen();
    EXPECT_EQ(LogicaTx_GetChangeOverLink(), 1u);
    EXPECT_EQ(eventCell(28), 1);
    clockAdvanceUs(14900000);
    step();
    EXPECT_EQ(count(book(), "RESTART Change Over"), 0u);
    clockAdvanceUs(200000);
    step();
    EXPECT_EQ(count(book(), "INFO: RESTART Change Over connection \n\n"), 1u);
    // The task runs on the link loop's thread, so the change-over port is
    // reopened at once and no reopen is left pending.
    EXPECT_EQ(COM_PendingReopens() & (1u << 2), 0u);
    EXPECT_EQ(LogicaTx_GetChangeOverLink(), 1u);
    clockAdvanceUs(5000000);
    step();
    EXPECT_EQ(count(book(), "INFO: Change Over disconnection detected \n\n"), 1u);
    EXPECT_EQ(LogicaTx_GetChangeOverLink(), 0u);
    EXPECT_EQ(eventCell(28), 0);

    setExciterMode(1); // a slave attached to its master; the LTX deadline armed
    LogicaTx_SetLtxLink(1);
    ASSERT_EQ(LogicaTx_GetSlaveConnected(), 1);
    testing::internal::CaptureStdout();
    clockAdvanceUs(19800000);
    step();
    EXPECT_EQ(LogicaTx_GetLtxLink(), 1u);
    clockAdvanceUs(300000);
    step();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(LogicaTx_GetLtxLink(), 0u);
    EXPECT_EQ(LogicaTx_GetSlaveConnected(), 0);
    EXPECT_EQ(count(book(), "INFO: LTX disconnection detected \n\n"), 1u);
    EXPECT_NE(out.find("        {LTX}   IsolatedSlave ---  TIME-OUT --- \n"), std::string::npos) << out;
}

TEST_F(LogicaTxTest, LedTableFollowsTheState)
{
    // Active-low LED word on the expander: low byte the on configuration,
    // high byte the blink configuration.
    auto ledsOn = [] {
        uint8_t b[2] = {};
        simModelOf(simFindDevice(SIM_BUS_I2C1, 0x21))->peek(2, b, 2);
        return static_cast<uint16_t>(~(b[0] | b[1] << 8) & 0x133F);
    };
    struct Case {
        uint8_t local = 0, txOn = 0;
        uint16_t events[2] = {}; // 6 raises summary flag 1, 7 flag 2, 33 flag 3
        uint8_t inAlarm = 0, inWarning = 0;
        uint32_t freqLock = 0, netMode = 0, timeLock = 0;
        uint32_t web = 0, noWebWrite = 0; // Select_Write bit 128
        uint16_t leds;
    };
    const Case cases[] = {
        {.leds = 8},
        {.local = 1, .txOn = 1, .leds = 2 | 4},
        {.events = {6}, .leds = 8 | 4096},
        {.events = {6, 7}, .leds = 8 | 16},
        {.txOn = 1, .events = {33, 6}, .leds = 4 | 16},
        {.inAlarm = 1, .inWarning = 1, .leds = 8 | 1},
        {.inWarning = 1, .leds = 8 | 256},
        {.freqLock = 1, .leds = 8 | 32},
        {.freqLock = 1, .netMode = 1, .leds = 8},
        {.netMode = 1, .timeLock = 1, .leds = 8 | 32},
        {.timeLock = 1, .leds = 8},
        {.web = 1, .leds = 8 | 512},
        {.web = 1, .noWebWrite = 1, .leds = 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "leds 0x" << std::hex << c.leds);
        LogicaTx_SetManagementMode(c.local);
        // The logic's TX on state and the transmitter ON state agree here.
        LogicaTx_SetTxOnState(c.txOn);
        setTxOnState(c.txOn);
        for (uint16_t e : {6, 7, 33})
            setEventBit(e == c.events[0] || e == c.events[1], e);
        setInputAlarmSummary(c.inAlarm);
        setInputWarningSummary(c.inWarning);
        setFreqRefLockFlag(c.freqLock);
        setNetMode(c.netMode);
        setTimeRefLocked(c.timeLock);
        LogicaTx_SetWebControl(c.web);
        setSelectWriteBits(128, c.noWebWrite);
        step();
        EXPECT_EQ(ledsOn(), c.leds);
    }
}

// ---- telecommands ----

class TelecommandTest : public LogicaTxTest {
protected:
    // Holds `code` on the impulsive lines for `cs` hundredths, stepping every
    // 10 ms as the task does, then releases it.
    static uint32_t pulse(uint32_t code, uint32_t cs)
    {
        uint32_t pending = 0;
        ImpulsiveTlcMng(code, &pending);
        for (uint32_t k = 0; k < cs; k++) {
            clockAdvanceUs(10000);
            ImpulsiveTlcMng(code, &pending);
        }
        ImpulsiveTlcMng(0, &pending);
        clockAdvanceUs(10000);
        ImpulsiveTlcMng(0, &pending);
        return pending;
    }
};

TEST_F(TelecommandTest, PulsesOf6To179HundredthsAreAccepted)
{
    testing::internal::CaptureStdout();
    for (auto [cs, ok] : {std::pair{5u, false}, {6u, true}, {179u, true}, {180u, false}}) {
        std::string before = book();
        uint32_t pending = pulse(0x2, cs);
        EXPECT_EQ(pending, ok ? 0x2u : 0u) << cs;
        EXPECT_EQ(count(book().substr(before.size()), "ERR: Invalid TLC 2\n"), ok ? 0u : 1u) << cs;
    }
    EXPECT_EQ(count(testing::internal::GetCapturedStdout(), "[ImpulsiveTlcMng()] Impulsive TLC 2\n"), 2u);
    EXPECT_EQ(pulse(0x6, 20), 0u) << "two lines together start nothing";
    EXPECT_EQ(pulse(0x40000, 20), 0u) << "beyond bit 17";
}

TEST_F(TelecommandTest, LineHeldFifteenSecondsIsBlockedUntilReleased)
{
    uint32_t pending = 0;
    ImpulsiveTlcMng(0x8, &pending);
    for (int k = 0; k <= 1500 && count(book(), "blocked") == 0; k++) {
        clockAdvanceUs(10000);
        ImpulsiveTlcMng(0x8, &pending);
    }
    EXPECT_EQ(count(book(), "ERR: TLC 8 blocked\n"), 1u);
    EXPECT_EQ(count(book(), "Invalid TLC"), 0u);
    clockAdvanceUs(10000);
    ImpulsiveTlcMng(0x8, &pending);
    EXPECT_EQ(count(book(), "ERR: Invalid TLC 8\n"), 1u);
    for (int k = 0; k < 500; k++) {
        clockAdvanceUs(10000);
        ImpulsiveTlcMng(0x8, &pending);
    }
    EXPECT_EQ(count(book(), "TLC 8"), 2u) << "nothing more while held";
    clockAdvanceUs(10000);
    ImpulsiveTlcMng(0, &pending);
    EXPECT_EQ(count(book(), "ERR: TLC 8 unblocked\n"), 1u);
    EXPECT_EQ(pending, 0u);
    EXPECT_EQ(pulse(0x8, 50), 0x8u) << "the next press counts";
}

TEST_F(TelecommandTest, ContinuousGlitchesNeverReachTheMasterRole)
{
    setExciterMode(0);
    setLocalFromChangeOver(0);
    TLC_SetMode();
    ASSERT_EQ(TLC_GetImpulsiveMask(), 0x0Eu);
    TLC_ProcessInputs(0); // first pass: every continuous line reaches the role
    EXPECT_EQ(count(book(), "INFO: CO_PRES absent\n"), 1u);
    std::string before = book();
    for (int glitch : {1, 2}) {
        for (int k = 0; k < glitch; k++)
            TLC_ProcessInputs(0x10);
        for (int k = 0; k < 3; k++)
            TLC_ProcessInputs(0);
    }
    EXPECT_EQ(count(book().substr(before.size()), "CO_PRES"), 0u);
    for (int k = 0; k < 3; k++)
        TLC_ProcessInputs(0x10);
    EXPECT_EQ(count(book(), "INFO: CO_PRES present\n"), 1u);
    EXPECT_EQ(LogicaTx_GetChangeOverLink(), 1u);
    for (int k = 0; k < 2; k++)
        TLC_ProcessInputs(0);
    TLC_ProcessInputs(0x10);
    EXPECT_EQ(count(book().substr(before.size()), "CO_PRES absent"), 0u);
    for (int k = 0; k < 3; k++)
        TLC_ProcessInputs(0);
    EXPECT_EQ(count(book().substr(before.size()), "INFO: CO_PRES absent\n"), 1u);
}

TEST_F(TelecommandTest, MasterPulsesRequestOnlyInRemote)
{
    setExciterMode(0);
    TLC_SetMode();
    TLC_ProcessInputs(0);
    auto press = [](uint32_t line) {
        TLC_ProcessInputs(line);
        for (int k = 0; k < 20; k++) {
            clockAdvanceUs(10000);
            TLC_ProcessInputs(line);
        }
        clockAdvanceUs(10000);
        TLC_ProcessInputs(0);
    };
    clearRequests();
    press(0x2);
    EXPECT_EQ(count(book(), "INFO: TLC TX_ON requested\n"), 1u);
    EXPECT_EQ(count(book(), "INFO: CMD_AVVIO requested from TLC [MASTER]\n"), 1u);
    press(0x4);
    EXPECT_EQ(count(book(), "INFO: CMD_ARRESTO requested from TLC [MASTER]\n"), 1u);
    EXPECT_EQ(requests(), (std::vector<std::string>{"CMD_Request(3,1)", "CMD_Request(4,1)"}));
    LogicaTx_SetManagementMode(1);
    clearRequests();
    press(0x2);
    press(0x4);
    EXPECT_EQ(count(book(), "ERR: Tx not in REMOTE -- Cannot execute TLC\n"), 2u);
    EXPECT_TRUE(requests().empty());
}

TEST_F(TelecommandTest, OutputsFollowTheStateOnTheExpander)
{
    auto outputs = [] {
        uint8_t v = 0;
        simModelOf(simFindDevice(SIM_BUS_I2C1, 0x20))->peek(3, &v, 1);
        return v & 0x07;
    };
    struct Case {
        uint8_t local;
        uint32_t start;
        uint16_t event; // raises a summary flag, 0 none
        uint8_t bits;
    };
    // Event 6 raises flag 1, 7 flag 2, 33 flag 3.
    for (Case c : {Case{1, 0, 0, 0x3}, Case{0, 0, 33, 0x4}, Case{0, 0, 7, 0x2}, Case{0, 0, 6, 0x1},
                   Case{0, 1, 6, 0x5}, Case{0, 0, 0, 0x7}, Case{0, 1, 0, 0x6}}) {
        SCOPED_TRACE(testing::Message() << int(c.local) << c.start << c.event);
        LogicaTx_SetManagementMode(c.local);
        LogicaTx_SetTxStartRequest(c.start);
        for (uint16_t e : {6, 7, 33})
            setEventBit(e == c.event, e);
        LogicaTx_StatusSummaryStep();
        TLC_Task();
        EXPECT_EQ(outputs(), c.bits);
    }
}

// The roles on the input word: from the line levels `from` (the first pass),
// the lines change to `to` for three samples (past the filter), then the
// impulsive line `pulse`, if any, is pressed for 20 hundredths over `to`.
class TelecommandRoleTest : public TelecommandTest {
protected:
    struct Run {
        std::string book, out;
        std::vector<std::string> requests;
    };
    struct Case {
        uint8_t local = 0, disableTlc = 0, txOn = 0, startRequest = 0;
        uint32_t from = 0, to = 0, pulse = 0;
        const char* book = nullptr; // the line logged once, nullptr none
        const char* out = nullptr;  // on standard output, nullptr none checked
        const char* request = nullptr;
        uint8_t holdOn = 0; // Select_Write 0x4000 (slave)
        uint8_t regional = 0, regionalDsn = 0, currentDsn = 1, standbyDsn = 1;
        uint8_t wantCurrent = 0, wantStandby = 0; // 0: not checked
    };
    static void feed(uint32_t input, int n)
    {
        for (int k = 0; k < n; k++) {
            clockAdvanceUs(10000);
            TLC_ProcessInputs(input);
        }
    }
    Run run(const Case& c)
    {
        LogicaTx_SetManagementMode(c.local);
        setNplus1CoDisableTlc(c.disableTlc);
        LogicaTx_SetTxOnState(c.txOn);
        setTxOnState(c.txOn);
        LogicaTx_SetTxStartRequest(c.startRequest);
        setSelectWriteBits(0x4000, c.holdOn);
        setRegionalDSFromTLC(c.regional);
        setRegionalDSN(c.regionalDsn);
        setCurrentRDSDSN(c.currentDsn);
        setStandbyRDSDSN(c.standbyDsn);
        TLC_SetMode();
        TLC_ProcessInputs(c.from);
        std::string before = book();
        clearRequests();
        testing::internal::CaptureStdout();
        feed(c.to, 3);
        if (c.pulse) {
            feed(c.to | c.pulse, 20);
            feed(c.to, 3);
        }
        std::string out = testing::internal::GetCapturedStdout();
        return Run{book().substr(before.size()), out, requests()};
    }
    void check(const Case& c)
    {
        SCOPED_TRACE(testing::Message() << "local " << int(c.local) << " on " << int(c.txOn) << " start "
                                        << int(c.startRequest) << std::hex << " from 0x" << c.from << " to 0x"
                                        << c.to << " pulse 0x" << c.pulse);
        Run r = run(c);
        if (c.book) {
            EXPECT_EQ(count(r.book, c.book), 1u) << r.book;
        }
        EXPECT_EQ(count(r.book, "requested from"), c.request ? 1u : 0u) << r.book;
        if (c.out) {
            EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        }
        if (c.request) {
            EXPECT_EQ(r.requests, std::vector<std::string>{c.request});
        } else {
            EXPECT_TRUE(r.requests.empty()) << r.requests.size();
        }
        if (c.wantCurrent) {
            EXPECT_EQ(getCurrentRDSDSN(), c.wantCurrent);
        }
        if (c.wantStandby) {
            EXPECT_EQ(getStandbyRDSDSN(), c.wantStandby);
        }
    }
};

TEST_F(TelecommandRoleTest, SlaveFollowsTheOnLevelAndTheAddressLine)
{
    // The address line opens the unit-link socket: keep it off this
    // machine's network.
    if (unshare(CLONE_NEWNET) != 0)
        GTEST_SKIP() << "no network namespace";
    setExciterMode(1);
    TLC_SetMode();
    ASSERT_EQ(TLC_GetImpulsiveMask(), 0x08u);
    const char* on = "INFO: CMD_AVVIO requested from TLC [SLAVE]\n";
    const char* stby = "INFO: CMD_ARRESTO requested from TLC [SLAVE]\n";
    const Case cases[] = {
        {.txOn = 0, .startRequest = 0, .to = 0x2, .book = on, .request = "CMD_Request(3,1)"},
        {.txOn = 0, .startRequest = 1, .to = 0x2, .book = on, .request = "CMD_Request(3,1)"},
        {.txOn = 1, .startRequest = 0, .to = 0x2, .book = on, .request = "CMD_Request(3,1)"},
        {.txOn = 1, .startRequest = 1, .to = 0x2},
        {.txOn = 1, .startRequest = 0, .from = 0x2, .book = stby, .request = "CMD_Request(4,1)"},
        {.txOn = 1, .startRequest = 1, .from = 0x2, .book = stby, .request = "CMD_Request(4,1)"},
        {.txOn = 0, .startRequest = 1, .from = 0x2, .book = stby, .request = "CMD_Request(4,1)"},
        {.txOn = 0, .startRequest = 0, .from = 0x2},
        {.txOn = 0, .to = 0x2, .holdOn = 1},
        {.txOn = 1, .from = 0x2, .holdOn = 1},
        // LOCAL does not stop the slave's ON line.
        {.local = 1, .to = 0x2, .book = on, .request = "CMD_Request(3,1)"},
        {.pulse = 0x8, .book = "INFO: TLC TX_HR requested\n"},
        {.to = 0x4, .book = "INFO: Slave socket channel opened for DRV_B\n",
         .out = "ADDR_TLC\nAddr 0x58 requested\n"},
        {.from = 0x4, .book = "INFO: Slave socket channel opened for DRV_A\n",
         .out = "ADDR_TLC\nAddr 0x59 requested\n"},
    };
    for (const Case& c : cases)
        check(c);
    // The address line sets the serial address of the link it opened.
    Run r = run({.to = 0x4});
    EXPECT_EQ(count(r.book, "INFO: Addr 0x58 requested\n"), 1u) << r.book;
    EXPECT_EQ(getControlSerialAddress(), 0x58);
    r = run({.from = 0x4});
    EXPECT_EQ(count(r.book, "INFO: Addr 0x59 requested\n"), 1u) << r.book;
    EXPECT_EQ(getControlSerialAddress(), 0x59);
    COM_ResetChannelsForTest();
}

TEST_F(TelecommandRoleTest, ChangeOverInterlockOnResetAndPresets)
{
    setVendorId(1);
    setNplus1CoExtension(1);
    setExciterMode(0);
    TLC_SetMode();
    ASSERT_EQ(TLC_GetImpulsiveMask(), 0x48u);
    const char* on = "INFO: CMD_AVVIO requested from CHANGEOVER\n";
    const char* stby = "INFO: CMD_ARRESTO requested from CHANGEOVER\n";
    const char* notRemote = "ERR: Tx not in REMOTE -- Cannot execute TLC\n";
    const Case cases[] = {
        {.to = 0x1, .book = "INFO: INTERLOCK present\n"},
        {.from = 0x1, .book = "INFO: INTERLOCK absent\n"},
        {.txOn = 0, .to = 0x20, .book = on, .request = "CMD_Request(3,1)"},
        {.txOn = 1, .startRequest = 0, .to = 0x20, .book = on, .request = "CMD_Request(3,1)"},
        {.txOn = 1, .startRequest = 1, .to = 0x20},
        {.txOn = 1, .from = 0x20, .book = stby, .request = "CMD_Request(4,1)"},
        {.txOn = 0, .startRequest = 1, .from = 0x20, .book = stby, .request = "CMD_Request(4,1)"},
        {.txOn = 0, .startRequest = 0, .from = 0x20},
        {.disableTlc = 1, .to = 0x20},
        {.disableTlc = 1, .txOn = 1, .from = 0x20},
        {.pulse = 0x40, .book = "INFO: CMD_SBLOCCO requested from CHANGEOVER\n", .request = "CMD_Request(5,1)"},
        // Preset id: lines 1, 2 and 4 inverted, line 1 lowest.
        {.to = 0x02, .book = "INFO: CMD_RSV_CFG_LOAD [Tx 6] requested from CHANGEOVER\n",
         .out = "PRESET_TLC_BRELKA -- preset_id 6 [", .request = "CMD_Request(9,1)"},
        {.to = 0x14, .book = "INFO: CMD_RSV_CFG_LOAD [Tx 1] requested from CHANGEOVER\n",
         .out = "PRESET_TLC_BRELKA -- preset_id 1 [", .request = "CMD_Request(9,1)"},
        {.from = 0x16, .to = 0x06, .book = "INFO: CMD_RSV_CFG_LOAD [Tx 4] requested from CHANGEOVER\n",
         .out = "PRESET_TLC_BRELKA -- preset_id 4 [", .request = "CMD_Request(9,1)"},
        {.to = 0x16, .out = "PRESET_TLC_BRELKA -- preset_id 0 ["},
        {.from = 0x16, .out = "PRESET_TLC_BRELKA -- preset_id 7 ["},
        {.local = 1, .to = 0x20, .book = notRemote},
        {.local = 1, .to = 0x02, .book = notRemote},
        {.local = 1, .pulse = 0x40, .book = notRemote},
    };
    for (const Case& c : cases)
        check(c);
}

TEST_F(TelecommandRoleTest, ExternOnStandbyResetPresetsAndRdsDataSet)
{
    setExciterMode(0);
    setTlcTlsExtended(1);
    setTlcTlsExtDetected(1);
    TLC_SetMode();
    ASSERT_EQ(TLC_GetImpulsiveMask(), 0x180Eu);
    const char* on = "INFO: CMD_AVVIO requested from EXTERN\n";
    const char* stby = "INFO: CMD_ARRESTO requested from EXTERN\n";
    const char* notRemote = "ERR: Tx not in REMOTE -- Cannot execute TLC\n";
    const char* regional = "INFO: TLC: Switch RDS DataSet to Regional\n";
    const Case cases[] = {
        {.txOn = 0, .pulse = 1u << 11, .book = on, .request = "CMD_Request(3,1)"},
        {.txOn = 1, .startRequest = 0, .pulse = 1u << 11, .book = on, .request = "CMD_Request(3,1)"},
        {.txOn = 1, .startRequest = 1, .pulse = 1u << 11},
        {.txOn = 1, .pulse = 1u << 12, .book = stby, .request = "CMD_Request(4,1)"},
        {.txOn = 0, .startRequest = 1, .pulse = 1u << 12, .book = stby, .request = "CMD_Request(4,1)"},
        {.txOn = 0, .startRequest = 0, .pulse = 1u << 12},
        {.disableTlc = 1, .pulse = 1u << 11},
        {.disableTlc = 1, .txOn = 1, .pulse = 1u << 12},
        {.to = 1u << 10, .book = "INFO: CMD_SBLOCCO requested from EXTERN\n", .request = "CMD_Request(5,1)"},
        {.from = 1u << 10},
        {.to = 1u << 13, .book = "INFO: CMD_RSV_CFG_LOAD [Tx 1] requested from EXTERN\n",
         .out = "PRESET_TLC_EXT -- preset_id 1 [", .request = "CMD_Request(9,1)"},
        {.to = 1u << 16, .book = "INFO: CMD_RSV_CFG_LOAD [Tx 4] requested from EXTERN\n",
         .out = "PRESET_TLC_EXT -- preset_id 4 [", .request = "CMD_Request(9,1)"},
        {.to = 1u << 17, .book = "INFO: CMD_RSV_CFG_LOAD [Tx 5] requested from EXTERN\n",
         .out = "PRESET_TLC_EXT -- preset_id 5 [", .request = "CMD_Request(9,1)"},
        {.to = 3u << 13},
        // With the regional switch, line 17 switches the RDS data set.
        {.to = 1u << 17, .book = regional, .regional = 1, .regionalDsn = 2, .currentDsn = 1, .standbyDsn = 3,
         .wantCurrent = 2, .wantStandby = 1},
        {.to = 1u << 17, .regional = 1, .regionalDsn = 2, .currentDsn = 2, .standbyDsn = 3, .wantCurrent = 2,
         .wantStandby = 3},
        {.from = 1u << 17, .book = "INFO: TLC: Switch RDS DataSet to Normal\n", .regional = 1, .regionalDsn = 2,
         .currentDsn = 2, .standbyDsn = 1, .wantCurrent = 1},
        {.local = 1, .pulse = 1u << 11, .book = notRemote},
        {.local = 1, .to = 1u << 13, .book = notRemote},
    };
    for (const Case& c : cases)
        check(c);
}

} // namespace
