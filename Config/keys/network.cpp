// Hooks of the network region.
#include "Config/keys/networkKeys.h"

void keepFrontOldGateway(uint32_t, uint32_t, uint32_t old)
{
    setFrontEthernetIPOldGateway(old);
}

void keepRearOldGateway(uint32_t, uint32_t, uint32_t old)
{
    setRearEthernetIPOldGateway(old);
}
