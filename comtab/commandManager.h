// Command manager: asynchronous commands requested by number.
#pragma once

#include <cstdint>

// 0 when the request is taken, 9 when it is refused.
int CMD_Request(int n, uint32_t param);
