// The power region: the rows' generator on sample rows of the section table,
// the ranges bounded by the amplifier, the setters with behaviour of their
// own (linear values, single-amplifier mirroring, the reflected threshold
// the loops copy), their cells as another process reads them, and one mark
// per change.
#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/powerKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "power/powerManagement.h"
#include "power/powerThresholds.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

class PowerSettingsTest : public SandboxTest {
protected:
    PowerSettingsTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
    }
    static void clearMarks()
    {
        clearConfigChanged();
        clearConfigLocked();
    }
};

std::string runGenerator(const std::string& table)
{
    char path[] = "/tmp/powerRowsXXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    if (fd < 0)
        return {};
    close(fd);
    std::ofstream(path) << table;
    std::string cmd = std::string("/usr/bin/python3 ") + CORVANE_SOURCE_DIR + "/tools/genPowerRows.py " + path;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    EXPECT_EQ(p ? pclose(p) : -1, 0);
    unlink(path);
    return out;
}

TEST(PowerRowsGenerator, SampleRowsOfTheSectionTableBecomeTheirRows)
{
    const std::string table =
        "Power section record (one; fields in order).\n\n"
        "| Field | XML key | Type | Unit | Default | Valid range (validator) | DbPool cell |\n"
        "|---|---|---|---|---|---|---|\n"
        "| transmitter nominal power | \"Transmitter_nominal_power\" | signed 16 | 0.1 dBm | 300 | family 1: "
        "HPA minimum power to `Tx_Max_Nom_Power`; otherwise -999 to 999 | (5, 1) |\n"
        "| reflected-power alarm threshold | \"Transmitter_reflected_power_alarm_threshold\" | unsigned 16 | 0.1 dB "
        "| 100 | 70 to 170 | (5, 3) |\n"
        "| external amplifier reference power | \"External_amplifier_reference_power\" | unsigned 32 | 0.1 mW | "
        "400000 | not 0 | (13, 3) |\n"
        "| exciter-mode derating | none | unsigned 16 | 0.1 dB | 0 | 0 to 999 | (5, 16) |\n"
        "| derating temperature | \"Pwr_Derating_Temperature\" | unsigned 8 | °C | 72 | 0 to 80 | (13, 27) and "
        "(10, 4) |\n"
        "| SWR derating | none (written by the second-family loop) | unsigned 16 | 0.1 dB | 0 | - | - |\n"
        "\nRuntime power record:\n";
    std::string out = runGenerator(table);
    for (const char* want : {
             "CFG(KEY_HAND, TransmitterNominalPower, int16_t,\n"
             "    .name = \"Transmitter_nominal_power\",\n"
             "    .at = IMG(power.transmitterNominalPower),\n"
             "    .valid = validBy(txNominalPowerInRange),\n"
             "    .groups = {CONFIG_GROUP_NETWORK},\n"
             "    .cells = {cell(5, 1)})\n",
             "CFG(KEY_HAND, TransmitterReflectedPowerAlarmThreshold, uint16_t,\n"
             "    .name = \"Transmitter_reflected_power_alarm_threshold\",\n"
             "    .at = IMG(power.transmitterReflectedPowerAlarmThreshold),\n"
             "    .valid = validU(0xffff, 70, 170),\n"
             "    .groups = {CONFIG_GROUP_NETWORK},\n"
             "    .cells = {cell(5, 3)})\n",
             "CFG(KEY, ExternalAmplifierReferencePower, uint32_t,\n"
             "    .name = \"External_amplifier_reference_power\",\n"
             "    .at = IMG(power.externalAmplifierReferencePower),\n"
             "    .valid = validU(0xffffffffu, 1, 0xffffffffu),\n"
             "    .groups = {CONFIG_GROUP_NETWORK},\n"
             "    .cells = {cell(13, 3)})\n",
             "CFG(ROW, DeratingOverride, uint16_t,\n"
             "    .at = IMG(power.deratingOverride),\n"
             "    .valid = validU(0xffff, 0, 999),\n"
             "    .groups = {CONFIG_GROUP_NETWORK},\n"
             "    .cells = {cell(5, 16)})\n",
             "    .cells = {cell(13, 27), cell(10, 4)})\n",
             // A loop-written item: no range, no mark, no cell.
             "CFG(STATUS, SwrDerating, uint16_t,\n"
             "    .at = IMG(power.swrDerating))\n"}) {
        EXPECT_NE(out.find(want), std::string::npos) << want << "\nin:\n" << out;
    }
}

// ---- ranges ----

struct RangeCase {
    const char* what;
    int (*valid)(uint32_t);
    uint32_t family; // PSU type code
    int32_t value;
    int want;
};

TEST_F(PowerSettingsTest, RangesAcceptTheirEdgesAndNothingBeyond)
{
    // HPA minimum power 48.0 dBm, driver level 63.0 dBm, Tx_Max_Nom_Power
    // 60.0 dBm; analogue limits 10.0 to 40.0 dBm.
    setHpaMinPower(480);
    setHpaDriverLevel(630);
    setTxMaxNomPower(600);
    setHpaMinPowerAn(100);
    setHpaMaxPowerAn(400);
    const RangeCase cases[] = {
        {"reflected alarm", isValidTransmitterReflectedPowerAlarmThreshold, 0, 70, 1},
        {"reflected alarm", isValidTransmitterReflectedPowerAlarmThreshold, 0, 170, 1},
        {"reflected alarm", isValidTransmitterReflectedPowerAlarmThreshold, 0, 69, 0},
        {"reflected alarm", isValidTransmitterReflectedPowerAlarmThreshold, 0, 171, 0},
        {"reflected warning", isValidTransmitterReflectedPowerWarningThreshold, 0, 200, 1},
        {"reflected warning", isValidTransmitterReflectedPowerWarningThreshold, 0, 201, 0},
        {"Tx_Max_Nom_Power", isValidTxMaxNomPower, 0, 480, 1},
        {"Tx_Max_Nom_Power", isValidTxMaxNomPower, 0, 630, 1},
        {"Tx_Max_Nom_Power", isValidTxMaxNomPower, 0, 479, 0},
        {"Tx_Max_Nom_Power", isValidTxMaxNomPower, 0, 631, 0},
        {"exciter nominal", isValidExciterNominalPower, 0, 100, 1},
        {"exciter nominal", isValidExciterNominalPower, 0, 400, 1},
        {"exciter nominal", isValidExciterNominalPower, 0, 99, 0},
        {"exciter nominal", isValidExciterNominalPower, 0, 401, 0},
        {"transmitter nominal, family 1", isValidTransmitterNominalPower, 1, 480, 1},
        {"transmitter nominal, family 1", isValidTransmitterNominalPower, 1, 600, 1},
        {"transmitter nominal, family 1", isValidTransmitterNominalPower, 1, 479, 0},
        {"transmitter nominal, family 1", isValidTransmitterNominalPower, 1, 601, 0},
        {"transmitter nominal, family 0", isValidTransmitterNominalPower, 0, -999, 1},
        {"transmitter nominal, family 0", isValidTransmitterNominalPower, 0, 999, 1},
        {"transmitter nominal, family 0", isValidTransmitterNominalPower, 0, -1000, 0},
        {"transmitter nominal, family 2", isValidTransmitterNominalPower, 2, 1000, 0},
        {"linear nominal", isValidTxNominalPowerLinear, 0, 60000000, 1},
        {"linear nominal", isValidTxNominalPowerLinear, 0, 60000001, 0},
        {"exciter-mode derating", isValidDeratingOverride, 0, 999, 1},
        {"exciter-mode derating", isValidDeratingOverride, 0, 1000, 0},
        {"reference power", isValidExternalAmplifierReferencePower, 0, 0, 0},
        {"reference power", isValidExternalAmplifierReferencePower, 0, 1, 1},
        {"days", isValidPwrProgDeratingDayWeek, 0, 127, 1},
        {"days", isValidPwrProgDeratingDayWeek, 0, 128, 0},
        {"start", isValidPwrProgDeratingTimeStart, 0, 1440, 1},
        {"start", isValidPwrProgDeratingTimeStart, 0, 1441, 0},
        {"APC voltage", isValidVapc, 0, 5000, 1},
        {"APC voltage", isValidVapc, 0, 5001, 0},
    };
    for (const RangeCase& c : cases) {
        setPsuTypeCode(c.family);
        EXPECT_EQ(c.valid(static_cast<uint32_t>(c.value)), c.want) << c.what << " " << c.value;
    }
}

// ---- setters ----

TEST_F(PowerSettingsTest, SingleAmplifierNominalPowerSetsExciterDriverAndPowerChange)
{
    setAmplifierNumber(0);
    clearMarks();
    setTransmitterNominalPower(400, 0);
    EXPECT_EQ(getTransmitterNominalPower(), 400);
    EXPECT_EQ(getTxNominalPowerLinear(), 100000u);
    EXPECT_EQ(getExciterNominalPower(), 400);
    EXPECT_EQ(getExciterNominalPowerLinear(), 100000u);
    EXPECT_EQ(getDriverPower(), 400);
    EXPECT_EQ(LogicaTx_IsPowerChanging(), 1);
    EXPECT_EQ(getConfigChanged() & 0x2000u, 0x2000u);
    EXPECT_EQ(readDbAreaCell(5, 1), 400u);
    EXPECT_EQ(readDbAreaCell(5, 19), 100000u);

    // The same value again: nothing marked.
    clearMarks();
    setTransmitterNominalPower(400, 0);
    EXPECT_EQ(getConfigChanged(), 0u);

    // From the linear side: 1 W is 30.0 dBm.
    setTxNominalPowerLinear(10000, 0);
    EXPECT_EQ(getTransmitterNominalPower(), 300);
    EXPECT_EQ(getExciterNominalPower(), 300);
    EXPECT_EQ(readDbAreaCell(5, 1), 300u);
    EXPECT_EQ(readDbAreaCell(5, 19), 10000u);

    // The exciter's own setter copies to the transmitter too.
    setExciterNominalPower(350, 0);
    EXPECT_EQ(getTransmitterNominalPower(), 350);
    EXPECT_EQ(readDbAreaCell(5, 1), 350u);
    EXPECT_EQ(getDriverPower(), 350);
}

TEST_F(PowerSettingsTest, SeveralAmplifiersKeepTransmitterAndExciterApart)
{
    setAmplifierNumber(1);
    LogicaTx_SetTxStatus(0);
    setTransmitterNominalPower(500, 0);
    EXPECT_EQ(getTxNominalPowerLinear(), 1000000u);
    EXPECT_EQ(getExciterNominalPower(), 0);
    EXPECT_EQ(LogicaTx_IsPowerChanging(), 0);
    setExciterNominalPower(300, 0);
    EXPECT_EQ(getTransmitterNominalPower(), 500);
    EXPECT_EQ(getDriverPower(), 300);
    setTransmitterLowPowerAlarmThreshold(40);
    EXPECT_EQ(getExciterLowPowerAlarmThreshold(), 0);
}

struct MirrorCase {
    void (*set)(uint32_t);
    uint16_t (*mirror)();
    uint32_t ownCell, mirrorCell;
};

TEST_F(PowerSettingsTest, SingleAmplifierThresholdsMirrorEachOtherAndPublishBoth)
{
    setAmplifierNumber(0);
    const MirrorCase cases[] = {
        {setTransmitterLowPowerAlarmThreshold, getExciterLowPowerAlarmThreshold, 2, 7},
        {setTransmitterLowPowerWarningThreshold, getExciterLowPowerWarningThreshold, 4, 8},
        {setExciterLowPowerAlarmThreshold, getTransmitterLowPowerAlarmThreshold, 7, 2},
        {setExciterLowPowerWarningThreshold, getTransmitterLowPowerWarningThreshold, 8, 4},
    };
    uint32_t v = 20;
    for (const MirrorCase& c : cases) {
        SCOPED_TRACE(c.ownCell);
        v += 7;
        clearMarks();
        c.set(v);
        EXPECT_EQ(c.mirror(), v);
        EXPECT_EQ(getConfigChanged(), 0x2000u);
        std::vector<std::pair<uint32_t, uint32_t>> cells = {{5, c.ownCell}, {5, c.mirrorCell}};
        std::vector<uint32_t> seen;
        ASSERT_EQ(readDbPoolCellsInChild(cells, &seen), 0);
        EXPECT_EQ(seen, (std::vector<uint32_t>{v, v}));
        clearMarks();
        c.set(v);
        EXPECT_EQ(getConfigChanged(), 0u);
    }
}

TEST_F(PowerSettingsTest, NewReflectedAlarmThresholdReachesTheLoopsCopy)
{
    // The loops' thresholds follow the copy (checked with the thresholds).
    uint32_t v = 100;
    for (uint32_t family : {1u, 2u, 0u}) {
        setPsuTypeCode(family);
        v += 10;
        setTransmitterReflectedPowerAlarmThreshold(v);
        EXPECT_EQ(getReflectedAlarmThresholdCopy(), static_cast<int32_t>(v));
        EXPECT_EQ(readDbAreaCell(5, 3), v);
    }
}

TEST_F(PowerSettingsTest, DeratingOverrideAndEnableApplyTheDeratedDriverPower)
{
    setAmplifierNumber(0);
    setExciterNominalPower(300, 0);
    clearMarks();
    setDeratingOverride(40);
    EXPECT_EQ(getDeratedPower(), 40);
    EXPECT_EQ(getDriverPower(), 260);
    EXPECT_EQ(readDbAreaCell(5, 16), 40u);
    // The setting's group, and the driver power's as it moved.
    EXPECT_EQ(getConfigChanged(), 0x2000u | 0x40000u);

    // The enable keeps only the low byte.
    clearMarks();
    setPwrDeratingEnable(0x101);
    EXPECT_EQ(getPwrDeratingEnable(), 1);
    EXPECT_EQ(readDbAreaCell(13, 25), 1u);
    EXPECT_EQ(getConfigChanged(), 0x2000u);
    clearMarks();
    setPwrDeratingEnable(1);
    EXPECT_EQ(getConfigChanged(), 0u);
}

} // namespace
