// Stand-in for the power thresholds: no threshold is recomputed and no DAC
// is written.
#include "power/powerThresholds.h"

void calcOverPowerThreshold_VASK() {}
void calcRefPowerThreshold_VASK() {}
void calcOverPowerThreshold_TREL() {}
void calcRefPowerThreshold_TREL() {}
