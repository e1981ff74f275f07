// Stand-in for the detector calibration and the power-offset interpolation:
// nothing is recomputed.
#include "power/powerCalibration.h"

void calcDetectorCalibration(uint32_t) {}

void adjustPowerOffsetForFreq(uint32_t) {}
