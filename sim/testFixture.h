// GoogleTest fixture shared by the tests of every folder: a fresh sandbox
// with its simulated board, the book, event and debug logs open with their
// gate set, and the virtual clock.
#pragma once

#include "core/logs.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/testSupport.h"

#include <gtest/gtest.h>
#include <string>

class SandboxLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = profile.empty() ? makeTestSandbox() : makeTestSandboxWithProfile(profile);
        simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
        clockUseVirtual();
        openLogs();
        logEnabled = 1;
    }

    void TearDown() override
    {
        closeLogs();
        removeTestSandbox(root);
    }

    static std::string book() { return readSandboxFile("/mnt/ubi0/log/VRL_Book.log"); }
    static std::string eventLog() { return readSandboxFile("/mnt/ubi0/log/VRL_Event.log"); }
    static std::string debugLog() { return readSandboxFile("/dev/shm/vrl_debug.log"); }

    std::string root;
    // A board profile text for the sandbox (empty: the default profile).
    std::string profile;
};
