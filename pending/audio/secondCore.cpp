// Stand-in for the second-core start and the audio-core reset: no module is
// loaded and no bit is pulsed.
#include "audio/secondCore.h"

void AMP_StartBareMetal(uint32_t) {}

int AMP_PulseFpgaReset()
{
    return 0;
}
