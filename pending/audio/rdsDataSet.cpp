// Stand-in for the RDS encoder reset: the encoder keeps no state yet.
#include "audio/rdsDataSet.h"

void resetRdsEncoderData(uint8_t) {}
