// Stand-ins for configuration accessors whose key rows are not built yet.
#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/pendingAccessors.h"

namespace {

struct PendingConfigState {
    uint16_t lastValidVdac;
    uint32_t lastValidHpsVout;
    int16_t levelMpx2Offset;
    uint16_t mpxDigMaxDeltaClock;
};

PendingConfigState st;

} // namespace

uint8_t getVendorId()
{
    return static_cast<uint8_t>(getSystemImage()->vendorId & 255);
}

uint8_t getPsuTypeCode()
{
    return getSystemImage()->hw.psuTypeCode;
}

uint16_t getHpaNomDrvPow()
{
    return getSystemImage()->hpa.hpaNomDrvPow;
}

void setLastValidVdac(uint32_t v)
{
    if (st.lastValidVdac == static_cast<uint16_t>(v))
        return;
    st.lastValidVdac = static_cast<uint16_t>(v);
    markConfigChanged(0x40000);
}

void setLastValidHpsVout(uint32_t v)
{
    if (st.lastValidHpsVout == v)
        return;
    st.lastValidHpsVout = v;
    markConfigChanged(0x40000);
}

int16_t getLevelMpxOffset_dBu()
{
    return 0;
}

void setLevelMpx2Offset_dBu(uint32_t v)
{
    if (st.levelMpx2Offset == static_cast<int16_t>(v))
        return;
    st.levelMpx2Offset = static_cast<int16_t>(v);
    markConfigChanged(0x20000);
}

void setMpxDigMaxDeltaClock(uint32_t v)
{
    if (st.mpxDigMaxDeltaClock == static_cast<uint16_t>(v))
        return;
    st.mpxDigMaxDeltaClock = static_cast<uint16_t>(v);
    markConfigChanged(0x20);
}

uint32_t getOutputRFfrequency()
{
    return 0;
}

int16_t getLevelMpx_dBu()
{
    return 0;
}

uint32_t getMatrixLMpx()
{
    return 0;
}

uint16_t getClipperOvershoot()
{
    return 0;
}
