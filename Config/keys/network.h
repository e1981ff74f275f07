// Hand-written operations of the network region (rows: network.def).
// Included by networkKeys.h.
#pragma once

#include <cstdint>

// Hooks: the gateway setters keep the gateway they replace.
void keepFrontOldGateway(uint32_t index, uint32_t value, uint32_t old);
void keepRearOldGateway(uint32_t index, uint32_t value, uint32_t old);
// Hooks: a changed address, netmask or gateway marks the port's settings as
// waiting to be applied to its interface.
void markFrontPendingApply(uint32_t index, uint32_t value, uint32_t old);
void markRearPendingApply(uint32_t index, uint32_t value, uint32_t old);

// 1 when "Ethernet_switch_config" is 2 (VLAN).
int isEthernetSwitchConfig2();
// Side 0 is "Gbe_A_vlan_id", any other side "Gbe_B_vlan_id".
void setGbeVlanIdBySide(uint32_t side, uint32_t v);
uint16_t getGbeVlanIdBySide(uint32_t side);
