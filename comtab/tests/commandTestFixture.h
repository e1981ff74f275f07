// The command plane on the simulated board and the virtual clock: the logic's
// EEPROM record in place, the XML store registered, and a 10 ms tick that
// runs the command manager and the command table as "Ltx Thread" does.
#pragma once

#include "Config/configCycle.h"
#include "comtab/commandManager.h"
#include "comtab/commandTable.h"
#include "core/base/locks.h"
#include "core/base/utils.h"
#include "hw/eeprom.h"
#include "hw/eepromManager.h"
#include "persist/configStore.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simModels.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <string>

class CommandTest : public SandboxTest {
protected:
    CommandTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        SemMutexInit();
        sem_sys_init();
        simMakeDirs(sysPath("/mnt/ubi0/conf").c_str());
        // A valid unit identity record, so the logic's EEPROM starts clean.
        uint8_t record[128] = {};
        for (int i = 0; i < 124; i++)
            record[i] = static_cast<uint8_t>(i * 7 + 1);
        putU32BE(unitInfoCrc(record), record + 124);
        simModelOf(simFindDevice(SIM_BUS_I2C1, 0x51))->poke(0, record, sizeof record);
        ASSERT_EQ(EEM_Init(1, 1, EEM_MODE_EMUL), 0);
        registerConfigStore();
        clearConfigChanged();
        clearSaveConfigChanged();
        initCommandTable();
    }

    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }

    // One 10 ms pass of "Ltx Thread"'s command work.
    static void tick(int n = 1)
    {
        for (int i = 0; i < n; i++) {
            clockAdvanceUs(10000);
            CMD_Task();
            commandTableTick();
        }
    }

    // The book from `mark` on.
    std::string since(size_t mark) { return book().substr(mark); }
};
