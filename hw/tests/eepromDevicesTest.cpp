// The M24LC512 and M34D64 drivers on the simulated EEPROMs.
#include "hw/eepromDevices.h"

#include "hw/i2cBus.h"
#include "hw/tests/eepromFixture.h"
#include "platform/clock.h"
#include "sim/simEeprom.h"

#include <numeric>
#include <sys/sem.h>
#include <thread>

namespace {

Bytes pattern(size_t n, uint8_t first)
{
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

int64_t nowUs()
{
    struct timespec ts;
    clockPeekTime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

using EepromDevices = EepromTest;

TEST_F(EepromDevices, WritesGoOutInPagesThatNeverCrossABoundary)
{
    struct Case {
        int (*write)(const uint8_t*, uint32_t, uint32_t, uint8_t);
        int (*read)(uint8_t*, uint32_t, uint32_t, uint8_t);
        uint8_t slave;
        uint32_t address, n;
        std::vector<int> pages;
        bool verified;
    };
    const Case cases[] = {
        {M24LC512_WriteBytes, M24LC512_ReadBytes, 0x51, 100, 300, {28, 128, 128, 16}, true},
        {M34D64_WriteBytes, M34D64_ReadBytes, 0x50, 20, 40, {12, 28}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slave);
        Bytes data = pattern(c.n, 1);
        uint64_t mark = logMark();
        EXPECT_EQ(c.write(data.data(), c.address, c.n, c.slave), 0);
        EXPECT_EQ(dataWrites(mark, c.slave), c.pages);
        // The M24LC512 reads every page back; the M34D64 does not.
        EXPECT_EQ(reads(mark, c.slave), c.verified ? c.pages : std::vector<int>{});
        EXPECT_EQ(peek(c.address, c.n, c.slave), data);
        Bytes back(c.n);
        EXPECT_EQ(c.read(back.data(), c.address, c.n, c.slave), 0);
        EXPECT_EQ(back, data);
    }
    EXPECT_EQ(count(book(), "ERR"), 0u);
}

TEST_F(EepromDevices, ReadsGoInPiecesOf4096)
{
    Bytes data = pattern(5000, 7);
    poke(1000, data);
    Bytes back(5000);
    uint64_t mark = logMark();
    EXPECT_EQ(M24LC512_ReadBytes(back.data(), 1000, 5000, 0x51), 0);
    EXPECT_EQ(reads(mark), (std::vector<int>{4096, 904}));
    EXPECT_EQ(back, data);
    // The last byte of the address space can be read, nothing beyond it.
    EXPECT_EQ(M24LC512_ReadBytes(back.data(), 65535, 1, 0x51), 0);
    mark = logMark();
    EXPECT_EQ(M24LC512_ReadBytes(back.data(), 65500, 100, 0x51), -1);
    EXPECT_EQ(M24LC512_WriteBytes(back.data(), 65535, 2, 0x51), -1);
    EXPECT_TRUE(busLog(SIM_BUS_I2C1, mark).empty()) << "refused before any transfer";
}

TEST_F(EepromDevices, ChangeOfDirectionWaits)
{
    uint8_t b[4] = {};
    struct Step {
        int (*sendRecv)(int, int, uint8_t*, uint16_t, int);
        int direction;
        int64_t minUs, maxUs;
    };
    const Step steps[] = {
        {M24LC512_SendRecv, 1, 10000, 11000}, // the first transfer after start
        {M24LC512_SendRecv, 1, 0, 1000},
        {M24LC512_SendRecv, 0, 10000, 11000},
        {M34D64_SendRecv, 0, 0, 1000}, // its own direction word; it waits 5 ns
    };
    int r = i2cTransaction(1, 0x51, nullptr, [&](int fd) {
        for (const Step& s : steps) {
            clockAdvanceUs(10000); // past any write cycle
            int64_t t0 = nowUs();
            EXPECT_EQ(s.sendRecv(fd, s.direction, b, 0x40, 4), 4);
            int64_t spent = nowUs() - t0;
            EXPECT_GE(spent, s.minUs);
            EXPECT_LT(spent, s.maxUs);
        }
        return 0;
    });
    EXPECT_EQ(r, 0);
}

// Threads blocked on a System V semaphore.
int waitersOn(int semId)
{
    return semctl(semId, 0, GETNCNT);
}

// A read that waits for the bus while another thread writes a page of the
// same chip: its change of direction is waited out under the bus lock, after
// the write, so it never reaches the chip inside the write cycle.
TEST_F(EepromDevices, ChangeOfDirectionIsWaitedUnderTheBusLock)
{
    Bytes page = pattern(16, 0x30);
    ASSERT_EQ(i2cBusLock(1, 0x51), 0); // a writer holds the bus
    int readResult = 1;
    Bytes back(16);
    std::thread reader([&] { readResult = M24LC512_ReadBytes(back.data(), 0x200, 16, 0x51); });
    for (int i = 0; i < 5000 && waitersOn(semIds[1]) < 1; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(waitersOn(semIds[1]), 1) << "the reader waits for the bus";
    // The writer's page goes out as the driver sends it, then it lets go.
    EXPECT_EQ(i2cTransactionHeld(1, 0x51, nullptr,
                                 [&](int fd) { return M24LC512_SendRecv(fd, 0, page.data(), 0x200, 16); }),
              16);
    i2cBusUnlock(1, 0x51);
    reader.join();
    EXPECT_EQ(readResult, 0);
    EXPECT_EQ(back, page);
    EXPECT_EQ(count(book(), "ERR"), 0u);
}

TEST_F(EepromDevices, PageThatReadsBackWrongIsRewrittenThreeTimesAtMost)
{
    debugModuleMask = debugModuleTable[DBG_M24LC512].mask;
    Bytes data = pattern(256, 0x40);

    // Two bad writes of page 0: the third one verifies.
    ASSERT_EQ(simEepromFailWrites(device(0x51), 0, 2), 0);
    testing::internal::CaptureStdout();
    uint64_t mark = logMark();
    EXPECT_EQ(M24LC512_WriteBytes(data.data(), 0, 128, 0x51), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(dataWrites(mark), (std::vector<int>{128, 128, 128}));
    EXPECT_EQ(out, "Write inconsistent at 0..Retry 1 this step\nWrite inconsistent at 0..Retry 2 this step\n");
    EXPECT_EQ(count(debugLog(), "[M24LC512_WriteBytes - M24LC512] >> Write inconsistent at offset 0x0..Retry 2\n"),
              1u);

    // A page that never verifies: the write goes on with the next page and
    // then reports the failure.
    ASSERT_EQ(simEepromFailWrites(device(0x51), 128, 10), 0);
    testing::internal::CaptureStdout();
    mark = logMark();
    EXPECT_EQ(M24LC512_WriteBytes(data.data(), 64, 256, 0x51), -1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(dataWrites(mark), (std::vector<int>{64, 128, 128, 128, 128, 64}));
    EXPECT_EQ(count(out, "Write inconsistent at 128..Retry"), 3u);
    EXPECT_EQ(count(out, "Retry 4"), 0u);
    EXPECT_EQ(peek(64, 64), Bytes(data.begin(), data.begin() + 64));
    EXPECT_EQ(peek(128, 1), Bytes{static_cast<uint8_t>(data[64] ^ 0xFF)});
    EXPECT_EQ(peek(256, 64), Bytes(data.begin() + 192, data.end())) << "the page after it is still written";
}

TEST_F(EepromDevices, FailedTransfersAreLoggedAndCounted)
{
    uint8_t b[8] = {};
    device(0x51)->absent.store(1);
    EXPECT_EQ(M24LC512_ReadBytes(b, 0, 8, 0x51), -1);
    EXPECT_EQ(M24LC512_WriteBytes(b, 0, 8, 0x51), -1);
    device(0x50)->nackNext.store(1);
    EXPECT_EQ(M34D64_ReadBytes(b, 0, 8, 0x50), -1);
    std::string log = book();
    EXPECT_EQ(count(log, "ERR: M24LC512: Error on write address bytes!\n"), 1u);
    EXPECT_EQ(count(log, "ERR: M24LC512: Error on write!\n"), 1u);
    EXPECT_EQ(count(log, "ERR: M34D64: Error on write address bytes!\n"), 1u);
    EXPECT_EQ(I2cErrorCount.load(), 3);
    EXPECT_EQ(I2cErrorTotal.load(), 3u);

    device(0x51)->absent.store(0);
    EXPECT_EQ(M24LC512_ReadBytes(b, 0, 8, 0x51), 0);
    EXPECT_EQ(I2cErrorCount.load(), 0) << "a good transfer clears the consecutive count";
    EXPECT_EQ(I2cErrorTotal.load(), 3u);

    simState()->buses[SIM_BUS_I2C1].absent.store(1);
    EXPECT_EQ(M24LC512_ReadBytes(b, 0, 8, 0x51), -1);
    EXPECT_EQ(count(book(), "ERR: Cannot open eeprom device\n"), 1u);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0), 0) << "the bus lock is given back on the failing path";
    sem_sys_post(semIds[1], 0);
}

} // namespace
