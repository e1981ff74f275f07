// Stand-in for the GSM modem: the thread body does nothing.
#include "timing/gsmModem.h"

void GSM_ThreadStep() {}
