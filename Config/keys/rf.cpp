// Hooks of the RF region.
#include "Config/keys/rfKeys.h"

#include "comtab/dbPool.h"

void publishPowerTableWord(uint32_t index, uint32_t value, uint32_t)
{
    switch (index) {
    case 9: setDbAreaCell(10, 1, value); break;
    case 7: setDbAreaCell(10, 2, value); break;
    case 10: setDbAreaCell(10, 6, value); break;
    case 8: setDbAreaCell(10, 11, value); break;
    default: break;
    }
}
