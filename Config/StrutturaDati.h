// System image accessors used by the hardware access layer.
#pragma once

#include <cstdint>

// I2C error status word: mirrors the I2C error total; publishes (13,41) on a change.
void setI2cErrorCount(uint32_t value);
uint32_t getI2cErrorCount();
// I2C error reset request: publishes (13,42) on a change.
void setI2cFaultFlag(uint8_t value);
uint8_t getI2cFaultFlag();
// HPA model code (low byte kept): publishes (17,23) on a change.
void setHpaModelCode(uint32_t value);
uint32_t getHpaModelCode();
