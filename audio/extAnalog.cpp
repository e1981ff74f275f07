// External analog system set-up.
#include "audio/extAnalog.h"

#include "Config/keys/factoryKeys.h"
#include "core/base/rfMute.h"
#include "hw/extPll.h"
#include "hw/spiConverters.h"
#include "platform/clock.h"

#include <cmath>

namespace {

constexpr uint32_t kTuneAttempts = 30;
constexpr uint64_t kWaitUs = 500000;
// The tuning step holds the first family's attenuator (logical DAC 0) at
// this code while the external PLL settles.
constexpr uint16_t kTuneDacCode = 3000;
constexpr int32_t kTuneDac = 0;

bool fitted()
{
    return getExtOutputStageFitted() != 0;
}

} // namespace

void ExtAnalog_SetFrequency(uint32_t frequency)
{
    if (fitted()) {
        setDacOutput(kTuneDacCode, kTuneDac);
        for (uint32_t attempt = 0; attempt < kTuneAttempts; attempt++) {
            ExtPll_WriteWord(frequency);
            clockSleepUs(kWaitUs);
            uint32_t back = 0;
            ExtPll_ReadWord(&back);
            if (back != frequency)
                continue;
            uint8_t status = 0;
            ExtPll_ReadByte(&status);
            if (status != 0)
                break;
        }
        clockSleepUs(kWaitUs);
    }
    // A change of the output frequency set the global mute; the tuning
    // step ends it, fitted or not.
    globalMute = 0;
}

uint8_t ExtAnalog_LevelCode(uint8_t mode, int8_t level, uint8_t deviation)
{
    float r = mode == 1 ? 264.0f : 185.0f;
    float v = logf(static_cast<float>(deviation) / r) * -8.77f * 10.0f + static_cast<float>(level);
    if (!(v >= 0.0f)) // negative, or no deviation at all
        return 0;
    if (v <= 480.0f)
        return static_cast<uint8_t>(floorf(v / 5.0f + 0.5f));
    if (v <= 780.0f)
        return static_cast<uint8_t>(floorf((v - 490.0f) / 10.0f + 97.0f + 0.5f));
    return 255;
}

void ExtAnalog_SetLevel(uint8_t mode, int8_t level, uint8_t deviation)
{
    if (!fitted())
        return;
    ExtPll_WriteReg(mode, ExtAnalog_LevelCode(mode, level, deviation));
    clockSleepUs(kWaitUs);
}
