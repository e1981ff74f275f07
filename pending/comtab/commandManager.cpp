// Stand-in for the command manager: it is not initialised, so every request
// is refused.
#include "comtab/commandManager.h"
#include "core/base/logs.h"

int CMD_Request(int n, uint32_t)
{
    logErr("Request for Command #%d FAILED -- Command manager was not inizialized. \n", n);
    return 9;
}
