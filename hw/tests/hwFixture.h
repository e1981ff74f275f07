// Fixture of the hardware-access tests: a fresh sandbox with its simulated
// board, open logs and the virtual clock.
#pragma once

#include "core/logs.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simState.h"
#include "sim/testSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

class HwTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = profile.empty() ? makeTestSandbox() : makeTestSandboxWithProfile(profile);
        simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
        openLogs();
        logEnabled = 1;
        clockUseVirtual();
    }

    void TearDown() override
    {
        closeLogs();
        removeTestSandbox(root);
    }

    static std::string book() { return readSandboxFile("/mnt/ubi0/log/VRL_Book.log"); }
    static std::string debugLog() { return readSandboxFile("/dev/shm/vrl_debug.log"); }

    static size_t count(const std::string& text, const std::string& what)
    {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
            n++;
        return n;
    }

    // Transaction-log entries of a bus after a sequence number.
    static std::vector<SimLogRecord> busLog(SimBusId bus, uint64_t after = 0)
    {
        std::vector<SimLogRecord> r(256);
        r.resize(simLogRead(bus, after, r.data(), r.size()));
        return r;
    }

    std::string root;
    // A board profile text for the sandbox (empty: the default profile).
    std::string profile;
};
