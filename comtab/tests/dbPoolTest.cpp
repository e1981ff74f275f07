// DbPool: layout, publishing and what a second process sees.
#include "comtab/dbPool.h"

#include "core/base/logs.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// DbPool is created by the tests themselves.
class DbPoolTest : public SandboxTest {
protected:
    DbPoolTest() : SandboxTest(SANDBOX_LOGS) {}
};

TEST_F(DbPoolTest, CellsSitWhereTheLayoutSaysAndASecondProcessSeesThem)
{
    ASSERT_EQ(initDbAreaContainer(), 0);
    uint32_t* first = getDbAreaCell(1, 1);
    ASSERT_NE(first, nullptr);
    // Cell (s, i) is word (s - 1) * 64 + (i - 1): golden positions.
    EXPECT_EQ(getDbAreaCell(64, 64), first + 4095);
    EXPECT_EQ(getDbAreaCell(2, 1), first + 64);
    EXPECT_EQ(getDbAreaCell(18, 3), first + 17 * 64 + 2);

    setDbAreaCell(1, 1, 0x11111111);
    setDbAreaCell(64, 64, 0xfffffffd); // a signed -3 as published
    setDbAreaCell(18, 3, 0xc0a80102);
    // The area of cell (4, 1) takes bytes in memory order: byte 0 is the
    // cell's least significant byte on this little-endian board.
    setDbAreaByte(4, 1, 0, 0x01);
    setDbAreaByte(4, 1, 15, 0x80);
    std::vector<uint32_t> v;
    ASSERT_EQ(readDbPoolCellsInChild({{1, 1}, {64, 64}, {18, 3}, {4, 1}, {4, 4}, {2, 1}}, &v), 0);
    EXPECT_EQ(v, (std::vector<uint32_t>{0x11111111, 0xfffffffd, 0xc0a80102, 0x00000001, 0x80000000, 0}));

    // The object is 16,384 bytes.
    int fd = shm_open(shmObjectName("DbPool").c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    struct stat sb;
    ASSERT_EQ(fstat(fd, &sb), 0);
    EXPECT_EQ(sb.st_size, 16384);
    close(fd);
}

TEST_F(DbPoolTest, CreationStartsFromZeroAndTheResetRangeHoldsTheNoValueMarker)
{
    ASSERT_EQ(initDbAreaContainer(), 0);
    setDbAreaCell(42, 9, 5);
    // A restart removes the old object and creates it anew.
    ASSERT_EQ(initDbAreaContainer(), 0);
    EXPECT_EQ(readDbAreaCell(42, 9), 0u);
    resetDbAreaRange();
    std::vector<uint32_t> v;
    ASSERT_EQ(readDbPoolCellsInChild({{42, 8}, {42, 9}, {42, 40}, {42, 41}}, &v), 0);
    EXPECT_EQ(v, (std::vector<uint32_t>{0, 0x7fffffff, 0x7fffffff, 0}));
}

TEST_F(DbPoolTest, CellsOutsideTheGridPublishNothingAndLogOnce)
{
    ASSERT_EQ(initDbAreaContainer(), 0);
    const uint32_t bad[][2] = {{0, 1}, {65, 1}, {1, 0}, {1, 65}, {28, 1000}};
    for (const auto& c : bad)
        EXPECT_EQ(getDbAreaCell(c[0], c[1]), nullptr) << c[0] << "," << c[1];
    // The fourth external amplifier's section, published repeatedly.
    setDbAreaCell(65, 1, 1);
    setDbAreaCell(65, 2, 1);
    setDbAreaByte(64, 64, 4, 0xff); // runs past the last cell
    for (uint32_t s = 1; s <= 64; s++)
        for (uint32_t i = 1; i <= 64; i++)
            ASSERT_EQ(readDbAreaCell(s, i), 0u);
    // One ERR line per bad section: (0, 1) speaks for every section outside
    // 1..64, (1, 0) for section 1, (28, 1000) for section 28.
    std::string book = readSandboxFile("/mnt/ubi0/log/VRL_Book.log");
    int lines = 0;
    for (size_t p = book.find("outside the grid"); p != std::string::npos; p = book.find("outside the grid", p + 1))
        lines++;
    EXPECT_EQ(lines, 3) << book;
    EXPECT_NE(book.find("ERR: getDbAreaCell - cell (0, 1) is outside the grid, nothing published"), std::string::npos);
    EXPECT_NE(book.find("cell (28, 1000)"), std::string::npos);
}

TEST_F(DbPoolTest, WithoutTheGridPublishersStoreNothing)
{
    EXPECT_EQ(getDbAreaCell(1, 1), nullptr);
    setDbAreaCell(1, 1, 7);
    setDbAreaByte(4, 1, 0, 1);
    resetDbAreaRange();
    EXPECT_EQ(readDbAreaCell(1, 1), 0u);
}

} // namespace
