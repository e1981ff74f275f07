// Host simulation start-up: the sandbox and its simulated board come up
// before the program touches any path or device.
#include "platform/init.h"

#include "platform/clockSystem.h"
#include "sim/board.h"

void platformInit()
{
    simBoardInit();
    // Local time follows the sandbox's zone link.
    systemZoneChanged();
}
