// Stand-ins for the unit region's operations whose behaviour is not built
// yet: the vendor id setter without the web branding, the export of the
// unit record limited to what saveConfig needs, and the UART override word.
#include "Config/keys/unit.h"

#include "Config/StrutturaDati.h"
#include "Config/keyTable.h"
#include "Config/keys/unitKeys.h"

#include <cstdio>
#include <cstring>

// Stores a changed word, publishes and marks.
void setVendorId(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(VendorId);
    if (cfgStore(row, 0, v) != 1)
        return;
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_VendorId(uint32_t, uint32_t v)
{
    setVendorId(v);
}

// Copies the serial number and the active addresses from the image into the
// record.
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

// Stand-in for the UART override word: says on the standard output what it
// was given.
void setUartOverride(uint32_t v)
{
    printf("standin setUartOverride(%u)\n", v);
}
