// Stand-in for the firmware upgrade manager: no upgrade is ever run.
#include "persist/upgradeManager.h"

void upgradeRun() {}
