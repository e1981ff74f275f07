// Unit start-up pieces: the identity record from the board EEPROM into
// UnitInfo and the image with the hardware and firmware banner, the bring-up
// of the FPGA, the board devices and the amplifier, the settings derived from
// the detected hardware, and the services started after the configuration
// load.
#include "core/unitStartup.h"

#include "Config/StrutturaDati.h"
#include "Config/configDefaults.h"
#include "Config/keyTable.h"
#include "Config/keys/audio.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/system.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpf.h"
#include "Config/keys/unit.h"
#include "Config/keys/unitKeys.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "audio/fmRxMonitor.h"
#include "audio/mpxOverIp.h"
#include "audio/secondCore.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "core/files.h"
#include "hw/adt7470.h"
#include "hw/eeprom.h"
#include "hw/extPll.h"
#include "hw/fpgaMaintenance.h"
#include "hw/fpgaWindows.h"
#include "hw/ioExpanders.h"
#include "hw/mdio.h"
#include "hw/rfDac.h"
#include "hw/rfSynth.h"
#include "hw/smallDevices.h"
#include "persist/bootBank.h"
#include "power/hpaDetect.h"
#include "core/storage.h"

#include <cstring>

namespace {

// The variant byte every unit of this kind carries.
constexpr uint8_t kUnitVariant = 11;
constexpr uint32_t kFunctionalTypeRepeater = 10;
// Select_Write bits cleared at every start.
constexpr uint32_t kSelectWriteClearedAtStart = 0x400000;
// The tuner of the FM receiver, as the start-up detection is given it.
constexpr int kFmRxDetectVerbose = 1;
constexpr int kFmRxDetectPowerDown = 0;

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

void initUnitHardware()
{
    if (cfgStore(KEYROW(UnitVariant), 0, kUnitVariant) == 1)
        cfgMark(KEYROW(UnitVariant));
    resetUnitState();
    checkBootBank();
    initAxi();
    printSystemInformation();
    static const HpaI2cClientServices kI2cClients = {removeI2cDriver, insertI2cDriver};
    registerHpaI2cClientServices(&kI2cClients);
    registerHpaFileCopy(copyFile);
    detectHpaSystem();
    detectTunableBpfOption();
    initIoExpanders();
    switch (getPsuTypeCode()) {
    case 0:
        initHpa();
        break;
    case 1:
        initHpaCompact();
        break;
    case 2:
        initHpaWideband();
        break;
    default:
        break; // no amplifier of a known family
    }
    initRfSynth();
    InitQM();
    Fpga_SendConfig();
    Fpga_PrintVersion();
    logInfo("Mute On");
    Fpga_PulseControlB();
    Fpga_PulseAudioPllReset();
    if (Fpga_WaitAudioPllLock(1) != 0)
        logErr("Lock Pll Audio FAILURE");
    else
        logInfo("Lock Pll Audio OK");
    Fpga_ResetAudioDac();
    setRtcSqwFreq();
    detectExtPll();
    resetHpaAndWait();
    fmRx_DetectSystem(kFmRxDetectVerbose, kFmRxDetectPowerDown);
    GBE_InitParams();
    // From here on setters may touch the hardware, before the configuration
    // is loaded; the I2C error total counted during the bring-up is cleared
    // by the next fault supervision.
    setHwReady(1);
    setI2cFaultFlag(1);
}

void initUnitSettings()
{
    reapplyLevelOnFlag();
    uint32_t hps = getHpsCode();
    setDefaultVoltageAPCQuiet(hps == 1 ? 1100 : (hps == 3 ? 1500 : 700));
    initMaxVoltageAPC();
    LogicaTx_PublishFskTxId();
}

void startUnitServices()
{
    adt7470Configure();
    if (getFunctionalType() != kFunctionalTypeRepeater)
        fmRx_PowerDown();
    AMP_StartBareMetal(1);
    AMP_PulseFpgaReset();
    if (hasSelectWriteBits(kSelectWriteClearedAtStart))
        setSelectWriteBits(kSelectWriteClearedAtStart, 0);
}

void closeUnitHardware()
{
    if (closeFlexBusMemoryMap() != 0)
        logErr("Flexbus Close Failure");
    else
        logDebug("Flexbus Close OK");
}

void checkUnitVersions()
{
    checkVersionsAlarm();
}
