// UECP receiver.
#pragma once

#include <cstdint>

// Body of "UECP Rx Thread" (10 ms): polls the UECP port without waiting and
// reads a frame when data is there.
void UECP_PollPort();

// Reconfigures the UECP UART to baud-rate code 0..9 and empties the UECP
// receive ring.
void UECP_SetBaud(uint32_t code);

// Empties the 2048-byte UECP receive ring.
void UECP_InitRxRing();
#include <ctime>

// CLOCK_MONOTONIC_RAW time of the last TMC data (taken at start, renewed by
// the 8A group composer and by UECP TMC frames).
struct timespec getTmcStamp();
// Renews the TMC time stamp.
void stampTmcTime();
