// Stand-ins for transmitter logic services not built yet.
#include "alarms/logicaTx.h"

void LogicaTx_Init() {}

uint32_t getFunctionalType()
{
    return 11;
}
