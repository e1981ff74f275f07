// Stand-in for the command table: empty, so no command is ever run.
#include "comtab/commandTable.h"

void initCommandTable() {}

void commandTableTick() {}
