// Stand-in for the transmitter logic: no defaults of its own yet, nothing to
// start and nothing to run.
#include "alarms/logicaTx.h"

void LogicaTx_SetDefaults() {}

void LogicaTx_Init() {}

void LogicaTx_Task() {}
