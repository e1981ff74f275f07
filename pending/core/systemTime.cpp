// Stand-in for the NTP step: the clock is never re-synchronised.
#include "core/systemTime.h"

void ntpThreadStep() {}

// The DNS and NTP files are not written yet.
void writeDnsNtpFiles() {}
