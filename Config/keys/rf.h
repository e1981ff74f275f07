// Hand-written operations of the RF region (rows: rf.def). Included by
// rfKeys.h.
#pragma once

#include <cstdint>

struct CfgDefaultBy;

// "driver_power" (tenths of dB): a changed value is stored; once the
// hardware is ready it is logged, the detector calibration or the family's
// thresholds follow (recomputed when the power went up or the forward power
// is not calibrated), the RF output event is cleared and a non-zero
// resetLastValid clears the last valid drive values; then it is published
// and marked.
void setDriverPower(uint32_t p, uint32_t resetLastValid);
// The same for the power settings, without the line, the fan speed, the
// last-valid reset and the publish.
void setDriverPowerQuiet(uint32_t p);

// "output_RFfrequency" (Hz): stores a changed frequency and publishes it;
// once the hardware is ready it also logs it, marks the frequency and
// output-stage groups, clears the last valid drive values when
// resetLastValid is not 0, mutes the output and retunes.
void setOutputRFfrequency(uint32_t f, uint32_t resetLastValid);
// The frequency offsets (Hz): the same without the last-valid reset.
void setFrequencyOffset(uint32_t o);
void setFrequencyCalibOffset(uint32_t o);

// The RF output state: a change sets event bit 54, re-applies the audio
// processor's economy mode and sets the RF loop flag.
void setRfOutputEvent(uint32_t v);
// The transmitter-on state: a change sets it and its copy, then clears the
// RF output event.
void setRfMuteState(uint32_t v);

// After configuration.xml is loaded: with the third family, the power limit
// low follows the driver power less the dynamic range.
void applyDriverPowerOffset();

// The APC voltage (mV): stored and published when changed or applied; with
// apply not 0 the APC converter is driven with it.
void setVoltageAPC(uint32_t v, uint8_t apply);
// After the factory section is loaded: with no APC voltage stored, drives
// the converter with the default voltage (HPS codes 1 and 3) or 0.
void applyVoltageAPC();
// Drives the APC converter (logical DAC 3) with v mV, scaled by the
// amplifier family; the first family has none. Returns 0.
int driveApcDac(uint32_t v);
// The defaults by HPS code and HPS type code, stored and published without
// a change mark.
void initDefaultVoltageAPC();
void initMaxVoltageAPC();
// "DefaultVoltageAPC" stored without a publish or a change mark (the
// start-up value by the HPS code).
void setDefaultVoltageAPCQuiet(uint32_t v);
// The APC voltage limit for k supplies in service.
uint32_t getVoltageAPCLimit(uint32_t k);

// Defaults chosen by another row: "DefaultVoltageAPC" by the HPS code,
// "MaxVoltageAPC" by the HPS type code.
extern const CfgDefaultBy kDefaultVoltageApcByHpsCode;
extern const CfgDefaultBy kMaxVoltageApcByHpsType;

// Hooks of the rows.
void recalibrateDetector(uint32_t index, uint32_t value, uint32_t old);
void reinterpolatePowerOffset(uint32_t index, uint32_t value, uint32_t old);
void powerLimitsFromRange(uint32_t index, uint32_t value, uint32_t old);
void reprogramQm(uint32_t index, uint32_t value, uint32_t old);
void recomputeOverPowerThreshold(uint32_t index, uint32_t value, uint32_t old);
void publishHpaWords(uint32_t index, uint32_t value, uint32_t old);
// Hook of the measures table: words 9, 7, 10 and 8 go to DbPool cells
// (10,1), (10,2), (10,6) and (10,11); the other words are not published.
void publishPowerTableWord(uint32_t index, uint32_t value, uint32_t old);
