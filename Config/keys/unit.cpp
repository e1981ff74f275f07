// The unit region: unit state, serial number, vendor id and web branding,
// the unit's addresses and the identity record, the network operations, and
// the migration of a stored configuration to the current data format
// ("VrlDataFormat"): one step per format.
#include "Config/keys/unitKeys.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/utils.h"
#include "hw/eeprom.h"
#include "hw/ethSwitchConfig.h"
#include "links/ethernetSettings.h"
#include "power/powerSettings.h"

#include <atomic>
#include <cstring>

namespace {

struct UnitKeysState {
    std::atomic<const UnitServices*> services{nullptr};
};

UnitKeysState& st()
{
    static UnitKeysState s;
    return s;
}

constexpr int kSerialAt = 14;
constexpr int kSerialBytes = 12;
constexpr int kFrontMacAt = 8;
constexpr int kRearMacAt = 71;
constexpr int kPort0At = 98;
constexpr int kPort1At = 104;

NetworkRegion& net()
{
    return getSystemImage()->net;
}

uint8_t* portActive(uint32_t side)
{
    return side == 0 ? net().port0AddrActive : net().port1AddrActive;
}

uint8_t* portReceived(uint32_t side)
{
    return side == 0 ? net().port0AddrReceived : net().port1AddrReceived;
}

// The web pages' brand files: the link, and its target for vendor 1, vendor
// 3 and any other vendor, in the link's own directory.
struct BrandLink {
    const char* link;
    const char* target[3];
};

const BrandLink kBrandLinks[] = {
    {"/usr/local/www/Style/style.css", {"style_brelka.css", "style_zel.css", "style_tarn.css"}},
    {"/usr/local/www/Style/title.css", {"title_brelka.css", "title_zel.css", "title_tarn.css"}},
    {"/usr/local/www/Style/main.css", {"main_brelka.css", "main_zel.css", "main_tarn.css"}},
    {"/usr/local/www/Style/tabs.css", {"tabs_brelka.css", "tabs_zel.css", "tabs_tarn.css"}},
    {"/usr/local/www/Snmp/mib.zip", {"BrelkaMib.zip", "ZELMib.zip", "TarnMib.zip"}},
};

} // namespace

void registerUnitServices(const UnitServices* services)
{
    st().services.store(services);
}

void resetUnitState()
{
    setUnitStateByte(2);
    setModeWord(4);
    for (uint32_t k = 0; k < 3; k++)
        setUnitWord(k, 0);
    dbUpdateUnitStateByte();
    dbUpdateModeWord();
    for (uint8_t k = 0; k < 3; k++)
        dbUpdateUnitWord(k);
}

void setUartOverride(uint32_t v)
{
    cfgStore(KEYROW(UartOverride), 0, v);
    setUart1ConnSel(v != 0 ? 0 : getUart1ConnSel());
}

uint32_t getUartOverride()
{
    return cfgGetElement(KEYROW(UartOverride), 0);
}

uint8_t* getSerialNumber(uint8_t* buffer)
{
    uint8_t* serial = getUnitInfo() + kSerialAt;
    if (buffer)
        memcpy(buffer, serial, kSerialBytes);
    return serial;
}

void setSerialNumber(const uint8_t* bytes)
{
    memcpy(getUnitInfo() + kSerialAt, bytes, kSerialBytes);
    dbUpdateSerialNumber();
}

void dbUpdateSerialNumber()
{
    cfgPublish(KEYROW(SerialNumber), 0);
}

int setSerialNumberFromSlots()
{
    uint8_t bytes[kSerialBytes];
    for (uint32_t k = 0; k < 3; k++)
        putU32BE(getSerialNumberWord(k), bytes + 4 * k);
    setSerialNumber(bytes);
    return EepromHeaderSave(nullptr, 1);
}

void setUnitFlag(uint32_t v)
{
    if (cfgStore(KEYROW(UnitFlag), 0, v) != 1)
        return;
    cfgPublish(KEYROW(UnitFlag), 0);
    EepromHeaderSave(nullptr, 1);
}

uint8_t getUnitFlag()
{
    return static_cast<uint8_t>(cfgGetElement(KEYROW(UnitFlag), 0));
}

int isValidUnitFlag(uint32_t v)
{
    return cfgIsValidRow(KEYROW(UnitFlag), v);
}

void setVendorId(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(VendorId);
    if (cfgStore(row, 0, v) != 1)
        return;
    applyWebBranding();
    applyVendorHpaLimit();
    cfgPublish(row, 0);
    const UnitServices* s = st().services.load();
    if (s && s->killSnmpd)
        s->killSnmpd();
    cfgMark(row);
}

void cfgHandSet_VendorId(uint32_t, uint32_t v)
{
    setVendorId(v);
}

void applyWebBranding()
{
    const UnitServices* s = st().services.load();
    if (!s || !s->runProgram)
        return;
    uint8_t vendor = getVendorId();
    int brand = vendor == 1 ? 0 : vendor == 3 ? 1 : 2;
    for (const BrandLink& b : kBrandLinks) {
        // The target is named in the link's own directory.
        char target[96];
        size_t dirLen = static_cast<size_t>(strrchr(b.link, '/') - b.link + 1);
        snprintf(target, sizeof target, "%.*s%s", static_cast<int>(dirLen), b.link, b.target[brand]);
        if (s->removeFile)
            s->removeFile(b.link);
        const char* const argv[] = {"ln", "-sf", target, b.link, nullptr};
        // A failed link leaves the page with what it had; the next link is
        // still made.
        s->runProgram("/bin/ln", argv);
    }
}

void applyVendorHpaLimit()
{
    if (getVendorId() == 1 && getHpaModelCode() == 22)
        setHpaFreqLimit(672);
}

void setFrontMacReceivedHead(const uint8_t* bytes4)
{
    memcpy(net().frontMacReceived, bytes4, 4);
}

void setFrontMacReceivedTail(const uint8_t* bytes2)
{
    memcpy(net().frontMacReceived + 4, bytes2, 2);
}

void setRearMacReceivedHead(const uint8_t* bytes4)
{
    memcpy(net().rearMacReceived, bytes4, 4);
}

void setRearMacReceivedTail(const uint8_t* bytes2)
{
    memcpy(net().rearMacReceived + 4, bytes2, 2);
}

void setMacAddressHead(uint32_t side, const uint8_t* bytes4)
{
    memcpy(portReceived(side), bytes4, 4);
}

void setMacAddressTail(uint32_t side, const uint8_t* bytes2)
{
    memcpy(portReceived(side) + 4, bytes2, 2);
}

void getPortAddrActive(uint32_t side, uint8_t* out)
{
    memcpy(out, portActive(side), 6);
}

void getGbeActiveMac(uint32_t side, uint32_t* head, uint16_t* tail)
{
    const uint8_t* m = portActive(side);
    *head = getU32BE(m);
    *tail = static_cast<uint16_t>((m[4] << 8) | m[5]);
}

void commitMacAddresses()
{
    memcpy(net().frontMacActive, net().frontMacReceived, 6);
    memcpy(net().rearMacActive, net().rearMacReceived, 6);
    memcpy(getUnitInfo() + kFrontMacAt, net().frontMacActive, 6);
    memcpy(getUnitInfo() + kRearMacAt, net().rearMacActive, 6);
    dbUpdateFrontMacActive();
    dbUpdateRearMacActive();
    EepromHeaderUpdate();
    markConfigChanged(CONFIG_GROUP_FACTORY);
}

void commitPortAddresses()
{
    memcpy(net().port0AddrActive, net().port0AddrReceived, 6);
    memcpy(net().port1AddrActive, net().port1AddrReceived, 6);
    memcpy(getUnitInfo() + kPort0At, net().port0AddrActive, 6);
    memcpy(getUnitInfo() + kPort1At, net().port1AddrActive, 6);
    // The publisher serves either side with the record's port address.
    dbUpdateNetworkPortAddress();
    dbUpdateNetworkPortAddress();
    EepromHeaderUpdate();
    markConfigChanged(CONFIG_GROUP_FACTORY);
}

int importUnitRecord(const uint8_t* record, int type)
{
    if (type != 1 || !record)
        return -1;
    setFrontMacReceivedHead(record + kFrontMacAt);
    setFrontMacReceivedTail(record + kFrontMacAt + 4);
    setRearMacReceivedHead(record + kRearMacAt);
    setRearMacReceivedTail(record + kRearMacAt + 4);
    setMacAddressHead(0, record + kPort0At);
    setMacAddressTail(0, record + kPort0At + 4);
    setMacAddressHead(1, record + kPort1At);
    setMacAddressTail(1, record + kPort1At + 4);
    commitMacAddresses();
    commitPortAddresses();
    return 0;
}

int exportUnitRecord(uint8_t* record, int type)
{
    if (type != 1 || !record)
        return -1;
    memcpy(record + kSerialAt, getUnitInfo() + kSerialAt, kSerialBytes);
    memcpy(record + kFrontMacAt, net().frontMacActive, 6);
    memcpy(record + kRearMacAt, net().rearMacActive, 6);
    memcpy(record + kPort0At, net().port0AddrActive, 6);
    memcpy(record + kPort1At, net().port1AddrActive, 6);
    return 0;
}

int applyNetworkSettingsRecord(const NetworkSettingsRecord* record)
{
    if (!record)
        return -1;
    setFrontEthernetIPAddress(record->frontAddress);
    setFrontEthernetIPGateway(record->frontGateway);
    setRearEthernetIPAddress(record->rearAddress);
    setRearEthernetIPGateway(record->rearGateway);
    setPortWord(0, record->portWord[0]);
    setPortWord(1, record->portWord[1]);
    setFrontEthernetIPNetmask(record->frontNetmask);
    setRearEthernetIPNetmask(record->rearNetmask);
    setMpxDigDebugMsgEna(record->mpxDigDebugMsgEna);
    setWebsRefreshTime(record->websRefreshTime);
    setWebTimerErrorTimeout(record->webTimerErrorTimeout);
    ETHM_ApplyPendingCfgEth0();
    int eth1 = ETHM_ApplyPendingCfgEth1();
    setTimeSyncCapable(record->timeSyncCapable);
    return eth1 != 0 ? -1 : 0;
}

int exportNetworkSettingsRecord(NetworkSettingsRecord* record)
{
    if (!record)
        return -1;
    if (!(getConfigChanged() & CONFIG_GROUP_NETWORK))
        return 0;
    *record = {};
    record->frontAddress = getFrontEthernetIPAddress();
    record->frontGateway = getFrontEthernetIPGateway();
    record->rearAddress = getRearEthernetIPAddress();
    record->rearGateway = getRearEthernetIPGateway();
    record->portWord[0] = getPortWord(0);
    record->portWord[1] = getPortWord(1);
    record->frontNetmask = getFrontEthernetIPNetmask();
    record->rearNetmask = getRearEthernetIPNetmask();
    record->mpxDigDebugMsgEna = getMpxDigDebugMsgEna();
    record->websRefreshTime = getWebsRefreshTime();
    record->webTimerErrorTimeout = getWebTimerErrorTimeout();
    record->timeSyncCapable = getTimeSyncCapable();
    return 0;
}

// The switch gives each GbE side a VLAN rule of its own, so side B's VLAN id
// goes last; with side A's twice, side B's port would lose its VLAN.
int applyEthernetSwitchConfig(uint32_t force)
{
    uint32_t mode = force ? getEthernetSwitchConfigReq() : getEthernetSwitchConfig();
    return setStandardConfiguration(force & 255u, getModeWord(), mode, getCpuVlanId(), getGbeAVlanId(),
                                    getGbeBVlanId());
}

void networkSettingsHook(uint32_t) {}

uint32_t swapWordBytes(uint32_t v)
{
    return ((v & 0xffu) << 24) | ((v & 0xff00u) << 8) | ((v >> 8) & 0xff00u) | (v >> 24);
}

void runDataFormatStep(uint32_t step)
{
    switch (step) {
    case 0: setPwrDeratingEnable(1); break;
    case 1:
        if (getVendorId() == 1)
            setSelectWriteBits(0x20000, 1);
        break;
    case 2:
        if (getPsuTypeCode() == 1)
            setSelectWriteBits(0x80000, 1);
        setLastValidVdac(0);
        setLastValidHpsVout(0);
        break;
    case 3:
        if (getVendorId() == 1 && getPsuTypeCode() == 1) {
            setSelectWriteBits(0x80000, 1);
            setSWRFoldback(1);
        }
        break;
    case 4:
        if (!hasSelectWriteBits(0x80000))
            setSelectWriteBits(0x100000, 1);
        break;
    case 5: {
        int16_t nominal = static_cast<int16_t>(getHpaNomDrvPow());
        if (getPsuTypeCode() == 2 && nominal > 534 && nominal < 551 && !hasSelectWriteBits(0x800000))
            setSelectWriteBits(0x800000, 1);
        break;
    }
    case 6: setLevelMpx2Offset_dBu(static_cast<uint32_t>(getLevelMpxOffset_dBu())); break;
    case 7: setMpxDigMaxDeltaClock(50); break;
    default: break;
    }
}
