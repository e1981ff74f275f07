#include "core/startup.h"
std::atomic<uint8_t> globalMute{0};
int corvaneMain(int, char**) { return 0; }
