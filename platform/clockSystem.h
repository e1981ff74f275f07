// The two clock operations that differ between the board and the host
// simulation (platform/board/clockBoard.cpp, platform/host/clockHost.cpp).
// Only platform/clock.cpp calls them.
#pragma once

#include <ctime>

int systemSetWallClock(time_t seconds);
void systemZoneChanged();
