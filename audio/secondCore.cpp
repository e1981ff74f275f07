// Second-core start (the module tools run as a child) and the audio-core
// reset pulse.
#include "audio/secondCore.h"

#include "core/base/logs.h"
#include "hw/fpgaGbe.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/programs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kInsmod = "/sbin/insmod";
constexpr const char* kRmmod = "/sbin/rmmod";
constexpr const char* kModule = "/boot/tarn_amp.ko";
constexpr const char* kBookLog = "/mnt/ubi0/log/VRL_Book.log";
constexpr uint32_t kResetOffset = 32;
constexpr uint64_t kResetHoldUs = 100;

struct State {
    void (*watch)(pid_t) = nullptr; // hands the child to the daemon's reaper
};

State& st()
{
    static State s;
    return s;
}

// Appends the decimal of v to buf at *at. Async-signal-safe.
void appendInt(char* buf, size_t size, size_t* at, int v)
{
    char digits[12];
    int n = 0;
    unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u && n < 11);
    if (v < 0 && *at < size)
        buf[(*at)++] = '-';
    while (n > 0 && *at < size)
        buf[(*at)++] = digits[--n];
}

void appendText(char* buf, size_t size, size_t* at, const char* s)
{
    while (*s && *at < size)
        buf[(*at)++] = *s++;
}

void writeAll(int fd, const char* buf, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, buf, n);
        if (w <= 0)
            return;
        buf += w;
        n -= static_cast<size_t>(w);
    }
}

// "[TaRN_FM] <local time>INFO: " as the book log writes its lines.
std::string bookPrefix(const char* level)
{
    time_t now = clockWallSeconds();
    struct tm tmv;
    char when[32] = "";
    if (localtime_r(&now, &tmv))
        strftime(when, sizeof when, "%Y/%m/%d-%H:%M:%S-", &tmv);
    return std::string("[TaRN_FM] ") + when + level + ": ";
}

} // namespace

void AMP_StartBareMetal(uint32_t load)
{
    const char* tool = load ? kInsmod : kRmmod;
    printf("    [AMP]|DBG| %s \n", load ? "Loading BM_firmware" : "Unloading BM_firmware");
    fflush(stdout);
    if (load)
        logInfo("Load AMP System\n");

    // Everything the child may say is made here: between fork and exec the
    // child of a threaded daemon may only make async-signal-safe calls.
    std::string path = programPath(tool);
    std::string module = kModule;
    char* argv[] = {path.data(), module.data(), nullptr};
    char execLine[512];
    snprintf(execLine, sizeof execLine, "  >> execv(%s, %s) \n", tool, kModule);
    std::string bookHead = bookPrefix("INFO") + "Cannot load/unload BM_firmware (error: ";
    const char* bookTail = "), killing child process\n";
    const char* errHead = "    [AMP]|ERR| AMP_StartBareMetal() : Cannot load/unload BM_firmware, killing child process - err=";
    int bookFd = -1;
    if (logEnabled.load())
        bookFd = open(sysPath(kBookLog).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    fflush(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        writeAll(STDOUT_FILENO, execLine, strlen(execLine));
        int r = execv(argv[0], argv);
        int err = errno;
        char line[768];
        size_t at = 0;
        if (bookFd >= 0) {
            appendText(line, sizeof line, &at, bookHead.c_str());
            appendInt(line, sizeof line, &at, err);
            appendText(line, sizeof line, &at, bookTail);
            writeAll(bookFd, line, at);
        }
        if (err != 0) {
            at = 0;
            appendText(line, sizeof line, &at, errHead);
            appendInt(line, sizeof line, &at, err);
            appendText(line, sizeof line, &at, " \n");
            writeAll(STDOUT_FILENO, line, at);
        }
        _exit(r);
    }
    if (bookFd >= 0)
        close(bookFd);
    if (pid < 0) {
        logWarn("Cannot fork the BM_firmware module process\n");
        printf("    [AMP]|ERR| %s() : %s - err=%d \n", "AMP_StartBareMetal", "Cannot fork the BM module process",
               static_cast<int>(pid));
        return;
    }
    // The daemon's reaper collects the child; its status is not waited for.
    if (st().watch)
        st().watch(pid);
    sched_yield();
}

void registerSecondCoreChildWatcher(void (*watch)(pid_t pid))
{
    st().watch = watch;
}

int AMP_PulseFpgaReset()
{
    uint32_t word = 0;
    int r = Gbe_Read(&word, 4, kResetOffset);
    if (r != 0)
        return r;
    uint32_t high = word | 1u, low = word & ~1u;
    Gbe_Write(&high, 4, kResetOffset);
    clockSleepUs(kResetHoldUs);
    return Gbe_Write(&low, 4, kResetOffset);
}
