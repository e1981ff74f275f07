// Hand-written operations of the power region (rows: power.def). Included
// by powerKeys.h. Levels in 0.1 dBm, thresholds and derating amounts in
// 0.1 dB, linear powers in 0.1 mW. Every setter stores only a changed value,
// publishes it and marks group 0x2000.
#pragma once

#include <cstdint>

// Ranges bounded by the amplifier: the transmitter nominal power with a
// supply of the first family (PSU type code 1) lies between the HPA minimum
// power and Tx_Max_Nom_Power, else within -999..999; Tx_Max_Nom_Power
// between the HPA minimum power and the HPA driver level; the exciter
// nominal power between the analogue minimum and maximum powers.
int txNominalPowerInRange(uint32_t v);
int txMaxNomPowerInRange(uint32_t v);
int exciterNominalPowerInRange(uint32_t v);

// "Transmitter_nominal_power": also stores and publishes its linear value;
// with a single amplifier also copies both to the exciter, sets the driver
// power (with `flag`), re-applies the derated driver power and starts a
// transmitter power change.
void setTransmitterNominalPower(uint32_t level, uint32_t flag);
// The same from the linear side (0.1 mW, 0 to 60,000,000).
uint32_t getTxNominalPowerLinear();
void setTxNominalPowerLinear(uint32_t linear, uint32_t flag);
int isValidTxNominalPowerLinear(uint32_t v);
// "Exciter_nominal_power": stores the level and its linear value, sets the
// driver power and re-applies the derated driver power; with a single
// amplifier also copies both to the transmitter and publishes the level.
void setExciterNominalPower(uint32_t level, uint32_t flag);
// Low-power thresholds: transmitter and exciter mirror each other with a
// single amplifier.
void setTransmitterLowPowerAlarmThreshold(uint32_t v);
void setTransmitterLowPowerWarningThreshold(uint32_t v);
void setExciterLowPowerAlarmThreshold(uint32_t v);
void setExciterLowPowerWarningThreshold(uint32_t v);
// Also hands the value to the loops' reflected-threshold copy.
void setTransmitterReflectedPowerAlarmThreshold(uint32_t v);
// "Pwr_Derating_Enable": the low byte of `flag`; a change re-applies the
// derated driver power.
void setPwrDeratingEnable(uint32_t flag);
// The exciter-mode derating (0 to 999): stored, published and marked; it
// becomes the derating in force and the derated driver power is re-applied.
uint16_t getDeratingOverride();
void setDeratingOverride(uint32_t v);
int isValidDeratingOverride(uint32_t v);
// The APC drive voltage's range test (0 to 5000 mV).
int isValidVapc(uint32_t v);

