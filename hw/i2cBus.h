// I2C bus layer: the cached bus descriptors, the slave selection, the
// transaction that every device driver's transfer runs in, the generic
// register transfers, the bus error counters and their supervision.
//
// A driver's transfer is one i2cTransaction: the bus lock for the slave,
// I2C_Connect, the driver's transfer on the bus descriptor (plain read and
// write, or one I2C_RDWR request), I2C_Disconnect, and the lock given back on
// every path. The transfer reports its outcome with i2cCountTransfer. The
// bus semaphores and descriptors stay inside this module.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

struct i2c_rdwr_ioctl_data;

// Consecutive failed transfers (all buses); cleared by any successful one.
extern std::atomic<int32_t> I2cErrorCount;
// All failed transfers since start or the last reset request.
extern std::atomic<uint32_t> I2cErrorTotal;

// Opens the bus device on first use (kept open) and selects the 7-bit slave.
// 0, -1 when the bus device cannot be opened, -2 when the slave cannot be
// selected (the descriptor is then closed and reopened by a later connect).
// Drivers reach it through i2cTransaction.
int I2C_Connect(uint8_t bus, uint8_t address);
// The closing half of the pair; the bus descriptor stays open. Returns 0.
int I2C_Disconnect(uint8_t bus, uint8_t address);

// A driver's transfer: gets the bus descriptor with its slave selected and
// returns the driver's result, which the transaction passes through.
using I2cTransferFn = int (*)(int fd, void* ctx);

// One transaction of a device driver: takes the bus lock for the slave,
// connects, runs the transfer, disconnects and gives the lock back. When the
// connect fails the transfer is skipped, "Cannot open <device> device" is
// logged (no line for a null device) and the connect result (-1, -2) is
// returned.
int i2cTransaction(uint8_t bus, uint8_t address, const char* device, I2cTransferFn transfer, void* ctx);

// A sequence of transactions under one hold of the bus lock (a
// read-modify-write): i2cBusLock, then i2cTransactionHeld for each step, then
// i2cBusUnlock on every path. The bus lock is not recursive, so no
// i2cTransaction may run inside a sequence. Lock and unlock return the
// semaphore operation's result (0).
int i2cBusLock(uint8_t bus, uint8_t address);
int i2cBusUnlock(uint8_t bus, uint8_t address);
// i2cBusLock without waiting: 0 when taken, 1 when the bus is busy, -1 on a
// failure of the semaphore.
int i2cBusTryLock(uint8_t bus, uint8_t address);
int i2cTransactionHeld(uint8_t bus, uint8_t address, const char* device, I2cTransferFn transfer, void* ctx);

// The same two with a callable `int (int fd)` as the transfer.
template <typename Transfer>
int i2cTransaction(uint8_t bus, uint8_t address, const char* device, Transfer&& transfer)
{
    using T = std::remove_cvref_t<Transfer>;
    return i2cTransaction(
        bus, address, device, [](int fd, void* ctx) { return (*static_cast<T*>(ctx))(fd); },
        const_cast<T*>(&transfer));
}

template <typename Transfer>
int i2cTransactionHeld(uint8_t bus, uint8_t address, const char* device, Transfer&& transfer)
{
    using T = std::remove_cvref_t<Transfer>;
    return i2cTransactionHeld(
        bus, address, device, [](int fd, void* ctx) { return (*static_cast<T*>(ctx))(fd); },
        const_cast<T*>(&transfer));
}

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
