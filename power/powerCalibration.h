// Power thresholds and detector calibration of the RF power chain.
#pragma once

#include <cstdint>

// Rebuilds the detector calibration from the power settings and the
// transmit frequency; a non-zero flag also runs the follow-up adjustments.
void calcDetectorCalibration(uint32_t flag);
