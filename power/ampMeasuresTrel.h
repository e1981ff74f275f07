// Measures of the third amplifier family (the wideband amplifier): forward
// and reflected power from logarithmic detectors, each calibrated at one
// operating point of its own, the driver current, the supply rails, the
// amplifier temperature and the amplifier's signal interface.
#pragma once

#include <cstdint>

// Detector slopes of the wideband amplifier (dB per count).
constexpr double kTrelFwdSlope = 0.0055182464;
constexpr double kTrelRefSlope = 0.011082036;
// The Select_Write bit that compresses the temperature reading above 60 °C;
// a forward calibration at a driver power between 534 and 551 sets it.
constexpr uint32_t kSelectWriteTempCompress = 0x800000;

// The converter part: detectors on their period, the driver current and the
// supply rails in staggered groups. The flags clear the windows and the
// means histories and are reset.
void ReadPowerAndAuxMeas(uint16_t* fwdInstant, uint16_t* fwdMean, uint8_t* fwdStable, uint16_t* refInstant,
                         uint16_t* refMean, uint8_t* refStable, uint8_t* clearWindows, uint8_t* clearMeans,
                         uint32_t slow);
// One pass of the power measure: the calibration requests and the power
// table words. slow selects the 500 ms detector period; forceReset restarts
// the means.
void HpaPowerMeasure_TREL(uint32_t slow, uint32_t forceReset);
// The amplifier temperature, every 5 s.
void HpaTemperatureMeasure_TREL();
// The interlock, amplifier mute and HPA alarm lines every 250 ms; the
// amplifier lockout handling on every call.
void HpaSignalInterfaceMeasure_TREL();

// Returns the module to its start state (tests).
void ampMeasuresTrelResetForTest();
