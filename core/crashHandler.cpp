// Crash handler.
#include "core/crashHandler.h"

#include "core/logs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

namespace {
constexpr size_t kAltStackSize = 8192;
}

void crashSignalHandler(int sig)
{
    int local = 0;
    crashLogInfo("Caught signal %d (%s)", sig, strsignal(sig));
    crashLogInfo("Top of handler stack near %10p", static_cast<void*>(&local));
    void* frames[20];
    int n = backtrace(frames, 20);
    char** symbols = backtrace_symbols(frames, n);
    if (symbols) {
        for (int i = 0; i < n; i++)
            crashLogInfo("%s", symbols[i]);
        free(symbols);
    }
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
    struct sigaction sa{};
    sa.sa_handler = crashSignalHandler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_ONSTACK;
    if (sigaction(SIGSEGV, &sa, nullptr) != 0)
        logErr("sigaction");
    logInfo("STACK: Registered Alternate stack handler");
}
