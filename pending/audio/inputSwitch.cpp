// Stand-in for the audio input switching: the inputs are never switched.
#include "audio/inputSwitch.h"

void InputSwitchTick() {}
