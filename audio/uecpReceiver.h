// UECP receiver.
#pragma once

// Body of "UECP Rx Thread" (10 ms): polls the UECP port without waiting and
// reads a frame when data is there.
void UECP_PollPort();
// Empties the 2048-byte UECP receive ring.
void UECP_InitRxRing();
