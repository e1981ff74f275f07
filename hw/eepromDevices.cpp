// Drivers of the I2C EEPROMs of bus 1.
#include "hw/eepromDevices.h"

#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kBus = 1;
constexpr uint32_t kReadPiece = 4096;
constexpr uint32_t kAddressSpace = 65536;
constexpr uint64_t kWriteCycleUs = 10000;
constexpr int kPageRetries = 3;
constexpr uint32_t kNoDirection = 0xFFFFFFFF;

// What differs between the two device types.
struct Chip {
    int type; // index of its last-direction word
    const char* name;
    DebugModuleId row;
    uint32_t page;
    bool verify; // pages are read back and rewritten while they differ
    struct timespec directionWait;
    const char* sendRecvName;
    const char* readName;
    const char* writeName;
};

const Chip kM24LC512 = {0,    "M24LC512", DBG_M24LC512, M24LC512_PAGE_SIZE, true, {0, 10000000}, "M24LC512_SendRecv",
                        "M24LC512_ReadBytes", "M24LC512_WriteBytes"};
const Chip kM34D64 = {1,    "M34D64", DBG_M34D64, M34D64_PAGE_SIZE, false, {0, 5}, "M34D64_SendRecv",
                      "M34D64_ReadBytes", "M34D64_WriteBytes"};

struct EepromDevicesState {
    // Direction of the last transfer of each device type (1 read, 0 write).
    std::atomic<uint32_t> lastDirection[2] = {kNoDirection, kNoDirection};
};

EepromDevicesState& st()
{
    static EepromDevicesState s;
    return s;
}

// Waits when the direction changes against the previous transfer.
void directionTurn(const Chip& chip, int direction)
{
    uint32_t d = static_cast<uint32_t>(direction);
    if (st().lastDirection[chip.type].exchange(d) != d)
        clockSleepTs(&chip.directionWait);
}

int readTransfer(const Chip& chip, int fd, uint8_t* buf, uint16_t address, int n)
{
    uint8_t addr[2] = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    if (ioWrite(fd, addr, 2) != 2) {
        logErr("%s: Error on write address bytes!", chip.name);
        i2cCountTransfer(false);
        return 0;
    }
    if (ioRead(fd, buf, static_cast<size_t>(n)) != n) {
        logErr("%s: Error on read!", chip.name);
        i2cCountTransfer(false);
        return 0;
    }
    i2cCountTransfer(true);
    return n;
}

int writeTransfer(const Chip& chip, int fd, const uint8_t* buf, uint16_t address, int n)
{
    debugPrintf(chip.sendRecvName, chip.row, chip.row, "WRITE at address: %d\n", address);
    std::vector<uint8_t> out(static_cast<size_t>(n) + 2);
    out[0] = static_cast<uint8_t>(address >> 8);
    out[1] = static_cast<uint8_t>(address);
    memcpy(out.data() + 2, buf, static_cast<size_t>(n));
    if (debugGate(chip.row))
        for (long i = 0; i < n; i++)
            debugPrintf(chip.sendRecvName, chip.row, chip.row, "WRITE Byte %ld: %x \n", i, buf[i]);
    if (ioWrite(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) {
        logErr("%s: Error on write!", chip.name);
        i2cCountTransfer(false);
        return 0;
    }
    i2cCountTransfer(true);
    return n;
}

int sendRecv(const Chip& chip, int fd, int direction, uint8_t* buf, uint16_t address, int n)
{
    if (!buf || n <= 0)
        return 0;
    directionTurn(chip, direction);
    return direction == 1 ? readTransfer(chip, fd, buf, address, n) : writeTransfer(chip, fd, buf, address, n);
}

// One transfer in a bus transaction. The direction wait is part of the
// transfer, under the bus lock: waited before it, a read could follow
// another thread's page write straight away and meet the chip in its write
// cycle. Returns n, 0 when the transfer failed, negative when the bus could
// not be opened.
int framedTransfer(const Chip& chip, uint8_t slave, int direction, uint8_t* rbuf, const uint8_t* wbuf,
                   uint32_t address, uint32_t n)
{
    uint16_t a = static_cast<uint16_t>(address);
    int len = static_cast<int>(n);
    return i2cTransaction(kBus, slave, "eeprom", [&](int fd) {
        directionTurn(chip, direction);
        return direction == 1 ? readTransfer(chip, fd, rbuf, a, len) : writeTransfer(chip, fd, wbuf, a, len);
    });
}

bool rangeOk(const void* buf, uint32_t address, uint32_t n)
{
    return buf && address < kAddressSpace && n <= kAddressSpace - address;
}

int readBytes(const Chip& chip, uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave)
{
    if (!rangeOk(buf, address, n))
        return -1;
    static const struct timespec kPause = {0, 5};
    for (uint32_t done = 0; done < n;) {
        uint32_t piece = n - done < kReadPiece ? n - done : kReadPiece;
        debugPrintf(chip.readName, chip.row, chip.row, "Size %d SizeTmp %d SizeRest %d\n", static_cast<int>(n),
                    static_cast<int>(piece), static_cast<int>(n - done - piece));
        if (framedTransfer(chip, slave, 1, buf + done, nullptr, address + done, piece) <= 0)
            return -1;
        if (debugGate(chip.row))
            for (uint32_t i = 0; i < piece; i++)
                debugPrintf(chip.readName, chip.row, chip.row, "READ: Byte %lx: %x\n",
                            static_cast<unsigned long>(address + done + i), buf[done + i]);
        done += piece;
        clockSleepTs(&kPause);
    }
    return 0;
}

// Writes one page piece and, on a verifying device, reads it back and
// rewrites it while it differs. 0 written, 1 still wrong after the retries,
// -1 a transfer failed or the bus could not be opened.
int writePage(const Chip& chip, const uint8_t* data, uint32_t address, uint32_t n, uint8_t slave)
{
    std::vector<uint8_t> back(n);
    for (int retry = 0;; retry++) {
        if (framedTransfer(chip, slave, 0, nullptr, data, address, n) <= 0)
            return -1;
        clockSleepUs(kWriteCycleUs);
        if (!chip.verify)
            return 0;
        int r = framedTransfer(chip, slave, 1, back.data(), nullptr, address, n);
        if (r < 0)
            return -1;
        if (r == static_cast<int>(n) && memcmp(back.data(), data, n) == 0)
            return 0;
        if (retry == kPageRetries)
            return 1;
        printf("Write inconsistent at %d..Retry %d this step\n", static_cast<int>(address), retry + 1);
        debugPrintf(chip.writeName, chip.row, chip.row, "Write inconsistent at offset 0x%X..Retry %d\n", address,
                    retry + 1);
    }
}

int writeBytes(const Chip& chip, const uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave)
{
    if (!rangeOk(buf, address, n))
        return -1;
    bool stayedWrong = false;
    for (uint32_t done = 0; done < n;) {
        uint32_t at = address + done;
        uint32_t room = chip.page - at % chip.page;
        uint32_t piece = n - done < room ? n - done : room;
        debugPrintf(chip.writeName, chip.row, chip.row, "size %d size_tmp %d\n", static_cast<int>(n),
                    static_cast<int>(piece));
        debugPrintf(chip.writeName, chip.row, chip.row, "buf_tmp %p offset_addr %d\n",
                    static_cast<const void*>(buf + done), static_cast<int>(at));
        int r = writePage(chip, buf + done, at, piece, slave);
        if (r < 0)
            return -1;
        // A page that stays wrong is reported, but the later pages are
        // still written.
        stayedWrong = stayedWrong || r > 0;
        done += piece;
    }
    return stayedWrong ? -1 : 0;
}

} // namespace

int M24LC512_SendRecv(int fd, int direction, uint8_t* buf, uint16_t address, int n)
{
    return sendRecv(kM24LC512, fd, direction, buf, address, n);
}

int M34D64_SendRecv(int fd, int direction, uint8_t* buf, uint16_t address, int n)
{
    return sendRecv(kM34D64, fd, direction, buf, address, n);
}

int M24LC512_ReadBytes(uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave)
{
    return readBytes(kM24LC512, buf, address, n, slave);
}

int M34D64_ReadBytes(uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave)
{
    return readBytes(kM34D64, buf, address, n, slave);
}

int M24LC512_WriteBytes(const uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave)
{
    return writeBytes(kM24LC512, buf, address, n, slave);
}

int M34D64_WriteBytes(const uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave)
{
    return writeBytes(kM34D64, buf, address, n, slave);
}
