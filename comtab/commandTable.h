// The asynchronous command table.
#pragma once

// Fills the command table; last step of the unit's service start.
void initCommandTable();
// Second half of the "Ltx Thread" body, every 10 ms: runs the handler of
// every requested or running command.
void commandTableTick();
