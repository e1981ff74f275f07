// Fixture of the EEPROM tests: a board with the board EEPROM (0x51) and an
// M34D64 (0x50), the bus semaphores, and views of the EEPROM content and of
// the transfers that reached it.
#pragma once

#include "core/base/locks.h"
#include "sim/simModels.h"
#include "testing/sandboxTest.h"

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

class EepromTest : public SandboxTest {
protected:
    EepromTest()
        : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, "i2c 1 0x50 m34d64 name=M34D64_PSU\n"
                                                            "i2c 1 0x51 m24lc512 name=M24LC512_BOARD\n")
    {
    }

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

    static SimDevice* device(uint16_t slave) { return simFindDevice(SIM_BUS_I2C1, slave); }

    static Bytes peek(uint32_t address, size_t n, uint16_t slave = 0x51)
    {
        Bytes out(n);
        simModelOf(device(slave))->peek(address, out.data(), n);
        return out;
    }

    static void poke(uint32_t address, const Bytes& data, uint16_t slave = 0x51)
    {
        simModelOf(device(slave))->poke(address, data.data(), data.size());
    }

    static uint64_t logMark() { return simState()->buses[SIM_BUS_I2C1].logHead.load(); }

    // Bytes of the write messages that carried data (beyond the two address
    // bytes) since a mark.
    static std::vector<int> dataWrites(uint64_t after, uint16_t slave = 0x51)
    {
        std::vector<int> lens;
        for (const SimLogRecord& r : busLog(SIM_BUS_I2C1, after))
            if (r.addr == slave && r.op == SIM_OP_WRITE && r.len > 2)
                lens.push_back(r.len - 2);
        return lens;
    }

    // Lengths of the read messages since a mark.
    static std::vector<int> reads(uint64_t after, uint16_t slave = 0x51)
    {
        std::vector<int> lens;
        for (const SimLogRecord& r : busLog(SIM_BUS_I2C1, after))
            if (r.addr == slave && r.op == SIM_OP_READ)
                lens.push_back(r.len);
        return lens;
    }
};
