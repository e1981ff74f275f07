// Unit start-up pieces: the identity record from the board EEPROM into
// UnitInfo and the image, and the hardware and firmware banner.
#include "core/unitStartup.h"

#include "Config/StrutturaDati.h"
#include "Config/configDefaults.h"
#include "Config/keyTable.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "core/files.h"
#include "hw/eeprom.h"

#include <cstring>

namespace {

// Cells of the five firmware words, in the order of the version words.
const uint8_t kFwWordItems[5] = {8, 9, 4, 5, 6};

void logMac(const char* fmt, const uint8_t* m)
{
    logInfo(fmt, m[0], m[1], m[2], m[3], m[4], m[5]);
}

} // namespace

int logUnitInformation()
{
    if (readFwVersionFiles() != 0) {
        logInfo("FAILED to load System FW information from text file.");
        return -1;
    }
    const UnitRegion& u = getSystemImage()->unit;
    for (int k = 0; k < 5; k++)
        setDbAreaCell(1, kFwWordItems[k], u.versionWord[k]);
    // The version words: version, release, build, part number, revision.
    uint32_t version = u.versionWord[0], release = u.versionWord[1], build = u.versionWord[2];
    uint32_t partNumber = u.versionWord[3], revision = u.versionWord[4];
    const uint8_t* info = getUnitInfo();
    char serial[UNIT_INFO_SERIAL_BYTES + 1] = {};
    memcpy(serial, info + UNIT_INFO_SERIAL_OFFSET, UNIT_INFO_SERIAL_BYTES);

    logInfo("****************************************");
    logInfo("***  VRL FM Hardware infos \t\t***");
    logInfo("***  VRL FM Serial Number %s ***", serial);
    logMac("***  VRL FM MAC FRONT %x:%x:%x:%x:%x:%x \t***", info + UNIT_INFO_MAC_FRONT_OFFSET);
    logMac("***  VRL FM MAC REAR %x:%x:%x:%x:%x:%x ***", info + UNIT_INFO_MAC_REAR_OFFSET);
    logMac("***  VRL FM MAC GBE_A %x:%x:%x:%x:%x:%x \t***", info + UNIT_INFO_MAC_GBE_A_OFFSET);
    logInfo("****************************************");
    logInfo("***  VRL FM Software infos \t\t***");
    logInfo("***  FW%u-%.2u_%.2u.%.2u.%.2u (Bank %d)***", partNumber, revision, release, version, build,
            static_cast<int>(info[0]));
    logInfo("***  SW v. %.2u.%.2u.%.2u ***", version, release, build);
    logInfo("***  VRL FM System Starting \t\t***");
    logInfo("****************************************");
    eventLogOnly(LVL_INFO, "TX Boot-Up");
    eventLogOnly(LVL_INFO, "*** FW%u-%.2u_%.2u.%.2u.%.2u ***", partNumber, revision, release, version, build);
    return 0;
}

int loadUnitInfo()
{
    runInitSystemImage();
    uint8_t buf[UNIT_INFO_BYTES];
    int r = EepromHeaderRead(buf);
    if (r == -1)
        return -1; // bus error: the default identity stays, no banner
    memcpy(getUnitInfo(), buf, UNIT_INFO_BYTES);
    if (r == -2) {
        // The bytes read are kept; the header is repaired on the EEPROM.
        EepromHeaderUpdate();
    } else {
        for (uint32_t k = 0; k < 3; k++)
            setSerialNumberWord(k, getU32BE(buf + UNIT_INFO_SERIAL_OFFSET + 4 * k));
        dbUpdateSerialNumber();
    }
    importUnitRecord(buf, 1);
    // The unit flag lies in the record just copied: published again.
    cfgPublish(KEYROW(UnitFlag), 0);
    return logUnitInformation();
}
