// The command manager on the virtual clock: requests and refusals, clears,
// the confirmed commands with their resends, the reboot child, the reserve
// save and load, the log erases and the factory-reset levels.
#include "comtab/commandManager.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandSlots.h"
#include "comtab/dbPool.h"
#include "comtab/tests/commandTestFixture.h"
#include "power/ampFm.h"
#include "testing/testSupport.h"

#include <fstream>
#include <sys/stat.h>

namespace {

class CommandManagerTest : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        CMD_Init();
        tick(2); // the restored REMOTE and standby settle
    }

    static void expectSlot(int n, uint32_t requested, uint32_t running)
    {
        EXPECT_EQ(CMD_IsRequested(n), requested) << "slot " << n;
        EXPECT_EQ(static_cast<uint32_t>(CMD_IsRunning(n)), running) << "slot " << n;
    }

    std::string standinLog() { return readSandboxFile("/var/log/standin.log"); }
};

using CommandManagerBeforeInit = CommandTest;

TEST_F(CommandManagerBeforeInit, EveryRequestIsRefusedWithOneLine)
{
    EXPECT_EQ(CMD_Request(3, 1), 9);
    EXPECT_EQ(count(book(), "ERR: Request for Command #3 FAILED -- Command manager was not inizialized. \n\n"), 1u);
    CMD_Init();
    for (int n : {-1, 17, 1000}) {
        size_t mark = book().size();
        EXPECT_EQ(CMD_Request(n, 1), 9) << n;
        EXPECT_EQ(count(since(mark), "ERR: "), 1u) << n;
    }
}

TEST_F(CommandManagerTest, RestoreAtInitRequestsRemoteAndStandby)
{
    EXPECT_EQ(count(book(), "INFO: Restore REMOTE status\n"), 1u);
    EXPECT_EQ(count(book(), "INFO: Transmitter already in REMOTE mode\n"), 1u);
    EXPECT_EQ(count(book(), "INFO: Restore STBY status\n"), 1u);
    EXPECT_EQ(count(book(), "INFO: CMD_ARRESTO successfull\n"), 1u);
    expectSlot(1, 0, 2);
    expectSlot(4, 0, 2);
}

TEST_F(CommandManagerTest, RunningRefusesClearStopsFinishedKeepsItsState)
{
    // The lockout reset runs while the lockout holds.
    setAlarmState(128, 1);
    EXPECT_EQ(CMD_Request(5, 1), 0);
    tick();
    expectSlot(5, 0, 1);
    size_t mark = book().size();
    EXPECT_EQ(CMD_Request(5, 1), 9);
    EXPECT_EQ(count(since(mark), "ERR: Request for Command #5 FAILED -- Command already running. \n\n"), 1u);
    EXPECT_EQ(CMD_Request(5, 2), 0) << "a clear is always taken";
    expectSlot(5, 2, 1);
    tick();
    expectSlot(5, 0, 0);
    EXPECT_EQ(count(book(), "INFO: CMD_SBLOCCO cleared\n"), 1u);

    // A finished slot keeps its state; the clear stays stored.
    EXPECT_EQ(CMD_Request(16, 1), 0);
    tick();
    expectSlot(16, 0, 2);
    EXPECT_EQ(CMD_Request(16, 2), 0);
    tick();
    expectSlot(16, 2, 2);
    EXPECT_EQ(readDbAreaCell(40, 45), 2u);
    EXPECT_EQ(readDbAreaCell(40, 46), 2u);
}

TEST_F(CommandManagerTest, OnAndStandbyCancelEachOther)
{
    // One amplifier unit that never reports ON: ON stays running.
    setAmplifierNumber(1);
    UnitSlot_Configure(1, 1, 1, nullptr);
    UnitSlot_SetConnected(1);
    ASSERT_EQ(UnitSlot_IsConnected(1), 1u);
    EXPECT_EQ(CMD_Request(3, 1), 0);
    tick();
    EXPECT_EQ(CMD_Request(4, 1), 0);
    tick();
    expectSlot(3, 0, 0);
    expectSlot(4, 0, 2); // the unit is not ON: standby is confirmed at once
    EXPECT_EQ(count(book(), "INFO: CMD_AVVIO running\n"), 1u);
    EXPECT_EQ(count(book(), "INFO: CMD_AVVIO stopped\n"), 1u);
    EXPECT_EQ(LogicaTx_GetTxOnState(), 0u);

    // A pending standby is dropped by ON.
    CMD_SetRunning(4, 0);
    EXPECT_EQ(CMD_Request(4, 1), 0);
    EXPECT_EQ(CMD_Request(3, 1), 0);
    tick();
    expectSlot(4, 0, 0);
    expectSlot(3, 0, 1);
    EXPECT_EQ(LogicaTx_GetTxOnState(), 1u);
}

TEST_F(CommandManagerTest, OnInLockoutFailsAtOnceWithTheOnStateStored)
{
    LogicaTx_SetLockoutState(1);
    EXPECT_EQ(CMD_Request(3, 1), 0);
    tick();
    expectSlot(3, 0, 3);
    EXPECT_EQ(LogicaTx_GetTxOnState(), 1u);
    EXPECT_EQ(count(book(), "ERR: CMD_AVVIO failed: Tx is in lockout\n"), 1u);
}

TEST_F(CommandManagerTest, LocalWithNoUnitIsConfirmedAtTheFirstTick)
{
    EXPECT_EQ(CMD_Request(0, 1), 0);
    tick();
    expectSlot(0, 0, 2);
    EXPECT_EQ(count(book(), "INFO: LOCAL command sent to all units\n"), 1u);
    EXPECT_EQ(count(eventLog(), "TX Management Mode -> LOCAL"), 1u);
    EXPECT_EQ(count(book(), "INFO: CMD_LOCALE successfull\n"), 1u);
}

TEST_F(CommandManagerTest, LockoutThatNeverClearsRetriesThreeTimesThenFails)
{
    setAlarmState(128, 1); // the latched mute lockout holds
    EXPECT_EQ(CMD_Request(5, 1), 0);
    tick();
    struct Step {
        int64_t atMs; // after the request
        const char* line;
        uint32_t running;
    } steps[] = {
        {9990, nullptr, 1},
        {10020, "INFO: CMD_SBLOCCO retry #1\n", 1},
        {20040, "INFO: CMD_SBLOCCO retry #2\n", 1},
        {30060, "INFO: CMD_SBLOCCO retry #3\n", 1},
        {40080, "ERR: CMD_SBLOCCO failed\n", 3},
    };
    int64_t now = 10;
    for (const Step& s : steps) {
        size_t mark = book().size();
        tick(static_cast<int>((s.atMs - now) / 10));
        now = s.atMs;
        SCOPED_TRACE(s.atMs);
        if (s.line) {
            EXPECT_EQ(count(since(mark), s.line), 1u) << since(mark);
        } else {
            EXPECT_EQ(count(since(mark), "CMD_SBLOCCO"), 0u);
        }
        EXPECT_EQ(static_cast<uint32_t>(CMD_IsRunning(5)), s.running);
    }
    EXPECT_EQ(count(book(), "INFO: Sblocco del trasmettitore\n"), 4u) << "four unlock sends";
}

TEST_F(CommandManagerTest, BankSwitchSavesThenRebootsAndStaysRunning)
{
    ASSERT_EQ(CMD_Request(15, 1), 0);
    tick();
    EXPECT_EQ(count(book(), "INFO: CMD_BANK SWITCH requested\n"), 1u);
    EXPECT_EQ(count(book(), "INFO: CMD_HARD_RESET requested\n"), 1u);
    EXPECT_EQ(CMD_GetParameter(15), 5u) << "the reboot waits 5 s";
    struct stat sb;
    EXPECT_EQ(stat(host("/mnt/ubi0/conf/configuration.xml").c_str(), &sb), 0) << "saved before the reboot";
    EXPECT_TRUE(waitUntil([&] { return standinLog().find("reboot -d 5\n") != std::string::npos; }, 10000));
    for (int i = 0; i < 50; i++) {
        tick();
        usleep(2000);
    }
    expectSlot(15, 0, 1);
    EXPECT_EQ(CMD_Request(15, 1), 9) << "the system is going down";
    EXPECT_EQ(getLinkEventWord(), 1u);
}

TEST_F(CommandManagerTest, RebootThatCannotRunEndsTheSlotFailed)
{
    simMakeDirs(host("/var/lib/standin/status").c_str());
    std::ofstream(host("/var/lib/standin/status/reboot")) << "1\n";
    ASSERT_EQ(CMD_Request(6, 1), 0);
    tick();
    EXPECT_TRUE(waitUntil(
        [&] {
            tick();
            return CMD_IsRunning(6) == 3;
        },
        10000));
    EXPECT_EQ(getLinkEventWord(), 0u);
    EXPECT_EQ(count(book(), "ERR: CMD_HARD_RESET failed\n"), 1u);
    EXPECT_EQ(CMD_Request(6, 1), 0) << "it may be asked again";
}

TEST_F(CommandManagerTest, ReserveSaveWaitsForEachRequestsOwnTenSeconds)
{
    ASSERT_EQ(saveConfig(), 0);
    markSaveConfigChanged(0x10);
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        CMD_SetResult(8, 2);
        ASSERT_EQ(CMD_Request(8, 1), 0);
        tick(999);
        EXPECT_EQ(CMD_IsRunning(8), 1) << "still waiting";
        tick();
        EXPECT_EQ(CMD_IsRunning(8), 3);
        EXPECT_EQ(readDbAreaCell(15, 6), 3u);
    }
    EXPECT_EQ(count(book(), "INFO: CMD_CFG_SAVE failed -- system config changed\n"), 2u);

    // With nothing waiting the preset is saved.
    clearSaveConfigChanged();
    ASSERT_EQ(CMD_Request(8, 1), 0);
    tick(2);
    EXPECT_EQ(CMD_IsRunning(8), 2);
    EXPECT_EQ(LogicaTx_GetReserveConfigState(), 2u);
    struct stat sb;
    EXPECT_EQ(stat(host("/mnt/ubi0/conf/preset/cfg_2/configuration.xml").c_str(), &sb), 0);
}

TEST_F(CommandManagerTest, ClearingAWaitingSaveClearsItsCells)
{
    markSaveConfigChanged(0x10);
    CMD_SetResult(8, 1);
    ASSERT_EQ(CMD_Request(8, 1), 0);
    tick();
    EXPECT_EQ(readDbAreaCell(15, 6), 1u);
    ASSERT_EQ(CMD_Request(8, 2), 0);
    EXPECT_EQ(readDbAreaCell(15, 5), 2u);
    tick();
    expectSlot(8, 0, 0);
    EXPECT_EQ(readDbAreaCell(15, 5), 0u);
    EXPECT_EQ(readDbAreaCell(15, 6), 0u);
}

TEST_F(CommandManagerTest, SaveAndLoadExcludeEachOther)
{
    markSaveConfigChanged(0x10);
    CMD_SetResult(9, 1);
    ASSERT_EQ(CMD_Request(9, 1), 0);
    tick();
    EXPECT_EQ(CMD_IsRunning(9), 1);
    CMD_SetResult(8, 1);
    ASSERT_EQ(CMD_Request(8, 1), 0);
    tick();
    EXPECT_EQ(CMD_IsRunning(8), 3);
    EXPECT_EQ(count(book(), "INFO: CMD_CFG_SAVE failed: CMD_RSV_CFG_LOAD running\n"), 1u);
    // A clear of the waiting load leaves its request at 2.
    ASSERT_EQ(CMD_Request(9, 2), 0);
    tick();
    expectSlot(9, 2, 0);
    EXPECT_EQ(count(book(), "INFO: load net configuration clean\n"), 1u);
}

TEST_F(CommandManagerTest, OneStepCommands)
{
    struct Case {
        const char* what;
        int slot;
        void (*setup)(const std::string& root);
        uint32_t running;
        uint8_t cell[2]; // the running cell
        const char* line;
    } cases[] = {
        {"book log erased", 10, nullptr, 2, {8, 9}, "INFO: CMD_ERASE_BOOKLOG requested\n"},
        {"event log erased", 11, nullptr, 2, {8, 10}, "INFO: CMD_ERASE_EVENTLOG requested\n"},
        {"level 3 with no files: absent counts as done", 14, nullptr, 2, {8, 12},
         "INFO: CMD_ERASE_NET_CONFIGURATION requested\n"},
        {"level user with files", 12,
         [](const std::string&) { ASSERT_EQ(saveConfig(), 0); }, 2, {8, 12},
         "INFO: CMD_ERASE_NET_CONFIGURATION requested\n"},
        {"level 2 without a store: nothing could be deleted", 13,
         [](const std::string&) { setConfigFileStore(nullptr); }, 3, {8, 12},
         "INFO: CMD_ERASE_NET_CONFIGURATION requested\n"},
        {"RF EEPROM", 16, nullptr, 2, {40, 46}, "INFO: CMD_LOAD_RF_EEPROM requested\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        registerConfigStore();
        if (c.setup)
            c.setup(root);
        size_t mark = book().size();
        ASSERT_EQ(CMD_Request(c.slot, 1), 0);
        tick();
        expectSlot(c.slot, 0, c.running);
        EXPECT_EQ(readDbAreaCell(c.cell[0], c.cell[1]), c.running);
        if (c.slot == 10) {
            EXPECT_EQ(count(book(), "Restore REMOTE status"), 0u) << "the old log is gone";
            EXPECT_LT(book().find("INFO: STARTED BOOK LOG"), 40u) << "the log starts again";
        } else {
            EXPECT_EQ(count(since(mark), c.line), 1u);
        }
    }
    struct stat sb;
    EXPECT_NE(stat(host("/mnt/ubi0/conf/configuration.xml").c_str(), &sb), 0) << "deleted by the user level";
}

} // namespace
