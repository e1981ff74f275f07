// Stand-in for the FM receiver monitor: nothing is measured and no receiver
// alarm is raised.
#include "audio/fmRxMonitor.h"

void fmRx_MeasurePollig() {}

void fmRx_UpdateAlarms() {}
