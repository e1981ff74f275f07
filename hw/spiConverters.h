// SPI converters of the amplifier: the AD7476 ADC on chip select 2 and the
// drive DAC on chip select 3.
#pragma once

#include <cstdint>

// One 12-bit sample without chip-select handling (value modulo 4096). 0.
int readAdcRaw(uint16_t* out);
// One sample with the expander chip select around it, shifted right by 4. 0.
int readAdc(uint16_t* out);
// Writes a code to logical DAC 0 to 4 (attenuator, over-power threshold,
// reflected threshold, VAPC, margin pin) on the physical channel of the
// fitted family and model. 0.
int setDacOutput(const uint16_t* value, uint32_t dac);
