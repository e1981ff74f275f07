// Raw access to flash partitions through the MTD character devices.
#include "hw/mtdFlash.h"

#include "core/base/logs.h"
#include "platform/io.h"

#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
// (after sys/ioctl.h, whose request macros it uses)
#include <mtd/mtd-user.h>
#include <vector>

namespace {

struct MtdState {
    int fd = -1;
};

MtdState& st()
{
    static MtdState s;
    return s;
}

int seekTo(uint32_t offset)
{
    if (offset != 0 && ioLseek(st().fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
        logErr("Error on lseek on MTD Device!");
        return -1;
    }
    return 0;
}

// Reads n bytes at the current position of the open device.
int readAll(uint8_t* buf, uint32_t n)
{
    for (uint32_t done = 0; done < n;) {
        uint32_t piece = n - done < MTD_ERASE_BLOCK ? n - done : MTD_ERASE_BLOCK;
        ssize_t r = ioRead(st().fd, buf + done, piece);
        if (r <= 0) {
            logErr("Error on read from MTD Device!");
            return -1;
        }
        done += static_cast<uint32_t>(r);
    }
    return 0;
}

int writeAll(const uint8_t* buf, uint32_t n)
{
    for (uint32_t done = 0; done < n;) {
        ssize_t r = ioWrite(st().fd, buf + done, n - done);
        if (r <= 0) {
            logErr("Error on write to MTD Device!");
            return -1;
        }
        done += static_cast<uint32_t>(r);
    }
    return 0;
}

// Erases the blocks around [offset, offset + n) and writes them back with
// buf merged in. The blocks are read first so nothing outside the range is
// lost.
int eraseAndWrite(const uint8_t* buf, uint32_t offset, uint32_t n)
{
    uint64_t first = offset & ~static_cast<uint64_t>(MTD_ERASE_BLOCK - 1);
    uint64_t end = (static_cast<uint64_t>(offset) + n + MTD_ERASE_BLOCK - 1) & ~static_cast<uint64_t>(MTD_ERASE_BLOCK - 1);
    uint32_t start = static_cast<uint32_t>(first), size = static_cast<uint32_t>(end - first);
    std::vector<uint8_t> blocks(size);
    if (seekTo(start) != 0 || readAll(blocks.data(), size) != 0)
        return -1;
    memcpy(blocks.data() + (offset - start), buf, n);
    if (MtdErase(start, size) != 0) {
        logErr("Error on ERASE: Sector 0x%X, Size 0x%X!", start, size);
        return -1;
    }
    if (ioLseek(st().fd, static_cast<off_t>(start), SEEK_SET) != static_cast<off_t>(start)) {
        logErr("Error on lseek on MTD Device!");
        return -1;
    }
    return writeAll(blocks.data(), size);
}

} // namespace

int MtdOpen(const char* path)
{
    MtdClose();
    st().fd = ioOpen(path, O_RDWR);
    if (st().fd < 0) {
        logErr("Open of MTD failed!");
        return -1;
    }
    return 0;
}

int MtdClose()
{
    int fd = st().fd;
    st().fd = -1;
    return fd < 0 || ioClose(fd) == 0 ? 0 : -1;
}

int MtdErase(uint32_t start, uint32_t length)
{
    struct erase_info_user ei = {start, length};
    if (ioIoctl(st().fd, MEMERASE, &ei) < 0) {
        logErr("MEMERASE Failed");
        return -1;
    }
    return 0;
}

int MtdEraseRange(const char* path, uint32_t start, uint32_t length)
{
    if (MtdOpen(path) != 0) {
        logErr("Error on Connect to MTD Device!");
        return -1;
    }
    if (MtdErase(start, length) != 0) {
        logErr("Error on ERASE SECTORS!");
        MtdClose();
        return -1;
    }
    if (MtdClose() != 0) {
        logErr("Error on Disconnect from MTD Device!");
        return -1;
    }
    logInfo("Erased %d bytes from address 0x%.8x in %s", static_cast<int>(length), start, path);
    return 0;
}

int MtdWrite(const char* path, const uint8_t* buf, uint32_t offset, uint32_t n, int erase)
{
    if (!buf || MtdOpen(path) != 0)
        return -1;
    int r = erase ? eraseAndWrite(buf, offset, n) : seekTo(offset) == 0 ? writeAll(buf, n) : -1;
    MtdClose();
    return r;
}

int MtdRead(const char* path, uint8_t* buf, uint32_t offset, uint32_t n)
{
    if (!buf || MtdOpen(path) != 0)
        return -1;
    int r = seekTo(offset) == 0 ? readAll(buf, n) : -1;
    MtdClose();
    return r;
}
