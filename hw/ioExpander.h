// I2C I/O expanders of bus 1 (CAT9534 / PCA9654 / PCA9655).
#pragma once

#include <cstdint>

// Reads one register of the expander at an I2C address of bus 1 into *value.
// Negative on failure.
int ioExpRead(uint8_t* value, uint8_t reg, uint8_t address);
int pca9655Read(uint8_t* value, uint8_t reg, uint8_t address);
// Writes one register under the bus lock; negative on failure (logged).
int ioExpWrite(uint8_t value, uint8_t reg, uint8_t address);
