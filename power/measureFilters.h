// Measurement toolbox of the amplifier measures: the multiplexer channel
// read, the smoothing filters and the level conversions.
#pragma once

#include <cstdint>

// Moving mean with jump rejection and outlier replacement, thresholds chosen
// on every call from the HPA model code. The caller owns the state, all zero
// at start: samples (N, newest first, 0 = never filled), the output mean, an
// optional history of M outputs (null for none), the stable pass count, the
// stable flag and the consecutive discard count. Returns 1 when a new mean
// was computed, 0 when the sample was discarded or the window is not full.
// MovingMean carries the second family's thresholds, MovingMeanTrel the
// third family's.
int MovingMean(uint16_t sample, uint16_t* samples, uint16_t n, uint16_t* mean, uint16_t* means, uint16_t m,
               uint16_t* stableCount, uint8_t* stable, uint16_t* discardCount);
int MovingMeanTrel(uint16_t sample, uint16_t* samples, uint16_t n, uint16_t* mean, uint16_t* means, uint16_t m,
                   uint16_t* stableCount, uint8_t* stable, uint16_t* discardCount);

// Filters an amplifier temperature (°C) in place: steps of more than 3 °C are
// held back (at most 8 times between two accepted steps) and the output is
// the mean of the last 16 values. One history per process.
void FilterTemperature(int16_t* temperature);
// Forgets the temperature history (tests).
void filterTemperatureReset();

// Plain mean over a window of n entries (newest first). While the window is
// not full the output is the sample itself and the result 0; then the mean
// and 1.
int windowedMean(uint16_t sample, uint16_t n, uint16_t* window, uint16_t* output);

// A level in 0.1 dB (0.1 dBm) as linear power: whole units (mW; 0 below 1)
// and hundredths (0.01 mW), both truncated.
void dbToLinear(int16_t tenthsDb, uint32_t* wholeOut, uint32_t* hundredthsOut);

// Volts per count of the amplifier converters.
constexpr double kAdc12VoltsPerCount = 0.000805664;  // SPI converter, 3.3 V / 4096
constexpr double kLtc2451VoltsPerCount = 7.6294e-5;  // LTC2451, 5 V / 65536

// Channels of the amplifier measurement multiplexer.
// First family (models 0, 1, 2): the four signals below.
// Second family (models 3, 4): the multiplexer byte itself, 0 to 7, and 0x80
// to 0x87 for the current multiplexer of the 4U cabinet.
// Third family (model 5): ampAdcBankChannel(bank, channel).
enum AmpAdcChannel : uint16_t {
    AMP_ADC_FWD = 0x100,
    AMP_ADC_REF,
    AMP_ADC_CURRENT,
    AMP_ADC_TEMP,
};
constexpr uint16_t ampAdcBankChannel(unsigned bank, unsigned channel)
{
    return static_cast<uint16_t>(0x200 | (bank & 1) << 4 | (channel & 3));
}
// Or'ed into a second-family channel of model 3: pause only after the first
// of the two LTC2451 reads (the 2U cabinet's forward detector).
constexpr uint16_t AMP_ADC_NO_LEAD_PAUSE = 0x1000;

// Selects a channel on the multiplexer of the fitted HPA model and reads one
// converter sample into *dest. 0, or the expander driver's error (dest kept);
// -1 for a channel the model does not have. Model 1 has no reflected and no
// current channel: those return 0 and keep *dest.
int readAmpAdcChannel(uint16_t channel, uint16_t* dest);
