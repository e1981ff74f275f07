// Stand-in for the RDS loop: no group is composed or sent. The encoder
// calls of the configuration only say on the standard output that they ran.
#include "audio/rdsSequencer.h"

#include <cstdio>

void RDS_Mng() {}

void loadRdsGroupSequence(int n)
{
    printf("standin loadRdsGroupSequence(%d)\n", n);
}

void resetRdsEncoderData(int ask)
{
    printf("standin resetRdsEncoderData(%d)\n", ask);
}

void setRdsMecChanged(int code, int flag)
{
    printf("standin setRdsMecChanged(%d, %d)\n", code, flag);
}
