// The SPS serial power module of the second amplifier family: its frames
// on /dev/ttyMAX0, enrolment, read cycle, status events and availability.
#pragma once

#include <cstddef>
#include <cstdint>

// Body of "SPS Thread" (500 ms): one read cycle of the module, its alarm
// state and rescan.
void SPS_Task();
// The setters may be called on any thread and never wait for an exchange of
// "SPS Thread": a frame that finds the port busy is written as that exchange
// ends, and counts as written.
// Output voltage (mV): 0 when the whole frame was written, else the count.
int SPS_SetVout(uint32_t v);
// Stored output voltage (mV), the value three times: 0 when the whole frame
// was written, else the count.
int SPS_StoreVout(uint32_t v);
// Operation mode (on: 2, off: 1) and minimum fan speed: the bytes written.
int SPS_SetOperationMode(uint8_t m);
int SPS_SetMinFanSpeed(uint32_t s);
// Probe of the module's I2C bridge at 0x2C: 1 when it answers register
// 0x09, else a negative code.
int SPS_DetectI2c();

// CRC-16/MODBUS of a frame, a nibble at a time.
uint16_t SPS_Crc16(const uint8_t* data, size_t n);
// A frame: address, length (payload + 5), letter, payload, CRC high byte
// first. Returns its length.
size_t SPS_BuildFrame(uint8_t* out, uint8_t address, char letter, const uint8_t* payload, size_t n);
// Opens /dev/ttyMAX0 at 19200 baud, 8 bits, 1 stop, stick parity.
int SPS_Open();
// One write of the frame, drained: the bytes written. This and
// SPS_UartRead are called with the port held (the module's own exchanges).
int SPS_UartWrite(const uint8_t* frame, size_t n);
// Collects one reply into buf (256 bytes) in up to 100 rounds of roundUs:
// the reply's byte count when a whole frame with a valid CRC came, else 0.
int SPS_UartRead(uint8_t* buf, uint32_t roundUs);
// Asks the module for one register and collects its reply into buf (256
// bytes), the port held from the request to the reply so no other exchange
// takes it: the reply's length, 0 when none came, -1 when the request could
// not be written.
int SPS_ReadRegister(uint8_t reg, uint8_t* buf, uint32_t roundUs);
// 1 for a 'p' reply: its serial number is stored and logged.
int SPS_PollResp(const uint8_t* buf, int n);
// Handles a reply to register reg: 1 when handled, 0 for another letter or
// an invalid status word.
int SPS_ParseGcpMsg(const uint8_t* buf, int n, uint8_t reg);

int SPS_ChooseSlot(uint8_t slot);
int SPS_SendPollSlot(uint8_t slot);
int SPS_SendPollAck(uint8_t slot, const uint8_t serial[12]);
int SPS_SendReadCmd(uint8_t address, uint8_t reg);
int SPS_SetBusDisconnect();
int SPS_SetPollTimeout(uint8_t value);

void SPS_ReadCycle();
void SPS_UpdateAvailability();
void SPS_CheckRescan();
// Enrolment of the module: up to ten attempts of poll and acknowledge.
void SPS_Search();

// Closes the module's port and returns the module to its start state: not
// enrolled, nothing waiting for the port (tests; no thread may be using it).
void spsModuleResetForTest();
