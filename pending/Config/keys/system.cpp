// Stand-in for the system region's MPX digital clock setter: stores a
// changed value, publishes and marks, without the resampler write.
#include "Config/keys/system.h"

#include "Config/keyTable.h"
#include "Config/keys/systemKeys.h"

void setMpxDigMaxDeltaClock(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(MpxDigMaxDeltaClock);
    if (cfgStore(row, 0, v) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_MpxDigMaxDeltaClock(uint32_t, uint32_t v)
{
    setMpxDigMaxDeltaClock(v);
}
