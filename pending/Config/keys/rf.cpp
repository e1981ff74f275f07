// Stand-in for the RF region's frequency setter: stores a changed frequency,
// publishes and marks, without the retune, the mute and the last-valid reset.
#include "Config/keys/rf.h"

#include "Config/keyTable.h"
#include "Config/keys/rfKeys.h"

void setOutputRFfrequency(uint32_t f, uint32_t)
{
    const CfgKeyDesc* row = KEYROW(OutputRFfrequency);
    if (cfgStore(row, 0, f) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_OutputRFfrequency(uint32_t, uint32_t v)
{
    setOutputRFfrequency(v, 0);
}
