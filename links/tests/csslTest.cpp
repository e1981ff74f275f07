// The serial-port library on a pseudo-terminal of the simulated board: the
// terminal settings it makes and restores, its error codes and texts, the
// data both ways and the input handler's dispatch to a port's callback.
#include "links/cssl.h"

#include "platform/paths.h"
#include "sim/simSerial.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

class Cssl : public SandboxTest {
protected:
    Cssl() : SandboxTest(SANDBOX_LOGS) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        master = simSerialOpenPeer("/dev/ttyS0");
        ASSERT_GE(master, 0);
    }
    void TearDown() override
    {
        csslStop();
        if (master >= 0)
            close(master);
        SandboxTest::TearDown();
    }
    // What the peer receives within timeoutMs, up to `want` bytes.
    std::string fromPort(size_t want, int timeoutMs = 2000)
    {
        std::string got;
        while (got.size() < want) {
            struct pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                break;
            char buf[256];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    int master = -1;
};

TEST_F(Cssl, OpenSetsThePortUpAndCloseRestoresIt)
{
    int probe = open(sysPath("/dev/ttyS0").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    struct termios before;
    ASSERT_EQ(tcgetattr(probe, &before), 0);

    const struct {
        int baud, bits, parity, stop;
        speed_t speed;
        tcflag_t cflag; // size, parity and stop bits
    } cases[] = {
        {19200, 7, 1, 2, B19200, CS7 | PARENB | PARODD | CSTOPB},
        {115200, 8, 2, 1, B115200, CS8 | PARENB},
        {75, 8, 0, 1, B75, CS8},
        {12345, 6, 3, 3, B9600, CS8}, // unknown rate 9600, bits other than 7 are 8
    };
    for (const auto& c : cases) {
        CsslPort* p = csslOpen("/dev/ttyS0", nullptr, 4, c.baud, c.bits, c.parity, c.stop);
        ASSERT_NE(p, nullptr) << c.baud;
        EXPECT_EQ(csslGetError(), CSSL_OK);
        struct termios t;
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        EXPECT_EQ(cfgetospeed(&t), c.speed) << c.baud;
        EXPECT_EQ(cfgetispeed(&t), c.speed) << c.baud;
        // A pseudo-terminal keeps 8 bits without parity whatever it is told:
        // size and parity are read from the settings the library applied.
        EXPECT_EQ(p->tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), c.cflag) << c.baud;
        EXPECT_EQ(t.c_cflag & CSTOPB, c.cflag & CSTOPB) << c.baud;
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
        EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(IGNPAR));
        EXPECT_EQ(t.c_oflag, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_cc[VTIME], 1);
        EXPECT_EQ(t.c_cc[VMIN], 255);

        csslSetHandshake(p, 1, 1);
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
        csslSetHandshake(p, 0, 0);
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

        csslClose(p);
        EXPECT_EQ(csslGetError(), CSSL_OK);
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        EXPECT_EQ(t.c_cflag, before.c_cflag);
        EXPECT_EQ(t.c_lflag, before.c_lflag);
        EXPECT_EQ(cfgetospeed(&t), cfgetospeed(&before));
    }
    close(probe);
}

TEST_F(Cssl, ErrorCodesAndTexts)
{
    csslStop();
    csslClose(nullptr);
    EXPECT_EQ(csslGetError(), CSSL_ERROR_NOTSTARTED);
    EXPECT_STREQ(csslGetErrorMsg(), "cssl: not started");

    simMakeDirs(host("/dev").c_str());
    ASSERT_EQ(symlink(host("/no-such-port").c_str(), host("/dev/ttyS2").c_str()), 0);
    EXPECT_EQ(csslOpen("/dev/ttyS2", nullptr, 0, 9600, 8, 0, 1), nullptr); // a port that leads nowhere
    EXPECT_EQ(csslGetError(), CSSL_ERROR_OPEN);
    EXPECT_STREQ(csslGetErrorMsg(), "cssl: cannot open file");
    // A node that is no terminal is refused the same way.
    EXPECT_EQ(csslOpen("/dev/watchdog", nullptr, 0, 9600, 8, 0, 1), nullptr);
    EXPECT_EQ(csslGetError(), CSSL_ERROR_OPEN);

    // csslOpen started the library: a null port is now a null pointer.
    csslPutString(nullptr, "x");
    EXPECT_EQ(csslGetError(), CSSL_ERROR_NULLPOINTER);
    EXPECT_STREQ(csslGetErrorMsg(), "cssl: null pointer");

    CsslPort* p = csslOpen("/dev/ttyS0", nullptr, 0, 9600, 8, 0, 1);
    ASSERT_NE(p, nullptr);
    csslControl(p, 0x5401FFFFul, 1); // no such request
    EXPECT_EQ(csslGetError(), CSSL_ERROR_CONTROL);
    EXPECT_STREQ(csslGetErrorMsg(), "");

    // A port the library does not hold.
    CsslPort* stray = static_cast<CsslPort*>(calloc(1, sizeof(CsslPort)));
    stray->fd = open("/dev/null", O_RDWR);
    csslClose(stray);
    EXPECT_EQ(csslGetError(), CSSL_ERROR_OOPS);
    EXPECT_STREQ(csslGetErrorMsg(), "cssl: oops");

    csslStop(); // closes p
    csslPutChar(p, 'x');
    EXPECT_EQ(csslGetError(), CSSL_ERROR_NOTSTARTED);
}

TEST_F(Cssl, DataBothWaysAndTheWriteLog)
{
    CsslPort* p = csslOpen("/dev/ttyS0", nullptr, 0, 9600, 8, 0, 1);
    ASSERT_NE(p, nullptr);
    csslPutChar(p, '\n');
    csslPutString(p, "AB\r\n");
    const uint8_t bytes[] = {0x00, 0xFF};
    csslWriteData(p, bytes, 2);
    csslDrain(p);
    EXPECT_EQ(fromPort(7), std::string("\nAB\r\n\x00\xFF", 7));
    std::string b = book();
    EXPECT_NE(b.find("DEBUG: Data to send: 0xa\n"), std::string::npos) << b;
    EXPECT_NE(b.find("DEBUG: Data to send: 0x41\n"), std::string::npos);
    EXPECT_NE(b.find("DEBUG: Data to send: 0xff\n"), std::string::npos);
    EXPECT_EQ(b.find("Write only"), std::string::npos);

    // Read time 0: a read on an empty port returns at once.
    csslSetReadTime(p, 0);
    EXPECT_EQ(csslReadByte(p), -1);
    ASSERT_EQ(write(master, "xyz12", 5), 5);
    ASSERT_TRUE(waitUntil([&] { return csslReadByte(p) == 'x'; }, 2000));
    uint8_t buf[8] = {};
    EXPECT_EQ(csslReadSome(p, buf, 2), 2);
    EXPECT_EQ(memcmp(buf, "yz", 2), 0);
    // ReadAll takes what has come, stopping at the end of input.
    csslSetReadTime(p, 2);
    EXPECT_EQ(csslReadAll(p, buf, 5), 2);
    EXPECT_EQ(memcmp(buf, "12", 2), 0);
}

struct Received {
    int id = -1;
    std::string bytes;
};
Received gReceived;

TEST_F(Cssl, InputHandlerCallsTheCallbackOfTheSignallingPort)
{
    gReceived = Received{};
    auto cb = [](int id, uint8_t* buf, int n) {
        gReceived.id = id;
        gReceived.bytes.assign(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    };
    int master2 = simSerialOpenPeer("/dev/ttyS2");
    ASSERT_GE(master2, 0);
    CsslPort* p0 = csslOpen("/dev/ttyS0", cb, 7, 9600, 8, 0, 1);
    CsslPort* p2 = csslOpen("/dev/ttyS2", cb, 9, 9600, 8, 2, 1);
    ASSERT_NE(p0, nullptr);
    ASSERT_NE(p2, nullptr);
    csslSetReadTime(p2, 0);
    ASSERT_EQ(write(master2, "hello", 5), 5);
    siginfo_t info = {};
    info.si_code = POLL_IN;
    info.si_fd = p2->fd;
    ASSERT_TRUE(waitUntil([&] {
        csslSignalHandler(SIGIO, &info, nullptr);
        return gReceived.bytes.size() == 5;
    }, 2000));
    EXPECT_EQ(gReceived.id, 9);
    EXPECT_EQ(gReceived.bytes, "hello");
    // Not an input signal: nothing is read.
    gReceived = Received{};
    ASSERT_EQ(write(master2, "x", 1), 1);
    info.si_code = POLL_OUT;
    csslSignalHandler(SIGIO, &info, nullptr);
    EXPECT_EQ(gReceived.id, -1);
    csslStop();
    close(master2);
}

} // namespace
