// Power settings of the RF power chain: the power region's accessors
// (nominal powers, thresholds, derating settings; Config/keys/powerKeys.h),
// the measured powers of the runtime record and the unit's power limits.
#pragma once

#include "Config/keys/powerKeys.h"
#include "power/powerManagement.h"

#include <cstdint>

// Logarithmic indices of the unit's minimum and maximum nominal power.
int32_t getMinPowerIndex();
int32_t getMaxPowerIndex();
