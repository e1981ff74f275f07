#include "core/base/crashHandler.h"

#include "core/base/logs.h"
#include "testing/sandboxTest.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class CrashHandler : public SandboxTest {
protected:
    CrashHandler() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
};

void* volatile heapKept;

// Takes every byte the heap can still hand out and forbids it to grow, so
// any allocation from here on fails.
void exhaustHeap()
{
    long pages = 0;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        fclose(f);
    }
    rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    struct rlimit lim = {now, now};
    setrlimit(RLIMIT_AS, &lim);
    // Each block links the previous one, so none of the calls can be elided.
    void* head = nullptr;
    for (size_t size = 1 << 20; size >= sizeof(void*); size /= 2) {
        while (void* p = malloc(size)) {
            *static_cast<void**>(p) = head;
            head = p;
        }
    }
    heapKept = head;
}

TEST_F(CrashHandler, BackTraceIsLoggedWhenNothingCanBeAllocated)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator aborts instead of failing an allocation";
#endif
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        initCrashHandler();
        logInfo("heap exhausted from here");
        exhaustHeap();
        raise(SIGSEGV);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    std::string text = book();
    size_t caught = text.find("INFO: Caught signal 11 (Segmentation fault)\n");
    ASSERT_NE(caught, std::string::npos) << text;
    // One line a frame, "file(symbol+offset) [address]": the handler, the
    // signal return, raise and this test, at least.
    int frames = 0;
    bool ownFrame = false;
    for (size_t at = text.find("INFO: ", caught); at != std::string::npos; at = text.find("INFO: ", at + 1)) {
        std::string line = text.substr(at, text.find('\n', at) - at);
        if (line.find(") [0x") != std::string::npos) {
            frames++;
            ownFrame |= line.find("core_tests(+0x") != std::string::npos;
        }
    }
    EXPECT_GE(frames, 4) << text;
    EXPECT_TRUE(ownFrame) << text;
}

} // namespace
