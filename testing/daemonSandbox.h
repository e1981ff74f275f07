// The real daemon in a fresh sandbox, in its own network, IPC and mount
// namespaces, with a notification socket standing for systemd's; the test
// observes it as systemd and an operator would.
#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/types.h>

class DaemonSandboxTest : public ::testing::Test {
protected:
    // A fresh sandbox and its bound notification socket.
    void SetUp() override;
    // Kills the daemon if it still runs, removes the sandbox.
    void TearDown() override;

    // Starts the daemon in the sandbox, its output in <root>/corvane.out,
    // holding the sandbox's lock as ./run does. `prepare` runs first in the
    // new mount namespace (a test's extra mounts). False when the namespaces
    // or the lock cannot be had: the daemon is then not run.
    bool start(const std::function<bool()>& prepare = nullptr);
    // Next notification datagram, or "" after the timeout.
    std::string nextNotify(int timeoutMs);
    // Kills the daemon and drops the notifications it left.
    void stop();
    // A file of the sandbox by its path on the unit ("" when unreadable).
    std::string file(const std::string& unitPath) const;
    // DbPool cell (section, item) of the run, read from the grid the daemon
    // shares in the sandbox; 0xDEADBEEF when there is no grid yet.
    uint32_t cell(uint32_t section, uint32_t item) const;

    std::string root, sockPath;
    int sock = -1;
    pid_t pid = -1;
};
