// GoogleTest fixture shared by the tests of every folder: a fresh sandbox
// with its simulated board and, as the test asks, the book, event and debug
// logs open with their gate set, DbPool created, and the virtual clock.
#pragma once

#include "core/base/logs.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simState.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What a test needs besides the sandbox and its simulated board.
enum SandboxOption : unsigned {
    SANDBOX_LOGS = 1,          // the book, event and debug logs open, with the gate set
    SANDBOX_DBPOOL = 2,        // DbPool created
    SANDBOX_VIRTUAL_CLOCK = 4, // the virtual clock, from before the logs open
};

// A fixture chooses in its constructor:
//   class Foo : public SandboxTest {
//   protected:
//       Foo() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
//   };
class SandboxTest : public ::testing::Test {
protected:
    // `profile`: a board profile text for the sandbox (empty: the default).
    explicit SandboxTest(unsigned options = 0, std::string profile = "")
        : options(options), profile(std::move(profile))
    {
    }

    void SetUp() override;
    void TearDown() override;

    // The host path of a path of the sandbox.
    std::string host(const char* absPath) const { return root + absPath; }

    static std::string book() { return readSandboxFile("/mnt/ubi0/log/VRL_Book.log"); }
    static std::string eventLog() { return readSandboxFile("/mnt/ubi0/log/VRL_Event.log"); }
    static std::string debugLog() { return readSandboxFile("/dev/shm/vrl_debug.log"); }

    // Occurrences of `what` in `text` that do not overlap.
    static size_t count(const std::string& text, const std::string& what);
    // Transaction-log entries of a simulated bus after a sequence number.
    static std::vector<SimLogRecord> busLog(SimBusId bus, uint64_t after = 0);

    unsigned options;
    std::string profile;
    std::string root;
};
