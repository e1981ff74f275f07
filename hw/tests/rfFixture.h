// A board sandbox for the RF clock, RF DAC, converter, filter and
// down-converter drivers, with the transfers of one SPI chip select as byte
// lists.
#pragma once

#include "Config/keyTable.h"
#include "Config/keys/factoryKeys.h"
#include "hw/tests/boardFixture.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class RfFixture : public BoardFixture {
protected:
    using BoardFixture::BoardFixture;

    // The sandbox's image starts zeroed; the clock and DAC settings the
    // drivers read start from their rows' defaults, as after a load without
    // a configuration file.
    void SetUp() override
    {
        BoardFixture::SetUp();
        for (const CfgKeyDesc* d : {KEYROW(PllMode), KEYROW(PllModeVar), KEYROW(LtcChargePump), KEYROW(QmDeltaNum),
                                    KEYROW(NcoNbitSel), KEYROW(ClkNCml), KEYROW(ClkPCml), KEYROW(NSign), KEYROW(PSign)})
            cfgApplyDefault(d);
    }

    // The bytes clocked out by each transfer on a chip select after `after`.
    static std::vector<Bytes> spiWrites(uint16_t cs, uint64_t after = 0)
    {
        std::vector<Bytes> out;
        std::vector<SimLogRecord> log(kSimLogEntries);
        log.resize(simLogRead(SIM_BUS_SPI0, after, log.data(), log.size()));
        for (const SimLogRecord& r : log)
            if (r.op == SIM_OP_XFER && r.addr == cs)
                out.emplace_back(r.data, r.data + r.dataLen);
        return out;
    }
    static uint64_t spiHead() { return simState()->buses[SIM_BUS_SPI0].logHead.load(); }

    static SimModel* spiModel(uint16_t cs) { return simModelOf(simFindDevice(SIM_BUS_SPI0, cs)); }
    static int spiReg(uint16_t cs, uint32_t r)
    {
        uint8_t v = 0;
        return spiModel(cs)->peek(r, &v, 1) == 1 ? v : -1;
    }
    static void setSpiReg(uint16_t cs, uint32_t r, uint8_t v) { spiModel(cs)->poke(r, &v, 1); }
};
