// The Ethernet switch's units beside its ports: the VLAN table (VTU) and
// spanning-tree table (STU), the general-purpose pins of the scratch
// registers, the PHYs reached through the switch's SMI PHY registers, and
// the port counters. Global registers are SMI device 0x1B, the second
// global block 0x1C. Every line goes to standard output, opening with the
// operation's name.
#pragma once

#include "hw/ethSwitchPorts.h"

#include <cstdint>

// Entries a get-next walk reads at most before it gives up (-1): the VLAN
// table holds one entry per VID, the STU one per SID.
constexpr int kVtuWalkLimit = 4096;
constexpr int kStuWalkLimit = 64;
// Busy polls of a counter read before it gives up (-1).
constexpr int kStatsBusyPolls = 100;

// 0, or -1 (said) while the VTU is busy.
int isVtuBusy();
// Flushes every VTU entry when the VTU is not busy: the busy result.
int flushVtu();
// Loads a VTU entry: the VID and the member tags of ports 0-6. 0 or -1.
int loadVtu(uint16_t vid, const uint8_t* tags);
// Loads STU entry 0 with every port state 0. 0 or -1.
int loadStu();
// loadStu, the three rules of the descriptor, then the STU and VTU walks:
// the first error.
int loadVidRules(const SwitchDesc* desc);
// Walk and say the valid entries: 0, or -1 when the unit is busy, an access
// fails or the walk does not end within its table's size.
int getStuEntries();
int getVtuEntries();

// General-purpose pins 0-14 of the switch.
int initGpio(SwitchDesc* desc, uint8_t pin, int input);
int setGpio(SwitchDesc* desc, uint8_t pin, uint8_t value);
int getGpio(SwitchDesc* desc, uint8_t pin, uint8_t* bit);
// Pins 1, 5, 6 inputs and 2, 3, 4 outputs, driven by the selection (1:
// 1,0,0; 2: 0,0,1; other: 0,0,0): 0.
int configureGpio(SwitchDesc* desc, int selection);
int selectGbeSwitchPort(SwitchDesc* desc, uint8_t value);
int getConfig1(SwitchDesc* desc);

// PHY registers through the SMI PHY unit; each waits up to about 102 ms for
// the unit. readSmi gives -1 and *value 0 when it stays busy.
int readSmi(uint8_t dev, uint8_t reg, uint16_t* value);
int writeSmi(uint8_t dev, uint8_t reg, uint16_t value);
// Powers up the PHY of a port (its SMI address is the port number).
int setPhyActive(SwitchDesc* desc, uint8_t port);
// Moves the PHY at SMI address dev to the port's address and adds it to the
// port's PHY polling.
int setPhyAddr(uint8_t dev, uint8_t port);
// Speed 0 auto-negotiation, 1 10 Mb/s, 2 100 Mb/s, other 1000 Mb/s.
int setLinkSpeed(uint8_t port, int speed);
int getCopperLinkStatus(SwitchDesc* desc, uint8_t port);
int getPhyRegs(uint8_t dev);

// Frame counters and link state of every port of the descriptor.
int getCounters(SwitchDesc* desc);
// The statistics unit's 32 counters of a port; mode 0 only captures, 2
// skips the capture, 3 skips the flush. 0 or -1.
int getPortStats(uint8_t port, int mode);
int isPortLinkUp(uint8_t port);
int isPort2LinkUp();
int isPort3LinkUp();
// Ports 0-7, 9 and 10: half the frame count, -2 for a PHY without link, -1
// for no PHY and no frames, -3 when the switch is not identified.
int getPortFrameCounts(int8_t channel, int32_t* counts);
// setPorts, then loadVidRules: 0.
int reapplyPorts(SwitchDesc* desc);
