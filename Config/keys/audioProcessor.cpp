// The audio-processor region's hand-written operations: value setters that
// push the whole block to the loaders, loads and saves of the stored sets,
// set names and the economy mode.
#include "Config/keys/audioProcessorKeys.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "alarms/logicaTxConfig.h"
#include "audio/audioProcessor.h"
#include "audio/byteOrder.h"
#include "comtab/dbPool.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

using Loader = void (*)(AudioProcessorBlock);

// Stored sets of each kind: set n is element n + 1 of its array.
constexpr uint32_t kStoredCommon = AP_COMMON_SETS - 1;
constexpr uint32_t kStoredEq = AP_EQ_SETS - 1;
constexpr uint32_t kStoredCmp = AP_CMP_SETS - 1;
// Equalizer bands with cells of their own.
constexpr uint32_t kPublishedEqBands = 6;
constexpr uint32_t kRepeaterType = 10;
constexpr uint8_t kCommonNameSection = 59;
constexpr uint8_t kEqNameSection = 60;
constexpr uint8_t kCmpNameSection = 61;

AudioProcessorBlock& ap()
{
    return getSystemImage()->ap;
}

// A copy of the whole block, handed by value to each loader in turn.
void push(std::initializer_list<Loader> loaders)
{
    AudioProcessorBlock copy = ap();
    for (Loader l : loaders)
        l(copy);
}

void valueSet(const CfgKeyDesc* row, uint32_t i, uint32_t v, std::initializer_list<Loader> loaders,
              bool publish = true)
{
    if (cfgStore(row, i, v) != 1)
        return;
    if (publish)
        cfgPublish(row, i);
    push(loaders);
    cfgMark(row);
}

void storePublish(const CfgKeyDesc* row, uint32_t v)
{
    if (cfgStore(row, 0, v) == 1)
        cfgPublish(row, 0);
}

void publishRow(const CfgKeyDesc* row, uint32_t count)
{
    for (uint32_t b = 0; b < count; b++)
        cfgPublish(row, b);
}

void publishCmpSet()
{
    for (const CfgKeyDesc* row : {KEYROW(ApCmpLogTh), KEYROW(ApCmpLinRt), KEYROW(ApCmpLogKw),
                                  KEYROW(ApCmpMinGainDec), KEYROW(ApSmoothingNRelease),
                                  KEYROW(ApSmoothingNAttack), KEYROW(ApGainLogRef)})
        publishRow(row, AP_CMP_BANDS);
}

void publishEqSet()
{
    cfgPublish(KEYROW(ApEqGain), 0);
    for (const CfgKeyDesc* row : {KEYROW(ApEqFreqC), KEYROW(ApEqBandGain), KEYROW(ApEqQFactor)})
        publishRow(row, kPublishedEqBands);
    cfgPublish(KEYROW(ApEqLlShelving), 0);
    cfgPublish(KEYROW(ApEqHShelving), 0);
}

void publishCommonSwitches()
{
    for (const CfgKeyDesc* row : {KEYROW(ApOn), KEYROW(ApEqOn), KEYROW(ApCmpOn), KEYROW(ApLimGainSel),
                                  KEYROW(ApLimPostCpr), KEYROW(ApEqPostCpr), KEYROW(ApLimLev)})
        cfgPublish(row, 0);
}

// The load of a stored equalizer or compressor set.
template <class Set>
void loadSet(uint32_t n, const CfgKeyDesc* loadRow, const CfgKeyDesc* modifiedRow, Set* sets, uint32_t stored,
             void (*publishSet)(), std::initializer_list<Loader> loaders)
{
    n &= 255;
    if (n == cfgGetElement(loadRow, 0) && cfgGetElement(modifiedRow, 0) == 0)
        return;
    storePublish(modifiedRow, 0);
    storePublish(loadRow, n);
    if (n < stored)
        sets[0] = sets[n + 1];
    publishSet();
    push(loaders);
    cfgMark(loadRow);
}

// Set words except the name, copied from one set to another.
template <class Set>
void copyWithoutName(Set& to, const Set& from)
{
    uint8_t nameBytes[sizeof to.nameBytes];
    uint32_t name[4];
    memcpy(nameBytes, to.nameBytes, sizeof nameBytes);
    memcpy(name, to.name, sizeof name);
    to = from;
    memcpy(to.nameBytes, nameBytes, sizeof nameBytes);
    memcpy(to.name, name, sizeof name);
}

template <class Set>
void saveSet(uint32_t n, const CfgKeyDesc* saveRow, const CfgKeyDesc* loadRow, const CfgKeyDesc* modifiedRow,
             Set* sets, uint32_t stored)
{
    n &= 255;
    storePublish(saveRow, n);
    if (n < stored) {
        copyWithoutName(sets[n + 1], sets[0]);
        storePublish(loadRow, n);
        storePublish(modifiedRow, 0);
    }
    markConfigChanged(CONFIG_GROUP_AUDIO_PROCESSOR);
}

template <class Set>
void setName(uint32_t i, uint32_t w, Set* sets, uint32_t stored, uint8_t section)
{
    uint32_t n = (i & 255) >> 2, k = i & 3;
    if (n >= stored)
        return;
    Set& set = sets[n + 1];
    if (set.name[k] == w)
        return;
    set.name[k] = w;
    setDbAreaCell(section, (i & 255) + 1, w);
    packU32BE(&set.name[k], &set.nameBytes[4 * k]);
    markConfigChanged(CONFIG_GROUP_AUDIO_PROCESSOR);
}

template <class Set>
uint32_t nameWord(uint32_t i, const Set* sets, uint32_t stored)
{
    uint32_t n = (i & 255) >> 2;
    return n < stored ? sets[n + 1].name[i & 3] : 0;
}

} // namespace

#define AP_KEY_SETTER(Id, ...)                                                                     \
    void set##Id(uint32_t v) { valueSet(KEYROW(Id), 0, v, {__VA_ARGS__}); }                         \
    void cfgHandSet_##Id(uint32_t, uint32_t v) { set##Id(v); }
#define AP_BAND_SETTER(Id, ...)                                                                    \
    void set##Id(uint32_t i, uint32_t v) { valueSet(KEYROW(Id), i, v, {__VA_ARGS__}); }             \
    void cfgHandSet_##Id(uint32_t i, uint32_t v) { set##Id(i, v); }
// Equalizer bands: band 6 lies beyond the published cells.
#define AP_EQ_BAND_SETTER(Id)                                                                      \
    void set##Id(uint32_t i, uint32_t v)                                                           \
    {                                                                                              \
        valueSet(KEYROW(Id), i, v, {AP_SetEqualizer}, (i & 255) < kPublishedEqBands);               \
    }                                                                                              \
    void cfgHandSet_##Id(uint32_t i, uint32_t v) { set##Id(i, v); }
#define AP_PLAIN_SETTER(Id)                                                                        \
    void set##Id(uint32_t v) { valueSet(KEYROW(Id), 0, v, {}); }                                    \
    void cfgHandSet_##Id(uint32_t, uint32_t v) { set##Id(v); }

AP_BAND_SETTER(ApCmpLogTh, AP_SetCompressor)
AP_BAND_SETTER(ApCmpLogKw, AP_SetCompressor)
AP_BAND_SETTER(ApCmpLinRt, AP_SetCompressor)
AP_BAND_SETTER(ApCmpMinGainDec, AP_SetCompressor)
AP_BAND_SETTER(ApSmoothingNAttack, AP_SetTimeConstants)
AP_BAND_SETTER(ApSmoothingNRelease, AP_SetTimeConstants)
AP_BAND_SETTER(ApGainLogRef, AP_SetLimiter)

AP_KEY_SETTER(ApOn, AP_SetCommonStage)
AP_KEY_SETTER(ApEqOn, AP_SetCommonStage, AP_SetEqualizer)
AP_KEY_SETTER(ApCmpOn, AP_SetCompressor, AP_SetCommonStage)
AP_KEY_SETTER(ApLimGainSel, AP_SetCommonStage)
AP_KEY_SETTER(ApLimPostCpr, AP_SetCommonStage)
AP_KEY_SETTER(ApEqPostCpr, AP_SetCommonStage)
AP_KEY_SETTER(ApLimLev, AP_SetCommonStage)

void setApEqGain(uint32_t v)
{
    int32_t gain = static_cast<int16_t>(v & 0xffff);
    valueSet(KEYROW(ApEqGain), 0, static_cast<uint32_t>(gain), {AP_SetEqualizer});
}

void cfgHandSet_ApEqGain(uint32_t, uint32_t v)
{
    setApEqGain(v);
}

AP_EQ_BAND_SETTER(ApEqFreqC)
AP_EQ_BAND_SETTER(ApEqBandGain)
AP_EQ_BAND_SETTER(ApEqQFactor)
AP_KEY_SETTER(ApEqLlShelving, AP_SetEqualizer)
AP_KEY_SETTER(ApEqHShelving, AP_SetEqualizer)

AP_PLAIN_SETTER(ApCommonModified)
AP_PLAIN_SETTER(ApEqModified)
AP_PLAIN_SETTER(ApCmpModified)

void setApCmpLoad(uint32_t n)
{
    loadSet(n, KEYROW(ApCmpLoad), KEYROW(ApCmpModified), ap().cmp, kStoredCmp, publishCmpSet,
            {AP_SetCompressor, AP_SetTimeConstants, AP_SetLimiter});
}

void cfgHandSet_ApCmpLoad(uint32_t, uint32_t v)
{
    setApCmpLoad(v);
}

void setApEqLoad(uint32_t n)
{
    loadSet(n, KEYROW(ApEqLoad), KEYROW(ApEqModified), ap().eq, kStoredEq, publishEqSet, {AP_SetEqualizer});
}

void cfgHandSet_ApEqLoad(uint32_t, uint32_t v)
{
    setApEqLoad(v);
}

void setApCommonLoad(uint32_t n)
{
    n &= 255;
    if (n == getApCommonLoad() && getApCommonModified() == 0)
        return;
    uint32_t eqModified = getApEqModified();
    uint32_t cmpModified = getApCmpModified();
    if (n < kStoredCommon) {
        const ApCommonSet& from = ap().common[n + 1];
        setApEqLoad(from.eqLoad);
        setApCmpLoad(from.cmpLoad);
        ApCommonSet& to = ap().common[0];
        to.on = from.on;
        to.eqOn = from.eqOn;
        to.cmpOn = from.cmpOn;
        to.limGainSel = from.limGainSel;
        to.limPostCpr = from.limPostCpr;
        to.eqPostCpr = from.eqPostCpr;
        to.limLev = from.limLev;
    }
    storePublish(KEYROW(ApCommonModified), 0);
    storePublish(KEYROW(ApCommonLoad), n);
    setApEqModified(eqModified);
    setApCmpModified(cmpModified);
    publishCommonSwitches();
    push({AP_SetCommonStage});
    markConfigChanged(CONFIG_GROUP_AUDIO_PROCESSOR);
}

void cfgHandSet_ApCommonLoad(uint32_t, uint32_t v)
{
    setApCommonLoad(v);
}

void saveApCmpSet(uint32_t n)
{
    saveSet(n, KEYROW(ApCmpSaveSet), KEYROW(ApCmpLoad), KEYROW(ApCmpModified), ap().cmp, kStoredCmp);
}

void saveApEqSet(uint32_t n)
{
    saveSet(n, KEYROW(ApEqSaveSet), KEYROW(ApEqLoad), KEYROW(ApEqModified), ap().eq, kStoredEq);
}

void saveApCommonSet(uint32_t n)
{
    saveSet(n, KEYROW(ApCommonSaveSet), KEYROW(ApCommonLoad), KEYROW(ApCommonModified), ap().common,
            kStoredCommon);
}

void setApCommonName(uint32_t i, uint32_t w)
{
    setName(i, w, ap().common, kStoredCommon, kCommonNameSection);
}

void setApEqName(uint32_t i, uint32_t w)
{
    setName(i, w, ap().eq, kStoredEq, kEqNameSection);
}

void setApCmpName(uint32_t i, uint32_t w)
{
    setName(i, w, ap().cmp, kStoredCmp, kCmpNameSection);
}

uint32_t getApCommonName(uint32_t i)
{
    return nameWord(i, ap().common, kStoredCommon);
}

uint32_t getApEqName(uint32_t i)
{
    return nameWord(i, ap().eq, kStoredEq);
}

uint32_t getApCmpName(uint32_t i)
{
    return nameWord(i, ap().cmp, kStoredCmp);
}

void setApEconOn(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(ApEconOn);
    if (getFunctionalType() == kRepeaterType) {
        ap().econOn = 0;
        push({AP_SetEconMode});
        return;
    }
    if ((v & 255) == getApEconOn())
        return;
    printf("%s %s %d: val:%d\n", "Config/StrutturaDati", "set_ap_econ_on", 4721, static_cast<int>(v));
    valueSet(row, 0, v, {AP_SetEconMode});
}

void cfgHandSet_ApEconOn(uint32_t, uint32_t v)
{
    setApEconOn(v);
}

AP_KEY_SETTER(ApEconReference, AP_SetEconMode)
AP_KEY_SETTER(ApEconRatio, AP_SetEconMode)

void set_ap_econ_default()
{
    printf("%s %s %d\n", "Config/keys/audioProcessor.cpp", __func__, __LINE__);
    ap().econOn = 0;
    ap().econReference = 0;
    ap().econRatio = 0;
    push({AP_SetEconMode});
}

void apPushCommonStage(uint32_t, uint32_t, uint32_t)
{
    push({AP_SetCommonStage});
}
