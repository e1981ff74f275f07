// The FPGA GbE block. A read-modify-write is two separately locked
// transfers: its callers (the main loop and the MPX-over-IP hooks) must not
// change the same word at once.
#include "hw/fpgaGbe.h"

#include "hw/fpgaWindows.h"
#include "platform/clock.h"

#include <cstdlib>
#include <cstring>

pthread_mutex_t GbeMutex = PTHREAD_MUTEX_INITIALIZER;

namespace {

constexpr uint8_t kRegionWrite = 15, kRegionRead = 16;
constexpr uint32_t kControl = 28, kLatency = 32;

bool sizeOk(uint32_t size)
{
    return size == 1 || size == 2 || size == 4 || (size != 0 && size % 4 == 0);
}

// Bits [lo, lo + width) of a word replaced by v.
uint32_t withField(uint32_t word, int lo, int width, uint32_t v)
{
    uint32_t mask = (width == 32 ? 0xFFFFFFFFu : (1u << width) - 1) << lo;
    return (word & ~mask) | ((v << lo) & mask);
}

int readWord(uint32_t offset, uint32_t* v)
{
    return Gbe_Read(v, 4, offset);
}

int writeWord(uint32_t offset, uint32_t v)
{
    return Gbe_Write(&v, 4, offset);
}

int commitIf(int r, uint32_t commit)
{
    return r == 0 && commit ? Gbe_Commit() : r;
}

// Read, replace a field, write.
int setField(uint32_t offset, int lo, int width, uint32_t v)
{
    uint32_t w;
    int r = readWord(offset, &w);
    return r != 0 ? r : writeWord(offset, withField(w, lo, width, v));
}

template <typename T>
int getField(T* out, uint32_t offset, int lo, int width)
{
    if (!out)
        return -1;
    uint32_t w;
    int r = readWord(offset, &w);
    if (r == 0)
        *out = static_cast<T>(w >> lo & (width == 32 ? 0xFFFFFFFFu : (1u << width) - 1));
    return r;
}

} // namespace

int Gbe_Read(void* buffer, uint32_t size, uint32_t offset)
{
    if (!buffer || !sizeOk(size))
        return -1;
    uint32_t words = size < 4 ? 1 : size / 4;
    uint32_t* staging = static_cast<uint32_t*>(calloc(words, 4));
    if (!staging)
        return -3;
    if (pthread_mutex_lock(&GbeMutex) != 0) {
        free(staging);
        return -2;
    }
    fpgaReadWords(staging, words, 2, kRegionRead, offset);
    pthread_mutex_unlock(&GbeMutex);
    if (size == 1)
        *static_cast<uint8_t*>(buffer) = static_cast<uint8_t>(staging[0]);
    else if (size == 2)
        *static_cast<uint16_t*>(buffer) = static_cast<uint16_t>(staging[0]);
    else
        memcpy(buffer, staging, words * 4);
    free(staging);
    return 0;
}

int Gbe_Write(const void* buffer, uint32_t size, uint32_t offset)
{
    if (!buffer || !sizeOk(size))
        return -1;
    uint32_t words = size < 4 ? 1 : size / 4;
    uint32_t* staging = static_cast<uint32_t*>(calloc(words, 4));
    if (!staging)
        return -3;
    if (size == 1)
        staging[0] = *static_cast<const uint8_t*>(buffer);
    else if (size == 2)
        staging[0] = *static_cast<const uint16_t*>(buffer);
    else
        memcpy(staging, buffer, words * 4);
    if (pthread_mutex_lock(&GbeMutex) != 0) {
        free(staging);
        return -2;
    }
    fpgaWriteWords(staging, words, 2, kRegionWrite, offset);
    pthread_mutex_unlock(&GbeMutex);
    free(staging);
    return 0;
}

int Gbe_Commit()
{
    uint32_t w;
    int r = readWord(kControl, &w);
    if (r != 0)
        return r;
    clockSleepUs(5);
    return writeWord(kControl, w);
}

int Gbe_ReadWordAt(uint32_t* out, uint32_t offset)
{
    if (!out)
        return -1;
    return readWord(offset, out);
}

int Gbe_WriteWordAt(uint32_t value, uint32_t commit, uint32_t offset)
{
    return commitIf(writeWord(offset, value), commit);
}

int Gbe_SetMacAddress(const uint8_t* mac, uint32_t commit)
{
    if (!mac)
        return -1;
    uint32_t old[2];
    int r = Gbe_Read(old, 8, 8);
    if (r != 0)
        return r;
    uint32_t w8 = static_cast<uint32_t>(mac[2]) << 24 | mac[3] << 16 | mac[4] << 8 | mac[5];
    // The 2-byte write clears the UDP port field of the same word; the
    // MPX-over-IP apply sets the port afterwards.
    uint16_t w12 = static_cast<uint16_t>(mac[0] << 8 | mac[1]);
    if ((r = writeWord(8, w8)) != 0 || (r = Gbe_Write(&w12, 2, 12)) != 0)
        return r;
    if (commit && (r = Gbe_Commit()) != 0)
        return r;
    return readWord(8, &w8);
}

int Gbe_SetIpAddr(uint32_t value, uint32_t commit)
{
    return commitIf(writeWord(16, value), commit);
}

int Gbe_SetRxAddress(uint32_t value, uint32_t commit)
{
    return commitIf(writeWord(24, value), commit);
}

int Gbe_SetMulticastGrp(uint32_t value, uint32_t commit)
{
    return commitIf(writeWord(20, value), commit);
}

int Gbe_SetUdpPort(uint16_t port, uint32_t commit)
{
    return commitIf(setField(12, 16, 16, port), commit);
}

int Gbe_SetTxMulticastEnable(uint8_t v)
{
    uint32_t w;
    int r = setField(kControl, 8, 8, v);
    return r != 0 ? r : readWord(kControl, &w);
}

int Gbe_SetTxEnable(uint16_t v)
{
    uint32_t w;
    int r = setField(kControl, 16, 16, v);
    return r != 0 ? r : readWord(kControl, &w);
}

int Gbe_SetTtl(uint8_t ttl)
{
    return setField(kControl, 0, 8, ttl);
}

int Gbe_SetLatency(uint16_t latency)
{
    uint32_t w;
    int r = readWord(kLatency, &w);
    if (r != 0)
        return r;
    uint32_t value = static_cast<uint32_t>(latency) * 2;
    if ((r = writeWord(kLatency, withField(w, 0, 16, value + 1))) != 0)
        return r;
    clockSleepUs(100);
    return writeWord(kLatency, withField(w, 0, 16, value));
}

int Gbe_SetTxDestIpAddr(uint32_t v)
{
    uint32_t w;
    int r = readWord(40, &w);
    return r != 0 ? r : commitIf(writeWord(40, v), 1);
}

int Gbe_SetTxMulticastGrp(uint32_t v)
{
    uint32_t w;
    int r = readWord(44, &w);
    return r != 0 ? r : commitIf(writeWord(44, v), 1);
}

int Gbe_SetTxDestUdpPort(uint16_t port)
{
    return commitIf(setField(48, 0, 16, port), 1);
}

int Gbe_SetTxSrcUdpPort(uint16_t port)
{
    return commitIf(setField(48, 16, 16, port), 1);
}

int Gbe_SetSyncTimestampOffset(uint32_t v)
{
    uint32_t w;
    int r = readWord(52, &w);
    return r != 0 ? r : commitIf(writeWord(52, (v * 192) & 0x1FFFF), 1);
}

int Gbe_PulseLatencyStrobe()
{
    uint32_t w;
    int r = readWord(kLatency, &w);
    if (r != 0 || (r = writeWord(kLatency, w | 1)) != 0)
        return r;
    clockSleepUs(100);
    return writeWord(kLatency, w & ~1u);
}

int Gbe_ReadWord4(uint16_t* out)
{
    return getField(out, 4, 16, 16);
}

int Gbe_ReadWords0(uint8_t* out6)
{
    if (!out6)
        return -1;
    uint32_t w[2];
    int r = Gbe_Read(w, 8, 0);
    if (r == 0) {
        for (int i = 0; i < 4; i++)
            out6[i] = static_cast<uint8_t>(w[0] >> (8 * i));
        out6[4] = static_cast<uint8_t>(w[1]);
        out6[5] = static_cast<uint8_t>(w[1] >> 8);
    }
    return r;
}

int Gbe_GetStatusA(uint8_t* out)
{
    return getField(out, 4, 17, 3);
}

int Gbe_GetStatusB(uint8_t* out)
{
    return getField(out, 4, 20, 2);
}

int Gbe_GetStatusC(uint8_t* out, uint32_t n)
{
    if (n > 12)
        return -1;
    return getField(out, 4, static_cast<int>(16 + n), 1);
}

int Gbe_GetRxAddress(uint32_t* out)
{
    return getField(out, 24, 0, 32);
}

int Gbe_GetTxMulticastEnable(uint8_t* out)
{
    return getField(out, kControl, 8, 8);
}

int Gbe_GetTxEnable(uint16_t* out)
{
    return getField(out, kControl, 16, 16);
}

int Gbe_ReadWord64A(uint8_t* out)
{
    return getField(out, 64, 17, 8);
}

int Gbe_ReadWord64B(uint32_t* out)
{
    return getField(out, 64, 0, 17);
}

int Gbe_GetIpAddr(uint32_t* out)
{
    return getField(out, 16, 0, 32);
}

int Gbe_GetMulticastGrp(uint32_t* out)
{
    return getField(out, 20, 0, 32);
}

int Gbe_GetMacAddress(uint8_t* out6)
{
    if (!out6)
        return -1;
    uint32_t w[2];
    int r = Gbe_Read(w, 8, 8);
    if (r == 0) {
        for (int i = 0; i < 4; i++)
            out6[i] = static_cast<uint8_t>(w[0] >> (8 * i));
        out6[4] = static_cast<uint8_t>(w[1]);
        out6[5] = static_cast<uint8_t>(w[1] >> 8);
    }
    return r;
}

int Gbe_GetLatency(uint16_t* out)
{
    if (!out)
        return -1;
    uint32_t w;
    int r = readWord(kLatency, &w);
    if (r == 0)
        *out = static_cast<uint16_t>((w & 0xFFFF) >> 1);
    return r;
}

int Gbe_GetTtl(uint8_t* out)
{
    return getField(out, kControl, 0, 8);
}

int Gbe_GetUdpPortWord(uint16_t* out)
{
    return getField(out, 12, 16, 16);
}
