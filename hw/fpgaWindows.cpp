// FPGA register windows.
#include "hw/fpgaWindows.h"

#include "platform/io.h"
#include "platform/regs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>

namespace {

constexpr uint64_t kPhysBase = 0xFC000000ull;
constexpr size_t kMapLen = 0x4000000;
constexpr uint32_t kMaxWriteDistance = 0x40000;

constexpr const char* kFpga2Hps = "/sys/class/fpga-bridge/fpga2hps/enable";
constexpr const char* kHps2Fpga = "/sys/class/fpga-bridge/hps2fpga/enable";
constexpr const char* kLwHps2Fpga = "/sys/class/fpga-bridge/lwhps2fpga/enable";

// Physical address of each region; 0 marks the missing region 5.
constexpr uint32_t kRegionPhys[kFpgaRegionCount] = {
    0xFF200000, 0xFF200004, 0xFF200A00, 0xFF20008C, 0xFF200074, 0,          0xFF20007C, 0xFF200080, 0xFF200084,
    0xFF200088, 0xFF200098, 0xFF200200, 0xFF200C00, 0xFF200100, 0xFF300000, 0xFF200B00, 0xFF200B00, 0xFF3003FC,
    0xFF200B80, 0xFF200B84, 0xFF200B88, 0xFF200B8C, 0xFF200B90, 0xFF200B94, 0xFF200B98, 0xFF200BA0,
};

struct FpgaWindowsState {
    volatile uint8_t* base = nullptr; // the mapping, for the life of the process
    uint32_t bridgeMode = 3;
    uint8_t bridgeStatus[4] = {}; // last byte read, by mode number
};

FpgaWindowsState& st()
{
    static FpgaWindowsState s;
    return s;
}

// Byte offset of a region in the mapping; false for an unknown region or
// while nothing is mapped.
bool regionOffset(uint8_t region, uint64_t* off)
{
    if (region >= kFpgaRegionCount || kRegionPhys[region] == 0 || !st().base)
        return false;
    *off = kRegionPhys[region] - kPhysBase;
    return true;
}

// n bytes (1, 2 or 4) at byte offset `at` of the mapping, built from aligned
// 32-bit reads: device memory takes no unaligned access.
uint32_t readSpan(uint64_t at, int n)
{
    uint64_t first = at & ~3ull, last = (at + n - 1) & ~3ull;
    unsigned shift = static_cast<unsigned>(at - first) * 8;
    uint64_t v = read32(st().base + first) >> shift;
    if (last != first)
        v |= static_cast<uint64_t>(read32(st().base + last)) << (32 - shift);
    return n == 4 ? static_cast<uint32_t>(v) : static_cast<uint32_t>(v & ((1ull << (8 * n)) - 1));
}

// Whether bytes [at, at + n) lie in the aligned words of the mapping.
bool inMapping(uint64_t at, int n)
{
    return ((at + n - 1) & ~3ull) + 4 <= kMapLen;
}

int enableBridge(const char* on, const char* off1, const char* off2)
{
    int r = sysfsWriteByte(on, '1');
    sysfsWriteByte(off1, '0');
    sysfsWriteByte(off2, '0');
    return r;
}

} // namespace

int sysfsReadByte(const char* path)
{
    int fd = ioOpen(path, O_RDONLY | O_SYNC);
    if (fd < 0) {
        printf("ERROR: could not open %s\n", path);
        return -1;
    }
    uint8_t byte = 0;
    ssize_t n = ioRead(fd, &byte, 1);
    ioClose(fd);
    if (n < 1) {
        printf("ERROR: read %s failed\n", path);
        return -2;
    }
    return byte;
}

int sysfsWriteByte(const char* path, uint8_t byte)
{
    int fd = ioOpen(path, O_WRONLY | O_SYNC);
    if (fd < 0) {
        printf("ERROR: could not open %s\n", path);
        return -1;
    }
    ssize_t n = ioWrite(fd, &byte, 1);
    ioClose(fd);
    if (n < 1) {
        printf("ERROR: write %s failed\n", path);
        return -2;
    }
    return 0;
}

int initAxi()
{
    FpgaWindowsState& s = st();
    const char* files[] = {kFpga2Hps, kHps2Fpga, kLwHps2Fpga};
    const uint32_t modes[] = {1, 0, 3};
    int status = 0;
    for (int i = 0; i < 3; i++) {
        status = sysfsReadByte(files[i]);
        if (status >= 0)
            s.bridgeStatus[modes[i]] = static_cast<uint8_t>(status);
    }
    uint32_t mode = s.bridgeMode;
    bool known = mode == 0 || mode == 1 || mode == 3;
    if (!known || s.bridgeStatus[mode] != '1') {
        if (mode == 1)
            status = enableBridge(kFpga2Hps, kHps2Fpga, kLwHps2Fpga);
        else if (mode == 0)
            status = enableBridge(kHps2Fpga, kFpga2Hps, kLwHps2Fpga);
        else if (mode == 3)
            status = enableBridge(kLwHps2Fpga, kFpga2Hps, kHps2Fpga);
        else
            status = -1;
    }
    if (status < 0)
        return status;
    if (s.base)
        return 0; // mapped by an earlier call: keep that mapping
    int fd = ioOpen("/dev/mem", O_RDWR | O_SYNC);
    if (fd < 1) {
        printf("%s:%d open failed -> return %d", "initAxi", 186, fd);
        if (fd == 0)
            ioClose(fd);
        return -1;
    }
    void* p = ioMap(fd, kMapLen, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<off_t>(kPhysBase));
    if (p == MAP_FAILED) {
        printf("%s:%d mmap failed -> return %p (errno %s)\n", "initAxi", 181, p, strerror(errno));
        ioClose(fd);
        return -1;
    }
    s.base = static_cast<volatile uint8_t*>(p);
    ioClose(fd);
    return 0;
}

int closeAxi()
{
    FpgaWindowsState& s = st();
    if (!s.base)
        return -1;
    int fd = ioOpen("/dev/mem", O_RDWR | O_SYNC);
    if (fd < 0) {
        printf("ERROR: could not open \"/dev/mem\"...");
        return -2;
    }
    int r = 0;
    if (ioUnmap(const_cast<uint8_t*>(s.base), kMapLen) != 0) {
        printf("ERROR: munmap() failed...");
        r = -3;
    }
    s.base = nullptr;
    ioClose(fd);
    sysfsWriteByte(kLwHps2Fpga, '0');
    sysfsWriteByte(kFpga2Hps, '0');
    sysfsWriteByte(kHps2Fpga, '0');
    return r;
}

int fpgaWriteWords(const uint32_t* words, uint32_t count, uint8_t width, uint8_t region, uint32_t offset)
{
    uint64_t start;
    if (!regionOffset(region, &start))
        return -2;
    if (width != 2)
        return 0;
    if (offset & 3)
        return -2; // an unaligned store to device memory faults
    start += offset;
    for (uint32_t i = 0; i < count; i++) {
        uint64_t distance = 4ull * i;
        if (distance > kMaxWriteDistance || !inMapping(start + distance, 4))
            return -1;
        write32(st().base + start + distance, words[i]);
    }
    return 0;
}

int fpgaReadWords(void* dest, uint32_t count, uint8_t width, uint8_t region, uint32_t offset)
{
    uint64_t start;
    if (!regionOffset(region, &start))
        return -1;
    if (width > 2)
        return -3;
    start += offset;
    for (uint32_t i = 0; i < count; i++) {
        // The word at byte b: width 2 all of it, width 1 its upper half (the
        // two bytes from b + 2), width 0 its top byte (the byte at b + 3).
        uint64_t at = width == 2 ? start + 4ull * i : width == 1 ? start + 2ull * i + 2 : start + i + 3;
        int n = width == 2 ? 4 : width == 1 ? 2 : 1;
        if (!inMapping(at, n))
            return -1;
        uint32_t v = readSpan(at, n);
        if (width == 2)
            static_cast<uint32_t*>(dest)[i] = v;
        else if (width == 1)
            static_cast<uint16_t*>(dest)[i] = static_cast<uint16_t>(v);
        else
            static_cast<uint8_t*>(dest)[i] = static_cast<uint8_t>(v);
    }
    return 0;
}

uint32_t fpgaReadVersionWord()
{
    uint32_t v = 0;
    fpgaReadWords(&v, 1, 2, 0, 0);
    return v;
}

uint32_t getFpgaBridgeMode()
{
    return st().bridgeMode;
}

void setFpgaBridgeMode(uint32_t mode)
{
    st().bridgeMode = mode;
}

uint8_t getFpgaBridgeStatus(uint32_t mode)
{
    return mode < 4 ? st().bridgeStatus[mode] : 0;
}
