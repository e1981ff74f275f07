// The FPGA register mailbox (region 14): an outside agent reads and writes
// the registers of eight board devices through it. A write request also
// suspends the daemon's own periodic hardware work for the rest of the
// process life.
#pragma once

#include <atomic>
#include <cstdint>

// 0 at start, 1 from the first write request on; nothing clears it. The
// main loop knows it as mainWorkSuspended.
extern std::atomic<uint8_t> MainLoopSuspend;

// The request word as last read from the mailbox.
extern uint32_t FpgaMailboxWord;

constexpr uint8_t FPGA_MAILBOX_REGION = 14;
// Pairs the daemon handles in one request (254 words).
constexpr uint32_t FPGA_MAILBOX_MAX_PAIRS = 127;

// One service pass. Returns the result of the final word write, or of the
// first read when no request is pending.
int FpgaRegMailbox_Service();
