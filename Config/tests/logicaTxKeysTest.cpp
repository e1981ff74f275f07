// The transmitter-logic keys: validators, the setters with behaviour of
// their own, the Select_Write bits, the FSK identity load at the simulated
// FPGA, the change groups, the reserve configuration and the start-up of the
// logic settings.
#include "alarms/logicaTxConfig.h"

#include "Config/configCycle.h"
#include "Config/keys/alarmsKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "core/base/locks.h"
#include "core/base/utils.h"
#include "hw/eeprom.h"
#include "hw/eepromManager.h"
#include "hw/fpgaMaintenance.h"
#include "hw/fpgaWindows.h"
#include "links/serialChannels.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simModels.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class LogicaTxKeys : public SandboxTest {
protected:
    LogicaTxKeys() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    // The EEPROM manager's store over a valid board identity record.
    void startEepromManager()
    {
        sem_sys_init();
        semsUp_ = true;
        simMakeDirs(sysPath("/mnt/ubi0/conf").c_str());
        uint8_t record[128] = {};
        for (int i = 0; i < 124; i++)
            record[i] = static_cast<uint8_t>(i * 5 + 3);
        putU32BE(unitInfoCrc(record), record + 124);
        simModelOf(simFindDevice(SIM_BUS_I2C1, 0x51))->poke(0, record, sizeof record);
        ASSERT_EQ(EEM_Init(1, 1, EEM_MODE_EMUL), 0);
    }

    void TearDown() override
    {
        if (semsUp_)
            sem_sys_remove();
        registerLogicServices(nullptr);
        SandboxTest::TearDown();
    }

    bool semsUp_ = false;
};

TEST_F(LogicaTxKeys, ValidatorsAtTheirEdges)
{
    struct {
        int (*valid)(uint32_t);
        uint32_t v;
        int ok;
    } cases[] = {
        {isValidLocalMaxTime, 0, 0},          {isValidLocalMaxTime, 1, 1},
        {isValidLocalMaxTime, 24, 1},         {isValidLocalMaxTime, 25, 0},
        {isValidRetryBeforeLockout, 0, 0},    {isValidRetryBeforeLockout, 1, 1},
        {isValidRetryBeforeLockout, 10, 1},   {isValidRetryBeforeLockout, 11, 0},
        {isValidAmplifierType, EXT_AMP_MODEL_FIRST - 1, 0},
        {isValidAmplifierType, EXT_AMP_MODEL_FIRST, 1},
        {isValidAmplifierType, EXT_AMP_MODEL_FIRST + EXT_AMP_MODEL_COUNT - 1, 1},
        {isValidAmplifierType, EXT_AMP_MODEL_FIRST + EXT_AMP_MODEL_COUNT, 0},
        {isValidChangeOverSerialAddress, 0, 0}, {isValidChangeOverSerialAddress, 255, 1},
        {isValidSelectWrite, 0xffffffff, 1},  {isValidControlSerialAddress, 0xff, 1},
    };
    for (auto c : cases)
        EXPECT_EQ(c.valid(c.v), c.ok) << c.v;
}

TEST_F(LogicaTxKeys, LtxConnectionTimeoutSetterIgnoresValuesOutsideItsRange)
{
    struct {
        uint32_t v;
        uint8_t stored;
    } cases[] = {{4, 20}, {5, 5}, {60, 60}, {61, 60}};
    setLTXConnectionTimeout(20);
    for (auto c : cases) {
        clearConfigChanged();
        setDbAreaCell(13, 34, 0xffff);
        setLTXConnectionTimeout(c.v);
        EXPECT_EQ(getLTXConnectionTimeout(), c.stored) << c.v;
        bool stored = c.v == c.stored;
        EXPECT_EQ(readDbAreaCell(13, 34), stored ? c.v : 0xffffu) << c.v;
        EXPECT_EQ(getConfigChanged(), stored ? 0x2000u : 0u) << c.v;
    }
}

TEST_F(LogicaTxKeys, LocalSettingsMarkGroupEightOnly)
{
    clearConfigChanged();
    setLocalTimeEnable(1);
    EXPECT_EQ(getConfigChanged(), 0x8u);
    EXPECT_EQ(readDbAreaCell(13, 36), 1u);
    clearConfigChanged();
    setLocalFromChangeOver(1); // the change-over link is down: nothing forced
    EXPECT_EQ(getConfigChanged(), 0x8u);
    EXPECT_EQ(LogicaTx_IsLocalForcedByChangeOver(), 0);
    EXPECT_EQ(count(book(), "LOCAL forced from Change Over"), 0u);
}

TEST_F(LogicaTxKeys, LocalFromChangeOverForcesLocalOrRestoresTheSavedMode)
{
    startEepromManager();
    LogicaTx_SetChangeOverLink(1);
    setLocalFromChangeOver(1);
    EXPECT_EQ(LogicaTx_IsLocalForcedByChangeOver(), 1);
    EXPECT_EQ(count(book(), "INFO: LOCAL forced from Change Over\n"), 1u);
    EXPECT_EQ(count(book(), "Command #0 "), 1u);
    // Saved mode REMOTE (item 1 = 0): REMOTE is requested again.
    setLocalFromChangeOver(0);
    EXPECT_EQ(LogicaTx_IsLocalForcedByChangeOver(), 0);
    EXPECT_EQ(count(book(), "Command #1 "), 1u);
    // Saved mode LOCAL.
    const uint8_t local = 1;
    ASSERT_EQ(EEM_WriteData(&local, 1, 1), 0);
    setLocalFromChangeOver(1);
    setLocalFromChangeOver(0);
    EXPECT_EQ(count(book(), "Command #0 "), 3u);
    LogicaTx_SetChangeOverLink(0);
}

TEST_F(LogicaTxKeys, SelectWriteBitsPublishAndMarkOnEveryCall)
{
    for (uint32_t flag : {1u, 1u, 0u, 0u, 7u}) {
        clearConfigChanged();
        setDbAreaCell(13, 9, 0xdead);
        setSelectWriteBits(0x80080, flag);
        uint32_t want = flag == 1 ? 0x80080 : 0;
        EXPECT_EQ(getSelectWrite(), want) << flag;
        EXPECT_EQ(readDbAreaCell(13, 9), want) << flag;
        EXPECT_EQ(getConfigChanged(), 0x2000u) << flag;
        EXPECT_EQ(hasSelectWriteBits(0x80000), flag == 1 ? 1 : 0);
    }
    setSelectWriteBits(0x80, 1);
    EXPECT_EQ(hasSelectWriteBits(0x80080), 0);
    EXPECT_EQ(hasSelectWriteBits(0x80), 1);
}

TEST_F(LogicaTxKeys, FskIdentityIsLoadedIntoRegion25OnEverySetWhileTheSignatureIsOn)
{
    ASSERT_EQ(initAxi(), 0);
    LogicaTx_ApplyKeyDefaults();
    EXPECT_EQ(getFSKTxId(0), 0x5441524Eu); // "TARN"
    EXPECT_EQ(getFSKTxId(1), 0x54580000u); // "TX"
    EXPECT_STREQ(getFSKTxIdKey(0), "FSK_TxId_1");
    EXPECT_STREQ(getFSKTxIdKey(5), "FSK_TxId_2");
    SimFpgaState& f = simState()->fpga;
    uint32_t latched = f.idLatched.load();
    setFSKTxId(0, getFSKTxId(0)); // signature off: nothing loaded
    EXPECT_EQ(f.idLatched.load(), latched);

    setFSKSignEna(1);
    clearConfigChanged();
    setDbAreaCell(13, 53, 0);
    setFSKTxId(0, getFSKTxId(0)); // unchanged: no publish, no mark, but loaded
    EXPECT_GT(f.idLatched.load(), latched);
    EXPECT_EQ(readDbAreaCell(13, 53), 0u);
    EXPECT_EQ(getConfigChanged(), 0u);
    uint32_t want[5] = {};
    Fpga_EncodeRegion25Words("TARNTX", want);
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(f.idWords[k], want[k]) << k;

    // A change publishes both words.
    setFSKTxId(1, 0x41420000); // "AB"
    EXPECT_EQ(readDbAreaCell(13, 53), 0x5441524Eu);
    EXPECT_EQ(readDbAreaCell(13, 54), 0x41420000u);
    memset(want, 0, sizeof want);
    Fpga_EncodeRegion25Words("TARNAB", want);
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(f.idWords[k], want[k]) << k;
}

TEST_F(LogicaTxKeys, SettersReachTheirPortsAmplifiersAndTheLogic)
{
    setNplus1MainsNumber(2);
    setControlSerialAddress(89);
    setChangeOverSerialAddress(7);
    setAmplifierNumber(3);
    // Amplifier n is on unit slot n; only the connected ones are written
    // (here they hold no amplifier record, so each write fails on its own).
    UnitSlot_SetConnected(1);
    UnitSlot_SetConnected(3);
    setExternalAmplifierVoltageSupply(480);
    setNplus1Mode(1);
    std::string log = book();
    EXPECT_EQ(count(log, "AMP_FM_Write [Tab 8, Elem 8, Value 480] failed"), 2u) << log;
    EXPECT_EQ(count(log, "Slot: 2: Write failed"), 0u);
    UnitSlot_SetDisconnected(1);
    UnitSlot_SetDisconnected(3);
    // The link addresses are in the COM records of the control and change-over ports.
    testing::internal::CaptureStdout();
    COM_PrintPortConfig(0);
    COM_PrintPortConfig(2);
    std::string records = testing::internal::GetCapturedStdout();
    EXPECT_NE(records.find("\t COM 1 configuration \naddress 89 [59] \n"), std::string::npos) << records;
    EXPECT_NE(records.find("\t COM 3 configuration \naddress 7 [07] \n"), std::string::npos) << records;
    EXPECT_EQ(readDbAreaCell(13, 16), 480u);
    EXPECT_EQ(getAlarmInput(44), 1); // no reserve directories in the sandbox

    setExciterMode(1);
    EXPECT_EQ(LogicaTx_GetSlaveConnected(), 1);
    EXPECT_EQ(LogicaTx_GetLtxDeadline() != 0, 1 == 1);
    setExciterMode(2);
    EXPECT_EQ(LogicaTx_GetSlaveConnected(), 0);
    EXPECT_EQ(LogicaTx_GetLtxDeadline() != 0, 0 == 1);
    EXPECT_EQ(LogicaTx_GetBackToRemoteDelay1(), getChangeOverConnectionTimeout());
}

TEST_F(LogicaTxKeys, FunctionalTypeRenewsTheImageLinkOnlyWhenAskedTo)
{
    static int links;
    links = 0;
    static const LogicServices services = {[](int onSpare, int request) {
        EXPECT_EQ(onSpare, 0);
        EXPECT_EQ(request, 1);
        return ++links;
    }};
    cfgHandSet_FunctionalType(0, 10); // the configuration files: no reboot
    EXPECT_EQ(getFunctionalType(), 10u);
    EXPECT_EQ(readDbAreaCell(3, 3), 10u);
    setFunctionalType(11, 1);
    EXPECT_EQ(count(book(), "no FPGA image link service registered"), 1u);
    registerLogicServices(&services);
    setFunctionalType(11, 1); // unchanged
    setFunctionalType(10, 1);
    EXPECT_EQ(links, 1);
    // A zero read from the files becomes 11, published.
    setFunctionalType(0, 0);
    LogicaTx_FixFunctionalType();
    EXPECT_EQ(getFunctionalType(), 11u);
    EXPECT_EQ(readDbAreaCell(3, 3), 11u);
    EXPECT_EQ(links, 1);
}

TEST_F(LogicaTxKeys, StartUpOfTheLogicSettings)
{
    startEepromManager();
    const uint8_t mismatch = 1;
    ASSERT_EQ(EEM_WriteData(&mismatch, 17, 1), 0);
    setExciterMode(1);
    setLocalMaxTime(7);
    setLTXConnectionTimeout(44);
    clearConfigChanged();
    LogicaTx_InitSettings();
    const std::pair<uint32_t, uint32_t> table3[] = {{1, 1}, {2, 1}, {4, 1}, {7, 5}};
    for (auto [item, v] : table3) {
        EXPECT_EQ(readDbAreaCell(3, item), v) << item;
        EXPECT_EQ(LogicaTx_GetTable3Word(item), v);
    }
    EXPECT_EQ(getLocalMaxTime(), 1);
    EXPECT_EQ(readDbAreaCell(13, 6), 1u);
    EXPECT_EQ(getLTXConnectionTimeout(), 20);
    EXPECT_EQ(getChangeOverConnectionTimeout(), 20);
    EXPECT_EQ(getControlSerialAddress(), 89);
    EXPECT_EQ(LogicaTx_GetLtxDeadline() != 0, 1 == 1);
    EXPECT_EQ(LogicaTx_GetReserveConfigState(), 1);
    EXPECT_EQ(readDbAreaCell(15, 4), 1u);
    EXPECT_EQ(LogicaTx_GetReserveConfigMismatch(), 1);
    EXPECT_EQ(getAlarmInput(45), 1);

    // The mismatch is kept in the EEPROM and mirrored into alarm 45.
    LogicaTx_SetReserveConfigMismatch(0);
    uint8_t item = 9;
    EEM_ReadData(&item, 17, 1);
    EXPECT_EQ(item, 0);
    EXPECT_EQ(getAlarmInput(45), 0);

    // Client writes of the table-3 words.
    EXPECT_EQ(LogicaTx_WriteTable3Word(2, 3), 0);
    EXPECT_EQ(readDbAreaCell(3, 2), 3u);
    EXPECT_EQ(LogicaTx_WriteTable3Word(2, 4), 11);
    EXPECT_EQ(LogicaTx_WriteTable3Word(1, 1), 15);
    EXPECT_EQ(LogicaTx_WriteTable3Word(3, 1), 1);
}

} // namespace
