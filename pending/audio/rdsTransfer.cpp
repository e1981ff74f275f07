// Stand-in for the RDS block transfer: there is no FIFO to empty yet.
#include "audio/rdsTransfer.h"

void initRdsFifo() {}
