// The clipper settings: the limiter and overshoot setters and what they
// derive; the re-apply of the external output stage.
#include "Config/keys/audioKeys.h"

#include "Config/keyTable.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rfKeys.h"
#include "audio/extAnalog.h"

namespace {

constexpr uint32_t kMaxDeviation = 110;

// The setters of the clipper keys: a low byte above 110 is refused (0); a
// changed value is stored, the clipper settings recomputed, published and
// marked (1).
int setClipperKey(const CfgKeyDesc* row, uint32_t v)
{
    if ((v & 255) > kMaxDeviation)
        return 0;
    if (cfgStore(row, 0, v) == 1) {
        updateClipperLimiter();
        cfgPublish(row, 0);
        cfgMark(row);
    }
    return 1;
}

} // namespace

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
    return setClipperKey(KEYROW(ClipperDeviationLimiter), v);
}

void cfgHandSet_ClipperDeviationLimiter(uint32_t, uint32_t v)
{
    setClipperDeviationLimiter(v);
}

int setClipperOvershoot(uint32_t v)
{
    return setClipperKey(KEYROW(ClipperOvershoot), v);
}

void cfgHandSet_ClipperOvershoot(uint32_t, uint32_t v)
{
    setClipperOvershoot(v);
}

void reapplyOutputStage()
{
    ExtAnalog_SetFrequency(getOutputRFfrequency());
    if (getMatrixLMpx() == 1)
        ExtAnalog_SetLevel(1, static_cast<int8_t>(getLevelMpx_dBu()), getFrequencyDeviation());
    else
        ExtAnalog_SetLevel(0, 0, getFrequencyDeviation());
}
