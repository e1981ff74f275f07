// Main program and start-up of the control daemon.
#pragma once

#include <atomic>
#include <cstdint>

// 1 holds the RF output muted whatever the alarms say.
extern std::atomic<uint8_t> globalMute;

int corvaneMain(int argc, char** argv);
