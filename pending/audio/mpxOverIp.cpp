// Stand-in for the fitted-block status byte of the MPX-over-IP block: the
// simulated board has none, unless a test says otherwise.
#include "audio/mpxOverIp.h"

namespace {
int fitted = 0;
}

int GBE_IsBlockFitted()
{
    return fitted;
}

void standInSetGbeBlockFitted(int v)
{
    fitted = v;
}
