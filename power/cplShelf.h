// The PMBus power shelf of the second amplifier family: the transport with
// packet error checking, the shelf lock, detection, set-up, the commands the
// loops and the transmitter logic send, and the periodic shelf pass.
#pragma once

#include <cstdint>

// SMBus packet error code: CRC-8, polynomial 0x07, initial 0, MSB first.
uint8_t CPL_Pec8(const uint8_t* data, uint32_t count);
// Writes command, data and PEC to a slot (general call: address 0x00).
// 0, -1 on a short write, or the connect result.
int CPL_Write(uint8_t slot, uint8_t generalCall, uint8_t command, const uint8_t* data, uint8_t count);
// Combined read of count bytes (block count first, PEC last): 2 on success,
// the negative transfer code, or -2 when the PEC of the slot's type fails.
int CPL_Read(uint8_t slot, uint8_t command, uint8_t* buf, uint8_t count);

// Takes / releases the shelf lock and the slot select of the expander at
// 0x23: 0; -1 expander read failed; -2 expander write failed; else the
// mutex result. The unlock releases the mutex on every path.
int CPL_Lock(uint8_t i);
int CPL_Unlock(uint8_t i);

// Identifies the fitted modules and their firmware: 1 when one was found.
int CPL_DetectAll();
// Platform information of a CP2xxx (shelf EEPROM) / CP3xxx (MFR_MODEL and
// MFR_SERIAL): the last transfer result.
int CPL2_ReadPlatformInfo(uint8_t slot);
int CPL3_ReadPlatformInfo(uint8_t slot);
// Detection, CLEAR_FAULTS and the set-up values of the detected shelf.
void CPL_Init();

// Output-voltage set-point (mV) of slot i; the CPL_Write result.
int CPL_SetVout(uint8_t i, uint8_t generalCall, uint32_t v);
// Output voltage through the margin pins (DAC channel 4); 0.
int CPL_SetVoutPinMargin(uint32_t v);
// OPERATION of slot i: 0x80 on (m non-zero), 0x00 off; the CPL_Write result.
int CPL_SetOperation(uint8_t i, uint8_t m);
// 1 output on, 0 off, negative when STATUS_BYTE cannot be read.
int CPL_IsOutputOn(uint8_t i);
// 1 only when CPL_IsOutputOn gives 0 (a failure gives 0).
int CPL_IsOff(uint8_t i);
// CLEAR_FAULTS; the CPL_Write result.
int CPL_ClearFaults(uint8_t i);

// Enabled flags, slot alarms 141..143 and the available count.
void CPL_UpdateAvailability();
// The periodic shelf pass of the VASK loop: one slot per period (1 s with
// one supply available, else 2 s).
void CPL_Task();

// The restore of the last valid output voltage (FAST ALC): set by CPL_Init
// for the single supply and by a reset of the VASK loop, which writes the
// output voltage again and clears it.
bool cplVoutRestorePending();
void cplSetVoutRestore();
void cplClearVoutRestore();

// Returns the shelf to its start state: no detection, no pass taken (tests).
void cplShelfResetForTest();
