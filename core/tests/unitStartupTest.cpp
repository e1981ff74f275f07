// The identity record read at start-up: UnitInfo, the serial-number words
// and the addresses in the image and DbPool, and the banner.
#include "core/unitStartup.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTxConfig.h"
#include "audio/mpxOverIp.h"
#include "comtab/dbPool.h"
#include "core/base/locks.h"
#include "core/base/timeBase.h"
#include "hw/eeprom.h"
#include "hw/fpgaWindows.h"
#include "sim/board.h"
#include "sim/simEeprom.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class UnitStartup : public SandboxTest {
protected:
    UnitStartup() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
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
    for (const char* f : {"/usr/local/conf/FwRelease", "/usr/local/conf/FwVersion", "/usr/local/conf/FwBuild"})
        unlink(host(f).c_str());
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

// The bring-up, the derived settings and the services.

class UnitBringUp : public SandboxTest {
protected:
    UnitBringUp() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        SemMutexInit();
        sem_sys_init();
        timeThread();
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    void bringUp()
    {
        testing::internal::CaptureStdout();
        initUnitHardware();
        testing::internal::GetCapturedStdout();
    }
    // Whether a POWER_DOWN was written to the tuner's address on bus 0
    // (the default board has no tuner: the write is not acknowledged).
    static bool tunerPoweredDown()
    {
        for (const SimLogRecord& r : busLog(SIM_BUS_I2C0))
            if (r.op == SIM_OP_WRITE && r.addr == 0x60 && r.dataLen >= 1 && r.data[0] == 0x11)
                return true;
        return false;
    }
};

TEST_F(UnitBringUp, HardwareStartupEndsReadyWithTheVariantAndTheI2cResetRequest)
{
    setHwReady(0);
    bringUp();
    EXPECT_EQ(getHwReady(), 1u);
    EXPECT_EQ(getUnitVariant(), 11);
    EXPECT_EQ(getI2cFaultFlag(), 1);
    EXPECT_EQ(readDbAreaCell(13, 42), 1u);
    // The unit state of resetUnitState.
    EXPECT_EQ(readDbAreaCell(16, 1), 2u);
    EXPECT_EQ(readDbAreaCell(16, 2), 4u);

    EXPECT_TRUE(tunerPoweredDown()) << "the receiver detection starts the tuner";
    EXPECT_NE(GBE_GetParams(), nullptr) << "the MPX-over-IP parameters are made";
    // The amplifier is reset after the audio PLL wait.
    std::string b = book();
    EXPECT_NE(b.find("INFO: System OperativeMode "), std::string::npos) << "the boot bank was checked";
    EXPECT_NE(b.find("Lock Pll Audio"), std::string::npos);
}

TEST_F(UnitBringUp, TheDetectedFamilyChoosesItsInitialisation)
{
    // The default board's IF expander but blank RF EEPROM: the detection
    // gives the first family, whose initialisation finds no identity.
    setPsuTypeCode(2);
    bringUp();
    EXPECT_EQ(getPsuTypeCode(), 0u);
    EXPECT_NE(book().find("HPA: Not detected!"), std::string::npos);
    EXPECT_EQ(book().find("HPA_WB:"), std::string::npos) << "no wideband initialisation";
    EXPECT_EQ(getRfEepromBlank(), 0) << "no compact initialisation";
}

TEST_F(UnitBringUp, DefaultApcVoltageByHpsCodeIsStoredQuietly)
{
    const struct {
        uint32_t hps;
        uint32_t mv;
    } cases[] = {{1, 1100}, {3, 1500}, {0, 700}, {2, 700}};
    for (const auto& c : cases) {
        setHpsCode(c.hps);
        initUnitSettings();
        EXPECT_EQ(getDefaultVoltageAPC(), c.mv) << c.hps;
        EXPECT_EQ(readDbAreaCell(13, 43), 0u) << "stored, never published";
        EXPECT_EQ(readDbAreaCell(13, 57), getMaxVoltageAPC()) << "the maximum is published";
    }
}

TEST_F(UnitBringUp, ServicesPowerTheReceiverDownStartTheSecondCoreAndClearTheStartBits)
{
    ASSERT_EQ(initAxi(), 0);
    setSelectWriteBits(0x400001, 1);
    uint32_t before = simState()->fpga.gbeWrites.load();
    testing::internal::CaptureStdout();
    startUnitServices();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(tunerPoweredDown());
    // The second core's module is loaded by a child and the FPGA's audio
    // side is reset with it.
    int status = 0;
    EXPECT_GT(wait(&status), 0);
    EXPECT_EQ(simState()->fpga.gbeWrites.load(), before + 2);
    EXPECT_EQ(hasSelectWriteBits(0x400000), 0);
    EXPECT_EQ(hasSelectWriteBits(0x1), 1);
}

TEST_F(UnitBringUp, ClosingAndVersionCheck)
{
    closeUnitHardware();
    EXPECT_NE(book().find("DEBUG: Flexbus Close OK\n"), std::string::npos) << book();
    // Equal version and reference words: no version alarm, words published.
    for (uint32_t k = 0; k < 5; k++) {
        getSystemImage()->unit.versionWord[k] = 10 + k;
        getSystemImage()->unit.versionRef[k] = 10 + k;
    }
    checkUnitVersions();
    EXPECT_EQ(readDbAreaCell(1, 8), 10u);
    EXPECT_EQ(readDbAreaCell(16, 11), 10u);
}

} // namespace
