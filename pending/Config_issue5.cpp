// Stand-ins for system image accessors until the configuration engine has them.
#include "Config/pendingAccessors.h"

#include "comtab/dbPool.h"

namespace {

struct ImageStandIn {
    uint32_t i2cErrorCount = 0;
    uint8_t i2cFaultFlag = 0;
    uint32_t hpaModelCode = 0;
};

ImageStandIn& st()
{
    static ImageStandIn s;
    return s;
}

void publish(int section, int item, uint32_t value)
{
    if (uint32_t* cell = getDbAreaCell(section, item))
        *cell = value;
}

} // namespace

void setI2cErrorCount(uint32_t value)
{
    if (st().i2cErrorCount == value)
        return;
    st().i2cErrorCount = value;
    publish(13, 41, value);
}

uint32_t getI2cErrorCount()
{
    return st().i2cErrorCount;
}

void setI2cFaultFlag(uint8_t value)
{
    if (st().i2cFaultFlag == value)
        return;
    st().i2cFaultFlag = value;
    publish(13, 42, value);
}

uint8_t getI2cFaultFlag()
{
    return st().i2cFaultFlag;
}

void setHpaModelCode(uint32_t value)
{
    value &= 0xFF;
    if (st().hpaModelCode == value)
        return;
    st().hpaModelCode = value;
    publish(17, 23, value);
}

uint32_t getHpaModelCode()
{
    return st().hpaModelCode;
}
