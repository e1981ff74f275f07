// Stand-in for the Ethernet settings: the sandbox has no interfaces of the
// board to configure; the pending settings stay in the image.
#include "links/ethernetSettings.h"

void ETHM_ApplyPendingCfgEth0() {}

int ETHM_ApplyPendingCfgEth1()
{
    return 0;
}
