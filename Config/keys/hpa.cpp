// Hooks of the amplifier region.
#include "Config/keys/hpaKeys.h"

void convFactorFromModel(uint32_t, uint32_t value, uint32_t)
{
    switch (value) {
    case 3: setHpaDrvCurrConvFactor(660); break;
    case 4: setHpaDrvCurrConvFactor(3230); break;
    case 5: setHpaDrvCurrConvFactor(250); break;
    default: break;
    }
}
