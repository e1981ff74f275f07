// Raw alarm conditions and reprogramming requests: two steps of the 250 ms
// alarm cycle.
#pragma once

#include <cstdint>

// Derives the raw alarm conditions that no measurement sets itself.
void ComputeAlarmConditions();
// Serves the reprogramming requests raised by the alarm handlers. Returns 0.
int ServiceReprogramRequests();

// Requests the alarm handlers raise during a scan, served by the next
// ServiceReprogramRequests of the same alarm step.
enum ReprogramRequest : uint8_t {
    REQ_RF_SYNTH,  // RF PLL: re-initialise the RF synthesizer
    REQ_OUT_FIFO,  // OUT_FIFO: synthesizer, quadrature modulator, audio PLL
    REQ_100MHZ,    // 100 MHz reference: re-initialise the RF synthesizer
    REQ_SPARE,     // raised by nothing
    REQ_AUDIO_PLL, // VCXO: relock the audio PLL
    REQ_AES_EBU,   // AES/EBU error: reset the AES/EBU receiver path
    REQ_COUNT
};
void raiseReprogramRequest(ReprogramRequest r);
uint8_t isReprogramRequested(ReprogramRequest r);
