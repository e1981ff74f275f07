// The identity record read at start-up: UnitInfo, the serial-number words
// and the addresses in the image and DbPool, and the banner.
#include "core/unitStartup.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/unitKeys.h"
#include "comtab/dbPool.h"
#include "hw/eeprom.h"
#include "sim/board.h"
#include "sim/simEeprom.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace {

class UnitStartup : public SandboxTest {
protected:
    UnitStartup() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        memset(getSystemImage(), 0, sizeof(SystemImage));
        memset(getUnitInfo(), 0, UNIT_INFO_BYTES);
    }
    void writeIdentity()
    {
        int status = -1;
        runInSandbox(root,
                     CORVANE_TOOLS_DIR "/unitRecord --serial SN0123456789 --front 00:50:c2:aa:00:01 --rear "
                                       "00:50:c2:aa:00:02 --gbe-a 00:50:c2:aa:00:03 --gbe-b 00:50:c2:aa:00:04 "
                                       "--bank 2 --flag 1",
                     &status);
        ASSERT_EQ(status, 0);
    }
    void writeFwFiles()
    {
        std::ofstream(host("/usr/local/conf/FwRelease")) << "3\n";
        std::ofstream(host("/usr/local/conf/FwVersion")) << "7\n";
        std::ofstream(host("/usr/local/conf/FwBuild")) << "12\n";
    }
};

TEST_F(UnitStartup, IdentityRecordReachesTheImageDbPoolAndTheBanner)
{
    writeIdentity();
    writeFwFiles();
    ASSERT_EQ(loadUnitInfo(), 0);
    EXPECT_EQ(memcmp(getSerialNumber(nullptr), "SN0123456789", 12), 0);
    EXPECT_EQ(getSerialNumberWord(0), 0x534E3031u);
    EXPECT_EQ(readDbAreaCell(44, 11), 0x36373839u);
    EXPECT_EQ(readDbAreaCell(2, 1), static_cast<uint32_t>('S'));
    EXPECT_EQ(readDbAreaCell(18, 1), 0x0050c2aau);
    EXPECT_EQ(readDbAreaCell(18, 9), 0x0002u);
    EXPECT_EQ(readDbAreaCell(13, 35), 1u);
    EXPECT_EQ(getUnitFlag(), 1);

    std::string b = book();
    EXPECT_NE(b.find("***  VRL FM Serial Number SN0123456789 ***"), std::string::npos);
    EXPECT_NE(b.find("***  VRL FM MAC FRONT 0:50:c2:aa:0:1 \t***"), std::string::npos);
    EXPECT_NE(b.find("(Bank 2)***"), std::string::npos);
    EXPECT_NE(b.find("***  SW v. 07.03.12 ***"), std::string::npos);
    EXPECT_NE(eventLog().find("TX Boot-Up"), std::string::npos);
}

TEST_F(UnitStartup, WithoutFirmwareFilesTheBannerIsOneLineAndTheEventLogHasNoBoot)
{
    writeIdentity();
    EXPECT_EQ(loadUnitInfo(), -1);
    std::string b = book();
    EXPECT_NE(b.find("FAILED to load System FW information from text file."), std::string::npos);
    EXPECT_EQ(b.find("VRL FM Hardware infos"), std::string::npos);
    EXPECT_EQ(eventLog().find("TX Boot-Up"), std::string::npos);
    // The identity was still read.
    EXPECT_EQ(readDbAreaCell(18, 1), 0x0050c2aau);
}

TEST_F(UnitStartup, ARecordWithABadCrcIsKeptAndRepaired)
{
    writeIdentity();
    writeFwFiles();
    // One flipped bit of the serial number on the EEPROM.
    ASSERT_EQ(simEepromCorruptByte(simFindDevice(SIM_BUS_I2C1, 0x51), 20, 0x04), 0);
    uint8_t buf[UNIT_INFO_BYTES];
    ASSERT_EQ(EepromHeaderRead(buf), -2);

    EXPECT_EQ(loadUnitInfo(), 0);
    EXPECT_EQ(getSerialNumber(nullptr)[6], '4' ^ 0x04); // the bytes read are kept
    EXPECT_EQ(readDbAreaCell(18, 1), 0x0050c2aau);
    EXPECT_EQ(EepromHeaderRead(buf), 0); // and the header repaired
}

} // namespace
