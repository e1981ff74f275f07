// The unit's power limits as logarithmic power indices (0.1 dB steps above
// 1 mW, the scale of convLogIndexToLin): the bounds of the transmitter's
// nominal power, which the amplifier's identification and calibration set.
#include "power/powerSettings.h"

#include "Config/keys/hpaKeys.h"

// The minimum nominal power: the amplifier's minimum power in force.
int32_t getMinPowerIndex()
{
    return getHpaMinPower();
}

// The maximum nominal power: Tx_Max_Nom_Power.
int32_t getMaxPowerIndex()
{
    return getTxMaxNomPower();
}
