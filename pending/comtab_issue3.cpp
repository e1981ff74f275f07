// Stand-ins for command-plane services not built yet.
#include "comtab/commandManager.h"
#include "comtab/commandTable.h"

void initCommandTable() {}

int CMD_Request(int, uint32_t)
{
    return 0;
}
