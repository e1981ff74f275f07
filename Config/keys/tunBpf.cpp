// The tunable band-pass filter settings: the derived words, the band tables
// and the hardware writes of each setting.
#include "Config/keys/tunBpfKeys.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "hw/tunableBpf.h"

namespace {

const uint32_t kCoarseCapacitance[6] = {150000, 270000, 390000, 560000, 680000, 820000};

bool hwReady()
{
    return getHwReady() == 1;
}

void storeAndPublish(const CfgKeyDesc* row, uint32_t v)
{
    cfgStore(row, 0, v);
    cfgPublish(row, 0);
}

} // namespace

uint32_t getTunBpfCurrentBand()
{
    uint32_t mhz = getOutputRFfrequency() / 1000000u;
    if (mhz < 89)
        return 0;
    return mhz - 88 > 19 ? 19 : mhz - 88;
}

uint32_t tunBpfCoarseCapacitance(uint32_t code)
{
    return code < 6 ? kCoarseCapacitance[code] : 0;
}

void setTunBpfCoarseA(uint32_t code)
{
    storeAndPublish(KEYROW(TunBpfCoarseA), code);
    if ((code & 255u) < 6)
        setTunBpfCapWord1(kCoarseCapacitance[code & 255u]);
    if (hwReady())
        setBpfExpanderFieldA(static_cast<uint8_t>(code));
    markConfigChanged(CONFIG_GROUP_FACTORY);
}

void setTunBpfCoarseB(uint32_t code)
{
    storeAndPublish(KEYROW(TunBpfCoarseB), code);
    if ((code & 255u) < 6)
        setTunBpfCapWord2(kCoarseCapacitance[code & 255u]);
    if (hwReady())
        setBpfExpanderFieldB(static_cast<uint8_t>(code));
    markConfigChanged(CONFIG_GROUP_FACTORY);
}

uint8_t getTunBpfCoarseA()
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(TunBpfCoarseA), 0));
}

uint8_t getTunBpfCoarseB()
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(TunBpfCoarseB), 0));
}

void setTunBpfFineA(uint32_t v)
{
    storeAndPublish(KEYROW(TunBpfFineA), v);
    uint16_t fine = getTunBpfFineA();
    if (hwReady())
        applyTunBpfCoarse(fine);
    setTunBpfDerived1(355u * fine + 12500u);
    setTunBpfCpPreFine(getTunBpfCurrentBand(), fine);
}

void setTunBpfFineB(uint32_t v)
{
    storeAndPublish(KEYROW(TunBpfFineB), v);
    uint16_t fine = getTunBpfFineB();
    if (hwReady())
        applyTunBpfFine(fine);
    setTunBpfDerived2(355u * fine + 12500u);
    setTunBpfCpPostFine(getTunBpfCurrentBand(), fine);
}

uint16_t getTunBpfFineA()
{
    return static_cast<uint16_t>(cfgGetElement(KEYROW(TunBpfFineA), 0));
}

uint16_t getTunBpfFineB()
{
    return static_cast<uint16_t>(cfgGetElement(KEYROW(TunBpfFineB), 0));
}

void setTunBpfVeryFine(uint32_t v)
{
    storeAndPublish(KEYROW(TunBpfVeryFine), v);
    uint8_t veryFine = getTunBpfVeryFine();
    if (hwReady())
        setDtcValue(veryFine);
    setTunBpfDerived3(50u * veryFine + 850u);
    setTunBpfCsVeryFine(getTunBpfCurrentBand(), veryFine);
    markConfigChanged(CONFIG_GROUP_FACTORY);
}

uint8_t getTunBpfVeryFine()
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(TunBpfVeryFine), 0));
}

void ignoreSettingByte(uint32_t) {}

uint8_t getTunBpfByte5()
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(TunBpfByte5), 0));
}

int isValidTunBpfCoarse(uint32_t v)
{
    return cfgIsValidRow(KEYROW(TunBpfCoarseA), v);
}

int isValidTunBpfFine(uint32_t v)
{
    return cfgIsValidRow(KEYROW(TunBpfFineA), v);
}

int isValidTunBpfVeryFine(uint32_t v)
{
    return cfgIsValidRow(KEYROW(TunBpfVeryFine), v);
}

int isValidTunBpfByte5(uint32_t v)
{
    return cfgIsValidRow(KEYROW(TunBpfByte5), v);
}

int detectTunableBpfOption()
{
    int r = detectTunableBpf();
    if (r == 1)
        getSystemImage()->rf.bpf.optionPresent = 1;
    return r;
}
