// The MTD helpers on a NOR flash stand-in: erase sets whole blocks to 0xFF,
// a write can only clear bits.
#include "hw/mtdFlash.h"

#include "platform/host/ioDevice.h"
#include "platform/io.h"
#include "testing/sandboxTest.h"

#include <cerrno>
#include <map>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>

namespace {

using Bytes = std::vector<uint8_t>;

class NorFlash : public IoDevice {
public:
    explicit NorFlash(size_t blocks) : mem(blocks * MTD_ERASE_BLOCK)
    {
        for (size_t i = 0; i < mem.size(); i++)
            mem[i] = static_cast<uint8_t>(i * 7 + 3);
    }

    off_t lseek(int handle, off_t off, int whence) override
    {
        if (whence != SEEK_SET)
            return -EINVAL;
        pos[handle] = static_cast<size_t>(off);
        return off;
    }
    ssize_t read(int handle, void* buf, size_t len) override
    {
        size_t& p = pos[handle];
        size_t n = p >= mem.size() ? 0 : std::min(len, mem.size() - p);
        memcpy(buf, mem.data() + p, n);
        p += n;
        maxRead = std::max(maxRead, len);
        return static_cast<ssize_t>(n);
    }
    ssize_t write(int handle, const void* buf, size_t len) override
    {
        size_t& p = pos[handle];
        if (p + len > mem.size())
            return -ENOSPC;
        for (size_t i = 0; i < len; i++)
            mem[p + i] &= static_cast<const uint8_t*>(buf)[i];
        p += len;
        return static_cast<ssize_t>(len);
    }
    int ioctl(int, unsigned long request, void* arg) override
    {
        auto* ei = static_cast<erase_info_user*>(arg);
        if (request != MEMERASE || refuseErase || ei->start % MTD_ERASE_BLOCK || ei->length % MTD_ERASE_BLOCK ||
            ei->start + ei->length > mem.size())
            return -EIO;
        memset(mem.data() + ei->start, 0xFF, ei->length);
        erases.push_back({ei->start, ei->length});
        return 0;
    }

    Bytes mem;
    std::map<int, size_t> pos;
    size_t maxRead = 0;
    bool refuseErase = false;
    std::vector<std::pair<uint32_t, uint32_t>> erases;
};

class MtdFlash : public SandboxTest {
protected:
    MtdFlash() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        ioRegisterDevice("/dev/mtd9", &flash);
    }
    void TearDown() override
    {
        ioRegisterDevice("/dev/mtd9", nullptr);
        SandboxTest::TearDown();
    }

    NorFlash flash{4};
};

TEST_F(MtdFlash, ErasingWriteKeepsTheRestOfItsBlocks)
{
    Bytes before = flash.mem;
    Bytes data(100, 0xA0);
    const uint32_t at = MTD_ERASE_BLOCK - 50;
    EXPECT_EQ(MtdWrite("/dev/mtd9", data.data(), at, 100, 1), 0);
    ASSERT_EQ(flash.erases.size(), 1u);
    EXPECT_EQ(flash.erases[0], (std::pair<uint32_t, uint32_t>{0, 2 * MTD_ERASE_BLOCK}));
    Bytes expect = before;
    std::copy(data.begin(), data.end(), expect.begin() + at);
    EXPECT_TRUE(flash.mem == expect) << "only the requested bytes changed";

    // Without erase the bytes go straight onto the flash.
    EXPECT_EQ(MtdEraseRange("/dev/mtd9", 3 * MTD_ERASE_BLOCK, MTD_ERASE_BLOCK), 0);
    EXPECT_EQ(count(book(), "INFO: Erased 131072 bytes from address 0x00060000 in /dev/mtd9\n"), 1u);
    EXPECT_EQ(MtdWrite("/dev/mtd9", data.data(), 3 * MTD_ERASE_BLOCK + 8, 100, 0), 0);
    EXPECT_EQ(flash.erases.size(), 2u);
    EXPECT_EQ(Bytes(flash.mem.begin() + 3 * MTD_ERASE_BLOCK + 8, flash.mem.begin() + 3 * MTD_ERASE_BLOCK + 108), data);
}

TEST_F(MtdFlash, ReadComesInPiecesOfOneEraseBlock)
{
    Bytes back(0x30000);
    EXPECT_EQ(MtdRead("/dev/mtd9", back.data(), 0x10, 0x30000), 0);
    EXPECT_TRUE(back == Bytes(flash.mem.begin() + 0x10, flash.mem.begin() + 0x30010));
    EXPECT_EQ(flash.maxRead, MTD_ERASE_BLOCK);
}

TEST_F(MtdFlash, FailuresAreReportedByStep)
{
    uint8_t b[16] = {};
    EXPECT_EQ(MtdRead("/dev/mtd8", b, 0, 16), -1);
    EXPECT_EQ(MtdEraseRange("/dev/mtd8", 0, MTD_ERASE_BLOCK), -1);
    EXPECT_EQ(MtdRead("/dev/mtd9", b, 4 * MTD_ERASE_BLOCK - 8, 16), -1);

    flash.refuseErase = true;
    Bytes before = flash.mem;
    EXPECT_EQ(MtdEraseRange("/dev/mtd9", 0, MTD_ERASE_BLOCK), -1);
    EXPECT_EQ(MtdWrite("/dev/mtd9", b, MTD_ERASE_BLOCK + 4, 16, 1), -1);
    EXPECT_TRUE(flash.mem == before);

    std::string log = book();
    EXPECT_EQ(count(log, "ERR: Open of MTD failed!\n"), 2u);
    EXPECT_EQ(count(log, "ERR: Error on Connect to MTD Device!\n"), 1u);
    EXPECT_EQ(count(log, "ERR: Error on read from MTD Device!\n"), 1u);
    EXPECT_EQ(count(log, "ERR: MEMERASE Failed\n"), 2u);
    EXPECT_EQ(count(log, "ERR: Error on ERASE SECTORS!\n"), 1u);
    EXPECT_EQ(count(log, "ERR: Error on ERASE: Sector 0x20000, Size 0x20000!\n"), 1u);
}

} // namespace
