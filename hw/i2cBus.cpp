// I2C bus layer.
#include "hw/i2cBus.h"

#include "Config/keys/hwCodesKeys.h"
#include "core/base/utils.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

std::atomic<int32_t> I2cErrorCount{0};
std::atomic<uint32_t> I2cErrorTotal{0};

namespace {

constexpr uint32_t kHistory = 16;
constexpr uint32_t kSupervisionUs = 500000;
constexpr int kRetries = 5;

struct I2cBusState {
    // One descriptor per bus number; 0 = not open, negative = the failed open.
    int32_t I2cBusFd[256] = {};
    // Supervision.
    uint8_t started = 0;
    struct timespec stamp = {};
    uint32_t history[kHistory] = {};
};

I2cBusState& st()
{
    static I2cBusState s;
    return s;
}

int busSem(uint8_t bus)
{
    return bus < 3 ? semIds[bus] : -1;
}

bool takesLock(int lockMode)
{
    return lockMode == 0 || lockMode == 1;
}

// Lock mode 1 keeps the lock after a success; a failure never leaves it held.
bool givesLock(int lockMode, bool ok)
{
    return lockMode == 0 || lockMode == 2 || (lockMode == 1 && !ok);
}

// The frame of the generic transfers: a transaction with the lock taken and
// given as the lock mode says. `transfer` gets the bus descriptor.
template <typename Transfer>
int lockedTransfer(const char* name, uint8_t bus, uint8_t address, int lockMode, Transfer transfer,
                   bool (*ok)(int))
{
    if (takesLock(lockMode)) {
        int r = i2cBusLock(bus, address);
        if (r != 0)
            logErr("Lock %s: %02X\n", name, r);
    }
    int result = i2cTransactionHeld(bus, address, nullptr, transfer);
    if (givesLock(lockMode, result >= 0 && ok(result))) {
        int r = i2cBusUnlock(bus, address);
        if (r != 0)
            logErr("Unlock %s: %02X\n", name, r);
    }
    return result;
}

template <typename Attempt>
int retried(Attempt attempt, const char* managed, const char* unmanaged)
{
    int r = -1;
    for (int i = 0; i < kRetries; i++) {
        r = attempt();
        if (r >= 1)
            return r;
        logErr("%s", i < kRetries - 1 ? managed : unmanaged);
    }
    return r;
}

const char* const kWriteManaged = "---I2C Write managed error---\n";
const char* const kWriteUnmanaged = "---I2C Write unmanaged ERROR---\n";
const char* const kReadManaged = "---I2C Read managed error---\n";
const char* const kReadUnmanaged = "---I2C Read unmanaged ERROR---\n";

} // namespace

int I2C_Connect(uint8_t bus, uint8_t address)
{
    char path[32];
    snprintf(path, sizeof path, "%s%d", "/dev/i2c-", bus);
    int32_t& fd = st().I2cBusFd[bus];
    if (fd == 0) {
        fd = ioOpen(path, O_RDWR);
        if (fd < 0) {
            logErr("%s: Open of I2C_HOST failed! [i2c-%d]\n\n", "I2C_Connect", bus);
            return -1;
        }
    }
    if (ioIoctl(fd, I2C_SLAVE, reinterpret_cast<void*>(static_cast<uintptr_t>(address))) < 0) {
        logErr("%s: ioctl() I2C_SLAVE failed! [i2c-%d][addr=0x%X]\n\n", "I2C_Connect", bus, address);
        if (fd > 0)
            ioClose(fd);
        fd = 0;
        return -2;
    }
    return 0;
}

int I2C_Disconnect(uint8_t bus, uint8_t address)
{
    (void)bus;
    (void)address;
    return 0;
}

int i2cBusLock(uint8_t bus, uint8_t address)
{
    return sem_sys_wait(busSem(bus), address);
}

int i2cBusTryLock(uint8_t bus, uint8_t address)
{
    return sem_sys_trywait(busSem(bus), address);
}

int i2cBusUnlock(uint8_t bus, uint8_t address)
{
    return sem_sys_post(busSem(bus), address);
}

int i2cTransactionHeld(uint8_t bus, uint8_t address, const char* device, I2cTransferFn transfer, void* ctx)
{
    int r = I2C_Connect(bus, address);
    if (r != 0) {
        if (device)
            logErr("Cannot open %s device", device);
        return r;
    }
    r = transfer(st().I2cBusFd[bus], ctx);
    I2C_Disconnect(bus, address);
    return r;
}

int i2cTransaction(uint8_t bus, uint8_t address, const char* device, I2cTransferFn transfer, void* ctx)
{
    i2cBusLock(bus, address);
    int r = i2cTransactionHeld(bus, address, device, transfer, ctx);
    i2cBusUnlock(bus, address);
    return r;
}

void i2cCountTransfer(bool ok)
{
    if (ok) {
        I2cErrorCount.store(0);
    } else {
        I2cErrorCount.fetch_add(1);
        I2cErrorTotal.fetch_add(1);
    }
}

int I2C_WriteByteSem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode)
{
    if (!data)
        return -1;
    return lockedTransfer(
        "I2C_WriteByteSem", bus, address, lockMode,
        [&](int fd) {
            uint8_t buf[2] = {reg, *data};
            if (ioWrite(fd, buf, 2) != 2) {
                logErr("I2C: Error on write! - errno: %d\n", errno);
                return -1;
            }
            return 2;
        },
        [](int r) { return r == 2; });
}

int I2C_ReadByteSem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode)
{
    if (!data)
        return -1;
    return lockedTransfer(
        "I2C_ReadByteSem", bus, address, lockMode,
        [&](int fd) {
            if (ioWrite(fd, &reg, 1) != 1) {
                logErr("I2C: Error on write! - errno: %d\n", errno);
                return -1;
            }
            if (ioRead(fd, data, 1) != 1) {
                logErr("I2C: Error on read! - errno: %d\n", errno);
                return -1;
            }
            return 1;
        },
        [](int r) { return r == 1; });
}

int I2C_DoubleStartReadWriteSem(uint8_t* data, uint16_t regAddr, uint8_t regAddrLen, uint16_t dataLen, uint8_t write,
                                uint8_t bus, uint8_t address, int lockMode)
{
    return lockedTransfer(
        "I2C_DoubleStartReadWriteSem", bus, address, lockMode,
        [&](int fd) {
            uint8_t addrBuf[2];
            struct i2c_msg msgs[2] = {};
            msgs[0].addr = address;
            if (regAddrLen == 2) {
                addrBuf[0] = static_cast<uint8_t>(regAddr >> 8);
                addrBuf[1] = static_cast<uint8_t>(regAddr);
                msgs[0].len = 2;
            } else {
                addrBuf[0] = static_cast<uint8_t>(regAddr);
                msgs[0].len = 1;
            }
            msgs[0].buf = addrBuf;
            msgs[1].addr = address;
            msgs[1].flags = write ? 0 : I2C_M_RD;
            msgs[1].len = dataLen;
            msgs[1].buf = data;
            struct i2c_rdwr_ioctl_data rdwr = {msgs, 2};
            int r = ioIoctl(fd, I2C_RDWR, &rdwr);
            if (r < 0) {
                logErr("I2C: FAILED to read/write I2C message - errno: %d\n", errno);
                I2C_PrintDemodMsg(&rdwr);
            }
            return r;
        },
        [](int r) { return r >= 0; });
}

int I2C_WriteByteRetrySem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode)
{
    return retried([&] { return I2C_WriteByteSem(data, reg, bus, address, lockMode); }, kWriteManaged,
                   kWriteUnmanaged);
}

int I2C_ReadByteRetrySem(uint8_t* data, uint8_t reg, uint8_t bus, uint8_t address, int lockMode)
{
    return retried([&] { return I2C_ReadByteSem(data, reg, bus, address, lockMode); }, kReadManaged,
                   kReadUnmanaged);
}

int I2C_DoubleStartReadWriteRetrySem(uint8_t* data, uint16_t regAddr, uint8_t regAddrLen, uint16_t dataLen,
                                     uint8_t write, uint8_t bus, uint8_t address, int lockMode)
{
    return retried(
        [&] {
            return I2C_DoubleStartReadWriteSem(data, regAddr, regAddrLen, dataLen, write, bus, address, lockMode);
        },
        kWriteManaged, kWriteUnmanaged);
}

int I2C_WriteByte(uint8_t* data, int reg, int bus, int address)
{
    return I2C_WriteByteSem(data, static_cast<uint8_t>(reg), static_cast<uint8_t>(bus), static_cast<uint8_t>(address),
                            0);
}

int I2C_ReadByte(uint8_t* data, int reg, int bus, int address)
{
    return I2C_ReadByteSem(data, static_cast<uint8_t>(reg), static_cast<uint8_t>(bus), static_cast<uint8_t>(address),
                           0);
}

int I2C_DoubleStartReadWrite(uint8_t* data, int regAddr, int regAddrLen, int dataLen, int write, int bus, int address)
{
    return I2C_DoubleStartReadWriteSem(data, static_cast<uint16_t>(regAddr), static_cast<uint8_t>(regAddrLen),
                                       static_cast<uint16_t>(dataLen), static_cast<uint8_t>(write),
                                       static_cast<uint8_t>(bus), static_cast<uint8_t>(address), 0);
}

int I2C_WriteByteRetry(uint8_t* data, int reg, int bus, int address)
{
    return I2C_WriteByteRetrySem(data, static_cast<uint8_t>(reg), static_cast<uint8_t>(bus),
                                 static_cast<uint8_t>(address), 0);
}

int I2C_ReadByteRetry(uint8_t* data, int reg, int bus, int address)
{
    return I2C_ReadByteRetrySem(data, static_cast<uint8_t>(reg), static_cast<uint8_t>(bus),
                                static_cast<uint8_t>(address), 0);
}

int I2C_DoubleStartReadWriteRetry(uint8_t* data, int regAddr, int regAddrLen, int dataLen, int write, int bus,
                                  int address)
{
    return I2C_DoubleStartReadWriteRetrySem(data, static_cast<uint16_t>(regAddr), static_cast<uint8_t>(regAddrLen),
                                            static_cast<uint16_t>(dataLen), static_cast<uint8_t>(write),
                                            static_cast<uint8_t>(bus), static_cast<uint8_t>(address), 0);
}

void I2C_PrintDemodMsg(const struct i2c_rdwr_ioctl_data* rdwr)
{
    if (!rdwr || rdwr->nmsgs < 2 || !rdwr->msgs)
        return;
    const struct i2c_msg& first = rdwr->msgs[0];
    const struct i2c_msg& second = rdwr->msgs[1];
    // Only bytes the messages really carry are printed.
    if (first.addr != 0 || (second.flags & I2C_M_RD) || first.len < 2 || second.len < 1 || !first.buf ||
        !second.buf)
        return;
    printf("***Demod Addr=0x%02X%02X Data=0x%02X\n", first.buf[0], first.buf[1], second.buf[0]);
}

void I2C_FaultMng()
{
    I2cBusState& s = st();
    if (!s.started) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.stamp);
        s.started = 1;
    }
    int32_t instant = I2cErrorCount.load();
    uint32_t mean = 0;
    computeLinearRegression(static_cast<uint32_t>(instant), kHistory, s.history, &mean, nullptr, 0);
    setI2cErrorCount(I2cErrorTotal.load());
    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&s.stamp, &now) <= kSupervisionUs - 1)
        return;
    DEBUG_PRINT(DBG_I2C, "Errors on I2C Bus: instant %d, mean %d\n", instant, static_cast<int>(mean));
    if (getI2cFaultFlag() != 0) {
        I2cErrorTotal.store(0);
        setI2cErrorCount(0);
        setI2cFaultFlag(0);
    }
    s.stamp = now;
}
