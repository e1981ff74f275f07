// The PMBus shelf as tests see it: the default board with three CP2xxx
// modules fitted, and the shelf commands read back from the bus log as
// calls ("CPL_SetVout(1,0,48000)", "CPL_SetOperation(2,0)").
#pragma once

#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The default board profile with the three modules (CORVANE_SOURCE_DIR of
// the test program).
inline std::string cplShelfProfile()
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/default.profile");
    std::stringstream s;
    s << in.rdbuf();
    s << "\ni2c 1 0x40 cplpsu name=CPL_0 type=cp2\ni2c 1 0x41 cplpsu name=CPL_1 type=cp2\n"
         "i2c 1 0x42 cplpsu name=CPL_2 type=cp2\n";
    return s.str();
}

// The last sequence number of the bus log of I2C bus 1 (0 when empty).
inline uint64_t cplLogMark(const std::vector<SimLogRecord>& log)
{
    return log.empty() ? 0 : log.back().seq;
}

// OPERATION and VOUT_COMMAND writes to the slots (0x3F..0x42) in a bus log,
// as calls; the voltage at the CP2xxx scale (400 per volt).
inline std::vector<std::string> cplCalls(const std::vector<SimLogRecord>& log)
{
    std::vector<std::string> out;
    for (const SimLogRecord& r : log) {
        if (r.op != SIM_OP_WRITE || r.addr < 0x3F || r.addr > 0x42 || r.dataLen < 2)
            continue;
        int slot = r.addr == 0x3F ? 0 : r.addr - 0x40;
        char line[64];
        if (r.data[0] == 0x01 && r.dataLen == 3)
            snprintf(line, sizeof line, "CPL_SetOperation(%d,%d)", slot, r.data[1] ? 1 : 0);
        else if (r.data[0] == 0x21 && r.dataLen == 4)
            snprintf(line, sizeof line, "CPL_SetVout(%d,0,%u)", slot, (r.data[1] | r.data[2] << 8) * 1000u / 400u);
        else
            continue;
        out.push_back(line);
    }
    return out;
}
