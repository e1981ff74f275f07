// External PLL controller.
#include "hw/extPll.h"

#include "Config/keys/factoryKeys.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "platform/clock.h"
#include "platform/io.h"

#include <vector>

namespace {

constexpr uint8_t kBus = 1;
constexpr uint64_t kReadWaitUs = 100000;

} // namespace

int ExtPll_Write(uint8_t command, const uint8_t* data, uint32_t n)
{
    return i2cTransaction(kBus, EXTPLL_ADDRESS, "ExtMcfPll", [&](int fd) {
        std::vector<uint8_t> out(n + 1);
        out[0] = command;
        for (uint32_t i = 0; i < n; i++)
            out[i + 1] = data[i];
        bool ok = ioWrite(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size());
        if (!ok)
            logErr("ExtMcfPll: Error on write!");
        i2cCountTransfer(ok);
        struct timespec ns5 = {0, 5};
        clockSleepTs(&ns5);
        return ok ? 0 : -1;
    });
}

int ExtPll_Read(uint8_t command, uint8_t* out, uint32_t n)
{
    return i2cTransaction(kBus, EXTPLL_ADDRESS, "ExtMcfPll", [&](int fd) {
        int r = 0;
        if (ioWrite(fd, &command, 1) != 1) {
            logErr("ExtMcfPll: Error on write!");
            r = -1;
        }
        clockSleepUs(kReadWaitUs);
        if (ioRead(fd, out, n) != static_cast<ssize_t>(n)) {
            logErr("ExtMcfPll: Error on read!");
            r = -1;
        }
        i2cCountTransfer(r == 0);
        return r;
    });
}

int ExtPll_WriteWord(uint32_t word)
{
    uint8_t b[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8),
                    static_cast<uint8_t>(word)};
    ExtPll_Write(0, b, 4);
    return 0;
}

int ExtPll_ReadWord(uint32_t* word)
{
    uint8_t b[4] = {0, 0, 0, 0};
    if (ExtPll_Read(0, b, 4) != 0)
        b[0] = b[1] = b[2] = b[3] = 0;
    *word = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 | b[3];
    return 0;
}

int ExtPll_ReadByte(uint8_t* out)
{
    uint8_t b = 0;
    if (ExtPll_Read(1, &b, 1) != 0)
        b = 0;
    *out = b;
    return 0;
}

int ExtPll_WriteReg(uint8_t channel, uint8_t value)
{
    uint8_t b[2] = {channel, value};
    ExtPll_Write(2, b, 2);
    return 0;
}

int ExtPll_Detect()
{
    uint8_t status = 0;
    ExtPll_ReadByte(&status);
    if ((status & 0x02) == 0)
        return 0;
    logInfo("Detected External Pll Analog System");
    return 1;
}

void detectExtPll()
{
    setExtOutputStageFitted(ExtPll_Detect() == 1 ? 1 : 0);
}
