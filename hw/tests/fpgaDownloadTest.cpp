// FPGA download bank selection through the simulated /dev/dwlfpga.
#include "hw/fpgaDownload.h"

#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/systemKeys.h"
#include "Config/StrutturaDati.h"
#include "platform/host/ioDevice.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

namespace {

class FpgaDownload : public SandboxTest {
protected:
    FpgaDownload() : SandboxTest(SANDBOX_LOGS) {}

    static size_t count(const std::string& text, const std::string& what)
    {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            n++;
        return n;
    }
};

TEST_F(FpgaDownload, BankOfTheActiveFirmwareBank)
{
    SimFpgaState& f = simState()->fpga;
    cfgSetElement(KEYROW(ActiveBank), 0, 1);
    EXPECT_EQ(Fpga_SelectDownloadBankRetry(2), 0);
    EXPECT_EQ(f.dwlBank.load(), 12u);
    cfgSetElement(KEYROW(ActiveBank), 0, 0);
    EXPECT_EQ(Fpga_SelectDownloadBankRetry(2), 0);
    EXPECT_EQ(f.dwlBank.load(), 2u);
    EXPECT_EQ(f.dwlSelects.load(), 2u);
    cfgSetElement(KEYROW(ActiveBank), 0, 2); // no attempt at all
    EXPECT_EQ(Fpga_SelectDownloadBankRetry(2), 0);
    EXPECT_EQ(f.dwlSelects.load(), 2u);
}

TEST_F(FpgaDownload, MissingDeviceFailsEveryAttempt)
{
    ioRegisterDevice("/dev/dwlfpga", nullptr);
    EXPECT_EQ(Fpga_SelectDownloadBank(1), -1);
    EXPECT_EQ(Fpga_SelectDownloadBankRetry(1), 4);
    std::string log = book();
    EXPECT_EQ(count(log, "ERR: Open of MTD failed!\n"), 5u) << log;
    EXPECT_EQ(count(log, "ERR: ioctl() VRL_DWLFPGA failed\n"), 5u);
    ioRegisterDevice("/dev/dwlfpga", simDwlFpgaDevice());
}

} // namespace
