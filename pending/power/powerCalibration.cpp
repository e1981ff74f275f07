// Stand-in for the detector calibration: nothing is recomputed.
#include "power/powerCalibration.h"

void calcDetectorCalibration(uint32_t) {}
