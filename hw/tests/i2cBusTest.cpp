// I2C bus layer on the simulated board.
#include "hw/i2cBus.h"

#include "Config/keys/hwCodesKeys.h"
#include "comtab/dbPool.h"
#include "core/base/locks.h"
#include "core/base/timeBase.h"
#include "platform/io.h"
#include "sim/simModels.h"
#include "testing/sandboxTest.h"

#include <fcntl.h>
#include <sys/mman.h>

namespace {

class I2cBus : public SandboxTest {
protected:
    I2cBus() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }

    static uint32_t busOpens() { return simState()->buses[SIM_BUS_I2C1].opens.load(); }

    // A read of one byte at an address as every device driver frames it.
    static int driverRead(uint8_t address, uint8_t* out)
    {
        return i2cTransaction(1, address, nullptr, [&](int fd) {
            bool ok = ioRead(fd, out, 1) == 1;
            i2cCountTransfer(ok);
            return ok ? 0 : -1;
        });
    }

    // The bus descriptor a transaction with a slave gets.
    static int busFd(uint8_t address)
    {
        int seen = 0;
        i2cTransaction(1, address, nullptr, [&](int fd) { return seen = fd; });
        return seen;
    }

    // Runs the supervision after advancing the time base.
    static void superviseAfterUs(int64_t us)
    {
        clockAdvanceUs(us);
        timeThread();
        I2C_FaultMng();
    }
};

TEST_F(I2cBus, BusDeviceIsOpenedOnceForEveryAddress)
{
    EXPECT_EQ(I2C_Connect(1, 0x20), 0);
    EXPECT_EQ(I2C_Connect(1, 0x21), 0);
    EXPECT_EQ(I2C_Disconnect(1, 0x21), 0);
    EXPECT_EQ(I2C_Connect(1, 0x26), 0);
    EXPECT_GT(busFd(0x26), 0);
    EXPECT_EQ(busOpens(), 1u);
}

TEST_F(I2cBus, RemovedBusGivesTheFailureCodesAndIsReopenedWhenBack)
{
    ASSERT_EQ(I2C_Connect(1, 0x20), 0);
    SimBus& bus = simState()->buses[SIM_BUS_I2C1];
    bus.absent.store(1);
    EXPECT_EQ(I2C_Connect(1, 0x20), -2) << "the kept descriptor no longer answers";
    EXPECT_EQ(I2C_Connect(1, 0x20), -1) << "the node is gone";
    EXPECT_EQ(I2C_Connect(1, 0x20), -2) << "the failed open stays in the entry once";
    bus.absent.store(0);
    EXPECT_EQ(I2C_Connect(1, 0x20), 0);
    EXPECT_EQ(busOpens(), 2u);
    std::string b = book();
    EXPECT_EQ(count(b, "ERR: I2C_Connect: Open of I2C_HOST failed! [i2c-1]\n\n"), 1u);
    EXPECT_EQ(count(b, "ERR: I2C_Connect: ioctl() I2C_SLAVE failed! [i2c-1][addr=0x20]\n\n"), 2u);
}

TEST_F(I2cBus, RefusedSlaveClosesTheDescriptor)
{
    int fd = busFd(0x20);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(I2C_Connect(1, 0x68), -2) << "held by the RTC driver";
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the descriptor is closed";
    EXPECT_EQ(I2C_Connect(1, 0x20), 0);
    EXPECT_EQ(busOpens(), 2u);
}

TEST_F(I2cBus, FailedReadIsCountedAndPublishedBySupervision)
{
    uint8_t v = 0;
    EXPECT_EQ(driverRead(0x2D, &v), -1) << "no device at 0x2D";
    EXPECT_EQ(I2cErrorCount.load(), 1);
    EXPECT_EQ(I2cErrorTotal.load(), 1u);

    // Debug lines of the "I2C" row go to the debug log.
    debugModuleMask = debugModuleTable[DBG_I2C].mask;
    timeThread();
    I2C_FaultMng();
    EXPECT_EQ(*getDbAreaCell(13, 41), 1u);
    superviseAfterUs(499000);
    EXPECT_EQ(count(debugLog(), "Errors on I2C Bus"), 0u);
    superviseAfterUs(10000);
    EXPECT_EQ(count(debugLog(), "[I2C_FaultMng - I2C] >> Errors on I2C Bus: instant 1, mean 1\n"), 1u);

    for (int i = 0; i < 39; i++)
        driverRead(0x2D, &v);
    EXPECT_EQ(driverRead(0x20, &v), 0);
    EXPECT_EQ(I2cErrorCount.load(), 0);
    EXPECT_EQ(I2cErrorTotal.load(), 40u);
    I2C_FaultMng();
    EXPECT_EQ(*getDbAreaCell(13, 41), 40u);
}

TEST_F(I2cBus, ResetRequestClearsTheTotalAtTheNextCheckOnly)
{
    uint8_t v;
    driverRead(0x2D, &v);
    timeThread();
    I2C_FaultMng();
    setI2cFaultFlag(1);
    EXPECT_EQ(*getDbAreaCell(13, 42), 1u);
    superviseAfterUs(100000);
    EXPECT_EQ(I2cErrorTotal.load(), 1u) << "not before the 500 ms check";
    superviseAfterUs(410000);
    EXPECT_EQ(I2cErrorTotal.load(), 0u);
    EXPECT_EQ(getI2cErrorCount(), 0u);
    EXPECT_EQ(*getDbAreaCell(13, 41), 0u);
    EXPECT_EQ(getI2cFaultFlag(), 0);
    EXPECT_EQ(*getDbAreaCell(13, 42), 0u);
}

TEST_F(I2cBus, GenericTransfersMoveRegisterBytes)
{
    uint8_t v = 0xA5;
    EXPECT_EQ(I2C_WriteByte(&v, 2, 1, 0x22), 2);
    v = 0;
    EXPECT_EQ(I2C_ReadByte(&v, 0x102, 0x101, 0x122), 1) << "arguments truncated to 8 bits";
    EXPECT_EQ(v, 0xA5);

    uint8_t temp[2] = {};
    EXPECT_EQ(I2C_DoubleStartReadWrite(temp, 0, 1, 2, 0, 1, 0x48), 2);
    EXPECT_EQ(temp[0], 0x19);
    // A two-byte register address goes high byte first.
    uint8_t text[3] = {'x', 'y', 'z'}, back[3] = {};
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x51))->poke(0x1234, text, 3);
    EXPECT_EQ(I2C_DoubleStartReadWrite(back, 0x1234, 2, 3, 0, 1, 0x51), 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 3), "xyz");

    EXPECT_EQ(I2C_ReadByte(&v, 0, 1, 0x2D), -1);
    EXPECT_EQ(I2C_DoubleStartReadWrite(temp, 0, 1, 2, 0, 1, 0x2D), -1);
    std::string b = book();
    EXPECT_EQ(count(b, "ERR: I2C: Error on write! - errno: 6\n"), 1u);
    EXPECT_EQ(count(b, "ERR: I2C: Error on read!"), 0u) << "no read after a failed register write";
    EXPECT_EQ(count(b, "ERR: I2C: FAILED to read/write I2C message - errno: 6\n"), 1u);
    EXPECT_EQ(I2cErrorTotal.load(), 0u) << "the generic transfers leave the counters alone";
}

TEST_F(I2cBus, RetriesLogEachFailedAttempt)
{
    uint8_t v = 1;
    EXPECT_EQ(I2C_WriteByteRetry(&v, 2, 1, 0x2D), -1);
    std::string b = book();
    EXPECT_EQ(count(b, "ERR: ---I2C Write managed error---\n"), 4u);
    EXPECT_EQ(count(b, "ERR: ---I2C Write unmanaged ERROR---\n"), 1u);

    simFindDevice(SIM_BUS_I2C1, 0x20)->nackNext.store(2);
    EXPECT_EQ(I2C_ReadByteRetry(&v, 0, 1, 0x20), 1);
    EXPECT_EQ(count(book(), "ERR: ---I2C Read managed error---\n"), 2u);
    EXPECT_EQ(count(book(), "unmanaged"), 1u);
}

TEST_F(I2cBus, LockModesFrameASequence)
{
    uint8_t v = 0;
    EXPECT_EQ(I2C_ReadByteSem(&v, 0, 1, 0x20, 1), 1);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0), 1) << "mode 1 keeps the bus lock";
    EXPECT_EQ(I2C_ReadByteSem(&v, 1, 1, 0x20, 2), 1);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0), 0) << "mode 2 gives it back";
    sem_sys_post(semIds[1], 0);

    EXPECT_EQ(I2C_ReadByteSem(&v, 0, 1, 0x2D, 1), -1);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0), 0) << "a failed mode-1 transfer does not keep it";
    sem_sys_post(semIds[1], 0);
}

TEST_F(I2cBus, ReadModifyWriteRunsUnderOneHoldOfTheLock)
{
    uint8_t v = 0x0F;
    ASSERT_EQ(I2C_WriteByte(&v, 2, 1, 0x22), 2);
    ASSERT_EQ(i2cBusLock(1, 0x22), 0);
    uint8_t reg = 2, value = 0;
    int r = i2cTransactionHeld(1, 0x22, "expander", [&](int fd) {
        return ioWrite(fd, &reg, 1) == 1 && ioRead(fd, &value, 1) == 1 ? 0 : -1;
    });
    EXPECT_EQ(r, 0);
    uint8_t out[2] = {reg, static_cast<uint8_t>(value | 0xA0)};
    EXPECT_EQ(i2cTransactionHeld(1, 0x22, "expander", [&](int fd) { return static_cast<int>(ioWrite(fd, out, 2)); }),
              2);
    simState()->buses[SIM_BUS_I2C1].absent.store(1);
    EXPECT_EQ(i2cTransactionHeld(1, 0x22, "expander", [](int) { return 0; }), -2);
    simState()->buses[SIM_BUS_I2C1].absent.store(0);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0), 1) << "the sequence still holds the lock";
    EXPECT_EQ(i2cBusUnlock(1, 0x22), 0);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0), 0);
    sem_sys_post(semIds[1], 0);
    EXPECT_EQ(I2C_ReadByte(&v, 2, 1, 0x22), 1);
    EXPECT_EQ(v, 0xAF);
    EXPECT_EQ(count(book(), "ERR: Cannot open expander device\n"), 1u);
}

} // namespace
