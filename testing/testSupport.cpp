#include "testing/testSupport.h"

#include "platform/host/sandbox.h"
#include "platform/init.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <thread>

std::string makeTestSandbox()
{
    char tmpl[] = "/tmp/corvane-test-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    std::string root = dir ? dir : "/tmp/corvane-test-fallback";
    setSandboxRoot(root);
    platformInit();
    return root;
}

std::string makeTestSandboxWithProfile(const std::string& profileText)
{
    std::string file = "/tmp/corvane-test-profile-" + std::to_string(getpid()) + ".profile";
    std::ofstream(file) << profileText;
    setenv("CORVANE_BOARD_PROFILE", file.c_str(), 1);
    std::string root = makeTestSandbox();
    unsetenv("CORVANE_BOARD_PROFILE");
    remove(file.c_str());
    return root;
}

void removeTestSandbox(const std::string& root)
{
    if (root.rfind("/tmp/corvane-test-", 0) != 0)
        return;
    // The sandbox's shared-memory objects live in the host's /dev/shm.
    if (root == sandboxRoot())
        shm_unlink(shmObjectName("DbPool").c_str());
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) {
        // Leave it for inspection.
    }
}

std::string readSandboxFile(const char* absPath)
{
    std::ifstream in(sysPath(absPath), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

uint32_t zlibCrc32(const void* data, size_t len, bool* ok)
{
    using Crc32Fn = unsigned long (*)(unsigned long, const unsigned char*, unsigned int);
    static void* lib = dlopen("libz.so.1", RTLD_NOW);
    auto fn = lib ? reinterpret_cast<Crc32Fn>(dlsym(lib, "crc32")) : nullptr;
    *ok = fn != nullptr;
    return fn ? static_cast<uint32_t>(fn(0, static_cast<const unsigned char*>(data), static_cast<unsigned int>(len)))
              : 0;
}

std::string runInSandbox(const std::string& root, const std::string& command, int* status)
{
    std::string cmd = "CORVANE_ROOT='" + root + "' " + command + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    while (p && fgets(buf, sizeof buf, p))
        out += buf;
    int r = p ? pclose(p) : -1;
    if (status)
        *status = WIFEXITED(r) ? WEXITSTATUS(r) : -1;
    return out;
}

void expectSimctlSets(const std::string& root, const std::string& simctl, const std::string& list,
                      const std::vector<SimctlSet>& sets)
{
    for (const SimctlSet& s : sets) {
        int status = -1;
        runInSandbox(root, simctl + " " + s.args, &status);
        EXPECT_EQ(status, s.status) << s.args;
        std::string shown = runInSandbox(root, simctl + " " + list);
        EXPECT_NE(shown.find(s.shows), std::string::npos) << s.args << "\n" << shown;
    }
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}

int takeSandboxLock(const std::string& root)
{
    std::string dir = root + "/run";
    mkdir(dir.c_str(), 0755);
    int fd = open((dir + "/daemon.lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}
