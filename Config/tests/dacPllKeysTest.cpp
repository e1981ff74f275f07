// The DAC, NCO and PLL keys: the devices are reprogrammed only for a write
// that armed the hardware-apply word, and the word is disarmed by a change.
#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/systemKeys.h"
#include "comtab/dbPool.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The newest SPI transaction so far, and whether the chip select `cs` (5 the
// RF DAC, 6 the RF synthesizer) was programmed after it.
uint64_t spiMark()
{
    SimLogRecord r[1];
    return simLogRead(SIM_BUS_SPI0, 0, r, 1) ? r[0].seq : 0;
}

int programmedSince(uint16_t cs, uint64_t mark)
{
    std::vector<SimLogRecord> log(4096);
    log.resize(simLogRead(SIM_BUS_SPI0, mark, log.data(), log.size()));
    for (const SimLogRecord& r : log) {
        if (r.addr == cs)
            return 1;
    }
    return 0;
}

int qmSince(uint64_t mark)
{
    return programmedSince(5, mark);
}

int synthSince(uint64_t mark)
{
    return programmedSince(6, mark);
}

class DacPllKeysTest : public SandboxTest {
protected:
    DacPllKeysTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        setHwReady(1);
    }
};

TEST_F(DacPllKeysTest, ALoadOnlyStoresAndATableWriteReprogramsOnce)
{
    uint64_t mark = spiMark();
    setClkPCml(9); // as the XML load does: the word is not armed
    EXPECT_EQ(getClkPCml(), 9);
    EXPECT_EQ(getConfigChanged(), 0x8u);
    EXPECT_EQ(qmSince(mark), 0);

    setDacApplyEnable(1); // the table write arms the word
    setClkPCml(10);
    EXPECT_EQ(qmSince(mark), 1);
    EXPECT_EQ(getDacApplyEnable(), 0u);
    EXPECT_EQ(readDbAreaCell(14, 2), 10u);

    // The same value again does nothing and leaves the word armed.
    mark = spiMark();
    setDacApplyEnable(1);
    setClkPCml(10);
    EXPECT_EQ(getDacApplyEnable(), 1u);
    EXPECT_EQ(qmSince(mark), 0);
}

TEST_F(DacPllKeysTest, EachKeyRunsItsOwnDeviceSteps)
{
    struct Case {
        void (*set)(uint32_t);
        int synth;
        int qm;
    };
    const Case cases[] = {
        {setChan0GainNco, 0, 1}, {setPSign, 0, 1},         {setClkNCml, 0, 1},      {setNSign, 0, 1},
        {setNcoNbitSel, 0, 1},   {setQmDeltaNum, 0, 1},    {setPllMode, 1, 1},      {setPllModeVar, 1, 1},
        {setLtcChargePump, 1, 0}, {setFpgaOutFormat, 0, 0}, {setFpgaOutGainA_ddBu, 0, 0},
    };
    for (const Case& c : cases) {
        uint64_t mark = spiMark();
        setDacApplyEnable(1);
        c.set(1);
        EXPECT_EQ(qmSince(mark), c.qm);
        EXPECT_EQ(synthSince(mark), c.synth);
        // Keys without a device step leave the word armed.
        EXPECT_EQ(getDacApplyEnable(), c.synth || c.qm ? 0u : 1u);
    }

    // Before the hardware is up an armed write stores and disarms only.
    setHwReady(0);
    uint64_t mark = spiMark();
    setDacApplyEnable(1);
    setChan0GainNco(255);
    EXPECT_EQ(getChan0GainNco(), 255);
    EXPECT_EQ(qmSince(mark), 0);
    EXPECT_EQ(getDacApplyEnable(), 0u);
}

TEST_F(DacPllKeysTest, TelecommandExtensionComparesTheWholeArgument)
{
    setTlcTlsExtended(1);
    EXPECT_EQ(readDbAreaCell(16, 17), 1u);
    clearConfigChanged();
    setTlcTlsExtended(0x101); // differs from the stored byte as a whole: stores its low byte again
    EXPECT_EQ(getTlcTlsExtended(), 1);
    EXPECT_EQ(getConfigChanged(), 0x8u);
    EXPECT_EQ(isValidTlcTlsExtended(2), 0);

    setFanManualLevel(55);
    EXPECT_EQ(readDbAreaCell(16, 18), 55u);
    EXPECT_EQ(isValidFanManualLevel(100), 1);
    EXPECT_EQ(isValidFanManualLevel(101), 0);
}

} // namespace
