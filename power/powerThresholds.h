// Power thresholds and detector calibration of the three amplifier families.
#pragma once

#include <cstdint>

// Over-power and reflected-power thresholds of the second family (VASK) and
// of the third family (TREL), written to logical DACs 1 and 2.
void calcOverPowerThreshold_VASK();
void calcRefPowerThreshold_VASK();
void calcOverPowerThreshold_TREL();
void calcRefPowerThreshold_TREL();
// The over-power and reflected-power thresholds of the first family (OSK).
void calcOverPowerThreshold_OSK();
void calcRefPowerThreshold_OSK();

// The reflected alarm threshold the reflected thresholds work from (0.1 dB):
// the transmitter's reflected-power alarm threshold, handed over on every
// change (families 1 and 2 then recompute their reflected threshold), or the
// value of the power class that the first family's threshold sets.
void setReflectedAlarmThresholdCopy(int32_t threshold);
int32_t getReflectedAlarmThresholdCopy();
// The first family's copy by HPA power class: 80 for classes 0 and 8, 100
// for 2, 3, 4, 5 and 7, 70 for every other class.
int32_t reflectedThresholdOfClass(uint32_t powerClass);

// The second family's APC drive voltage for the output frequency, from a
// fixed table: stored (not applied) and written to logical DAC 3; with
// recompute the second family's thresholds follow. 0, or -1 when nothing
// was set (alarm 123 latched, no frequency, no usable interpolation).
int calculateVapcFreq(uint32_t recompute);
