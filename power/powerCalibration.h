// Power thresholds and detector calibration of the RF power chain.
#pragma once

#include <cstdint>

// Rebuilds the detector calibration from the power settings and the
// transmit frequency; a non-zero flag also runs the follow-up adjustments.
void calcDetectorCalibration(uint32_t flag);
// Re-interpolates the power offset between the first- and last-frequency
// offsets for the current frequency.
void adjustPowerOffsetForFreq(uint32_t force);
