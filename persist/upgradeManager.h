// Firmware upgrade manager.
#pragma once

// Body of "Upgrade Thread" (250 ms): runs the firmware upgrade when its
// command is requested.
void upgradeRun();
