// Simulated hardware watchdog (/dev/watchdog): it keeps what it is asked
// (keep-alives, time-out, options) in the sandbox file sim/watchdog, so a
// test or simctl in another process sees it. Knobs in sim/watchdog.fail, one
// word each: "open", "keepalive", "settimeout", "setoptions" make that
// request fail with EIO (open with ENODEV).
#pragma once

#include <cstdint>
#include <string>

class IoDevice;

struct SimWatchdogState {
    uint32_t opens = 0;
    uint32_t keepalives = 0;
    int32_t timeout = 0; // seconds, 0 before any was set
    int32_t options = 0; // the last WDIOS_* bits set
};

IoDevice* simWatchdogDevice();
// What the watchdog of the attached sandbox was asked so far.
SimWatchdogState simWatchdogRead();
// The knob file's words (space-separated), "" to clear.
int simWatchdogSetFail(const std::string& words);
