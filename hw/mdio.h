// MDIO access to the Ethernet switch through the two MDIO masters (channel A
// and channel B) of the FPGA download device's register window. Every line
// goes to standard output, opening with the operation's name.
#pragma once

#include <cstdint>

// Maps the 4096-byte window of /dev/dwlfpga: 0, or -1 (said) when the device
// cannot be opened or mapped.
int initFlexBusMemoryMap();
// Unmaps and closes the window: the unmap result (0 when nothing is mapped).
int closeFlexBusMemoryMap();

// The channel's acknowledge and busy bits; with nothing mapped the channel
// reads busy and unacknowledged.
void getMdioStatus(int8_t ch, uint8_t* ack, uint8_t* busy);
// The channel's 16-bit read data.
void getMdioReadData(int8_t ch, uint16_t* data);
// Writes the data and then the command word (flag bit 12, operation bits
// 11-10, address bits 9-0) of a channel, and checks both by reading back.
void writeMdioChannel(int8_t ch, uint8_t flag, uint8_t op, uint16_t addr, uint16_t data);

// One register write or read on a channel (address = SMI device * 32 +
// register): 0, or -1 when the channel was busy before the access, stayed
// busy for 1,000 polls, no device acknowledged a read, or the window cannot
// be mapped (it is mapped on the first access). A failed read leaves *data
// as it was.
int mdioWrite(int8_t ch, uint16_t addr, uint16_t data);
int mdioRead(int8_t ch, uint16_t addr, uint16_t* data);

// The channel the switch is reached through (0: A, any other: B) and the
// accesses on it.
void mdioSelectChannel(int8_t ch);
int8_t mdioSelectedChannel();
int mdioWriteSwitchReg(uint16_t addr, uint16_t data);
int mdioReadSwitchReg(uint16_t addr, uint16_t* data);

// Bench probes: a read probe of every address of a channel, reporting the
// acknowledge; a walking one through a window register.
void searchForAcknowledge(int8_t ch);
void testArea(volatile uint32_t* reg);
