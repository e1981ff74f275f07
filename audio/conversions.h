// Value conversions between configuration units (percent, Hz, dB, degrees)
// and the integer codes of the FPGA signal path, and the firmware
// operative-mode names. `dev` below is the configured frequency deviation
// (kHz), read through its getter.
#pragma once

#include "core/base/gain2048.h"

#include <cstdint>

uint16_t convLevelToCode2047(uint16_t x);
uint16_t convCodeToPercent2194(uint16_t code);
uint16_t convPercentToCode2194(uint16_t percent);
uint16_t convDivByDeviation(uint32_t x);
uint32_t convMulByDeviation(uint16_t x);
uint16_t convCodeToPercent133(uint8_t code);
uint8_t convPercentToCode133(uint16_t percent);
uint16_t convMulDeviationScale(uint16_t x, uint16_t y);
uint32_t convDeviationRatioToCode(uint16_t x);
uint32_t convDeviationToCode(uint16_t x, uint8_t flag);
// Level in dB against dev x reference x 1000; -180 for no level.
int32_t convToDb(uint32_t x, double reference);
uint32_t convHzToFtw(uint32_t x);
uint32_t convFtwToHz(uint32_t w);
uint32_t convDegToPhaseWord(uint32_t degrees);
float convDb200ToLinear(int16_t v);
int16_t convLinearToDb200(float x);

// Name of a firmware operative mode; row 0 for any mode above 3.
char* getOperativeModeName(uint32_t mode);

// Called by the port-record setters after a change; nothing to do.
void notifyPortRecordA(uint8_t side);
void notifyPortRecordB(uint8_t side);
