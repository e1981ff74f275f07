// Stand-ins for configuration setters and unit-record operations whose
// behaviour is not built yet. Each setter keeps its row's store, publish and
// mark; what it does beyond that comes with its module.
#include "Config/keyTable.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"

#include <cstring>

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

int exportUnitRecord(uint8_t* record, int type)
{
    if (type != 1)
        return -1;
    const NetworkRegion& net = getSystemImage()->net;
    memcpy(record + 14, getUnitInfo() + 14, 12);
    memcpy(record + 8, net.frontMacActive, 6);
    memcpy(record + 71, net.rearMacActive, 6);
    memcpy(record + 98, net.port0AddrActive, 6);
    memcpy(record + 104, net.port1AddrActive, 6);
    return 0;
}
