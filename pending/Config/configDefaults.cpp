// Stand-in for the system-image defaults: no default is set; only the effect
// later start-up steps rely on happens, the log gate opens.
#include "Config/configDefaults.h"

#include "core/base/logs.h"

void runInitSystemImage()
{
    logEnabled = 1;
}
