// Stand-in for the RDS data set: there is no element store to zero yet.
#include "audio/rdsDataSet.h"

void clearRdsDataSet() {}
