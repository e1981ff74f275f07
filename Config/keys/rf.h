// Hand-written operations of the RF region (rows: rf.def). Included by
// rfKeys.h.
#pragma once

#include <cstdint>

// "output_RFfrequency" (Hz): stores a changed frequency and publishes it;
// once the hardware is ready it also marks the frequency and output-stage
// groups and retunes, and a non-zero resetLastValid clears the last valid
// drive values.
void setOutputRFfrequency(uint32_t f, uint32_t resetLastValid);

// Hook of the measures table: words 9, 7, 10 and 8 go to DbPool cells
// (10,1), (10,2), (10,6) and (10,11); the other words are not published.
void publishPowerTableWord(uint32_t index, uint32_t value, uint32_t old);

// Frequency offsets and board output power ("frequency_offset",
// "frequency_calib_offset", "BoardOutputPower"); until they are rows of this
// region they stand in pending/Config/keys/rf.cpp. The offset setters retune
// and the output-power setter reprograms the RF DAC once the hardware is
// ready.
int32_t getFrequencyOffset();
void setFrequencyOffset(uint32_t o);
int32_t getFrequencyCalibOffset();
void setFrequencyCalibOffset(uint32_t o);
int16_t getBoardOutputPower();
void setBoardOutputPower(uint32_t v);
// "power_offset_first_freq" / "power_offset_last_freq" (0.1 dB): the power
// offsets at 87.5 and 108 MHz.
int16_t getPowerOffsetFirstFreq();
void setPowerOffsetFirstFreq(int16_t tenthsDb);
int16_t getPowerOffsetLastFreq();
void setPowerOffsetLastFreq(int16_t tenthsDb);
// The frequency power offset (0.1 dB) of the current frequency.
int16_t getFreqPowerOffset();
void setFreqPowerOffset(int16_t tenthsDb);
