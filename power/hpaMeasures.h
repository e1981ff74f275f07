// Measures of the compact amplifiers (log detectors calibrated at one
// operating point): forward and reflected power, stage currents, supply
// voltages, temperature and the amplifier's signal lines.
#pragma once

#include <cstdint>

// One pass of the power measure: the cabinet variant's converter reads, the
// calibration requests and the power table words. slow selects the 500 ms
// measure period, forceReset restarts the means.
void HpaPowerMeasure(uint8_t slow, uint8_t forceReset);

// Converter part of the 2U (HPS code 1) and 4U (HPS code 3) cabinets: the
// detector means every 100 ms (500 ms when slow or with the RF off) and the
// staggered current and voltage groups. A set clear flag empties the windows
// (the means histories) and is reset.
void HpaPowerMeasure_2U(uint16_t* fwdInstant, uint16_t* fwdMean, uint8_t* fwdStable, uint16_t* refInstant,
                        uint16_t* refMean, uint8_t* refStable, uint8_t* clearWindows, uint8_t* clearMeans,
                        uint8_t slow);
void HpaPowerMeasure_4U(uint16_t* fwdInstant, uint16_t* fwdMean, uint8_t* fwdStable, uint16_t* refInstant,
                        uint16_t* refMean, uint8_t* refStable, uint8_t* clearWindows, uint8_t* clearMeans,
                        uint8_t slow);

// Every 5 s: the amplifier temperatures into power table words 7 and 8.
void HpaTemperatureMeasure();
// Every 250 ms: interlock, supply status and amplifier alarm lines; on every
// call it ends with the amplifier lockout handling. Returns 0, or -1 when
// the interlock expander could not be read (the lockout handling is then
// skipped).
int HpaSignalInterfaceMeasure();

// The publication shared by the log-detector measures.
// The exciter's nominal power as linear power / 100 (0.01 mW), the divisor
// of the percentages; 0 below 1 mW.
uint32_t hpaPercentBase();
// Percent of the nominal for a linear power (0.01 mW), rounded; 97 to 103
// read exactly 100; 0 when the base is 0.
uint32_t hpaForwardPercent(uint32_t linear);
// Words 1 to 3 from the forward power (0.1 dBm).
void hpaPublishForward(int32_t forward);
// Words 4 to 6 and 15 from the reflected power (0.1 dBm): words 4 to 6 are
// 0 at or below the reflected floor.
void hpaPublishReflected(int32_t reflected);
// The reflected floor (0.1 dBm) for the driver power in force.
int32_t hpaReflectedFloor();
// Words 1 to 6, 11 and 13 to 0 (RF off, muted or locked out).
void hpaClearPowerWords();

// The detector slope (dB per count) of an HPA model of the second family.
double hpaDetectorSlope(uint32_t model);

// The number of supplies the amplifier reports OK (4U cabinet).
uint8_t getHpaSupplyOkCount();

// Returns the measures to their start state (tests).
void hpaMeasuresResetForTest();
