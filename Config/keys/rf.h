// Hand-written operations of the RF region (rows: rf.def). Included by
// rfKeys.h.
#pragma once

#include <cstdint>

// "output_RFfrequency" (Hz): stores a changed frequency and publishes it;
// once the hardware is ready it also marks the frequency and output-stage
// groups and retunes, and a non-zero resetLastValid clears the last valid
// drive values.
void setOutputRFfrequency(uint32_t f, uint32_t resetLastValid);
