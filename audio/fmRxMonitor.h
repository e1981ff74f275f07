// FM receiver monitor.
#pragma once

// 750 ms measurement step of the FM receiver.
void fmRx_MeasurePollig();
