// The RF device models through the spidev nodes and through simctl.
#include "platform/io.h"
#include "sim/simModels.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/spi/spidev.h>
#include <vector>

namespace {

const char* const kProfile = "spi 5 ad9789 name=AD9789\n"
                             "spi 6 ltc6948 name=LTC6948 lock=2\n"
                             "spi 7 ltc6948 name=LTC_NEVER lock=never\n";

using Bytes = std::vector<uint8_t>;

class SimRf : public SandboxTest {
protected:
    SimRf() : SandboxTest(0, kProfile) {}
    // One full-duplex transfer on a chip select; what came back.
    static Bytes xfer(int cs, Bytes tx)
    {
        int fd = ioOpen(("/dev/spidev0." + std::to_string(cs)).c_str(), O_RDWR);
        EXPECT_GE(fd, 0);
        Bytes rx(tx.size());
        struct spi_ioc_transfer x = {};
        x.tx_buf = reinterpret_cast<uintptr_t>(tx.data());
        x.rx_buf = reinterpret_cast<uintptr_t>(rx.data());
        x.len = static_cast<uint32_t>(tx.size());
        EXPECT_EQ(ioIoctl(fd, SPI_IOC_MESSAGE(1), &x), static_cast<int>(tx.size()));
        ioClose(fd);
        return rx;
    }
    std::string simctl(const std::string& args)
    {
        int status = -1;
        std::string out = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args, &status);
        EXPECT_EQ(status, 0) << args;
        return out;
    }
};

TEST_F(SimRf, Ad9789RegistersLockBitAndKnob)
{
    xfer(5, {0x00, 0x04, 0xF6});             // write register 4
    xfer(5, {0x20, 0x0A, 0x11, 0x22});       // two registers from 0x0A
    EXPECT_EQ(xfer(5, {0x80, 0x04, 0x00}), (Bytes{0, 0, 0xFE}));
    EXPECT_EQ(xfer(5, {0xA0, 0x0A, 0x00, 0x00}), (Bytes{0, 0, 0x11, 0x22}));
    EXPECT_NE(simctl("get AD9789 0x0A 2").find("0x11 0x22"), std::string::npos);
    simctl("set AD9789 0x56 1");
    EXPECT_EQ(xfer(5, {0x80, 0x04, 0x00}), (Bytes{0, 0, 0xF6}));
    // Nothing beyond register 0x55 is stored.
    xfer(5, {0x00, 0x60, 0x77});
    EXPECT_EQ(xfer(5, {0x80, 0x60, 0x00}), (Bytes{0, 0, 0}));
}

TEST_F(SimRf, Ltc6948LockScripts)
{
    auto status = [](int cs) { return xfer(cs, {0x01, 0x00})[1] & 0x04; };
    EXPECT_EQ(status(6), 0);
    for (int i = 0; i < 2; i++) {
        xfer(6, {0x02, 0x04});
        xfer(6, {0x1C, 0x21}); // register 14 ends a programming
    }
    EXPECT_EQ(status(6), 0x04);
    EXPECT_EQ(xfer(6, {0x03, 0x00})[1], 0x04); // register 1 reads back
    xfer(7, {0x1C, 0x21});
    EXPECT_EQ(status(7), 0);
    EXPECT_NE(simctl("get LTC_NEVER 16 2").find("0x01 0xFF"), std::string::npos);
    simctl("set LTC_NEVER 17 0");
    EXPECT_EQ(status(7), 0x04);
}

} // namespace
