// Stand-in for the SPS serial power module: no module is read.
#include "power/spsModule.h"

void SPS_Task() {}
