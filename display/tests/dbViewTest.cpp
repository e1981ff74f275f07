// DbPool view: readable cells, the five table images and the FPGA window.
#include "display/dbView.h"
#include "display/tests/displayTestSupport.h"
#include "platform/io.h"
#include "platform/regs.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumiro;

namespace {

class DbViewTest : public DisplayTest {
protected:
    // Every cell (t, e) of the grid holds t * 1000 + e; table 4 holds
    // bytes 0x11 0x22 0x33 0x44 (+ word) in memory order.
    void fillGrid()
    {
        for (uint32_t t = 1; t <= 64; t++)
            for (uint32_t e = 1; e <= 64; e++)
                cell(t, e, t == 4 ? 0x44332211u + (e - 1) : t * 1000 + e);
    }
};

} // namespace

TEST_F(DbViewTest, CellsLandInTheWordsOfTheirImage)
{
    fillGrid();
    refreshAll();
    struct Case {
        int image, word;
        uint32_t value;
    };
    for (Case c : {
             Case{1, 0, 0x11223344}, Case{1, 1, 0x12223344}, Case{1, 2, 6002}, Case{1, 5, 6006}, Case{1, 6, 3005},
             Case{1, 8, 1009}, Case{1, 9, 0}, Case{1, 13, 0}, Case{1, 14, 6001}, Case{1, 15, 6004},
             Case{2, 2, 0x13223344}, Case{2, 3, 10002}, Case{2, 4, 18003}, Case{2, 9, 18010}, Case{2, 13, 18014},
             Case{2, 17, 1006}, Case{2, 18, 0}, Case{2, 28, 13019}, Case{2, 31, 17020}, Case{2, 32, 40015},
             Case{2, 56, 40039}, Case{2, 60, 40044}, Case{2, 63, 36016}, Case{2, 65, 40014},
             Case{3, 0, 0}, Case{3, 4, 5012}, Case{3, 5, 3003}, Case{3, 27, 6012}, Case{3, 32, 12002},
             Case{3, 35, 12007}, Case{3, 45, 9023}, Case{3, 51, 9021}, Case{3, 58, 11018}, Case{3, 61, 11027},
             Case{4, 0, 49003}, Case{4, 3, 49005}, Case{4, 9, 49004}, Case{4, 31, 15008}, Case{4, 33, 50010},
             Case{5, 0, 46001}, Case{5, 10, 46017}, Case{5, 22, 46022}, Case{5, 30, 47001}, Case{5, 31, 47002},
         })
        EXPECT_EQ(imageWord(c.image, c.word), c.value) << "image " << c.image << " word " << c.word;
    EXPECT_EQ(getSystemType(), 3003 & 0xFF);
}

TEST_F(DbViewTest, SerialNumberIsPackedFourCharactersAWord)
{
    const char* sn = "SN0123456789";
    for (int i = 0; i < 12; i++)
        cell(2, i + 1, 0x100 | static_cast<uint8_t>(sn[i])); // only the low byte counts
    refreshTableCopy(0, 1, 64, nullptr, 1);
    EXPECT_EQ(imageWord(1, 10), 0x534E3031u);
    EXPECT_EQ(imageWord(1, 11), 0x32333435u);
    EXPECT_EQ(imageWord(1, 12), 0x36373839u);
    EXPECT_EQ(imageWord(1, 13), 0u);
}

TEST_F(DbViewTest, ReadLimitsAndEventTable)
{
    fillGrid();
    struct Case {
        int table, element, result;
    };
    for (Case c : {Case{4, 1, 1}, Case{13, 20, 1}, Case{20, 1, 1}, Case{13, 19, 0}, Case{1, 9, 0}, Case{1, 10, 1},
                   Case{40, 48, 0}, Case{46, 51, 0}, Case{50, 12, 1}, Case{1, 0, 1}, Case{0, 1, 1}, Case{64, 1, 1}}) {
        uint32_t out = 0xDEADBEEF;
        EXPECT_EQ(readDbCell(static_cast<uint16_t>(c.table << 8 | c.element), &out), c.result)
            << c.table << "," << c.element;
        EXPECT_EQ(out, c.result ? 0xDEADBEEF : c.table * 1000u + c.element);
    }
    uint32_t t4[3] = {};
    copyEventTable(t4, 3);
    EXPECT_EQ(t4[0], 0x11223344u);
    EXPECT_EQ(t4[2], 0x13223344u);
}

TEST_F(DbViewTest, RefreshRequestsAndAMissingMapping)
{
    fillGrid();
    EXPECT_EQ(refreshTableCopy(0, 2, 0, nullptr, 0), 9);
    EXPECT_EQ(refreshTableCopy(0, 2, 0, nullptr, 2), 9);
    EXPECT_EQ(imageWord(2, 3), 0u);
    testing::internal::CaptureStdout();
    EXPECT_EQ(refreshTableCopy(0, 6, 0, nullptr, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n\n   ERROR :  Tab 6  doesn't exist !!! \n\n");
    refreshAll();
    EXPECT_EQ(imageWord(2, 3), 10002u);
    // Without DbPool the images are refreshed to zeros.
    closeDbPool();
    refreshAll();
    for (int image = 1; image <= 5; image++)
        for (int w = 0; w < kImageWords[image]; w++)
            ASSERT_EQ(imageWord(image, w), 0u) << image << " " << w;
}

TEST_F(DbViewTest, CreatesDbPoolWhenTheDaemonHasNot)
{
    closeDbPool();
    ASSERT_EQ(shm_unlink(shmObjectName("DbPool").c_str()), 0);
    initDbPool();
    refreshAll();
    for (int w = 0; w < kImageWords[2]; w++)
        EXPECT_EQ(imageWord(2, w), 0u);
    int fd = shm_open(shmObjectName("DbPool").c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    struct stat sb;
    ASSERT_EQ(fstat(fd, &sb), 0);
    EXPECT_EQ(sb.st_size, 16384);
    close(fd);
}

TEST_F(DbViewTest, FpgaWindowBlocks)
{
    ASSERT_EQ(initAxi(), 0);
    int fd = ioOpen("/dev/mem", O_RDWR | O_SYNC);
    ASSERT_GE(fd, 0);
    void* p = ioMap(fd, 0x4000000, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<off_t>(0xFC000000ULL));
    ASSERT_NE(p, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(p);
    write32(base + 0x3300000 + 8, 0xA1B2C3D4);
    write32(base + 0x3300000 + 12, 0x01020304);
    uint32_t words[2] = {};
    EXPECT_EQ(readFpgaBlock(words, 2, 2, 12, 8), 0);
    EXPECT_EQ(words[0], 0xA1B2C3D4u);
    EXPECT_EQ(words[1], 0x01020304u);
    uint16_t halves[2] = {};
    EXPECT_EQ(readFpgaBlock(halves, 2, 1, 12, 8), 0);
    EXPECT_EQ(halves[0], 0xA1B2);
    EXPECT_EQ(halves[1], 0x0102);
    uint8_t bytes[5] = {};
    EXPECT_EQ(readFpgaBlock(bytes, 5, 0, 12, 8), 0);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), (std::vector<uint8_t>{0xA1, 0xA1, 0xA1, 0xA1, 0x01}));
    EXPECT_EQ(readFpgaBlock(words, 1, 2, 13, 0), -1);
    ioUnmap(p, 0x4000000);
    ioClose(fd);
}
