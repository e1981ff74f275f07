// UART channels on the simulated board's pseudo-terminals: the set-up by
// code (as asked at the seam, the speed read back from the terminal), the
// RS-485 lines on the expander, the 8-bit read count, the COM records.
#include "links/serialChannels.h"

#include "hw/tests/boardFixture.h"
#include "platform/host/ioDevice.h"
#include "platform/io.h"
#include "sim/simSerial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

class SerialChannels : public BoardFixture {
protected:
    void TearDown() override
    {
        for (int fd : fds)
            ioClose(fd);
        for (int m : masters)
            close(m);
        BoardFixture::TearDown();
    }
    int peer(const char* path)
    {
        int m = simSerialOpenPeer(path);
        EXPECT_GE(m, 0) << path;
        masters.push_back(m);
        return m;
    }
    int open(const char* path, uint32_t master, uint32_t duplex, uint32_t baud, uint32_t bits, uint32_t parity,
             uint32_t stop, uint32_t flow, ScReadTiming timing)
    {
        int fd = SC_open_uart(path, 1, master, duplex, baud, bits, parity, stop, 1, flow, timing);
        if (fd >= 0)
            fds.push_back(fd);
        return fd;
    }
    // Waits until `n` bytes are queued for reading on fd.
    static void waitQueued(int fd, int n)
    {
        for (int i = 0; i < 200; i++) {
            int q = 0;
            if (ioctl(fd, FIONREAD, &q) == 0 && q >= n)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::vector<int> fds, masters;
};

TEST_F(SerialChannels, OpenSetsThePortUpByItsCodes)
{
    peer("/dev/ttyS1");
    const struct {
        uint32_t baud, bits, parity, stop, flow;
        ScReadTiming timing;
        speed_t speed;
        tcflag_t cflag; // size, parity, stop bits, flow control as asked
        cc_t vtime, vmin;
    } cases[] = {
        {3, 4, 1, 1, 0, {0, 1}, B9600, CS8, 0, 1},
        {4, 3, 2, 1, 0, {0, 1}, B19200, CS7 | PARENB, 0, 1},
        {5, 2, 3, 3, 0, {0, 1}, B38400, CS6 | PARENB | PARODD | CSTOPB, 0, 1},
        {6, 1, 4, 2, 1, {0, 1}, B57600, CS5 | PARENB | CMSPAR | CRTSCTS, 0, 1},
        {7, 9, 1, 1, 0, {0, 1}, B115200, CS8, 0, 1},
        {8, 4, 1, 1, 0, {0, 1}, B230400, CS8, 0, 1},
        {9, 4, 1, 1, 0, {0, 1}, B460800, CS8, 0, 1},
        {42, 4, 1, 1, 0, {10, 0xFFFF}, B57600, CS8, 1, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        int fd = open("/dev/ttyS1", 0, 0, c.baud, c.bits, c.parity, c.stop, c.flow, c.timing);
        ASSERT_GE(fd, 0);
        struct termios t = {};
        ASSERT_TRUE(ioLastTermios(fd, &t));
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), c.cflag);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
        EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(IGNPAR));
        EXPECT_EQ(t.c_oflag, 0u);
        EXPECT_EQ(t.c_lflag, 0u);
        EXPECT_EQ(t.c_cc[VTIME], c.vtime);
        EXPECT_EQ(t.c_cc[VMIN], c.vmin);
        struct termios real = {};
        ASSERT_EQ(tcgetattr(fd, &real), 0);
        EXPECT_EQ(cfgetispeed(&real), c.speed);
        EXPECT_EQ(cfgetospeed(&real), c.speed);
    }
    EXPECT_EQ(SC_open_uart("/dev/ttyS9", 1, 0, 0, 3, 4, 1, 1, 1, 0, ScReadTiming{0, 1}), -1); // no such port
}

TEST_F(SerialChannels, SetBaudChangesOnlyTheSpeed)
{
    peer("/dev/ttyS1");
    int fd = open("/dev/ttyS1", 0, 0, 3, 3, 2, 1, 0, {0, 1});
    ASSERT_GE(fd, 0);
    const struct {
        uint32_t code;
        speed_t speed;
    } cases[] = {{1, B2400}, {2, B4800}, {9, B460800}, {6, B57600}};
    for (const auto& c : cases) {
        EXPECT_EQ(SC_set_baud(fd, c.code), 0);
        struct termios t = {};
        ASSERT_TRUE(ioLastTermios(fd, &t));
        EXPECT_EQ(cfgetospeed(&t), c.speed) << c.code;
        EXPECT_EQ(t.c_lflag, 0u) << c.code; // the rest as the terminal had it
        EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(IGNPAR)) << c.code;
    }
    EXPECT_EQ(SC_set_baud(0, 3), -1);
}

TEST_F(SerialChannels, OpeningTheRs485PortsSetsTheirLines)
{
    peer("/dev/ttyS0");
    peer("/dev/ttyS2");
    setReg(0x22, 3, 0x01);
    testing::internal::CaptureStdout();
    ASSERT_GE(open("/dev/ttyS0", 0, 0, 7, 4, 1, 1, 0, {0, 1}), 0);
    ASSERT_GE(open("/dev/ttyS2", 0, 1, 7, 4, 1, 1, 0, {0, 1}), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(reg(0x22, 3) & 0x07, 0x06);
    EXPECT_EQ(out, "UART 0 set to FULL  duplex mode \nUART 0 set to MASTER  Master mode \n"
                   "UART 2 set to HALF  duplex mode \n");
}

TEST_F(SerialChannels, ReadTakesAtMost255BytesPerCall)
{
    int m = peer("/dev/ttyS1");
    int fd = open("/dev/ttyS1", 0, 0, 7, 4, 1, 1, 0, {0, 1});
    ASSERT_GE(fd, 0);
    uint8_t out[300];
    for (int i = 0; i < 300; i++)
        out[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(write(m, out, sizeof out), 300);
    waitQueued(fd, 300);
    uint8_t in[1024] = {};
    EXPECT_EQ(SC_recv_msg(fd, in, 1024, 1), 255);
    EXPECT_EQ(SC_recv_msg(fd, in + 255, 1024, 1), 45);
    EXPECT_EQ(memcmp(in, out, sizeof out), 0);

    // Without keep input the rest of the queue goes.
    ASSERT_EQ(write(m, out, 10), 10);
    waitQueued(fd, 10);
    EXPECT_EQ(SC_recv_msg(fd, in, 4, 0), 4);
    int q = -1;
    ASSERT_EQ(ioctl(fd, FIONREAD, &q), 0);
    EXPECT_EQ(q, 0);
}

TEST_F(SerialChannels, SendWritesAllOrFails)
{
    int m = peer("/dev/ttyS1");
    int fd = open("/dev/ttyS1", 0, 0, 7, 4, 1, 1, 0, {0, 1});
    ASSERT_GE(fd, 0);
    const uint8_t msg[] = {0xFE, 1, 2, 0xFD};
    EXPECT_EQ(SC_send_msg(fd, msg, 4), 0);
    struct pollfd p = {m, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    uint8_t got[8];
    EXPECT_EQ(read(m, got, sizeof got), 4);
    EXPECT_EQ(SC_send_msg(fd, msg, 0), -1);
    EXPECT_EQ(SC_send_msg(-1, msg, 4), -1);
    EXPECT_EQ(count(book(), "Bad file descriptor"), 1u);
}

TEST_F(SerialChannels, SetPortParamValidatesStoresAndPrints)
{
    const struct {
        int param;
        uint32_t value;
        int checkOnly, port, result;
        const char* line; // in the printed record afterwards
    } cases[] = {
        {1, 1, 0, 0, 11, "address 0 [00] \n"},
        {1, 0x59, 1, 0, 0, "address 0 [00] \n"},
        {1, 0x59, 0, 0, 0, "address 89 [59] \n"},
        {2, 9, 0, 2, 0, "\t COM 3 configuration \naddress 0 [00] \nbaud_rate 9 \n"},
        {2, 2, 0, 2, 11, "baud_rate 9 \n"},
        {3, 4, 0, 0, 0, "data_bits 4 \n"},
        {3, 5, 0, 0, 11, "data_bits 4 \n"},
        {4, 2, 0, 0, 0, "parity 2 \n"},
        {4, 3, 0, 0, 11, "parity 2 \n"},
        {5, 3, 0, 0, 0, "stop_bit 3 \n"},
        {6, 1, 0, 0, 0, "master_mode 1 \n"},
        {7, 1, 0, 0, 0, "duplex_mode 1 \nflow_ctrl 0 \n"},
        {7, 2, 0, 0, 11, "duplex_mode 1 \n"},
        {8, 1, 0, 0, 1, "\t COM 1 configuration \n"},
        {0, 1, 0, 2, 1, "\t COM 3 configuration \n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.param) + " " + std::to_string(c.value));
        testing::internal::CaptureStdout();
        EXPECT_EQ(COM_SetPortParam(c.param, c.value, c.checkOnly, c.port), c.result);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(COM_SetPortParam(1, 5, 0, 1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
