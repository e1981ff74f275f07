// Power thresholds and detector calibration of the RF power chain.
#pragma once

#include <cstdint>
#include <vector>

// Rebuilds the detector calibration from the power settings and the
// transmit frequency; a non-zero flag also runs the follow-up adjustments.
void calcDetectorCalibration(uint32_t flag);

// The calibration factors of the last calibration: K1 and K2 of the forward
// detector and K2 of the reflected one (word / 10000).
float getK1Factor();
float getK2Factor();
float getK2RefFactor();

// The forward and reflected detector tables scaled for the current channel,
// copied under the calibration's lock (one entry per dB from the table's
// start power; empty before an amplifier's tables were built).
void copyScaledDetectorTables(std::vector<float>* fwd, std::vector<float>* ref);

// The driver-power range of the fitted amplifier (0.1 dBm): the "An" limits
// for our part number that has them, the "Dig" limits for every other.
void getDriverPowerLimits(int32_t* low, int32_t* high);
