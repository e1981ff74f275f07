// Stand-in for the expander drivers: one register read or write on bus 1
// through the generic byte transfers, without the drivers' log lines.
#include "hw/ioExpander.h"

#include "hw/i2cBus.h"

int ioExpRead(uint8_t* value, uint8_t reg, uint8_t address)
{
    return I2C_ReadByte(value, reg, 1, address) < 0 ? -1 : 0;
}

int pca9655Read(uint8_t* value, uint8_t reg, uint8_t address)
{
    return ioExpRead(value, reg, address);
}

int ioExpWrite(uint8_t value, uint8_t reg, uint8_t address)
{
    return I2C_WriteByte(&value, reg, 1, address) < 0 ? -1 : 0;
}
