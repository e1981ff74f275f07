// Stand-ins for command-plane services not built yet.
#include "comtab/commandTable.h"

void initCommandTable() {}
