// Fixture of the hardware-access tests: a fresh sandbox with its simulated
// board, open logs and the virtual clock.
#pragma once

#include "core/logs.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simState.h"
#include "sim/testFixture.h"
#include "sim/testSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

class HwTest : public SandboxLogTest {
protected:
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

};
