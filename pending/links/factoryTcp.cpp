// Stand-in for the factory TCP server: no socket is opened and no command is
// served; the open reports success.
#include "links/factoryTcp.h"

int initFactoryTcpSocket()
{
    return 0;
}

void runFactoryTcpServer() {}
