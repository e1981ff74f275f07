// A sandbox with the board's bus locks, for the drivers of the expanders and
// small devices of I2C bus 1, on a named board profile.
#pragma once

#include "core/base/locks.h"
#include "sim/simModels.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <cstdio>
#include <cstdlib>
#include <string>

class BoardFixture : public SandboxTest {
protected:
    explicit BoardFixture(const char* profileName = nullptr)
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK), profileName(profileName)
    {
    }
    void SetUp() override
    {
        if (profileName)
            setenv("CORVANE_BOARD_PROFILE", profileName, 1);
        SandboxTest::SetUp();
        unsetenv("CORVANE_BOARD_PROFILE");
        sem_sys_init();
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }

    static SimModel* model(uint16_t addr) { return simModelOf(simFindDevice(SIM_BUS_I2C1, addr)); }
    static SimDevice* device(uint16_t addr) { return simFindDevice(SIM_BUS_I2C1, addr); }

    // Model value of one register.
    static int reg(uint16_t addr, uint32_t r)
    {
        uint8_t v = 0;
        return model(addr)->peek(r, &v, 1) == 1 ? v : -1;
    }
    static void setReg(uint16_t addr, uint32_t r, uint8_t v) { model(addr)->poke(r, &v, 1); }

    // The bus-1 log after `after` in a compact form, one transfer message a
    // line: "W 20 06 FF" (bytes written), "R 20 FF" (bytes read), with " !"
    // for a message that failed.
    static std::string trace(uint64_t after = 0)
    {
        std::string out;
        for (const SimLogRecord& r : busLog(SIM_BUS_I2C1, after)) {
            char line[160];
            int n = snprintf(line, sizeof line, "%c %02X", r.op == SIM_OP_WRITE ? 'W' : 'R', r.addr);
            for (int i = 0; i < r.dataLen && n < 150; i++)
                n += snprintf(line + n, sizeof line - n, " %02X", r.data[i]);
            out += line;
            out += r.result < 0 ? " !\n" : "\n";
        }
        return out;
    }
    static uint64_t logHead() { return simState()->buses[SIM_BUS_I2C1].logHead.load(); }

    const char* profileName;
};
