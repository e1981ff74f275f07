// Power settings of the RF power chain: the power region's accessors
// (nominal powers, thresholds, derating settings; Config/keys/powerKeys.h),
// the measured powers of the runtime record and the unit's power limits.
#pragma once

#include "Config/keys/powerKeys.h"
#include "power/powerManagement.h"

#include <cstdint>

// Logarithmic indices (0.1 dB) of the unit's minimum and maximum nominal
// power: the amplifier's minimum power (getHpaMinPower) and
// Tx_Max_Nom_Power, the bounds of Transmitter_nominal_power.
int32_t getMinPowerIndex();
int32_t getMaxPowerIndex();
