// Bench and maintenance services. A failure is said and returned to the
// caller: none of them ends the process or waits for a signal.
#include "core/benchServices.h"

#include "core/base/logs.h"
#include "core/children.h"
#include "links/cssl.h"
#include "platform/io.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/watchdog.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

namespace {

constexpr int kBenchBaud = 9600;
constexpr int kBenchBits = 8;
constexpr int kParityNone = 0;
constexpr int kParityEven = 2;
constexpr int kStopBits1 = 1;
constexpr int kUart2PortId = 1;
constexpr uint8_t kEsc = 27;
constexpr uint8_t kCr = 13;
constexpr int kWatchdogTimeoutS = 3;
constexpr int kShmKey = 0x6B0;
constexpr size_t kShmBytes = 32;
constexpr int kShmAreaBytes = 16; // each side's area
constexpr int kFlagChannels = 3;

const char kUart0TestLine[] = "UART0 bench test line\r\n";

struct BenchState {
    pid_t usbLoaderPid = 0;
    int exitFlag = 0;
    CsslPort* uart0 = nullptr;
    CsslPort* uart2 = nullptr;
    int watchdogFd = -1;
    uint8_t* shm = nullptr;
    uint8_t flagSeen[kFlagChannels] = {};
};

BenchState& st()
{
    static BenchState s;
    return s;
}

CsslPort* benchPort(int port)
{
    return port == kUart2PortId ? st().uart2 : st().uart0;
}

int shmGetAttach(int flags)
{
    int id = shmget(sysvKey(kShmKey), kShmBytes, flags | 0666);
    if (id < 0) {
        perror("shmget");
        return -1;
    }
    void* at = shmat(id, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) {
        perror("shmat");
        return -1;
    }
    st().shm = static_cast<uint8_t*>(at);
    return 0;
}

bool shmReady()
{
    return st().shm || shmCreateAttach() == 0;
}

void setFlag(int n, int v)
{
    uint8_t in = shmReadByte(0);
    shmWriteByte(static_cast<uint8_t>(v ? (in | (1u << n)) : (in & ~(1u << n))), 0);
}

int getFlag(int n)
{
    int bit = (shmReadByte(0) >> n) & 1;
    if (bit)
        st().flagSeen[n] = 1;
    else if (st().flagSeen[n]) {
        // The other process dropped its flag: ours follows.
        setFlag(n, 0);
        st().flagSeen[n] = 0;
    }
    return bit;
}

// A watchdog request with an int argument: 0, or -2 after its line with the
// descriptor closed.
int watchdogRequest(unsigned long request, int value, const char* failLine)
{
    int arg = value;
    if (ioIoctl(st().watchdogFd, request, &arg) != 0) {
        logInfo("%s", failLine);
        watchdogClose();
        return -2;
    }
    return 0;
}

} // namespace

pid_t loadUsbModule()
{
    const char* const grepArgs[] = {"grep", "-q", "ehci_hcd", "/proc/modules", nullptr};
    int r = runProgramWait("/bin/grep", grepArgs);
    if (r == -2) {
        logWarn("Cannot fork the grep process");
        return -1;
    }
    if (r == -1) {
        logWarn("Child process grep'ing USB modules failed");
        r = 1;
    }
    if (r == 0) {
        logInfo("USB module already loaded");
        st().usbLoaderPid = 0;
        return 0;
    }
    logInfo("Initializing USB module");
    // The loader is not waited for; a close-on-exec pipe still tells at once
    // whether it could be started.
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        logWarn("Cannot fork the USB module process");
        return -1;
    }
    const char* const loaderArgs[] = {"/sbin/modprobe", "ehci-hcd", nullptr};
    pid_t pid = spawnProgram("/sbin/insmod", loaderArgs, nullptr, -1, errPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(errPipe[0]);
        st().usbLoaderPid = 0;
        logWarn("Cannot fork the USB module process");
        return -1;
    }
    int err = 0;
    ssize_t n;
    do {
        n = read(errPipe[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(errPipe[0]);
    if (n > 0)
        logInfo("Cannot load USB module (error: %d), killing child process", err);
    st().usbLoaderPid = pid;
    return pid;
}

void waitUsbModule()
{
    if (st().usbLoaderPid <= 0)
        return;
    int status = waitProgram(st().usbLoaderPid);
    st().usbLoaderPid = 0;
    if (status != 0)
        logInfo("USB initialization process returned with error code %d", status);
}

void uartBenchEcho(int, uint8_t* buf, int n)
{
    printf("Received\r");
    for (int i = 0; i < n; i++) {
        if (buf[i] == kEsc) {
            st().exitFlag = 1;
            printf("Exit detected");
            break;
        }
        putchar(buf[i] == kCr ? '\n' : buf[i]);
    }
    fflush(stdout);
}

int uartBenchExitFlag()
{
    return st().exitFlag;
}

int uartBenchUart0()
{
    printf("Write on UART0\r\n");
    csslInit();
    CsslPort* p = csslOpen("/dev/ttyS0", uartBenchEcho, 0, kBenchBaud, kBenchBits, kParityNone, kStopBits1);
    if (!p) {
        printf("ERROR = %s\n", csslGetErrorMsg());
        fflush(stdout);
        return -1;
    }
    st().uart0 = p;
    csslSetReadTime(p, 0);
    for (int i = 0; i < 3; i++) {
        csslPutChar(p, '\n');
        csslDrain(p);
    }
    csslPutString(p, kUart0TestLine);
    csslDrain(p);
    csslClose(p);
    st().uart0 = nullptr;
    csslStop();
    fflush(stdout);
    return 0;
}

int uartBenchOpenUart2()
{
    logDebug("Open UART2");
    CsslPort* p = csslOpen("/dev/ttyS2", nullptr, kUart2PortId, kBenchBaud, kBenchBits, kParityEven, kStopBits1);
    if (!p) {
        logDebug("\nUART2 ERROR = %s\n\n", csslGetErrorMsg());
        return -1;
    }
    st().uart2 = p;
    csslSetReadTime(p, 0);
    return 0;
}

void uartBenchClose()
{
    if (st().uart0)
        csslClose(st().uart0);
    if (st().uart2)
        csslClose(st().uart2);
    st().uart0 = st().uart2 = nullptr;
    csslStop();
}

void uartBenchWrite(int port, const uint8_t* buf, int n)
{
    CsslPort* p = benchPort(port);
    csslWriteData(p, buf, n);
    csslDrain(p);
}

int uartBenchRead(int port, uint8_t* buf, int n)
{
    CsslPort* p = benchPort(port);
    int r = csslReadSome(p, buf, n);
    csslDrain(p);
    return r;
}

int uartBenchGetChar(int port, uint8_t* out)
{
    CsslPort* p = benchPort(port);
    int r = csslReadByte(p);
    csslDrain(p);
    if (r >= 0 && out)
        *out = static_cast<uint8_t>(r);
    return r;
}

void uartBenchSetFlow(int port, int a, int b)
{
    csslSetHandshake(benchPort(port), a, b);
    if (csslGetError() != CSSL_OK)
        logDebug("\nIOCTL UART settings ERROR = %s\n\n", csslGetErrorMsg());
}

int watchdogOpen()
{
    if (st().watchdogFd >= 0)
        watchdogClose();
    st().watchdogFd = ioOpen("/dev/watchdog", O_RDWR);
    if (st().watchdogFd < 0) {
        logInfo("Open of Watchdog failed!");
        return -1;
    }
    watchdogKick();
    return watchdogSetTimeout(kWatchdogTimeoutS);
}

int watchdogOpenWithArgs(int, int, int)
{
    return watchdogOpen();
}

int watchdogKick()
{
    int unused = 0;
    ioIoctl(st().watchdogFd, WDIOC_KEEPALIVE, &unused);
    return 0;
}

int watchdogSetTimeout(int seconds)
{
    return watchdogRequest(WDIOC_SETTIMEOUT, seconds, "ioctl() WDIOC_SETTIMEOUT failed\n");
}

int watchdogSetOptions(int options)
{
    return watchdogRequest(WDIOC_SETOPTIONS, options, "ioctl() WDIOC_SETOPTIONS failed\n");
}

int watchdogClose()
{
    if (st().watchdogFd >= 0)
        ioClose(st().watchdogFd);
    st().watchdogFd = -1;
    return 0;
}

int shmCreateAttach()
{
    return shmGetAttach(IPC_CREAT);
}

int shmAttach()
{
    return shmGetAttach(0);
}

uint8_t shmReadByte(int i)
{
    if (i < 0 || i >= kShmAreaBytes || !shmReady())
        return 0;
    return st().shm[i];
}

void shmWriteByte(uint8_t v, int i)
{
    if (i < 0 || i >= kShmAreaBytes || !shmReady())
        return;
    st().shm[kShmAreaBytes + i] = v;
}

int shmGetFlag0()
{
    return getFlag(0);
}

int shmGetFlag1()
{
    return getFlag(1);
}

int shmGetFlag2()
{
    return getFlag(2);
}

void shmSetFlag0(int v)
{
    setFlag(0, v);
}

void shmSetFlag1(int v)
{
    setFlag(1, v);
}

void shmSetFlag2(int v)
{
    setFlag(2, v);
}
