// Communication tables: routing of element and block writes, the reserve
// configuration mismatch of an N+1 reserve, and the check of its directories.
#include "comtab/comtab.h"

#include "Config/keys/alarmsKeys.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandHandlers.h"
#include "comtab/writeHandlers.h"
#include "platform/paths.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr int32_t kFirstTable = 3;
constexpr int32_t kLastTable = 62;
// Tables up to this one number their elements in 16 bits.
constexpr int32_t kLastShortTable = 46;
constexpr uint8_t kAlarmConkDir = 44;

enum Route : uint8_t { ROUTE_NONE, ROUTE_KEYS, ROUTE_COMMANDS };

Route routeOf(int32_t table)
{
    switch (table) {
    case 7: case 15: case 16: case 17: case 18: case 43: case 44: case 49: case 50:
        return ROUTE_COMMANDS;
    case 3: case 5: case 9: case 11: case 13: case 14: case 19:
    case 20: case 21: case 22: case 23: case 24: case 25: case 26: case 27:
    case 31: case 37: case 46: case 51: case 53: case 54: case 55: case 56: case 57: case 58:
    case 59: case 60: case 61: case 62:
        return ROUTE_KEYS;
    default:
        return ROUTE_NONE;
    }
}

// Writes that do not change the configuration a reserve keeps: commands,
// time, the key acknowledgement and logon reports, the reserve save and load.
bool keepsReserveMatch(int32_t table, uint32_t element)
{
    switch (table) {
    case 7: case 18: case 49: case 50: return true;
    case 43: return (element >= 1 && element <= 8) || element == 13 || element == 14;
    case 15: return element == 5 || element == 7;
    case 13: return element == 19 || (element >= 44 && element <= 48);
    case 5: return element == 16;
    default: return false;
    }
}

} // namespace

uint32_t COMTAB_WriteElement(int32_t table, uint32_t element, uint32_t value)
{
    if (table < kFirstTable || table > kLastTable)
        return COMTAB_NO_ELEMENT;
    // The short tables must not wrap: element 65,537 is no element 1.
    if (table <= kLastShortTable && element > 0xffffu)
        return COMTAB_NO_ELEMENT;
    uint32_t r;
    switch (routeOf(table)) {
    case ROUTE_KEYS: r = writeTableElement(table, element, value); break;
    case ROUTE_COMMANDS: r = writeCommandTableElement(table, element, value); break;
    default: return COMTAB_NO_ELEMENT;
    }
    if (r != COMTAB_OK)
        return r;
    if (getNplus1Mode() != 1)
        return COMTAB_OK;
    if (!keepsReserveMatch(table, element))
        LogicaTx_SetReserveConfigMismatch(1);
    return COMTAB_OK;
}

uint32_t COMTAB_WriteBlock(int32_t table, uint32_t element, const uint8_t* data, uint32_t length)
{
    if (table < 21)
        return COMTAB_NO_ELEMENT;
    if (table <= 27) {
        if (length > 16)
            return COMTAB_OK;
        writeRdsSequenceBlock(table, element, data, length);
        return COMTAB_OK;
    }
    if (table == 47) {
        if (length != 8 || !data)
            return COMTAB_OK;
        uint32_t w[2];
        for (int k = 0; k < 2; k++)
            w[k] = data[4 * k] | (data[4 * k + 1] << 8) | (data[4 * k + 2] << 16) |
                   (static_cast<uint32_t>(data[4 * k + 3]) << 24);
        return writeFmRxAlarmBlock(element, w[0], w[1]);
    }
    return COMTAB_NO_ELEMENT;
}

uint32_t COMTAB_RefuseRead(int32_t, uint32_t, uint32_t*)
{
    return COMTAB_READ_REFUSED;
}

uint32_t COMTAB_RefuseReadTable(int32_t, uint8_t*, uint32_t)
{
    return COMTAB_READ_REFUSED;
}

void checkConkDirs()
{
    if (getNplus1Mode() == 1) {
        uint32_t mains = getNplus1MainsNumber();
        for (uint32_t n = 1; n <= mains; n++) {
            char path[64];
            snprintf(path, sizeof path, "/mnt/ubi0/conf/conk/rsv_cfg_%u/", n);
            struct stat sb;
            if (stat(sysPath(path).c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode)) {
                setAlarmInput(kAlarmConkDir, 1);
                return;
            }
        }
    }
    setAlarmInput(kAlarmConkDir, 0);
}
