// Measures of the first amplifier family: forward and reflected power and
// the amplifier temperature, published as power table words.
#pragma once

#include <cstdint>

// Runs when periodUs have passed since its last run.
void ForwardReflectedPowerMeasure(uint32_t periodUs);
// Runs every 5 s.
void AmpliTemperatureMeasure();

// Returns both measures to their start state (tests).
void ampMeasuresOskResetForTest();
