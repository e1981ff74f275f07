// Stand-in for the telecommand poll and amplifier lockout: nothing is polled.
#include "power/ampLockout.h"

void pollTlcTask() {}
