// ADT7470 fan controller.
#include "hw/adt7470.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <cmath>

namespace {

constexpr uint8_t kBus = 1;
constexpr uint8_t REG_TEMP0 = 0x20;
constexpr uint8_t REG_TACH0 = 0x2A;
constexpr uint8_t REG_PWM0 = 0x32;
constexpr uint8_t REG_PWM_MAX = 0x38;
constexpr uint8_t REG_ID = 0x3D;
constexpr uint8_t REG_CONFIG = 0x40;
constexpr uint8_t REG_AUTO_MODE = 0x68;
constexpr uint8_t REG_AUTO_A = 0x6A;
constexpr uint8_t REG_AUTO_E = 0x6E;
constexpr uint8_t REG_AUTO_C = 0x7C;
constexpr uint32_t kTachClock = 5400000;

// Reads a register and writes it back with bits set and cleared; a failed
// read writes nothing (the register's other bits are unknown).
int modifyReg(uint8_t reg, uint8_t set, uint8_t clear)
{
    uint8_t v = 0;
    if (adt7470ReadReg(reg, &v) != 0)
        return -1;
    return adt7470WriteReg(reg, static_cast<uint8_t>((v | set) & ~clear));
}

} // namespace

int adt7470WriteReg(uint8_t reg, uint8_t value)
{
    int r = i2cTransaction(kBus, ADT7470_ADDRESS, "ADT7470", [&](int fd) {
        uint8_t out[2] = {reg, value};
        bool ok = ioWrite(fd, out, 2) == 2;
        if (!ok)
            logErr("ADT7470: Error on write!");
        i2cCountTransfer(ok);
        struct timespec ns5 = {0, 5};
        clockSleepTs(&ns5);
        return ok ? 0 : -1;
    });
    return r == 0 ? 0 : -1;
}

int adt7470ReadReg(uint8_t reg, uint8_t* out)
{
    int r = i2cTransaction(kBus, ADT7470_ADDRESS, "ADT7470", [&](int fd) {
        uint8_t v = 0;
        bool ok = ioWrite(fd, &reg, 1) == 1 && ioRead(fd, &v, 1) == 1;
        if (!ok)
            logErr("ADT7470: Error on read!");
        i2cCountTransfer(ok);
        if (ok)
            *out = v;
        return ok ? 0 : -1;
    });
    return r == 0 ? 0 : -1;
}

int adt7470Detect()
{
    uint8_t id = 0;
    if (adt7470ReadReg(REG_ID, &id) != 0 || id == 0xFF || id != 0x70)
        return 0;
    logInfo("Detected ADT7470 Fan Control System");
    return 1;
}

int adt7470ConfigDefault()
{
    modifyReg(REG_AUTO_MODE, 0, 0x80);
    return adt7470WriteReg(REG_PWM0, 0x40);
}

int adt7470ConfigAuto()
{
    bool hps3 = getHpsCode() == 3;
    bool boosted = hps3 && hasSelectWriteBits(0x100000) == 1;
    modifyReg(REG_AUTO_MODE, 0x80, 0);
    adt7470WriteReg(REG_AUTO_C, 1);
    adt7470WriteReg(REG_AUTO_E, boosted ? 50 : hps3 ? 35 : 42);
    adt7470WriteReg(REG_AUTO_A, boosted ? 64 : hps3 ? 128 : 0);
    adt7470WriteReg(REG_PWM_MAX, 255);
    return modifyReg(REG_CONFIG, 0x81, 0);
}

int adt7470Configure()
{
    uint32_t psu = getPsuTypeCode();
    if (psu == 0)
        return adt7470ConfigDefault();
    if (psu == 1 && getHpaModelCode() == 3)
        return adt7470ConfigAuto();
    return 0;
}

uint32_t adt7470ReadFanRpm(int fan)
{
    if (fan < 0 || fan > 2)
        return 0;
    uint8_t low = 0, high = 0;
    uint8_t reg = static_cast<uint8_t>(REG_TACH0 + 2 * fan);
    // A count with one byte missing is no count.
    if (adt7470ReadReg(reg, &low) != 0 || adt7470ReadReg(static_cast<uint8_t>(reg + 1), &high) != 0)
        return 0;
    uint32_t count = static_cast<uint32_t>(high) << 8 | low;
    return count == 0 ? 0 : kTachClock / count;
}

int adt7470SetPwmPercent(uint8_t percent)
{
    return adt7470WriteReg(REG_PWM0, adt7470PercentToPwm(percent));
}

int adt7470GetPwmPercent(int n, uint8_t* out)
{
    uint8_t v = 0;
    int r = adt7470ReadReg(static_cast<uint8_t>(REG_PWM0 + n), &v);
    if (r == 0)
        *out = adt7470PwmToPercent(v);
    return r;
}

int8_t adt7470ReadTemp(int n)
{
    uint8_t v = 0;
    if (n < 0 || n > 2 || adt7470ReadReg(static_cast<uint8_t>(REG_TEMP0 + n), &v) != 0)
        return 0;
    return static_cast<int8_t>(v);
}

uint8_t adt7470PercentToPwm(uint8_t p)
{
    float v = static_cast<float>(p) / 0.39f;
    return v > 255.0f ? 255 : static_cast<uint8_t>(v);
}

uint8_t adt7470PwmToPercent(uint8_t v)
{
    return static_cast<uint8_t>(std::floor(v * 0.390625 + 0.5));
}
