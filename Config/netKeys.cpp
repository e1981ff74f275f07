// Network, clocking, deviation and clipper keys.
#include "Config/netKeys.h"

#include "Config/keyTable.h"
#include "Config/pendingAccessors.h"
#include "hw/boardIo.h"
#include "hw/fpgaMaintenance.h"

namespace {

constexpr uint32_t kMaxDeviation = 110;

} // namespace

void keepFrontOldGateway(uint8_t, uint32_t, uint32_t old)
{
    setFrontEthernetIPOldGateway(old);
}

void keepRearOldGateway(uint8_t, uint32_t, uint32_t old)
{
    setRearEthernetIPOldGateway(old);
}

void driveAudioDacReset(uint8_t, uint32_t value, uint32_t)
{
    setDacAudioNotReset(static_cast<uint8_t>(value & 255));
}

void driveAudioDacMode(uint8_t, uint32_t value, uint32_t)
{
    setDacAudioMode(value);
}

void setForceDacLevel(uint32_t v, uint32_t apply)
{
    if (cfgStore(KEY_ForceDacLevel, 0, v) != 1)
        return;
    cfgPublish(KEY_ForceDacLevel, 0);
    if ((apply & 255) != 0 && getHwReady() == 1)
        Fpga_PulseControlC();
    cfgMark(KEY_ForceDacLevel);
}

void cfgHandSet_ForceDacLevel(uint32_t, uint32_t v)
{
    setForceDacLevel(v, 0);
}

uint16_t clipperScale(uint32_t x)
{
    uint32_t v = x & 0xffff;
    if (v > 8)
        v = 8;
    return static_cast<uint16_t>(v * 2047.0 / 8.0 + 0.5);
}

void updateClipperLimiter()
{
    uint32_t limiter = getClipperDeviationLimiter();
    uint32_t effective = limiter < kMaxDeviation + 1 ? limiter : kMaxDeviation;
    setClipperEffectiveLimiter(effective);
    uint32_t overshoot = getClipperOvershoot();
    if (overshoot + effective > kMaxDeviation) {
        setClipperOvershootCode(clipperScale(kMaxDeviation - effective));
        setClipperLimitedFlag(1);
    } else {
        setClipperOvershootCode(clipperScale(overshoot));
    }
}

int setClipperDeviationLimiter(uint32_t v)
{
    if ((v & 255) > kMaxDeviation)
        return 0;
    if (cfgStore(KEY_ClipperDeviationLimiter, 0, v) == 1) {
        updateClipperLimiter();
        cfgPublish(KEY_ClipperDeviationLimiter, 0);
        cfgMark(KEY_ClipperDeviationLimiter);
    }
    return 1;
}

void cfgHandSet_ClipperDeviationLimiter(uint32_t, uint32_t v)
{
    setClipperDeviationLimiter(v);
}
