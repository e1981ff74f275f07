// SPI converters and DAC outputs.
#include "hw/spiConverters.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "core/base/logs.h"
#include "hw/i2cBus.h"
#include "hw/ioExpanders.h"
#include "hw/spiBus.h"
#include "platform/clock.h"

namespace {

constexpr uint8_t kAdcCs = 2;
constexpr uint8_t kDacCs = 3;
constexpr uint8_t kDacWordsCs = 25;
constexpr uint8_t kAdcCsBit = 0x10;
constexpr uint8_t kChannelCommand[4] = {0x10, 0x12, 0x14, 0x16};
constexpr uint8_t kAltCommand[2] = {0x10, 0x24};
constexpr uint32_t kWord1Strobe = 0x200000;

struct ConvertersState {
    uint32_t dacWords[DAC_WORD_COUNT] = {0x000C80, 0x1F4001, 0x1F8092, 0x1F8093};
};

ConvertersState& st()
{
    static ConvertersState s;
    return s;
}

void sendDacFrame(uint8_t command, uint16_t value)
{
    uint8_t tx[3] = {command, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    SPI_WriteData(tx, 3, 0, kDacCs);
}

void sendDacWord(uint32_t word)
{
    uint8_t tx[3] = {static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
    SPI_WriteData(tx, 3, 0, kDacWordsCs);
}

// One 16-bit word transfer on the ADC's chip select. With 16-bit words the
// SPI layer hands the received word over in the host's byte order, not as
// wire bytes.
uint16_t adcTransfer()
{
    uint16_t tx = 0, rx = 0;
    SPI_WriteReadData(reinterpret_cast<const uint8_t*>(&tx), reinterpret_cast<uint8_t*>(&rx), 2, 1, kAdcCs);
    return rx;
}

// A routing entry: the physical channel, or the alternative command index
// (alt), or nothing.
struct DacRoute {
    enum Kind { NONE, CH, ALT } kind;
    uint8_t n;
};

DacRoute routeDac(uint32_t family, uint32_t model, int32_t dac)
{
    constexpr DacRoute none = {DacRoute::NONE, 0};
    auto ch = [](uint8_t n) { return DacRoute{DacRoute::CH, n}; };
    switch (family) {
    case 0:
        switch (dac) {
        case 1: return model == 0 ? ch(0) : model == 2 ? ch(3) : none;
        case 2: return model == 0 ? ch(1) : model == 1 ? DacRoute{DacRoute::ALT, 0} : model == 2 ? ch(2) : none;
        case 3:
        case 4: return none;
        default: return model == 0 ? ch(2) : model == 1 ? DacRoute{DacRoute::ALT, 1} : model == 2 ? ch(0) : none;
        }
    case 1: {
        bool m34 = model == 3 || model == 4;
        switch (dac) {
        case 1: return m34 ? ch(0) : none;
        case 2: return m34 ? ch(1) : none;
        case 3: return m34 ? ch(2) : none;
        case 4: return model == 3 ? ch(3) : none;
        default: return none;
        }
    }
    case 2:
        if (model != 5)
            return none;
        switch (dac) {
        case 1: return ch(3);
        case 2: return ch(2);
        case 3: return ch(0);
        default: return none;
        }
    default:
        return none;
    }
}

} // namespace

uint8_t adcSelectExpander()
{
    return getHpaModelCode() == 4 ? EXP_PCA9654_ALM : EXP_CAT9534_HPA;
}

int readAdcRaw(uint16_t* out)
{
    *out = static_cast<uint16_t>(adcTransfer() % 4096);
    return 0;
}

int adcSelect(uint8_t* state)
{
    uint8_t address = adcSelectExpander();
    i2cBusLock(1, address);
    ioExpReadHeld(state, CAT9534_OUT, address);
    *state = static_cast<uint8_t>(*state & ~kAdcCsBit);
    int r = ioExpWriteHeld(*state, CAT9534_OUT, address);
    i2cBusUnlock(1, address);
    clockSleepUs(1);
    return r;
}

int adcDeselect(uint8_t* state)
{
    *state = static_cast<uint8_t>(*state | kAdcCsBit);
    return ioExpWrite(*state, CAT9534_OUT, adcSelectExpander());
}

int readAdc(uint16_t* out)
{
    uint8_t state = 0;
    adcSelect(&state);
    uint16_t word = adcTransfer();
    adcDeselect(&state);
    *out = static_cast<uint16_t>(word >> 4);
    return 0;
}

int readAdcDummy()
{
    uint8_t state = 0;
    uint8_t tx = 0, rx = 0;
    adcSelect(&state);
    adcDeselect(&state);
    SPI_WriteReadData(&tx, &rx, 1, 0, kAdcCs);
    clockSleepUs(1);
    return 0;
}

int dacWriteChannel(uint16_t value, uint8_t channel)
{
    if (channel > 3)
        return 1;
    sendDacFrame(kChannelCommand[channel], value);
    return 0;
}

int dacWriteChannelAlt(uint16_t value, uint8_t index)
{
    if (index > 1)
        return 1;
    sendDacFrame(kAltCommand[index], value);
    return 0;
}

int setDacOutput(uint16_t value, int32_t dac)
{
    uint32_t family = getPsuTypeCode();
    if (family == 1 && (dac < 1 || dac > 4)) {
        logErr("DAC not exists! [%d]", dac);
        return 0;
    }
    DacRoute r = routeDac(family, getHpaModelCode(), dac);
    if (r.kind == DacRoute::CH)
        dacWriteChannel(value, r.n);
    else if (r.kind == DacRoute::ALT)
        dacWriteChannelAlt(value, r.n);
    return 0;
}

int dacWordSetReg(uint32_t index, uint32_t value)
{
    if (index >= DAC_WORD_COUNT)
        return -1;
    st().dacWords[index] = value;
    return 0;
}

int dacWordsSend()
{
    uint32_t* w = st().dacWords;
    for (uint32_t i = 0; i < DAC_WORD_COUNT; i++)
        sendDacWord(w[i]);
    // Word 1 again with its strobe bit raised, then lowered.
    w[1] |= kWord1Strobe;
    sendDacWord(w[1]);
    w[1] &= ~kWord1Strobe;
    sendDacWord(w[1]);
    return 0;
}

int dacWordsDump(uint32_t* pairs, uint32_t* count)
{
    for (uint32_t i = 0; i < DAC_WORD_COUNT; i++) {
        pairs[2 * i] = i;
        pairs[2 * i + 1] = st().dacWords[i];
    }
    *count = DAC_WORD_COUNT;
    return 0;
}

int dacWordsInit()
{
    return dacWordsSend();
}
