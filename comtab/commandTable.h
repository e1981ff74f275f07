// The asynchronous command table.
#pragma once

// Fills the command table; last step of the unit's service start.
void initCommandTable();
