// Stand-in for the RDS loop: no group is composed or sent.
#include "audio/rdsSequencer.h"

void RDS_Mng() {}
