// I2C bus layer: the cached bus descriptors, the slave selection, the
// generic register transfers, the bus error counters and their supervision.
//
// Every device driver frames a transfer the same way: sem_sys_wait
// (semIds[bus], address), I2C_Connect, the transfer on I2C_BusFd(bus) (plain
// read and write, or one I2C_RDWR request), i2cCountTransfer with the
// outcome, I2C_Disconnect, and sem_sys_post (semIds[bus], address) on every
// path. A failed connect skips the transfer and the counters.
#pragma once

#include <atomic>
#include <cstdint>

struct i2c_rdwr_ioctl_data;

// Consecutive failed transfers (all buses); cleared by any successful one.
extern std::atomic<int32_t> I2cErrorCount;
// All failed transfers since start or the last reset request.
extern std::atomic<uint32_t> I2cErrorTotal;

// Opens the bus device on first use (kept open) and selects the 7-bit slave.
// 0, -1 when the bus device cannot be opened, -2 when the slave cannot be
// selected (the descriptor is then closed and reopened by a later connect).
int I2C_Connect(uint8_t bus, uint8_t address);
// The closing half of the pair; the bus descriptor stays open. Returns 0.
int I2C_Disconnect(uint8_t bus, uint8_t address);
// The cached descriptor of a bus (0: not open).
int I2C_BusFd(uint8_t bus);

// The error-counter step of the transfer convention: a failure adds 1 to
// both counters, a success clears the consecutive count.
void i2cCountTransfer(bool ok);

// Lock modes of the generic transfers: 0 take and give the bus lock, 1 take
// it and keep it after a success (begin a locked sequence), 2 give it after
// the transfer (end a locked sequence).
int I2C_WriteByteSem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode);
int I2C_ReadByteSem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode);
int I2C_DoubleStartReadWriteSem(uint8_t* data, uint16_t regAddr, uint8_t regAddrLen, uint16_t dataLen, uint8_t write,
                                uint8_t bus, uint8_t address, int lockMode);
int I2C_WriteByteRetrySem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode);
int I2C_ReadByteRetrySem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode);
int I2C_DoubleStartReadWriteRetrySem(uint8_t* data, uint16_t regAddr, uint8_t regAddrLen, uint16_t dataLen,
                                     uint8_t write, uint8_t bus, uint8_t address, int lockMode);
// Wrappers with lock mode 0; byte arguments are truncated to 8 bits.
int I2C_WriteByte(uint8_t* data, int reg, int bus, int address);
int I2C_ReadByte(uint8_t* data, int reg, int bus, int address);
int I2C_DoubleStartReadWrite(uint8_t* data, int regAddr, int regAddrLen, int dataLen, int write, int bus, int address);
int I2C_WriteByteRetry(uint8_t* data, int reg, int bus, int address);
int I2C_ReadByteRetry(uint8_t* data, int reg, int bus, int address);
int I2C_DoubleStartReadWriteRetry(uint8_t* data, int regAddr, int regAddrLen, int dataLen, int write, int bus,
                                  int address);

// Debug print of a failed combined transaction.
void I2C_PrintDemodMsg(const struct i2c_rdwr_ioctl_data* rdwr);

// I2C fault supervision: called on every main-loop pass; publishes the error
// total, and every 500 ms writes its debug line and serves the reset request.
void I2C_FaultMng();
