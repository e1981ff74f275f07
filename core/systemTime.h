// System time, time zone and NTP.
#pragma once

// Body of "NTP Thread" (every second).
void ntpThreadStep();
