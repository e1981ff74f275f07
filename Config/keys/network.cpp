// Hooks of the network region.
#include "Config/keys/networkKeys.h"

#include "Config/StrutturaDati.h"

void keepFrontOldGateway(uint32_t, uint32_t, uint32_t old)
{
    setFrontEthernetIPOldGateway(old);
}

void keepRearOldGateway(uint32_t, uint32_t, uint32_t old)
{
    setRearEthernetIPOldGateway(old);
}

void markFrontPendingApply(uint32_t, uint32_t, uint32_t)
{
    getSystemImage()->net.frontPendingApply = 1;
}

void markRearPendingApply(uint32_t, uint32_t, uint32_t)
{
    getSystemImage()->net.rearPendingApply = 1;
}

int isEthernetSwitchConfig2()
{
    return getEthernetSwitchConfig() == 2 ? 1 : 0;
}

void setGbeVlanIdBySide(uint32_t side, uint32_t v)
{
    if (side == 0)
        setGbeAVlanId(v);
    else
        setGbeBVlanId(v);
}

uint16_t getGbeVlanIdBySide(uint32_t side)
{
    return side == 0 ? getGbeAVlanId() : getGbeBVlanId();
}
