// Stand-ins for the RDS data set: the encoder keeps no state and there is
// no element store to zero yet.
#include "audio/rdsDataSet.h"

void resetRdsEncoderData(uint8_t) {}

void clearRdsDataSet() {}
