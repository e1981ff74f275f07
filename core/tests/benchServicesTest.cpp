// The bench and maintenance services against the simulated board: the UART
// benches on the pseudo-terminals, the watchdog model, the shared-memory
// flags with a second process and the USB driver loader.
#include "core/benchServices.h"

#include "core/children.h"
#include "platform/paths.h"
#include "sim/programs.h"
#include "sim/simSerial.h"
#include "sim/simWatchdog.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <linux/watchdog.h>
#include <poll.h>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Bench : public SandboxTest {
protected:
    Bench() : SandboxTest(SANDBOX_LOGS) {}
    void TearDown() override
    {
        uartBenchClose();
        watchdogClose();
        SandboxTest::TearDown();
    }
    static std::string readAll(int fd, size_t want)
    {
        std::string got;
        while (got.size() < want) {
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0)
                break;
            char buf[256];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
};

TEST_F(Bench, Uart0WritesItsLineFeedsAndTestLineToThePeer)
{
    int master = simSerialOpenPeer("/dev/ttyS0");
    ASSERT_GE(master, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(uartBenchUart0(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Write on UART0\r\n");
    const std::string line = "\n\n\nUART0 bench test line\r\n";
    EXPECT_EQ(readAll(master, line.size()), line);
    close(master);
}

TEST_F(Bench, PortsThatCannotBeOpenedAreSaidAndReturnedAtOnce)
{
    // Both ports lead nowhere.
    for (const char* port : {"/dev/ttyS0", "/dev/ttyS2"}) {
        simMakeDirs(host("/dev").c_str());
        ASSERT_EQ(symlink(host("/no-such-port").c_str(), host(port).c_str()), 0);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(uartBenchUart0(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Write on UART0\r\nERROR = cssl: cannot open file\n");
    EXPECT_EQ(uartBenchOpenUart2(), -1);
    std::string b = book();
    EXPECT_NE(b.find("DEBUG: Open UART2\n"), std::string::npos) << b;
    EXPECT_NE(b.find("\nUART2 ERROR = cssl: cannot open file\n\n"), std::string::npos) << b;
}

TEST_F(Bench, Uart2TransfersBothWays)
{
    int master = simSerialOpenPeer("/dev/ttyS2");
    ASSERT_GE(master, 0);
    ASSERT_EQ(uartBenchOpenUart2(), 0);
    const uint8_t out[] = {'o', 'k'};
    uartBenchWrite(1, out, 2);
    EXPECT_EQ(readAll(master, 2), "ok");
    ASSERT_EQ(write(master, "Q", 1), 1);
    uint8_t c = 0;
    ASSERT_TRUE(waitUntil([&] { return uartBenchGetChar(1, &c) == 'Q'; }, 2000));
    EXPECT_EQ(c, 'Q');
    uint8_t buf[4];
    EXPECT_EQ(uartBenchRead(1, buf, sizeof buf), 0); // nothing more has come
    uartBenchClose();
    close(master);
}

TEST_F(Bench, EchoTurnsCarriageReturnsIntoLineFeedsAndStopsAtEscape)
{
    const struct {
        std::string in, out;
        int exitFlag;
    } cases[] = {
        {"A\rB", "Received\rA\nB", 0},
        {"A\x1b" "B", "Received\rAExit detected", 1},
    };
    for (const auto& c : cases) {
        std::string bytes = c.in;
        testing::internal::CaptureStdout();
        uartBenchEcho(0, reinterpret_cast<uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(uartBenchExitFlag(), c.exitFlag);
    }
}

TEST_F(Bench, WatchdogIsKickedAndGivenItsTimeout)
{
    ASSERT_EQ(watchdogOpen(), 0);
    SimWatchdogState s = simWatchdogRead();
    EXPECT_EQ(s.opens, 1u);
    EXPECT_EQ(s.keepalives, 1u);
    EXPECT_EQ(s.timeout, 3);
    EXPECT_EQ(watchdogKick(), 0);
    EXPECT_EQ(watchdogSetOptions(WDIOS_DISABLECARD), 0);
    s = simWatchdogRead();
    EXPECT_EQ(s.keepalives, 2u);
    EXPECT_EQ(s.options, WDIOS_DISABLECARD);
    // Another process sees the same.
    int status = -1;
    EXPECT_EQ(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl watchdog", &status),
              "opens 1\nkeepalives 2\ntimeout 3\noptions 0x1\n");
    EXPECT_EQ(status, 0);

    // A refused time-out closes the descriptor: later kicks reach nothing.
    ASSERT_EQ(simWatchdogSetFail("settimeout"), 0);
    EXPECT_EQ(watchdogSetTimeout(10), -2);
    EXPECT_NE(book().find("INFO: ioctl() WDIOC_SETTIMEOUT failed\n"), std::string::npos) << book();
    watchdogKick();
    EXPECT_EQ(simWatchdogRead().keepalives, 2u);
    EXPECT_EQ(simWatchdogRead().timeout, 3);
    // Opened again under the same knob: kicked, then refused and closed.
    EXPECT_EQ(watchdogOpen(), -2);
    EXPECT_EQ(simWatchdogRead().keepalives, 3u);

    runInSandbox(root, CORVANE_TOOLS_DIR "/simctl watchdog fail setoptions", &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(watchdogOpen(), 0);
    EXPECT_EQ(watchdogSetOptions(WDIOS_ENABLECARD), -2);
    EXPECT_NE(book().find("INFO: ioctl() WDIOC_SETOPTIONS failed\n"), std::string::npos);

    ASSERT_EQ(simWatchdogSetFail("open"), 0);
    EXPECT_EQ(watchdogOpen(), -1);
    EXPECT_NE(book().find("INFO: Open of Watchdog failed!\n"), std::string::npos);
}

TEST_F(Bench, SharedMemoryFlagsWithASecondProcess)
{
    int id = shmget(sysvKey(0x6B0), 32, IPC_CREAT | 0666);
    ASSERT_GE(id, 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other process: raises its flag 1 (bit 1 of byte 0), waits for
        // the answer in byte 16, drops its flag and waits for ours to drop.
        void* at = shmat(shmget(sysvKey(0x6B0), 32, 0666), nullptr, 0);
        if (at == reinterpret_cast<void*>(-1))
            _exit(2);
        auto* m = static_cast<volatile uint8_t*>(at);
        m[0] = 0x02;
        for (int i = 0; i < 500 && !(m[16] & 0x02); i++)
            usleep(10000);
        if (!(m[16] & 0x02))
            _exit(3);
        m[0] = 0x00;
        for (int i = 0; i < 500 && (m[16] & 0x02); i++)
            usleep(10000);
        _exit(m[16] & 0x02 ? 4 : 0);
    }
    EXPECT_TRUE(waitUntil([] { return shmGetFlag1() == 1; }, 5000, 10));
    EXPECT_EQ(shmGetFlag0(), 0);
    shmSetFlag1(1);
    // The other process drops its flag: reading it drops ours.
    EXPECT_TRUE(waitUntil([] { return shmGetFlag1() == 0; }, 5000, 10));
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // Outside the areas nothing is read or written.
    auto* m = static_cast<uint8_t*>(shmat(id, nullptr, 0));
    ASSERT_NE(m, reinterpret_cast<void*>(-1));
    m[16] = 0x5A;
    EXPECT_EQ(shmReadByte(16), 0);
    shmWriteByte(1, 16);
    shmWriteByte(7, -1);
    EXPECT_EQ(m[16], 0x5A);
    shmWriteByte(9, 15);
    EXPECT_EQ(m[31], 9);
    shmdt(m);
    shmctl(id, IPC_RMID, nullptr);
}

TEST_F(Bench, UsbDriverIsLoadedOnlyWhenNotListed)
{
    std::ofstream(host("/proc/modules")) << "ehci_hcd 45056 0 - Live 0x0000000000000000\n";
    EXPECT_EQ(loadUsbModule(), 0);
    EXPECT_NE(book().find("INFO: USB module already loaded\n"), std::string::npos) << book();

    std::ofstream(host("/proc/modules")) << "ohci_hcd 45056 0 - Live 0x0000000000000000\n";
    pid_t pid = loadUsbModule();
    EXPECT_GT(pid, 0);
    EXPECT_NE(book().find("INFO: Initializing USB module\n"), std::string::npos);
    waitUsbModule();
    int loads = 0;
    for (const std::string& call : simStandInCalls())
        loads += call == "insmod ehci-hcd";
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(book().find("returned with error code"), std::string::npos);

    // A loader that fails is reported when waited for.
    std::filesystem::create_directories(host("/var/lib/standin/status"));
    std::ofstream(host("/var/lib/standin/status/insmod")) << "3\n";
    ASSERT_GT(loadUsbModule(), 0);
    waitUsbModule();
    EXPECT_NE(book().find("INFO: USB initialization process returned with error code 3\n"), std::string::npos);

    // A failed fork is returned, the process goes on.
    childrenFailNextForks(1);
    EXPECT_EQ(loadUsbModule(), -1);
    EXPECT_NE(book().find("WARN: Cannot fork the grep process\n"), std::string::npos);
}

TEST_F(Bench, SegmentThatCannotBeHadIsSaidAndReturned)
{
    // A segment of that key too small for the exchange: shmget refuses it.
    int id = shmget(sysvKey(0x6B0), 16, IPC_CREAT | 0666);
    ASSERT_GE(id, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(shmCreateAttach(), -1);
    EXPECT_EQ(shmAttach(), -1);
    EXPECT_EQ(shmReadByte(0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("shmget: ", 0), 0u);
    shmctl(id, IPC_RMID, nullptr);
}

} // namespace
