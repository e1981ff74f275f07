// Stand-in for the serial channels: no channel is opened or closed; each
// call says on the standard output that it ran.
#include "links/serialChannels.h"

#include <cstdio>

void COM_ReopenSerialChannel(int ch)
{
    printf("standin COM_ReopenSerialChannel(%d)\n", ch);
}

void COM_CloseSerialChannels(int ch)
{
    printf("standin COM_CloseSerialChannels(%d)\n", ch);
}
