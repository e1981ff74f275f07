// The system image and the unit identity record behind it.
#include "Config/StrutturaDati.h"

namespace {

struct ImageState {
    SystemImage image;
    uint8_t unitInfo[UNIT_INFO_BYTES];
    uint8_t unitInfoBuffer[UNIT_INFO_BYTES];
};

ImageState& st()
{
    static ImageState s;
    return s;
}

} // namespace

SystemImage* getSystemImage()
{
    return &st().image;
}

uint8_t* getUnitInfo()
{
    return st().unitInfo;
}

uint8_t* getUnitInfoBuffer()
{
    return st().unitInfoBuffer;
}
