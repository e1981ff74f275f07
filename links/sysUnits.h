// The external units on tx_sr_1_ch: the RF-detector unit (slot 0) and the
// external amplifiers (slots 1 to 4), created at start-up and ticked every
// 10 ms after the poll loop.
#pragma once

// Initialises the records of the units while Amplifier_number is not 0.
void SYS_Initialize();
// Creates the configured units (at most four amplifiers; Amplifier_number is
// set back to 4 above that) and binds them to tx_sr_1_ch.
void SYS_Configure();
// One unit tick: the amplifiers' round robin, with a multi-amplifier
// transmitter in a cycle of three turns that begins with the RF detector.
void SYS_UnitsTick();
