// Small devices of the controller board and backplane on I2C bus 1.
#include "hw/smallDevices.h"

#include "Config/keys/factoryKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "hw/boardIo.h"
#include "hw/i2cBus.h"
#include "hw/ioExpanders.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <mutex>
#include "platform/paths.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace {

constexpr uint8_t kBus = 1;
constexpr uint32_t kTlcCacheUs = 100000;
constexpr const char* kSqwPath = "/sys/class/i2c-dev/i2c-1/device/1-0068/sqwfreq";
constexpr int kRtcRegs = 20;

// A bit request and the last value written for it (0xFF at start, so a
// request of 0xFF is never written).
struct BitRequest {
    std::atomic<uint8_t> request{0};
    std::atomic<uint8_t> lastWritten{0xFF};
};

struct SmallDevicesState {
    BitRequest ampCmd;
    BitRequest tlsCfg;
    BitRequest tlsCfgBp;
    std::atomic<uint16_t> ledWord{0xFFFF};
    std::atomic<uint16_t> ledWritten{0};
    uint16_t tlcStatus = 0;
    struct timespec tlcStamp = {0, 0};
    uint8_t tlcExtStatus = 0;
    struct timespec tlcExtStamp = {0, 0};
    uint8_t rtcImage[kRtcRegs] = {};
};

SmallDevicesState& st()
{
    static SmallDevicesState s;
    return s;
}

// The request after applying (mask, on); true when it differs from what was
// last written.
bool updateRequest(BitRequest& b, uint8_t mask, int on, uint8_t* out)
{
    uint8_t req = on == 1 ? static_cast<uint8_t>(b.request.load() | mask) : static_cast<uint8_t>(b.request.load() & ~mask);
    b.request.store(req);
    *out = req;
    return req != b.lastWritten.load();
}

// Replaces the `field` bits of output port 1 of PCA9655_IC45 by the request's,
// holding the bus lock across the read and the write.
int writeIc45Field(uint8_t req, uint8_t field, const char* readFail, const char* writeFail)
{
    i2cBusLock(kBus, EXP_PCA9655_IC45);
    uint8_t v = 0;
    int r = pca9655ReadHeld(&v, PCA9655_OUT1, EXP_PCA9655_IC45);
    if (r < 0) {
        logErr("%s", readFail);
    } else {
        v = static_cast<uint8_t>((v & ~field) | (req & field));
        r = ioExpWriteHeld(v, PCA9655_OUT1, EXP_PCA9655_IC45);
        if (r != 0)
            logErr("%s", writeFail);
    }
    i2cBusUnlock(kBus, EXP_PCA9655_IC45);
    return r;
}

// Register transfers of the MAX31725.
int max31725Write(uint8_t reg, const uint8_t* data, size_t n)
{
    uint8_t out[4] = {reg};
    if (n > 3)
        n = 3;
    memcpy(out + 1, data, n);
    int r = i2cTransaction(kBus, MAX31725_ADDRESS, "MAX31725", [&](int fd) {
        bool ok = ioWrite(fd, out, n + 1) == static_cast<ssize_t>(n + 1);
        if (!ok)
            logErr("MAX31725: Error on write!");
        i2cCountTransfer(ok);
        return ok ? 0 : -1;
    });
    struct timespec ns5 = {0, 5};
    clockSleepTs(&ns5);
    return r;
}

int max31725ReadReg(uint8_t reg, uint8_t* data, size_t n)
{
    return i2cTransaction(kBus, MAX31725_ADDRESS, "MAX31725", [&](int fd) {
        if (ioWrite(fd, &reg, 1) != 1) {
            logErr("MAX31725: Error on write!");
            i2cCountTransfer(false);
            return -1;
        }
        bool ok = ioRead(fd, data, n) == static_cast<ssize_t>(n);
        if (!ok)
            logErr("MAX31725: Error on read!");
        i2cCountTransfer(ok);
        return ok ? 0 : -1;
    });
}

uint8_t bcd(int v)
{
    v = v < 0 ? 0 : v % 100;
    return static_cast<uint8_t>((v / 10) << 4 | (v % 10));
}

int fromBcd(uint8_t v, uint8_t mask)
{
    v &= mask;
    return (v >> 4) * 10 + (v & 0x0F);
}

// The RTC's register block: no device is reached in this system.
void rtcReadBlock(uint8_t* buf, int first, int n)
{
    (void)first;
    memset(buf, 0, static_cast<size_t>(n));
}

void rtcWriteReg(uint8_t reg, uint8_t value)
{
    if (reg < kRtcRegs)
        st().rtcImage[reg] = value;
}

} // namespace

int LTC2451_Read(uint16_t* code)
{
    return i2cTransaction(kBus, LTC2451_ADDRESS, "LTC2451", [&](int fd) {
        uint8_t in[2];
        bool ok = ioRead(fd, in, 2) == 2;
        i2cCountTransfer(ok);
        if (!ok) {
            logErr("LTC2451: Error on read!");
            return -1;
        }
        *code = static_cast<uint16_t>(in[0] << 8 | in[1]);
        return 0;
    });
}

int LTC2451_Write(uint8_t value)
{
    return i2cTransaction(kBus, LTC2451_ADDRESS, "LTC2451", [&](int fd) {
        bool ok = ioWrite(fd, &value, 1) == 1;
        i2cCountTransfer(ok);
        if (!ok) {
            logErr("LTC2451: Error on write!");
            return -1;
        }
        return 0;
    });
}

int Hpa_DetectLtc2451()
{
    uint16_t code = 0;
    if (LTC2451_Read(&code) != 0)
        return 0;
    logInfo("Detected LTC2451 ADC of the second family's amplifier system");
    return 1;
}

int setAmpCmdBits(uint8_t mask, int on)
{
    uint8_t req;
    BitRequest& b = st().ampCmd;
    if (!updateRequest(b, mask, on, &req))
        return mask;
    int r = writeIc45Field(req, 0x38, "FAIL Reading AmpCmd - PCA9655_IC45", "FAIL Setting AmpCmd - PCA9655_IC45");
    if (r == 0)
        b.lastWritten.store(req);
    return r;
}

int setAmplifierCommandBits(uint8_t mask, int on)
{
    return setAmpCmdBits(mask, on);
}

int setTlsCfgBits(uint8_t mask, int on)
{
    uint8_t req;
    BitRequest& b = st().tlsCfg;
    if (!updateRequest(b, mask, on, &req))
        return mask;
    int r = writeIc45Field(req, 0x07, "FAIL Reading P1_OUT[TlsCfg] - PCA9655_IC45",
                           "FAIL Setting P1_OUT[TlsCfg] - PCA9655_IC45");
    if (r == 0)
        b.lastWritten.store(req);
    return r;
}

int setTlsCfgBpBits(uint8_t mask, int on)
{
    uint8_t req;
    BitRequest& b = st().tlsCfgBp;
    if (!updateRequest(b, mask, on, &req))
        return mask;
    int r = ioExpWrite(req, PCA9655_OUT1, EXP_PCA9655_IC5);
    if (r != 0)
        logErr("FAIL setting P1_OUT[TlsCfg] - PCA9655_IC5_BP");
    else
        b.lastWritten.store(req);
    return r;
}

uint16_t getTlcStatusBits()
{
    SmallDevicesState& s = st();
    // The main loop's poll and "Ltx Thread" both read the cached word.
    static std::mutex cacheLock;
    std::lock_guard<std::mutex> hold(cacheLock);
    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&s.tlcStamp, &now) > kTlcCacheUs) {
        uint8_t low = 0, high = 0;
        if (pca9655Read(&low, PCA9655_IN0, EXP_PCA9655_IC45) < 0) {
            logErr("FAIL Reading P0_IN [TlcStatus] - PCA9655_IC45");
        } else if (pca9655Read(&high, PCA9655_IN1, EXP_PCA9655_IC85) < 0) {
            logErr("FAIL Reading P1_IN [TlcStatus] - PCA9655_IC85");
        } else {
            s.tlcStatus = static_cast<uint16_t>((high << 8 | low) & 0x3FF);
            s.tlcStamp = now;
        }
    }
    return s.tlcStatus & 0x3FF;
}

uint8_t getTlcExtStatusBits()
{
    // Only with the extended telecommand board enabled and found at board
    // detection; otherwise 0 without bus access.
    if (getTlcTlsExtended() != 1 || getTlcTlsExtDetected() != 1)
        return 0;
    SmallDevicesState& s = st();
    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&s.tlcExtStamp, &now) > kTlcCacheUs) {
        uint8_t in = 0;
        if (pca9655Read(&in, PCA9655_IN0, EXP_PCA9655_IC5) < 0) {
            logErr("FAIL Reading P0_IN [TlcExtStatus] - PCA9655_IC5_BP");
        } else {
            s.tlcExtStatus = in;
            s.tlcExtStamp = now;
        }
    }
    return s.tlcExtStatus;
}

int setLedBits(uint16_t mask, int on)
{
    SmallDevicesState& s = st();
    uint16_t word = on == 1 ? static_cast<uint16_t>(s.ledWord.load() & ~mask) : static_cast<uint16_t>(s.ledWord.load() | mask);
    s.ledWord.store(word);
    if (word == s.ledWritten.load())
        return mask;
    int r1 = applyLedCfg(word & 0xFF);
    int r2 = applyLedBlinkCfg(word >> 8);
    if (r1 == 0 && r2 == 0)
        s.ledWritten.store(word);
    return r2;
}

void setRtcSqwFreq()
{
    std::string path = sysPath(kSqwPath);
    int fd = open(path.c_str(), O_WRONLY | O_SYNC);
    if (fd < 0) {
        printf("ERROR: could not open %s\n", kSqwPath);
        return;
    }
    if (write(fd, "1", 1) != 1)
        printf("ERROR: write %s failed\n", kSqwPath);
    close(fd);
}

int MAX31725_Read(int32_t* t)
{
    uint8_t in[2] = {0, 0};
    int r = max31725ReadReg(0, in, 2);
    if (r != 0)
        return r;
    double v = ((in[0] & 0x7F) * 256 + in[1]) / 256.0;
    if (in[0] & 0x80)
        v = -v;
    *t = static_cast<int32_t>(v);
    return 0;
}

int MAX31725_Configure()
{
    uint8_t zero = 0;
    int r = max31725Write(1, &zero, 1);
    if (r != 0)
        logErr("max31725 config FAILURE\n\n");
    return r;
}

int Rtc_GetTime(RtcTime* t)
{
    uint8_t b[7];
    rtcReadBlock(b, 1, 7);
    t->seconds = static_cast<uint8_t>(fromBcd(b[0], 0x7F));
    t->minutes = static_cast<uint8_t>(fromBcd(b[1], 0x7F));
    t->hours = static_cast<uint8_t>(fromBcd(b[2], 0x3F));
    t->weekday = static_cast<uint8_t>(b[3] & 0x07);
    t->date = static_cast<uint8_t>(fromBcd(b[4], 0x3F));
    t->month = static_cast<uint8_t>((b[5] & 0x0F) + ((b[5] & 0x10) ? 10 : 0));
    t->year = static_cast<uint8_t>(fromBcd(b[6], 0xFF));
    DEBUG_PRINT(DBG_M41T94, "%02u:%02u:%02u %02u/%02u/%02u\n", t->hours, t->minutes, t->seconds, t->date,
                t->month, t->year);
    return 0;
}

int Rtc_SetTime(const RtcTime* t, int stop, int flag4)
{
    rtcWriteReg(0, 0);
    rtcWriteReg(1, static_cast<uint8_t>(bcd(t->seconds) | (stop ? 0x80 : 0)));
    rtcWriteReg(2, bcd(t->minutes));
    rtcWriteReg(3, bcd(t->hours));
    rtcWriteReg(4, static_cast<uint8_t>((t->weekday & 7) | (flag4 ? 0x80 : 0)));
    rtcWriteReg(5, bcd(t->date));
    rtcWriteReg(6, bcd(t->month));
    rtcWriteReg(7, bcd(t->year));
    return 0;
}

int Rtc_SetCalibration(int value, int flag6, int flag7)
{
    int magnitude = value < 0 ? -value : value;
    rtcWriteReg(8, static_cast<uint8_t>((magnitude & 31) | (value >= 0 ? 0x20 : 0) | (flag6 ? 0x40 : 0) |
                                        (flag7 ? 0x80 : 0)));
    return 0;
}

int Rtc_SetWatchdog(int flag, int multiplier, int resolution)
{
    rtcWriteReg(9, static_cast<uint8_t>((flag ? 0x80 : 0) | ((multiplier & 31) << 2) | (resolution & 3)));
    return 0;
}

int Rtc_SetAlarm(const RtcTime* t, int flag7, int flag5, int repeatMode)
{
    uint8_t b[15];
    rtcReadBlock(b, 0, 15);
    auto bit = [&](int n) { return (repeatMode >> n) & 1; };
    rtcWriteReg(10, static_cast<uint8_t>((flag7 ? 0x80 : 0) | (flag5 ? 0x20 : 0) | (b[10] & 0x40) | bcd(t->month)));
    rtcWriteReg(11, static_cast<uint8_t>(bcd(t->date) | bit(3) << 7 | bit(4) << 6));
    rtcWriteReg(12, static_cast<uint8_t>((b[12] & 0x40) | bcd(t->hours) | bit(2) << 7));
    rtcWriteReg(13, static_cast<uint8_t>(bcd(t->minutes) | bit(1) << 7));
    rtcWriteReg(14, static_cast<uint8_t>(bit(0) << 7));
    return 0;
}

int Rtc_ReadFlags(RtcFlags* f)
{
    uint8_t b[16];
    rtcReadBlock(b, 0, 16);
    f->stop = (b[1] >> 7) & 1;
    f->reg4Bit7 = (b[4] >> 7) & 1;
    f->watchdog = (b[15] >> 7) & 1;
    f->alarm = (b[15] >> 6) & 1;
    f->batteryLow = (b[15] >> 4) & 1;
    f->halt = (b[12] >> 6) & 1;
    return 0;
}

int Rtc_SetControlBits(int setReg1Bit7, int reg1Bit7, int setReg4Bit7, int reg4Bit7, int setReg12Bit6,
                       int reg12Bit6)
{
    struct Bit {
        int enable, on;
        uint8_t reg, mask;
    } bits[3] = {{setReg1Bit7, reg1Bit7, 1, 0x80}, {setReg4Bit7, reg4Bit7, 4, 0x80}, {setReg12Bit6, reg12Bit6, 12, 0x40}};
    for (const Bit& b : bits) {
        if (!b.enable)
            continue;
        uint8_t v;
        rtcReadBlock(&v, b.reg, 1);
        rtcWriteReg(b.reg, static_cast<uint8_t>(b.on ? (v | b.mask) : (v & ~b.mask)));
    }
    return 0;
}

int Rtc_SetSquareWave(int rate, int enable)
{
    uint8_t v;
    rtcReadBlock(&v, 10, 1);
    rtcWriteReg(19, static_cast<uint8_t>(rate << 4));
    rtcWriteReg(10, static_cast<uint8_t>(enable ? (v | 0x40) : (v & ~0x40)));
    return 0;
}

uint8_t rtcLastImage(uint8_t reg)
{
    return reg < kRtcRegs ? st().rtcImage[reg] : 0;
}
