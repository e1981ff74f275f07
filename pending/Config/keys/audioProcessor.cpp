// Stand-ins for the setters of the audio-processor keys: each stores a
// changed value, publishes it and marks the audio-processor group, without
// handing the block to the audio-processor loaders.
#include "Config/keys/audioProcessor.h"

#include "Config/keyTable.h"
#include "Config/keys/audioProcessorKeys.h"

namespace {

void storePublishMark(const CfgKeyDesc* row, uint32_t i, uint32_t v)
{
    if (cfgStore(row, i, v) != 1)
        return;
    cfgPublish(row, i);
    cfgMark(row);
}

} // namespace

void setApOn(uint32_t v)
{
    storePublishMark(KEYROW(ApOn), 0, v);
}

void cfgHandSet_ApOn(uint32_t, uint32_t v)
{
    setApOn(v);
}

void setApEqOn(uint32_t v)
{
    storePublishMark(KEYROW(ApEqOn), 0, v);
}

void cfgHandSet_ApEqOn(uint32_t, uint32_t v)
{
    setApEqOn(v);
}

void setApCmpOn(uint32_t v)
{
    storePublishMark(KEYROW(ApCmpOn), 0, v);
}

void cfgHandSet_ApCmpOn(uint32_t, uint32_t v)
{
    setApCmpOn(v);
}

void setApCmpLogTh(uint32_t i, uint32_t v)
{
    storePublishMark(KEYROW(ApCmpLogTh), i, v);
}

void cfgHandSet_ApCmpLogTh(uint32_t i, uint32_t v)
{
    setApCmpLogTh(i, v);
}

void setApCmpLogKw(uint32_t i, uint32_t v)
{
    storePublishMark(KEYROW(ApCmpLogKw), i, v);
}

void cfgHandSet_ApCmpLogKw(uint32_t i, uint32_t v)
{
    setApCmpLogKw(i, v);
}

void setApCmpLinRt(uint32_t i, uint32_t v)
{
    storePublishMark(KEYROW(ApCmpLinRt), i, v);
}

void cfgHandSet_ApCmpLinRt(uint32_t i, uint32_t v)
{
    setApCmpLinRt(i, v);
}

void setApCmpMinGainDec(uint32_t i, uint32_t v)
{
    storePublishMark(KEYROW(ApCmpMinGainDec), i, v);
}

void cfgHandSet_ApCmpMinGainDec(uint32_t i, uint32_t v)
{
    setApCmpMinGainDec(i, v);
}

void setApSmoothingNAttack(uint32_t i, uint32_t v)
{
    storePublishMark(KEYROW(ApSmoothingNAttack), i, v);
}

void cfgHandSet_ApSmoothingNAttack(uint32_t i, uint32_t v)
{
    setApSmoothingNAttack(i, v);
}

void setApSmoothingNRelease(uint32_t i, uint32_t v)
{
    storePublishMark(KEYROW(ApSmoothingNRelease), i, v);
}

void cfgHandSet_ApSmoothingNRelease(uint32_t i, uint32_t v)
{
    setApSmoothingNRelease(i, v);
}

void setApGainLogRef(uint32_t i, uint32_t v)
{
    storePublishMark(KEYROW(ApGainLogRef), i, v);
}

void cfgHandSet_ApGainLogRef(uint32_t i, uint32_t v)
{
    setApGainLogRef(i, v);
}
