// Hand-written operations of the amplifier region (rows: hpa.def). Included
// by hpaKeys.h.
#pragma once

#include <cstdint>

// Hook of the HPA model code: models 3, 4 and 5 set the drive-current
// conversion factor (660, 3230, 250); other models leave it.
void convFactorFromModel(uint32_t index, uint32_t value, uint32_t old);

// After configuration.xml is loaded: drives the driver power less its offset
// when the offset is enabled.
void applyDriverPowerOffset();
// After the factory section is loaded: drives the APC converter with the
// configured voltage.
void applyVoltageAPC();
