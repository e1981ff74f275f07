// The Ethernet switch's standard configuration: which ports see which, port
// states, default VLAN ids, 802.1Q handling and the VLAN table rules, by the
// unit's switch mode and the configured variant.
#pragma once

#include "hw/ethSwitchPorts.h"

#include <cstdint>

// Identifies the switch on the MDIO channel, reads its ports, sets the
// wanted topology, writes it, reads it back and compares. Mode 0 touches
// nothing. 0, or the error of this request: minus the number of fields
// that did not read back, else the error of loading the VLAN table; -1 for
// a switch not identified. On the 88E6352 a variant-0 request is skipped
// while no error has ever been stored.
int setStandardConfiguration(uint8_t channel, uint32_t mode, uint32_t variant, uint16_t vidCpu, uint16_t vidGbe1,
                             uint16_t vidGbe2);
// The descriptor of the last configuration (tests and bench).
const SwitchDesc& switchDescriptor();
