// Stand-ins for the system region: the MPX digital clock setter stores a
// changed value, publishes and marks, without the resampler write; the UART 1
// selection only says on the standard output what it was asked for.
#include "Config/keys/system.h"

#include "Config/keyTable.h"
#include "Config/keys/systemKeys.h"

#include <cstdio>

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

// Stand-in for the UART 1 selection: says on the standard output what it was
// asked for and returns it.
uint32_t setUart1ConnSel(uint32_t v)
{
    printf("standin setUart1ConnSel(%u)\n", v);
    return v;
}
