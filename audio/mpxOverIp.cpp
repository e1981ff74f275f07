// MPX-over-IP parameters: the GbE block's parameter objects (DbPool section
// 37), their hooks on the block's registers, the receive-address and
// destination-MAC choices and the status poll.
#include "audio/mpxOverIp.h"

#include "Config/StrutturaDati.h"
#include "Config/alarmIds.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/mpxIpKeys.h"
#include "hw/eeprom.h"
#include "hw/fpgaGbe.h"

#include <cstring>

namespace {

constexpr uint32_t kSection = 37;
// Bits of the block's 16-bit status half.
constexpr uint16_t kLinkUp = 1u << 6;
// Link good: bits 6, 7 and 10 set, 8 and 9 clear.
constexpr uint16_t kLinkGoodMask = 0x07C0;
constexpr uint16_t kLinkGood = 0x04C0;
// The status flag (bit 16 + n of word 4) that reports the unicast
// destination address resolved and valid.
constexpr uint32_t kUnicastValidFlag = 0;

struct State {
    GbeParams params;
    bool created = false;
    int requestState = 0;
    uint8_t mac[6] = {};
};

State& st()
{
    static State s;
    return s;
}

GbeParams& P()
{
    return st().params;
}

uint32_t id(uint32_t item)
{
    return kSection * 256 + item;
}

uint32_t commitFlag()
{
    return GBE_IsLinkUp() ? 1 : 0;
}

// ---- Hooks ----

void configFlagsChanged(ParamU32* p)
{
    uint32_t f = p->value;
    if (f & (1u << 6)) {
        Gbe_SetMacAddress(st().mac, commitFlag());
        if (f & (1u << 5))
            Gbe_SetMulticastGrp(P().multicastGrp.value, 0);
        else
            Gbe_SetIpAddr(P().ipAddr.value, 0);
        Gbe_SetRxAddress(P().gwAddr.value, 0);
        if ((f & (1u << 1)) || !(f & 1u))
            Gbe_SetUdpPort(P().udpPort.value, 0);
        f |= 1u << 2;
    }
    Gbe_SetTxMulticastEnable(static_cast<uint8_t>(f));
}

void ipAddrChanged(ParamU32* p)
{
    Gbe_SetIpAddr(p->value, commitFlag());
    GBE_SelectRxAddress();
}

void netMaskChanged(ParamU32*)
{
    GBE_SelectRxAddress();
}

void gwAddrChanged(ParamU32*)
{
    if (GBE_IsLinkUp())
        GBE_SelectRxAddress();
}

void multicastGrpChanged(ParamU32* p)
{
    Gbe_SetMulticastGrp(p->value, commitFlag());
}

void udpPortChanged(ParamU16* p)
{
    Gbe_SetUdpPort(p->value, commitFlag());
}

void ttlChanged(ParamU8* p)
{
    Gbe_SetTtl(p->value);
}

// Latency register := latency x k / 2, k by the receive sample-rate code.
void latencyChanged(ParamU16* p)
{
    uint32_t k = 0;
    switch (P().rxSampleRate.value) {
    case 1: k = 132; break;
    case 2: k = 144; break;
    case 3: k = 176; break;
    case 4: k = 192; break;
    default: k = 0; break;
    }
    Gbe_SetLatency(static_cast<uint16_t>(static_cast<uint32_t>(p->value) * k / 2));
}

void txEnableChanged(ParamU8* p)
{
    Gbe_SetTxEnable(p->value);
}

// Bit 7 of the transmit-control byte follows the value.
void txMulticastEnableChanged(ParamU8* p)
{
    uint8_t b = 0;
    if (Gbe_GetTxMulticastEnable(&b) != 0)
        return;
    b = p->value ? static_cast<uint8_t>(b | 0x80) : static_cast<uint8_t>(b & ~0x80);
    Gbe_SetTxMulticastEnable(b);
}

void txDestIpAddrChanged(ParamU32* p)
{
    Gbe_SetTxDestIpAddr(p->value);
    GBE_SelectRxAddress();
}

void txMulticastGrpChanged(ParamU32* p)
{
    Gbe_SetTxMulticastGrp(p->value);
}

void txDestUdpPortChanged(ParamU16* p)
{
    Gbe_SetTxDestUdpPort(p->value);
}

void txSrcUdpPortChanged(ParamU16* p)
{
    Gbe_SetTxSrcUdpPort(p->value);
}

void syncTimestampOffsetChanged(ParamU32* p)
{
    Gbe_SetSyncTimestampOffset(p->value);
}

constexpr uint32_t kU32 = 0xffffffffu;

// A parameter with a key is remote-writable and logged, its key its label.
void keyedU32(ParamU32* p, const char* key, uint32_t def, uint32_t max, uint32_t item, void (*hook)(ParamU32*))
{
    Param_InitU32(p, key, key, 1, 1, def, 0, max, 1, id(item), nullptr, hook);
}
void keyedU16(ParamU16* p, const char* key, uint16_t def, uint32_t item, void (*hook)(ParamU16*))
{
    Param_InitU16(p, key, key, 1, 1, def, 0, 0xffff, 1, id(item), nullptr, hook);
}
void keyedU8(ParamU8* p, const char* key, uint8_t def, uint8_t max, uint32_t item, void (*hook)(ParamU8*))
{
    Param_InitU8(p, key, key, 1, 1, def, 0, max, 1, id(item), nullptr, hook);
}
// Status values: a label, neither writable nor logged.
void statusU32(ParamU32* p, const char* label, uint32_t max, uint32_t item)
{
    Param_InitU32(p, nullptr, label, 0, 0, 0, 0, max, 1, id(item), nullptr, nullptr);
}
void statusU8(ParamU8* p, const char* label, uint8_t max, uint32_t item)
{
    Param_InitU8(p, nullptr, label, 0, 0, 0, 0, max, 1, id(item), nullptr, nullptr);
}

uint32_t macLowWord(const uint8_t* m)
{
    return static_cast<uint32_t>(m[2]) << 24 | static_cast<uint32_t>(m[3]) << 16 | static_cast<uint32_t>(m[4]) << 8 | m[5];
}

uint32_t macHighWord(const uint8_t* m)
{
    return static_cast<uint32_t>(m[0]) << 8 | m[1];
}

} // namespace

GbeParams* GBE_GetParams()
{
    return st().created ? &st().params : nullptr;
}

int GBE_IsLinkUp()
{
    uint16_t status = 0;
    return Gbe_ReadWord4(&status) == 0 && (status & kLinkUp) ? 1 : 0;
}

int GBE_IsBlockFitted()
{
    return getGbeBlockFitted() ? 1 : 0;
}

void GBE_InitParams()
{
    State& s = st();
    GbeParams& p = s.params;
    s.created = false;
    memcpy(s.mac, getUnitInfo() + UNIT_INFO_MAC_GBE_A_OFFSET, sizeof s.mac);
    // The transmit switches as the objects hold them before creation.
    txEnableChanged(&p.txEnable);
    txMulticastEnableChanged(&p.txMulticastEnable);

    keyedU32(&p.ipAddr, "GBE_IpAddr", 0, kU32, 37, ipAddrChanged);
    keyedU32(&p.netMask, "GBE_NetMask", 0, kU32, 38, netMaskChanged);
    keyedU32(&p.gwAddr, "GBE_GWAddr", 0, kU32, 39, gwAddrChanged);
    statusU32(&p.statusFlags, "StatusFlags", kU32, 1);
    statusU32(&p.ucMacLow, "UC_MACAddress_low", kU32, 5);
    statusU32(&p.ucMacHigh, "UC_MACAddress_high", 0xffff, 6);
    keyedU32(&p.configFlags, "GBE_ConfigFlags", 0xffffffffu, kU32, 33, configFlagsChanged);
    statusU32(&p.macLow, "MACAddress_low", kU32, 35);
    statusU32(&p.macHigh, "MACAddress_high", 0xffff, 36);
    statusU8(&p.rxSampleRate, "RxSampleRate", 7, 9);
    statusU8(&p.rxStatus, "RxStatus", 0xff, 8);
    keyedU32(&p.multicastGrp, "GBE_MulticastGrp", 0, kU32, 40, multicastGrpChanged);
    keyedU16(&p.udpPort, "GBE_UDPPort", 0, 41, udpPortChanged);
    keyedU16(&p.latency, "GBE_Latency", 0, 43, latencyChanged);
    keyedU8(&p.txEnable, "GBE_TX_ENABLE", 0, 1, 48, txEnableChanged);
    keyedU8(&p.txTsSource, "GBE_TX_TS_SOURCE", 0, 0xff, 49, nullptr);
    keyedU8(&p.txMulticastEnable, "GBE_TX_MULTICAST_ENABLE", 0, 1, 50, txMulticastEnableChanged);
    keyedU32(&p.txDestIpAddr, "GBE_TX_DEST_IP_ADDR", 0, kU32, 51, txDestIpAddrChanged);
    keyedU32(&p.txMulticastGrp, "GBE_TX_MULTICAST_GRP", 0, kU32, 52, txMulticastGrpChanged);
    keyedU16(&p.txDestMacHigh, "GBE_TX_DEST_MAC_ADDR_HIGH", 0, 53, nullptr);
    keyedU32(&p.txDestMacLow, "GBE_TX_DEST_MAC_ADDR_LOW", 0xffffffffu, kU32, 54, nullptr);
    keyedU16(&p.txDestUdpPort, "GBE_TX_DEST_UDP_PORT", 0, 55, txDestUdpPortChanged);
    keyedU16(&p.txSrcUdpPort, "GBE_TX_SRC_UDP_PORT", 0, 56, txSrcUdpPortChanged);
    Param_InitU8(&p.destMacUnresolved, nullptr, nullptr, 0, 1, 0, 0, 1, 1, id(57), nullptr, nullptr);
    keyedU8(&p.ttl, "GBE_TTL", 0, 0xff, 42, ttlChanged);
    keyedU32(&p.syncTimestampOffset, "GBE_SYNC_TIMESTAMP_OFFSET", 0, 0x1ffff, 58, syncTimestampOffsetChanged);
    Param_InitU32(&p.word64Value, nullptr, nullptr, 0, 0, 0, 0, kU32, 1, id(59), nullptr, nullptr);
    Param_InitU8(&p.word64Byte, nullptr, nullptr, 0, 0, 0, 0, 0xff, 1, id(60), nullptr, nullptr);

    // Initial values, through the set operations: their hooks program the
    // block and every one is published.
    p.ucMacLow.set(&p.ucMacLow, macLowWord(s.mac));
    p.ucMacHigh.set(&p.ucMacHigh, macHighWord(s.mac));
    p.macLow.set(&p.macLow, macLowWord(s.mac));
    p.macHigh.set(&p.macHigh, macHighWord(s.mac));
    p.ipAddr.set(&p.ipAddr, 0x0AC80802);       // 10.200.8.2
    p.netMask.set(&p.netMask, 0xFFFFFF00);     // 255.255.255.0
    p.gwAddr.set(&p.gwAddr, 0x0AC80801);       // 10.200.8.1
    p.multicastGrp.set(&p.multicastGrp, 0x0AC80801);
    p.udpPort.set(&p.udpPort, 23);
    p.ttl.set(&p.ttl, 10);
    p.txEnable.set(&p.txEnable, 0);
    p.txDestIpAddr.set(&p.txDestIpAddr, 0x0AC80802);
    p.txMulticastGrp.set(&p.txMulticastGrp, 0xEF000001); // 239.0.0.1
    p.txDestUdpPort.set(&p.txDestUdpPort, 5001);
    p.txSrcUdpPort.set(&p.txSrcUdpPort, 5000);
    s.created = true;
}

int GBE_SelectRxAddress()
{
    const GbeParams& p = P();
    uint32_t dest = p.txDestIpAddr.value;
    uint32_t rx = (p.netMask.value & (p.ipAddr.value ^ dest)) != 0 ? p.gwAddr.value : dest;
    int r = Gbe_SetRxAddress(rx, 1);
    uint32_t back = 0;
    Gbe_GetRxAddress(&back);
    return r;
}

void GBE_UpdateTxDestMac()
{
    GbeParams& p = P();
    uint8_t resolved[6] = {};
    uint8_t valid = 0;
    int readOk = Gbe_ReadWords0(resolved) == 0;
    int validOk = Gbe_GetStatusC(&valid, kUnicastValidFlag) == 0;
    uint32_t high = 0, low = 0;
    uint8_t unresolved = 0;
    if (p.txMulticastEnable.value) {
        high = 0x0100;
        low = 0x5E000000u | (p.txMulticastGrp.value & 0x7FFFFF);
    } else if (readOk && validOk && valid) {
        low = static_cast<uint32_t>(resolved[0]) | static_cast<uint32_t>(resolved[1]) << 8 |
              static_cast<uint32_t>(resolved[2]) << 16 | static_cast<uint32_t>(resolved[3]) << 24;
        high = static_cast<uint32_t>(resolved[4]) | static_cast<uint32_t>(resolved[5]) << 8;
    } else {
        unresolved = 1;
    }
    p.destMacUnresolved.set(&p.destMacUnresolved, unresolved);
    p.txDestMacHigh.set(&p.txDestMacHigh, static_cast<uint16_t>(high));
    p.txDestMacLow.set(&p.txDestMacLow, low);
}

void GBE_PollStatus()
{
    if (!st().created)
        return;
    GbeParams& p = P();
    uint16_t status = 0;
    if (Gbe_ReadWord4(&status) == 0 && (status & kLinkUp)) {
        uint8_t valid = 0;
        Gbe_GetStatusC(&valid, kUnicastValidFlag);
        uint32_t flags = (valid ? 1u << 16 : 0u) | ((status >> 6) & 0xff);
        setAlarmInput(ALARM_MPX_OVER_IP, (status & kLinkGoodMask) == kLinkGood ? 0 : 1);
        uint8_t rate = 0, rx = 0;
        if (Gbe_GetStatusA(&rate) == 0)
            p.rxSampleRate.set(&p.rxSampleRate, rate);
        if (Gbe_GetStatusB(&rx) == 0)
            p.rxStatus.set(&p.rxStatus, rx);
        p.statusFlags.set(&p.statusFlags, flags);
    } else {
        setAlarmInput(ALARM_MPX_OVER_IP, 1);
    }
    if (p.txEnable.value)
        GBE_UpdateTxDestMac();
    uint8_t byte64 = 0;
    uint32_t value64 = 0;
    if (Gbe_ReadWord64B(&value64) == 0)
        p.word64Value.set(&p.word64Value, value64);
    if (Gbe_ReadWord64A(&byte64) == 0)
        p.word64Byte.set(&p.word64Byte, byte64);
}

void GBE_RequestInit(int request)
{
    State& s = st();
    if (request == 1 || request == 2) {
        if (s.requestState == 0 && !s.created)
            GBE_InitParams();
        s.requestState = request;
    } else if ((request == -1 && s.requestState == 1) || (request == -2 && s.requestState == 2)) {
        s.requestState = 0;
    }
}
