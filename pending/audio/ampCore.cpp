// Stand-in for the audio-core reset: no pulse is sent.
#include "audio/ampCore.h"

void AMP_PulseFpgaReset() {}
