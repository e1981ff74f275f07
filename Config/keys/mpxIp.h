// Hand-written operations of the MPX-over-IP streams (rows: mpxIp.def): the
// hooks that derive the next hop, the multicast MAC and the side-in-use
// flag, and the operations on the 6-byte addresses. Sides are 0..1 and
// entries 0..3 (each taken modulo 256); any other is refused.
// Included by mpxIpKeys.h.
#pragma once

#include <cstdint>

// Hooks of the rows.
void mpxIpEnableChanged(uint32_t index, uint32_t value, uint32_t old);
void mpxIpSideAddressChanged(uint32_t index, uint32_t value, uint32_t old);
void mpxIpTxAddressChanged(uint32_t index, uint32_t value, uint32_t old);
void mpxIpTxGroupChanged(uint32_t index, uint32_t value, uint32_t old);
void mpxIpTxMulticastChanged(uint32_t index, uint32_t value, uint32_t old);
void mpxIpSideStatusChanged(uint32_t index, uint32_t value, uint32_t old);

// The second spelling of "Rx_ping_response_status"'s name function.
const char* getRxPingResponceStatusKey(uint32_t side);

// Next hop of (side, entry): "Gbe_gw_ip" when the destination lies outside
// the side's subnet, else "Tx_IP_address"; stored and returned (0 for no
// such entry).
uint32_t updateNextHopAddress(uint32_t side, uint32_t entry);
uint32_t getTxNextHopAddress(uint32_t side, uint32_t entry);
// Side in use: 0 while the side reports a status, else 1 when any receive
// or transmit entry is enabled.
void updateSideInUse(uint32_t side);

// Stream-multicast flags of entries 0..3 from bits 0..3 of mask; no mark.
void setTxStreamMulticastMask(uint32_t side, uint32_t mask);
// 1 when "Tx_multicast_status" is 1, else the stream-multicast flag.
uint32_t getTxStreamMulticast(uint32_t side, uint32_t entry);
// The 6-byte destination addresses (zeros for no such entry): the unicast
// one, the one derived from the group address, and the one in use.
void getTxUnicastMac(uint32_t side, uint32_t entry, uint8_t* out);
void getTxMulticastMac(uint32_t side, uint32_t entry, uint8_t* out);
void getTxDestMac(uint32_t side, uint32_t entry, uint8_t* out);
// The destination-MAC publisher (empty, as every publisher of these keys).
void dbUpdateTxDestMac(uint32_t side, uint32_t entry);
// Stores the peer's 6-byte address on every call, publishes and marks.
void setRxPeerMac(uint32_t side, uint32_t entry, const uint8_t* address);
// For elements that cannot be written: does nothing.
void ignoreSetting(uint32_t a, uint32_t b);
