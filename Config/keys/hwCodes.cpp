// The hardware-codes region: FM receiver status record and web log-on.
#include "Config/keys/hwCodesKeys.h"

#include "Config/keyTable.h"
#include "core/base/logs.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>

void setFmRxStatus(const uint8_t* record)
{
    if (!record) {
        printf("ERROR in setFmRxStatus: input is NULL \n");
        fflush(stdout);
        return;
    }
    memcpy(getSystemImage()->hw.fmRxStatus, record, FM_RX_STATUS_BYTES);
    cfgPublish(KEYROW(FmRxStatus), 0);
}

void clearFmRxStatus()
{
    memset(getSystemImage()->hw.fmRxStatus, 0, FM_RX_STATUS_BYTES);
    cfgPublish(KEYROW(FmRxStatus), 0);
}

uint8_t* getFmRxStatus()
{
    return getSystemImage()->hw.fmRxStatus;
}

void clearFmRxCounter()
{
    cfgStore(KEYROW(FmRxCounter), 0, 0);
}

uint16_t getFmRxCounter()
{
    return static_cast<uint16_t>(cfgGetElement(KEYROW(FmRxCounter), 0));
}

void logWebUserLogonFrom(uint32_t addr)
{
    const CfgKeyDesc* row = KEYROW(WebLogonAddr);
    if (addr == cfgGetElement(row, 0))
        return;
    if (addr != 0xffffffffu) {
        char text[INET_ADDRSTRLEN] = {};
        struct in_addr a;
        a.s_addr = addr;
        inet_ntop(AF_INET, &a, text, sizeof text);
        logInfo("www user logon from %s", text);
        cfgStore(row, 0, 0xffffffffu);
    }
    cfgPublish(row, 0);
}

void logWebUserLogon(uint32_t slot, uint32_t word)
{
    // Four words hold the name: a fifth would lie beyond them.
    if (slot > 3)
        return;
    const CfgKeyDesc* row = KEYROW(WebUserName);
    cfgStore(row, slot, word);
    for (uint8_t k = 0; k < 4; k++)
        cfgPublish(row, k);
    if (slot != 3)
        return;
    char name[17] = {};
    for (uint32_t k = 0; k < 4; k++) {
        uint32_t w = cfgGetElement(row, k);
        for (uint32_t b = 0; b < 4; b++)
            name[4 * k + b] = static_cast<char>(w >> (24 - 8 * b));
    }
    logInfo("www user %s logon", name);
}

uint32_t getWebLogonAddr()
{
    return cfgGetElement(KEYROW(WebLogonAddr), 0);
}
