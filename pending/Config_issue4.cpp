// Stand-ins for configuration setters and unit-record operations whose
// behaviour is not built yet. Each setter keeps its row's store, publish and
// mark; what it does beyond that comes with its module.
#include "Config/keyTable.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"

namespace {

void storePublishMark(const CfgKeyDesc* row, uint32_t v)
{
    if (cfgStore(row, 0, v) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

} // namespace

// Without the web branding, the amplifier limit and the SNMP agent restart.
void setVendorId(uint32_t v)
{
    storePublishMark(KEYROW(VendorId), v);
}

void cfgHandSet_VendorId(uint32_t, uint32_t v)
{
    setVendorId(v);
}

// Without the retune, the mute and the last-valid reset.
void setOutputRFfrequency(uint32_t f, uint32_t)
{
    storePublishMark(KEYROW(OutputRFfrequency), f);
}

void cfgHandSet_OutputRFfrequency(uint32_t, uint32_t v)
{
    setOutputRFfrequency(v, 0);
}

// Without the resampler write.
void setMpxDigMaxDeltaClock(uint32_t v)
{
    storePublishMark(KEYROW(MpxDigMaxDeltaClock), v);
}

void cfgHandSet_MpxDigMaxDeltaClock(uint32_t, uint32_t v)
{
    setMpxDigMaxDeltaClock(v);
}
