// FM-receiver down-converter.
#include "hw/downConverter.h"

#include "core/base/logs.h"
#include "hw/ioExpanders.h"
#include "hw/spiBus.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <cstdio>
#include <fcntl.h>
#include <linux/spi/spidev.h>

namespace {

constexpr uint8_t kExp = EXP_DOWNCONV;
constexpr uint8_t kConfig = 0xF3; // bits 2 and 3 outputs
constexpr uint8_t kLockBit = 0x01;
constexpr uint8_t kStrapBit = 0x02;
constexpr uint8_t kEnableBit = 0x04; // active low
constexpr uint8_t kPreAmpBit = 0x08;
constexpr uint32_t kLoOffsetKHz = 66000;
constexpr uint32_t kMinKHz = 87500;
constexpr uint32_t kMaxKHz = 108500;
constexpr int kLockReads = 3;

struct DownConvRow {
    uint8_t reg;
    uint16_t value;
};

#include "hw/gen/downConverterTables.inc"

struct DownConvState {
    uint8_t detected = 0;
    uint8_t initialised = 0;
    uint8_t locked = 0;
    // Tuning constants.
    uint32_t startAttempts = 3;
    uint32_t initLockWaits = 7;
    uint32_t retuneLockWaits = 7;
    uint64_t initLockPauseUs = 100000;
    uint64_t retuneLockPauseUs = 100000;
};

DownConvState& st()
{
    static DownConvState s;
    return s;
}

// Rows 0..43 in order, stopping at the first error; true when all went out.
bool writeRows(uint32_t n, uint32_t num, uint32_t den)
{
    for (uint32_t row = 0; row < DOWNCONV_ROWS; row++)
        if (downConvWriteRow(row, n, num, den) != 0)
            return false;
    return true;
}

// Up to `waits` lock waits with a pause after each failure: 0 or -9.
int waitLockRepeated(uint32_t waits, uint64_t pauseUs)
{
    int r = -9;
    for (uint32_t i = 0; i < waits; i++) {
        r = downConvWaitLock();
        if (r == 0)
            break;
        clockSleepUs(pauseUs);
    }
    return r;
}

} // namespace

int downConvSetOutBits(uint8_t value, uint8_t mask)
{
    uint8_t out = 0;
    int r = ioExpRead(&out, CAT9534_OUT, kExp);
    if (r < 0) {
        printf(">> WRITE (a=Reg, b=Data) >> FALLITA LA READ !!! err = %i \n\n\n\n\n\n\n\n", r);
        fflush(stdout);
        return -16;
    }
    if (value & mask)
        out = static_cast<uint8_t>(out | (value & mask));
    else
        out = static_cast<uint8_t>(out & ~mask);
    r = ioExpWrite(out, CAT9534_OUT, kExp);
    if (r < 0) {
        printf(">> WRITE (a=Reg, b=Data) >> FALLITA LA WRITE !!! err = %i \n\n\n\n\n\n\n\n", r);
        fflush(stdout);
        return -17;
    }
    return 0;
}

int downConvGetInBits(uint8_t* out, uint8_t mask, uint8_t shift)
{
    uint8_t in = 0;
    int r = ioExpRead(&in, CAT9534_IN, kExp);
    if (r < 0)
        return r;
    *out = static_cast<uint8_t>((in & mask) >> shift);
    return 0;
}

int downConvSetPreAmp(int on)
{
    return downConvSetOutBits(on ? kPreAmpBit : 0, kPreAmpBit);
}

int downConvEnableSpi(int on)
{
    return downConvSetOutBits(on ? 0 : kEnableBit, kEnableBit);
}

int downConvIsLocked()
{
    uint8_t v = 0;
    return downConvGetInBits(&v, kLockBit, 0) < 0 ? 0 : v;
}

int downConvPowerOffsetStrap()
{
    uint8_t v = 0;
    return downConvGetInBits(&v, kStrapBit, 1) < 0 ? 0 : v;
}

int downConvWaitLock()
{
    for (int i = 0; i < kLockReads; i++) {
        if (downConvIsLocked() == 1)
            return 0;
        clockSleepUs(0);
    }
    return -9;
}

int downConvFreqPlan(uint32_t kHz, uint32_t* loKHz, uint32_t* n, uint32_t* num, uint32_t* den)
{
    if (kHz < kMinKHz || kHz > kMaxKHz)
        return 0;
    uint32_t lo = kHz + kLoOffsetKHz;
    uint32_t nn = (4 * lo) / 10000;
    uint32_t a = ((4 * lo - nn * 10000) * 50) / 10000;
    uint32_t b = 50;
    if (a % 2 == 0) {
        a /= 2;
        b = 25;
    }
    for (int i = 0; i < 2; i++)
        if (a % 5 == 0 && b % 5 == 0) {
            a /= 5;
            b /= 5;
        }
    *loKHz = lo;
    *n = nn;
    *num = a;
    *den = b;
    return 1;
}

uint16_t downConvRowValue(uint32_t row, uint32_t n, uint32_t num, uint32_t den, uint8_t* reg)
{
    const DownConvRow& r = kDownConvRows[row < DOWNCONV_ROWS ? row : 0];
    uint16_t v = r.value;
    if (row == 0)
        v |= 0x02;
    else if (row == DOWNCONV_ROWS - 1)
        v |= 0x18;
    else if (r.reg == 0x26)
        v = static_cast<uint16_t>((n * 2) & 0x1FFE);
    else if (r.reg == 0x28)
        v = static_cast<uint16_t>(den >> 16);
    else if (r.reg == 0x29)
        v = static_cast<uint16_t>(den);
    else if (r.reg == 0x2C)
        v = static_cast<uint16_t>(num >> 16);
    else if (r.reg == 0x2D)
        v = static_cast<uint16_t>(num);
    *reg = r.reg;
    return v;
}

int downConvWriteRow(uint32_t row, uint32_t n, uint32_t num, uint32_t den)
{
    if (row >= DOWNCONV_ROWS)
        return -1;
    uint8_t reg = 0;
    uint16_t v = downConvRowValue(row, n, num, den, &reg);
    return downConvWriteReg(reg, v);
}

int downConvWriteReg(uint8_t reg, uint16_t value)
{
    uint8_t tx[3] = {static_cast<uint8_t>(reg & 0x7F), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    SPI_WriteData(tx, 3, 0, DOWNCONV_CS);
    return 0;
}

int downConvReadReg(uint8_t reg, uint16_t* value)
{
    uint8_t tx[3] = {static_cast<uint8_t>(reg | 0x80), 0, 0}, rx[3] = {0, 0, 0};
    SPI_WriteReadData(tx, rx, 3, 0, DOWNCONV_CS);
    *value = static_cast<uint16_t>(rx[1] << 8 | rx[2]);
    return 0;
}

int downConvOpenSpi()
{
    char path[32];
    snprintf(path, sizeof path, "%s%d", "/dev/spidev0.", DOWNCONV_CS);
    int fd = ioOpen(path, O_RDWR);
    if (fd < 0) {
        logDebug("Can't open SPI device %d\n", DOWNCONV_CS);
        return -28;
    }
    SpiSettings s = {SPI_MODE_3, 0, 8, 2000000};
    SPI_SetParams(fd, &s);
    ioClose(fd);
    return 0;
}

int downConvDetect()
{
    if (ioExpWrite(kConfig, CAT9534_CFG, kExp) < 0)
        return -17;
    st().detected = 1;
    if (downConvPowerOffsetStrap() == 1)
        printf("\n\n\n\n --------->>>    PCA Power Offset ON    \n");
    else
        printf("\n\n\n\n --------->>>    PCA Power Offset OFF    \n");
    fflush(stdout);
    return 0;
}

int downConvIsDetected()
{
    return st().detected;
}

int downConvIsInitialised()
{
    return st().initialised;
}

int downConvInit()
{
    DownConvState& s = st();
    if (!s.detected && downConvDetect() != 0)
        return -7;
    if (ioExpWrite(kConfig, CAT9534_CFG, kExp) < 0)
        return -17;
    if (downConvEnableSpi(1) != 0)
        return -18;
    clockSleepUs(500);
    uint32_t lo, n, num, den;
    downConvFreqPlan(kMinKHz, &lo, &n, &num, &den);
    int r = -9;
    for (uint32_t attempt = 0; attempt < s.startAttempts && !s.locked; attempt++) {
        if (!writeRows(n, num, den))
            continue;
        r = waitLockRepeated(s.initLockWaits, s.initLockPauseUs);
        if (r == 0)
            s.locked = 1;
    }
    downConvEnableSpi(0);
    if (r == 0)
        s.initialised = 1;
    return r;
}

int downConvSetFreq(uint32_t kHz)
{
    DownConvState& s = st();
    if (kHz < kMinKHz || kHz > kMaxKHz)
        return -3;
    if (downConvEnableSpi(1) != 0)
        return -18;
    uint32_t lo, n, num, den;
    downConvFreqPlan(kHz, &lo, &n, &num, &den);
    int r = -9;
    if (writeRows(n, num, den))
        r = waitLockRepeated(s.retuneLockWaits, s.retuneLockPauseUs);
    s.locked = r == 0 ? 1 : 0;
    downConvEnableSpi(0);
    return r;
}

int downConvCheckLock()
{
    if (!st().initialised)
        return -8;
    int r = downConvWaitLock();
    if (r == 0)
        st().locked = 1;
    return r;
}
