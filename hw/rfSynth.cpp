// RF synthesizer and LTC6948 PLL.
#include "hw/rfSynth.h"

#include "Config/keys/factoryKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "core/base/logs.h"
#include "hw/spiBus.h"
#include "hw/spiConverters.h"
#include "platform/clock.h"

namespace {

constexpr uint8_t kSynthCs = 6;
constexpr int32_t kSendCount = 26;
constexpr uint32_t kSlot10Bit = 0x40;
constexpr uint8_t kLtcLockBit = 0x04;
constexpr int kLtcAttempts = 5;
constexpr uint64_t kLtcLockWaitUs = 100000;

struct RfSynthSlotValue {
    uint8_t slot;
    uint32_t value;
};
struct RfSynthSetupRow {
    uint32_t slot3, slot4, slot2, slot0;
};

#include "hw/gen/rfSynthTables.inc"

struct RfSynthState {
    uint32_t slots[RF_SYNTH_SLOTS];
    int32_t count = kSendCount;
    uint8_t ltc[LTC6948_REGS];

    RfSynthState()
    {
        for (uint32_t i = 0; i < RF_SYNTH_SLOTS; i++)
            slots[i] = kRfSynthLoad[i];
        for (uint32_t i = 0; i < LTC6948_REGS; i++)
            ltc[i] = kLtc6948Load[i];
    }
};

RfSynthState& st()
{
    static RfSynthState s;
    return s;
}

void ltcWrite(uint8_t reg, uint8_t value)
{
    uint8_t tx[2] = {static_cast<uint8_t>(reg * 2), value};
    SPI_WriteData(tx, 2, 0, kSynthCs);
}

uint8_t ltcReadStatus()
{
    uint8_t tx[2] = {0x01, 0x00}, rx[2] = {0, 0};
    SPI_WriteReadData(tx, rx, 2, 0, kSynthCs);
    return rx[1];
}

} // namespace

int RfSynth_SetReg(uint32_t slot, uint32_t value)
{
    if (slot >= RF_SYNTH_SLOTS)
        return -1;
    st().slots[slot] = value;
    return 0;
}

int RfSynth_Program()
{
    RfSynthState& s = st();
    s.count = kSendCount;
    uint8_t words[kSendCount][4];
    for (int32_t i = 0; i < s.count; i++) {
        uint32_t w = s.slots[kRfSynthSendOrder[i]];
        words[i][0] = static_cast<uint8_t>(w >> 24);
        words[i][1] = static_cast<uint8_t>(w >> 16);
        words[i][2] = static_cast<uint8_t>(w >> 8);
        words[i][3] = static_cast<uint8_t>(w);
    }
    for (int32_t i = 0; i < s.count; i++)
        SPI_WriteData(words[i], 4, 0, kSynthCs);
    return 0;
}

int RfSynth_Dump(uint32_t* pairs, uint32_t* count)
{
    for (uint32_t i = 0; i < RF_SYNTH_SLOTS; i++) {
        pairs[2 * i] = i;
        pairs[2 * i + 1] = st().slots[i];
    }
    *count = RF_SYNTH_SLOTS;
    return 0;
}

void RfSynth_Setup(uint32_t selector)
{
    uint32_t* slots = st().slots;
    for (const RfSynthSlotValue& c : kRfSynthSetupCommon)
        slots[c.slot] = c.value;
    if (selector < sizeof kRfSynthSetup / sizeof kRfSynthSetup[0]) {
        const RfSynthSetupRow& r = kRfSynthSetup[selector];
        slots[3] = r.slot3;
        slots[4] = r.slot4;
        slots[2] = r.slot2;
        slots[0] = r.slot0;
    }
    slots[10] = slots[3] | kSlot10Bit;
}

int LTC6948_SetReg(uint32_t reg, uint32_t value)
{
    if (reg >= LTC6948_REGS)
        return -1;
    st().ltc[reg] = static_cast<uint8_t>(value);
    return 0;
}

int LTC6948_Program()
{
    for (uint8_t reg = 1; reg <= 14; reg++)
        ltcWrite(reg, st().ltc[reg]);
    return 0;
}

int LTC6948_Dump(uint32_t* pairs, uint32_t* count)
{
    pairs[0] = 0;
    pairs[1] = ltcReadStatus();
    for (uint32_t n = 1; n <= 14; n++) {
        pairs[2 * n] = n;
        pairs[2 * n + 1] = st().ltc[n];
    }
    *count = 15;
    return 0;
}

int LTC6948_IsLocked()
{
    return (ltcReadStatus() & kLtcLockBit) ? 1 : 0;
}

int LTC6948_Init()
{
    uint8_t* ltc = st().ltc;
    uint32_t mode = getPllMode();
    if (getUnitWord8() == 1 && mode < 7)
        for (int i = 0; i < 8; i++)
            ltc[kLtc6948ModeRegs[i]] = kLtc6948Modes[mode][i];
    ltc[12] = static_cast<uint8_t>((ltc[12] & ~7u) | (getLtcChargePump() & 7u));
    int r = 0;
    bool locked = false;
    for (int attempt = 0; attempt < kLtcAttempts && !locked; attempt++) {
        r = LTC6948_Program();
        clockSleepUs(kLtcLockWaitUs);
        locked = LTC6948_IsLocked() == 1;
    }
    if (locked)
        logInfo("LTC6948: Pll Locked");
    else
        logInfo("LTC6948: Pll Unlocked after 5 retries!");
    return r;
}

int initRfSynth()
{
    uint32_t lowNoise = getUnitWord8();
    if (lowNoise == 1) {
        dacWordsSend();
        return LTC6948_Init();
    }
    if (lowNoise == 0) {
        RfSynth_Setup(3);
        return RfSynth_Program();
    }
    return static_cast<int>(lowNoise);
}
