// FM receiver monitor.
#pragma once

// 750 ms measurement step of the FM receiver.
void fmRx_MeasurePollig();
// Alarm scan step: sets the FM receiver alarms 160 to 166 from its status.
void fmRx_UpdateAlarms();
