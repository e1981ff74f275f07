// Event bitmaps, their DbPool mirrors, and the status operations beside them.
#include "Config/eventBitmaps.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/systemKeys.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

class EventBitmapsTest : public SandboxTest {
protected:
    EventBitmapsTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
};

TEST_F(EventBitmapsTest, BitsAreOneBasedLeastSignificantFirstAndMirroredByte)
{
    setEventBit(1, 1);
    setEventBit(1, 128);
    setEventBit(1, 10);
    EXPECT_EQ(getEventBitmapByte(0), 0x01);
    EXPECT_EQ(getEventBitmapByte(1), 0x02);
    EXPECT_EQ(getEventBitmapByte(15), 0x80);
    EXPECT_EQ(getEventBit(1) + getEventBit(10) + getEventBit(128), 3);
    EXPECT_EQ(getEventBit(2), 0);
    // Bytes 0..15 fill cells (4,1)..(4,4), byte 0 in the low byte of (4,1).
    std::vector<uint32_t> v;
    ASSERT_EQ(readDbPoolCellsInChild({{4, 1}, {4, 2}, {4, 3}, {4, 4}}, &v), 0);
    EXPECT_EQ(v, (std::vector<uint32_t>{0x00000201, 0, 0, 0x80000000}));

    setEventBit(0, 10);
    EXPECT_EQ(getEventBit(10), 0);
    EXPECT_EQ(readDbAreaCell(4, 1), 0x00000001u);

    // Setting a set bit publishes nothing.
    setDbAreaCell(4, 1, 0xdeadbeef);
    setEventBit(1, 1);
    EXPECT_EQ(readDbAreaCell(4, 1), 0xdeadbeefu);
}

TEST_F(EventBitmapsTest, BitZeroAndBitsBeyondABitmapSelectNothing)
{
    std::vector<uint8_t> before(sizeof(SystemImage)), after(sizeof(SystemImage));
    memcpy(before.data(), getSystemImage(), before.size());
    setEventBit(1, 0);
    setEventBit(1, 129);
    setEventBit(1, 0xffff);
    setEventBitAt(1, 8, 0, 0);
    setEventBitAt(1, 0, 0, 4); // byte 16
    setStatusBitA(1, 257);
    setStatusBitB(1, 33);
    setStatusBitC(1, 257);
    setStatusBitA(1, 0);
    memcpy(after.data(), getSystemImage(), after.size());
    EXPECT_EQ(before, after);
    EXPECT_EQ(getEventBit(0), 0);
    EXPECT_EQ(getEventBit(129), 0);
    EXPECT_EQ(getStatusBitB(33), 0);
    EXPECT_EQ(getEventBitmapByte(16), 0);
    EXPECT_EQ(getStatusBitmapBByte(4), 0);
    for (uint32_t s = 1; s <= 64; s++)
        for (uint32_t i = 1; i <= 64; i++)
            ASSERT_EQ(readDbAreaCell(s, i), 0u) << s << "," << i;
}

TEST_F(EventBitmapsTest, TheOtherBitmapsKeepTheirOwnBytesAndOnlyTheAmplifierOnePublishes)
{
    setStatusBitA(1, 256);
    setStatusBitC(1, 20);
    setStatusBitC(1, 21);
    setStatusBitB(1, 32);
    setStatusBitB(1, 1);
    EXPECT_EQ(getStatusBitA(256), 1);
    EXPECT_EQ(getStatusBitC(20) + getStatusBitC(21), 2);
    EXPECT_EQ(getStatusBitA(20), 0);
    EXPECT_EQ(getEventBitmapByte(0), 0);
    EXPECT_EQ(getStatusBitmapBByte(3), 0x80);
    EXPECT_EQ(readDbAreaCell(40, 44), 0x80000001u);
    EXPECT_EQ(readDbAreaCell(4, 1), 0u);

    // setEventBitAt: bit of byte (byte + 4 * group).
    setEventBitAt(1, 3, 1, 2);
    EXPECT_EQ(getEventBitmapByte(9), 0x08);
    EXPECT_EQ(getEventBit(76), 1);
}

TEST_F(EventBitmapsTest, ThreadsSettingBitsOfOneByteKeepEveryBit)
{
    for (int round = 0; round < 200; round++) {
        std::vector<std::thread> t;
        for (uint16_t n = 1; n <= 8; n++)
            t.emplace_back([n] { setEventBit(1, n); });
        for (auto& th : t)
            th.join();
        ASSERT_EQ(getEventBitmapByte(0), 0xff) << round;
        ASSERT_EQ(readDbAreaCell(4, 1) & 0xff, 0xffu) << round;
        for (uint16_t n = 1; n <= 8; n++)
            setEventBit(0, n);
    }
}

TEST_F(EventBitmapsTest, ExportCopiesTheSixteenBytesAndRefusesANullBuffer)
{
    setEventBit(1, 86);
    uint8_t out[16];
    memset(out, 0xaa, sizeof out);
    exportEventBitmap(out);
    EXPECT_EQ(out[10], 0x20);
    EXPECT_EQ(out[0], 0);
    exportEventBitmap(nullptr);
    EXPECT_NE(book().find("ERR: Error exporting the bitmap\n\n"), std::string::npos);
}

TEST_F(EventBitmapsTest, StatusOperations)
{
    // Telecommand inputs 0..2 request commands 12..14; the manager refuses
    // while it is not running.
    EXPECT_EQ(getTelecommandInput(3), 128);
    EXPECT_EQ(getTelecommandInput(0), 9);
    EXPECT_NE(book().find("Request for Command #12 FAILED"), std::string::npos);

    uint8_t state = 0, changed = 9;
    EXPECT_EQ(logAlarmEdge(&state, 0, "Fan", &changed), 0);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(logAlarmEdge(&state, 1, "Fan", &changed), 0);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(logAlarmEdge(&state, 2, "Fan", &changed), 1);
    std::string events = readSandboxFile("/mnt/ubi0/log/VRL_Event.log");
    EXPECT_NE(events.find("EVENT: Fan --> Alarm ON\n"), std::string::npos);
    EXPECT_NE(events.find("EVENT: Fan <-- Alarm OFF\n"), std::string::npos);

    setTimeReqMonth(1);
    setTimeReqYear(2026);
    setTimeReqDay(31);
    EXPECT_EQ(getTimeRequest()[4], 0u);
    EXPECT_EQ(getTimeRequest()[5], 126u);
    EXPECT_EQ(getTimeRequest()[3], 31u);

    setPortWord(0, 5);
    setPortWord(1, 6);
    setPortWord(2, 7);
    EXPECT_EQ(getPortWord(0), 5u);
    EXPECT_EQ(getPortWord(1), 6u);
    EXPECT_EQ(getPortWord(9), 5u);

    clockUseVirtual();
    setSelfShutdownPending(1);
    struct timespec stamp = getSelfShutdownStamp();
    EXPECT_EQ(stamp.tv_sec, 1);
    setUpgradeRequest(2);
    EXPECT_EQ(readDbAreaCell(49, 1), 2u);
    EXPECT_EQ(readDbAreaCell(50, 2), 2u);
    setUpgradeProgress(0x164); // a byte: 100
    EXPECT_EQ(readDbAreaCell(50, 11), 100u);
}

TEST_F(EventBitmapsTest, APortWordStoresOnlyAChangeAndThenPublishesTheNetworkPortAddress)
{
    const uint8_t address[6] = {0x02, 0x50, 0xc2, 0x1a, 0x0b, 0x0c};
    memcpy(getUnitInfo() + 98, address, sizeof address);
    const std::pair<uint32_t, uint32_t> cells[] = {{37, 5}, {37, 6}, {44, 19}, {44, 20}};
    auto mark = [&] {
        for (auto [s, i] : cells)
            setDbAreaCell(s, i, 0xdeadbeef);
    };

    mark();
    setPortWord(1, 0x0a000001);
    EXPECT_EQ(getPortWord(1), 0x0a000001u);
    EXPECT_EQ(readDbAreaCell(37, 5), 0x0250c21au);
    EXPECT_EQ(readDbAreaCell(37, 6), 0x0b0cu);
    EXPECT_EQ(readDbAreaCell(44, 19), 0x0250c21au);
    EXPECT_EQ(readDbAreaCell(44, 20), 0x0b0cu);

    // The same value again, or no port: nothing stored, nothing published.
    mark();
    setPortWord(1, 0x0a000001);
    setPortWord(2, 0x0a000002);
    for (auto [s, i] : cells)
        EXPECT_EQ(readDbAreaCell(s, i), 0xdeadbeefu) << s << "," << i;
    EXPECT_EQ(getPortWord(0), 0u);
}

} // namespace
