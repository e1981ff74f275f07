// Stand-in for the NTP step: the clock is never re-synchronised.
#include "core/systemTime.h"

void ntpThreadStep() {}
