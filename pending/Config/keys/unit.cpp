// Stand-in for the export of the unit record: copies the serial number and
// the active addresses from the image into the record, as saveConfig needs.
#include "Config/keys/unit.h"

#include "Config/StrutturaDati.h"

#include <cstring>

int exportUnitRecord(uint8_t* record, int type)
{
    if (type != 1)
        return -1;
    const NetworkRegion& net = getSystemImage()->net;
    memcpy(record + 14, getUnitInfo() + 14, 12);
    memcpy(record + 8, net.frontMacActive, 6);
    memcpy(record + 71, net.rearMacActive, 6);
    memcpy(record + 98, net.port0AddrActive, 6);
    memcpy(record + 104, net.port1AddrActive, 6);
    return 0;
}
