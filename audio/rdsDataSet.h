// RDS data sets of the encoder.
#pragma once

#include <cstdint>

// Resets the RDS encoder state; with `force` non-zero the main data set is
// emptied too.
void resetRdsEncoderData(uint8_t force);
