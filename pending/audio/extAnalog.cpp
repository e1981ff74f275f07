// Stand-ins for the external analog system set-up: without the external
// system both steps do nothing.
#include "audio/extAnalog.h"

void ExtAnalog_SetFrequency(uint32_t)
{
}

void ExtAnalog_SetLevel(uint8_t, int8_t, uint8_t)
{
}
