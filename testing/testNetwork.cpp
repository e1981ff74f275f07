#include "testing/testNetwork.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Exit status of a child that could not leave the machine's network.
constexpr int kNoNamespace = 77;

bool inInitialNetNamespace()
{
    struct stat self, first;
    return stat("/proc/thread-self/ns/net", &self) != 0 ||
           (stat("/proc/1/ns/net", &first) == 0 && self.st_ino == first.st_ino && self.st_dev == first.st_dev);
}

} // namespace

bool enterBoardNetwork()
{
    if (unshare(CLONE_NEWNET) != 0 || inInitialNetNamespace())
        return false;
    return system("ip link add eth0 type veth peer name eth1 >/dev/null 2>&1 && ip link set lo up"
                  " && ip link set eth0 up && ip link set eth1 up") == 0;
}

void inBoardNetwork(const std::function<void()>& body)
{
    fflush(nullptr);
    pid_t c = fork();
    if (c == 0) {
        if (!enterBoardNetwork())
            _exit(kNoNamespace);
        body();
        fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(c, &status, 0), c);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoNamespace)
        GTEST_SKIP() << "no network namespace of the test's own here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's expectations failed (see its output above)";
}
