// The MPX-over-IP streams' derived values: next hop, multicast destination
// MAC and side-in-use flag, and the 6-byte address operations.
#include "Config/keys/mpxIpKeys.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"

#include <cstring>

namespace {

constexpr uint32_t kEntries = MPXIP_ENTRIES;

MpxIpTxRecord* txRecord(uint32_t side, uint32_t entry)
{
    side &= 255u;
    entry &= 255u;
    if (side >= MPXIP_SIDES || entry >= kEntries)
        return nullptr;
    return &getSystemImage()->input.mpxIp.tx[side][entry];
}

void copyMac(const uint8_t* mac, uint8_t* out)
{
    if (!out)
        return;
    if (mac)
        memcpy(out, mac, 6);
    else
        memset(out, 0, 6);
}

// Multicast MAC of an IPv4 group word that holds the first octet in bits
// 0-7: 01:00:5E and the low 23 bits of the group address.
void updateMulticastMac(uint32_t side, uint32_t entry)
{
    MpxIpTxRecord* t = txRecord(side, entry);
    if (!t)
        return;
    uint32_t g = getTxGroupAddress(side, entry);
    const uint8_t mac[6] = {0x01, 0x00, 0x5e, static_cast<uint8_t>((g >> 8) & 0x7f), static_cast<uint8_t>(g >> 16),
                            static_cast<uint8_t>(g >> 24)};
    if (memcmp(t->multicastMac, mac, 6) == 0)
        return;
    memcpy(t->multicastMac, mac, 6);
    dbUpdateTxDestMac(side, entry);
}

} // namespace

void mpxIpEnableChanged(uint32_t index, uint32_t, uint32_t)
{
    updateSideInUse(index / kEntries);
}

void mpxIpSideAddressChanged(uint32_t index, uint32_t, uint32_t)
{
    for (uint32_t e = 0; e < kEntries; e++)
        updateNextHopAddress(index, e);
}

void mpxIpTxAddressChanged(uint32_t index, uint32_t, uint32_t)
{
    updateNextHopAddress(index / kEntries, index % kEntries);
}

void mpxIpTxGroupChanged(uint32_t index, uint32_t, uint32_t)
{
    updateMulticastMac(index / kEntries, index % kEntries);
}

void mpxIpTxMulticastChanged(uint32_t index, uint32_t, uint32_t)
{
    dbUpdateTxDestMac(index / kEntries, index % kEntries);
}

void mpxIpSideStatusChanged(uint32_t index, uint32_t, uint32_t)
{
    updateSideInUse(index);
}

const char* getRxPingResponceStatusKey(uint32_t)
{
    return "Rx_ping_responce_status";
}

uint32_t updateNextHopAddress(uint32_t side, uint32_t entry)
{
    if (!txRecord(side, entry))
        return 0;
    uint32_t tx = getTxIPAddress(side, entry);
    uint32_t own = getRxIPAddress(side);
    uint32_t hop = (getRxNetmask(side) & (tx ^ own)) != 0 ? getGbeGwIp(side) : tx;
    cfgSet(KEYROW(TxNextHop), cfgPairIndex(KEYROW(TxNextHop), side, entry), hop);
    return hop;
}

uint32_t getTxNextHopAddress(uint32_t side, uint32_t entry)
{
    uint32_t k = cfgPairIndex(KEYROW(TxNextHop), side, entry);
    return k == CFG_NO_INDEX ? 0 : cfgGetElement(KEYROW(TxNextHop), k);
}

void updateSideInUse(uint32_t side)
{
    side &= 255u;
    if (side >= MPXIP_SIDES)
        return;
    uint32_t inUse = 0;
    if (getGbeSideStatus(side) == 0) {
        for (uint32_t e = 0; e < kEntries && !inUse; e++)
            inUse = getRxEnable(side, e) != 0;
        for (uint32_t e = 0; e < kEntries && !inUse; e++)
            inUse = getTxEnable(side, e) != 0;
    }
    setGbeSideInUse(side, inUse);
}

void setTxStreamMulticastMask(uint32_t side, uint32_t mask)
{
    for (uint32_t e = 0; e < kEntries; e++) {
        MpxIpTxRecord* t = txRecord(side, e);
        if (!t)
            return;
        uint8_t flag = (mask >> e) & 1u;
        if (t->streamMulticast == flag)
            continue;
        t->streamMulticast = flag;
        dbUpdateTxDestMac(side, e);
    }
}

uint32_t getTxStreamMulticast(uint32_t side, uint32_t entry)
{
    const MpxIpTxRecord* t = txRecord(side, entry);
    if (!t)
        return 0;
    return getTxMulticastStatus(side, entry) == 1 ? 1 : t->streamMulticast;
}

void getTxUnicastMac(uint32_t side, uint32_t entry, uint8_t* out)
{
    const MpxIpTxRecord* t = txRecord(side, entry);
    copyMac(t ? t->unicastMac : nullptr, out);
}

void getTxMulticastMac(uint32_t side, uint32_t entry, uint8_t* out)
{
    const MpxIpTxRecord* t = txRecord(side, entry);
    copyMac(t ? t->multicastMac : nullptr, out);
}

void getTxDestMac(uint32_t side, uint32_t entry, uint8_t* out)
{
    const MpxIpTxRecord* t = txRecord(side, entry);
    if (!t) {
        copyMac(nullptr, out);
        return;
    }
    copyMac(getTxMulticastStatus(side, entry) == 1 ? t->multicastMac : t->unicastMac, out);
}

void dbUpdateTxDestMac(uint32_t, uint32_t)
{
}

void setRxPeerMac(uint32_t side, uint32_t entry, const uint8_t* address)
{
    side &= 255u;
    entry &= 255u;
    if (side >= MPXIP_SIDES || entry >= kEntries || !address)
        return;
    memcpy(getSystemImage()->input.mpxIp.rx[side][entry].peerMac, address, 6);
    markConfigChanged(CONFIG_GROUP_PORTS);
}

void ignoreSetting(uint32_t, uint32_t)
{
}
