// Automatic choice of the frequency and time references, and the automatic
// input-delay measurement of synchronised operation. Both are one tick of the
// main loop's 250 ms input-switching step, the measurement first.
#pragma once

// One tick: with freq_ref and time_ref both "Auto", switches the active
// references to the external 10 MHz and 1PPS, or to the external 19 kHz
// sine, after 12 consecutive ticks that find them present; otherwise copies
// the configured references into the active ones.
void selectAutoReferences();

// One tick: starts a measurement in the FPGA when a client requests one,
// follows its busy and done flags (with a time-out of more than 3 whole
// seconds for the first busy report) and stores the result as input_delay.
void measureInputDelay();

// Tests: both machines back to their start state.
void autoReferenceResetForTest();
