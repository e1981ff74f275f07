// The command manager.
#pragma once

#include <cstdint>

// Asks for asynchronous command n with a parameter: 0 taken, 9 refused.
int CMD_Request(int n, uint32_t param);
