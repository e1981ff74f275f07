// Stand-in for the SPI converters: the ADC reads with their chip-select
// handling on the expander, and the DAC routing of the logical DACs, without
// the error line of the second family's attenuator.
#include "hw/spiConverters.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "hw/ioExpanders.h"
#include "hw/spiBus.h"
#include "platform/clock.h"

namespace {

uint8_t adcCsExpander()
{
    return getHpaModelCode() == 4 ? 0x25 : 0x24;
}

uint16_t transfer16()
{
    // 16-bit words arrive in the host's byte order.
    uint16_t tx = 0, rx = 0;
    SPI_WriteReadData(reinterpret_cast<uint8_t*>(&tx), reinterpret_cast<uint8_t*>(&rx), 2, 1, 2);
    return rx;
}

int dacFrame(uint8_t command, uint16_t value)
{
    uint8_t tx[3] = {command, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    SPI_WriteData(tx, 3, 0, 3);
    return 0;
}

constexpr uint8_t kChannelCommand[4] = {0x10, 0x12, 0x14, 0x16};
constexpr uint8_t kAltCommand[2] = {0x10, 0x24};

} // namespace

int readAdcRaw(uint16_t* out)
{
    *out = transfer16() % 4096;
    return 0;
}

int readAdc(uint16_t* out)
{
    // The chip select is one bit of the expander's output port, changed by
    // a read-modify-write of that port.
    uint8_t state = 0xFF, address = adcCsExpander();
    ioExpRead(&state, 1, address);
    state = static_cast<uint8_t>(state & ~0x10);
    ioExpWrite(state, 1, address);
    clockSleepUs(1);
    *out = static_cast<uint16_t>(transfer16() >> 4);
    ioExpWrite(static_cast<uint8_t>(state | 0x10), 1, address);
    return 0;
}

int setDacOutput(const uint16_t* value, uint32_t dac)
{
    uint32_t family = getAmpFamily(), model = getHpaModelCode();
    int ch = -1, alt = -1;
    if (family == 0) {
        switch (dac) {
        case 1: ch = model == 0 ? 0 : model == 2 ? 3 : -1; break;
        case 2: ch = model == 0 ? 1 : model == 2 ? 2 : -1; alt = model == 1 ? 0 : -1; break;
        case 3:
        case 4: break;
        default: ch = model == 0 ? 2 : model == 2 ? 0 : -1; alt = model == 1 ? 1 : -1; break;
        }
    } else if (family == 1 && (model == 3 || model == 4)) {
        ch = dac == 1 ? 0 : dac == 2 ? 1 : dac == 3 ? 2 : dac == 4 && model == 3 ? 3 : -1;
    } else if (family == 2 && model == 5) {
        ch = dac == 1 ? 3 : dac == 2 ? 2 : dac == 3 ? 0 : -1;
    }
    if (ch >= 0)
        dacFrame(kChannelCommand[ch], *value);
    else if (alt >= 0)
        dacFrame(kAltCommand[alt], *value);
    return 0;
}
