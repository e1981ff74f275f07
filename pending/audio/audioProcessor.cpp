// Stand-in for the audio-processor meters: nothing is read.
#include "audio/audioProcessor.h"

void AP_ReadMeters() {}
