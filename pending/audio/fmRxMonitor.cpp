// Stand-in for the FM receiver monitor: nothing is measured.
#include "audio/fmRxMonitor.h"

void fmRx_MeasurePollig() {}
