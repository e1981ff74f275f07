// The unit region's operations against the simulated board: web branding and
// the SNMP agent, the identity record's addresses and serial number on the
// board EEPROM, and the setters of the system region with effects of their
// own (MPX digital clock on the FPGA, UART 1, banks, version alarm).
#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "comtab/dbPool.h"
#include "core/children.h"
#include "core/files.h"
#include "hw/eeprom.h"
#include "hw/fpgaWindows.h"
#include "sim/programs.h"
#include "sim/simFpga.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

const UnitServices kServices = {runProgramWait, removeFileIfPresent, killSnmpd};

class UnitKeys : public SandboxTest {
protected:
    UnitKeys() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        memset(getUnitInfo(), 0, UNIT_INFO_BYTES);
        registerUnitServices(&kServices);
    }
    void TearDown() override
    {
        registerUnitServices(nullptr);
        SandboxTest::TearDown();
    }

    std::string linkOf(const char* path)
    {
        char buf[256] = {};
        ssize_t n = readlink(host(path).c_str(), buf, sizeof buf - 1);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }

    static int lines(const std::string& prefix)
    {
        auto calls = simStandInCalls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& l) {
            return l.compare(0, prefix.size(), prefix) == 0;
        }));
    }
};

TEST_F(UnitKeys, VendorIdBrandsTheWebPagesAndRestartsTheSnmpAgentOnce)
{
    simClearStandInCalls();
    setVendorId(259); // low byte 3
    EXPECT_EQ(getVendorId(), 3);
    EXPECT_EQ(getSystemImage()->vendorId, 259u);
    EXPECT_EQ(readDbAreaCell(16, 15), 259u);
    EXPECT_EQ(getConfigChanged(), 0x2000u);
    EXPECT_EQ(linkOf("/usr/local/www/Style/style.css"), "/usr/local/www/Style/style_zel.css");
    EXPECT_EQ(linkOf("/usr/local/www/Style/title.css"), "/usr/local/www/Style/title_zel.css");
    EXPECT_EQ(linkOf("/usr/local/www/Style/main.css"), "/usr/local/www/Style/main_zel.css");
    EXPECT_EQ(linkOf("/usr/local/www/Style/tabs.css"), "/usr/local/www/Style/tabs_zel.css");
    EXPECT_EQ(linkOf("/usr/local/www/Snmp/mib.zip"), "/usr/local/www/Snmp/ZELMib.zip");
    EXPECT_EQ(lines("ln -sf"), 5);
    EXPECT_EQ(lines("killall snmpd"), 1);
    EXPECT_NE(book().find("VrlUnitInit: snmpd - killall"), std::string::npos);

    // The same word again: no link, nothing stopped.
    simClearStandInCalls();
    clearConfigChanged();
    setVendorId(259);
    EXPECT_TRUE(simStandInCalls().empty());
    EXPECT_EQ(getConfigChanged(), 0u);

    // Vendor 1 and any other vendor; vendor 1 limits amplifier model 22.
    setHpaModelCode(22);
    setVendorId(1);
    EXPECT_EQ(linkOf("/usr/local/www/Snmp/mib.zip"), "/usr/local/www/Snmp/BrelkaMib.zip");
    EXPECT_EQ(getHpaFreqLimit(), 672u);
    EXPECT_EQ(readDbAreaCell(40, 14), 672u);
    setVendorId(0);
    EXPECT_EQ(linkOf("/usr/local/www/Style/style.css"), "/usr/local/www/Style/style_tarn.css");
}

TEST_F(UnitKeys, ImportedRecordPublishesItsAddressesAndIsSavedWithAValidCrc)
{
    uint8_t rec[UNIT_INFO_BYTES] = {};
    const uint8_t front[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const uint8_t rear[6] = {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee};
    const uint8_t gbeA[6] = {0x02, 0x01, 0x02, 0x03, 0x04, 0x05};
    const uint8_t gbeB[6] = {0x02, 0x06, 0x07, 0x08, 0x09, 0x0a};
    memcpy(rec + 8, front, 6);
    memcpy(rec + 71, rear, 6);
    memcpy(rec + 98, gbeA, 6);
    memcpy(rec + 104, gbeB, 6);

    EXPECT_EQ(importUnitRecord(rec, 2), -1);
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(importUnitRecord(rec, 1), 0);
    for (uint32_t k = 0; k < 6; k++) {
        EXPECT_EQ(readDbAreaCell(2, 13 + k), front[k]) << k;
        EXPECT_EQ(readDbAreaCell(2, 19 + k), rear[k]) << k;
    }
    EXPECT_EQ(readDbAreaCell(18, 1), 0x00112233u);
    EXPECT_EQ(readDbAreaCell(18, 2), 0x4455u);
    EXPECT_EQ(readDbAreaCell(18, 8), 0x02aabbccu);
    EXPECT_EQ(readDbAreaCell(18, 9), 0xddeeu);
    EXPECT_EQ(readDbAreaCell(37, 5), 0x02010203u);
    EXPECT_EQ(readDbAreaCell(44, 20), 0x0405u);
    EXPECT_EQ(getConfigChanged(), 0x8u);

    uint32_t head = 0;
    uint16_t tail = 0;
    getGbeActiveMac(7, &head, &tail); // any side but 0 is side B
    EXPECT_EQ(head, 0x02060708u);
    EXPECT_EQ(tail, 0x090au);

    // The record on the EEPROM holds the addresses under a valid CRC.
    uint8_t onBoard[UNIT_INFO_BYTES];
    ASSERT_EQ(EepromHeaderRead(onBoard), 0);
    EXPECT_EQ(memcmp(onBoard + 8, front, 6), 0);
    EXPECT_EQ(memcmp(onBoard + 104, gbeB, 6), 0);
    std::string shown = runInSandbox(root, CORVANE_TOOLS_DIR "/unitRecord --show");
    EXPECT_NE(shown.find("front     00:11:22:33:44:55"), std::string::npos) << shown;
    EXPECT_NE(shown.find("(valid)"), std::string::npos) << shown;

    // A received address becomes active only with its commit.
    const uint8_t next[4] = {0x02, 0x99, 0x98, 0x97};
    setMacAddressHead(0, next);
    getGbeActiveMac(0, &head, &tail);
    EXPECT_EQ(head, 0x02010203u);
    commitPortAddresses();
    getGbeActiveMac(0, &head, &tail);
    EXPECT_EQ(head, 0x02999897u);

    // The export writes the active addresses and the serial number.
    uint8_t out[UNIT_INFO_BYTES] = {};
    EXPECT_EQ(exportUnitRecord(out, 0), -1);
    EXPECT_EQ(exportUnitRecord(out, 1), 0);
    EXPECT_EQ(memcmp(out + 8, front, 6), 0);
    EXPECT_EQ(out[98 + 1], 0x99);
}

TEST_F(UnitKeys, SerialNumberIsRebuiltFromItsWordsAndSaved)
{
    setSerialNumberWord(0, 0x41424344); // "ABCD"
    setSerialNumberWord(1, 0x45464748);
    setSerialNumberWord(2, 0x30313233);
    EXPECT_EQ(readDbAreaCell(44, 10), 0x45464748u);
    std::vector<uint8_t> before(sizeof(SystemImage));
    memcpy(before.data(), getSystemImage(), before.size());
    setSerialNumberWord(3, 0x5a5a5a5a); // no fourth word
    EXPECT_EQ(memcmp(before.data(), getSystemImage(), before.size()), 0);

    EXPECT_EQ(setSerialNumberFromSlots(), 0);
    EXPECT_EQ(memcmp(getSerialNumber(nullptr), "ABCDEFGH0123", 12), 0);
    EXPECT_EQ(readDbAreaCell(2, 1), static_cast<uint32_t>('A'));
    EXPECT_EQ(readDbAreaCell(2, 12), static_cast<uint32_t>('3'));
    uint8_t onBoard[UNIT_INFO_BYTES];
    ASSERT_EQ(EepromHeaderRead(onBoard), 0);
    EXPECT_EQ(memcmp(onBoard + 14, "ABCDEFGH0123", 12), 0);

    setUnitFlag(1);
    EXPECT_EQ(readDbAreaCell(13, 35), 1u);
    ASSERT_EQ(EepromHeaderRead(onBoard), 0);
    EXPECT_EQ(onBoard[110], 1);
    EXPECT_EQ(isValidUnitFlag(0x101), 0);

    resetUnitState();
    EXPECT_EQ(getUnitStateByte(), 2);
    EXPECT_EQ(getModeWord(), 4u);
    EXPECT_EQ(getUnitWord4(), 4u);
    EXPECT_EQ(readDbAreaCell(16, 2), 4u);
}

TEST_F(UnitKeys, MpxDigitalClockWritesTheResamplerRatioOnceTheHardwareIsReady)
{
    ASSERT_EQ(initAxi(), 0);
    auto word = [] {
        uint32_t v = 0xdeaddead;
        simFpgaRead(0xFF200C08, &v);
        return v;
    };
    uint32_t untouched = word();
    setMpxDigMaxDeltaClock(50); // hardware not ready: stored only
    EXPECT_EQ(getMpxDigMaxDeltaClock(), 50);
    EXPECT_EQ(word(), untouched);

    setHwReady(1);
    setMpxDigMaxDeltaClock(50); // unchanged, still written
    EXPECT_EQ(word(), 33u);
    setMpxDigMaxDeltaClock(6);
    EXPECT_EQ(word(), 280u);
    EXPECT_EQ(readDbAreaCell(11, 31), 6u);

    // 0 is kept and published, the FPGA is left alone.
    clearConfigChanged();
    setMpxDigMaxDeltaClock(0);
    EXPECT_EQ(getMpxDigMaxDeltaClock(), 0);
    EXPECT_EQ(readDbAreaCell(11, 31), 0u);
    EXPECT_EQ(getConfigChanged(), 0x20u);
    EXPECT_EQ(word(), 280u);
    EXPECT_NE(book().find("setMpxDigMaxDeltaClock"), std::string::npos);
}

TEST_F(UnitKeys, SystemSettersWithEffectsOfTheirOwn)
{
    // UART 1: 3 drives the selector with 0 and prints UECP; the override
    // gives the port to the debug console.
    testing::internal::CaptureStdout();
    EXPECT_EQ(setUart1ConnSel(3), 3u);
    EXPECT_EQ(getConfigChanged(), 0x1u);
    setUartOverride(1);
    EXPECT_EQ(getUart1ConnSel(), 0u);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("setUart1ConnSel select UECP"), std::string::npos);
    EXPECT_NE(out.find("setUart1ConnSel select DEBUG Console"), std::string::npos);

    // The clock source publishes and marks even when unchanged.
    setSystemClockSource(0);
    clearConfigChanged();
    setDbAreaCell(43, 10, 99);
    setSystemClockSource(0);
    EXPECT_EQ(readDbAreaCell(43, 10), 0u);
    EXPECT_EQ(getConfigChanged(), 0x1u | 0x2000u);
    EXPECT_EQ(getClockInternal(), 1);
    EXPECT_EQ(getClockInternalB(), 1u);
    setSystemTimeSource(2);
    EXPECT_EQ(getTimeSyncCapable(), 1);
    EXPECT_EQ(isTimeSourceGps(), 1);

    // Banks.
    EXPECT_EQ(setActiveBank(7), 1);
    EXPECT_EQ(setActiveBank(2), 2);
    EXPECT_EQ(getUnitInfo()[0], 2);
    setRunningBank(2);
    EXPECT_NE(book().find("Set Running Bank = 2"), std::string::npos);

    // Version words against their references.
    getSystemImage()->unit.versionWord[2] = 7;
    checkVersionsAlarm();
    EXPECT_EQ(getAlarmInput(33), 1);
    EXPECT_EQ(readDbAreaCell(1, 4), 7u);
    getSystemImage()->unit.versionRef[2] = 7;
    checkVersionsAlarm();
    EXPECT_EQ(getAlarmInput(33), 0);
    EXPECT_EQ(readDbAreaCell(16, 8), 7u);

    // Time sync: a state of 1 sets the done word, published negated.
    setTimeSyncDone(2);
    setTimeSyncDone(0);
    EXPECT_EQ(readDbAreaCell(48, 2), 1u);
    setTimeSyncState(1);
    EXPECT_EQ(getTimeSyncDone(), 1u);
    EXPECT_EQ(readDbAreaCell(48, 2), 0u);

    // VLAN id by side, switch mode 2, shared range checks.
    setGbeVlanIdBySide(7, 12);
    EXPECT_EQ(getGbeBVlanId(), 12);
    EXPECT_EQ(getGbeVlanIdBySide(0), 0);
    setEthernetSwitchConfig(2);
    EXPECT_EQ(isEthernetSwitchConfig2(), 1);
    EXPECT_EQ(isValidEthernetSwitchConfig(0), 0);
    EXPECT_EQ(isValidCpuVlanId(4096), 0);
    EXPECT_EQ(isValidRange0to8(8), 1);
    EXPECT_EQ(isValidRange0to8(9), 0);
    EXPECT_EQ(isValidClipperOvershootByte(256 + 110), 1);
    EXPECT_EQ(applyEthernetSwitchConfig(0), 0);
}

} // namespace
