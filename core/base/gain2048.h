// Level conversions between tenths of dB and the linear gain codes of the
// FPGA signal path (2048 = unity), shared by the value conversions and the
// control-frame builder.
#pragma once

#include <cstdint>

uint16_t convDbToGain2048(int16_t v);
int16_t convGain2048ToDb(uint16_t g);
uint16_t convAttToGain2048(int16_t v);
int16_t convGain2048ToAtt(uint16_t g);
