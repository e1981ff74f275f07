// Crash handler.
#include "core/base/crashHandler.h"

#include "core/base/logs.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

constexpr size_t kAltStackSize = 8192;
constexpr int kMaxFrames = 20;

// The symbol lines of a back-trace pass through this pipe: the C library
// writes them into a descriptor without touching the heap, which may be
// what failed. Made at set-up, so a crash with every descriptor in use
// still has it. Both ends are non-blocking.
int crashPipe[2] = {-1, -1};
// The first crashing thread takes the line buffer; the process ends with it.
std::atomic_flag crashing = ATOMIC_FLAG_INIT;
char crashLine[1024];

bool openCrashPipe()
{
    return pipe2(crashPipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

// Writes each symbol line of the frames to the book log, "file(symbol+offset)
// [address]" as the string form of the C library has it (the descriptor form
// leaves out the blank before the address). Names stay mangled: demangling
// needs the heap.
void logBackTrace(void* const* frames, int n)
{
    if (crashPipe[0] < 0 && !openCrashPipe())
        return;
    backtrace_symbols_fd(frames, n, crashPipe[1]);
    size_t used = 0;
    char c;
    while (read(crashPipe[0], &c, 1) == 1) {
        if (c != '\n') {
            if (c == '[' && used > 0 && crashLine[used - 1] == ')' && used < sizeof crashLine - 1)
                crashLine[used++] = ' ';
            if (used < sizeof crashLine - 1)
                crashLine[used++] = c;
            continue;
        }
        crashLine[used] = 0;
        crashLogInfo("%s", crashLine);
        used = 0;
    }
}

} // namespace

void crashSignalHandler(int sig)
{
    int local = 0;
    // A second thread that crashes meanwhile waits for the first to end
    // the process.
    while (crashing.test_and_set())
        pause();
    // The untranslated text from a fixed table: strsignal may format into
    // a buffer of its own.
    const char* name = sigdescr_np(sig);
    crashLogInfo("Caught signal %d (%s)", sig, name ? name : "Unknown signal");
    crashLogInfo("Top of handler stack near %10p", static_cast<void*>(&local));
    void* frames[kMaxFrames];
    int n = backtrace(frames, kMaxFrames);
    logBackTrace(frames, n);
    fflush(nullptr);
    _exit(1);
}

void initCrashHandler()
{
    int local = 0;
    logInfo("STACK: Top of standard stack is near %10p", static_cast<void*>(&local));
    // The signal stack must hold at least the platform's minimum.
    size_t size = kAltStackSize;
    if (size < static_cast<size_t>(MINSIGSTKSZ))
        size = MINSIGSTKSZ;
    void* block = malloc(size);
    if (!block)
        logErr("malloc on stack alloc");
    stack_t ss{};
    ss.ss_sp = block;
    ss.ss_size = size;
    ss.ss_flags = 0;
    if (!block || sigaltstack(&ss, nullptr) != 0)
        logErr("sigaltstack");
    logInfo("STACK: Create Alternate stack at %10p-%p", block, static_cast<char*>(sbrk(0)) - 1);
    // Load the unwinder now: the first backtrace() would otherwise allocate
    // inside the handler.
    void* warm[1];
    backtrace(warm, 1);
    if (crashPipe[0] < 0 && !openCrashPipe())
        logErr("pipe for the crash back-trace");
    struct sigaction sa{};
    sa.sa_handler = crashSignalHandler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_ONSTACK;
    if (sigaction(SIGSEGV, &sa, nullptr) != 0)
        logErr("sigaction");
    logInfo("STACK: Registered Alternate stack handler");
}
