// The configuration and status items the alarm cycle reads, in one place:
// the key regions that have them as rows, and the items whose rows or
// owners are not written yet (stand-ins: pending/alarms/alarmKeys.cpp).
#pragma once

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/input.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/synchro.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/unitKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"

#include <cstdint>

// Synchronisation: net_mode, the frequency and time reference sources,
// mute_fref_absent, mute_tref_absent, system_clock_source.

// Audio inputs: output_configuration (primary code), the secondary code,
// the code on air, the FPGA input configuration, input_backup, the on-air
// input (0 primary, 1 secondary), InputAlarmVsTxStatus, the MPX-digital
// line presence and the audio alarm enables and delays (whole seconds).
// Output routing of the AES/EBU receiver reset: the AES/EBU output
// selection and the write of the output matrix.
void setAesEbuOutputSel(uint32_t v);

// force_dac_level's saved companion, written back on a reference "Locked"
// edge.
uint32_t getForceDacLevelSaved();
void setForceDacLevelSaved(uint32_t v);

// Amplifier: power class, driver level, temperature warning and alarm
// thresholds (whole degrees C, 70 and 80 by default), HPS_MngMode and the
// measure words (supply voltages in mV at 15 to 17).
uint32_t getHpaPowerClass();
void setHpaPowerClass(uint32_t v);
int16_t getHpaDriverLevel();
void setHpaDriverLevel(int16_t v);
uint32_t getCriticalTempLow();
void setCriticalTempLow(uint32_t v);
uint32_t getCriticalTempHigh();
void setCriticalTempHigh(uint32_t v);
uint32_t getHPSMngMode();
void setHPSMngMode(uint32_t v);
uint32_t getHpaMeasureWord(uint32_t index);
void setHpaMeasureWord(uint32_t index, uint32_t value);

// Power supplies, by slot: count, available count, presence, enable,
// status code (0 good, 2 fault, 3 unavailable), type (3 serial module),
// measured output voltage and set point (mV).
uint32_t getPsuCount();
void setPsuCount(uint32_t v);
uint8_t getPsuAvailableCount();
void setPsuAvailableCount(uint8_t v);
uint8_t isPsuPresent(uint32_t slot);
void setPsuPresent(uint32_t slot, uint8_t v);
uint8_t isPsuEnabled(uint32_t slot);
void setPsuEnabled(uint32_t slot, uint8_t v);
uint32_t getPsuStatusCode(uint32_t slot);
void setPsuStatus(uint32_t slot, uint32_t code);
uint32_t getPsuType(uint32_t slot);
void setPsuType(uint32_t slot, uint32_t v);
uint32_t getPsuVoutMeasured(uint32_t slot);
void setPsuVoutMeasured(uint32_t slot, uint32_t mv);
uint32_t getPsuVoutSetpoint(uint32_t slot);
void setPsuVoutSetpoint(uint32_t slot, uint32_t mv);
// Switches a supply's output on (1) or off (0).
void setPsuOperationMode(uint32_t slot, uint8_t on);
// The APC drive voltage (mV): stored, and with apply 1 written to its DAC;
// its limit for a number of available supplies.
void setVoltageAPC(uint32_t mv, uint8_t apply);
uint32_t getVoltageAPC();
uint32_t getVoltageAPCLimit(uint32_t available);
