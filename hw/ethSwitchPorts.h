// The Ethernet switch's port model: the switch descriptor, its ports as
// records of register fields, packed into and unpacked from the port
// registers by the switch type, and the VID rules of the VLAN table.
// Ports are SMI devices 0x10 + n; port 8 is never read or written by the
// port loops. Every line goes to standard output, opening with the
// operation's name.
#pragma once

#include <cstdint>

constexpr int kSwitchMaxPorts = 11;
constexpr int kSwitchVidRules = 3;
constexpr uint8_t kSwitchSkippedPort = 8;
constexpr uint16_t kSwitchPortDev = 0x10;
constexpr uint16_t kSwitchGlobalDev = 0x1B;
constexpr uint16_t kSwitchGlobal2Dev = 0x1C;

// Switch types as getSwitchId reports them.
enum SwitchType : int32_t { SWITCH_UNKNOWN = -1, SWITCH_88E6085 = 0, SWITCH_88E6352 = 1 };

struct SwitchPort {
    uint8_t LinkUp;     // PHY register 1 bit 2
    uint8_t PhyPresent; // port register 0x00 bit 12
    uint8_t SaFiltering;
    uint8_t EgressMode;
    uint8_t Header;
    uint8_t IgmpMdlSnoop;
    uint8_t FrameMode;
    uint8_t VlanTunnel;
    uint8_t TagIfBoth;
    uint8_t InitialPri;
    uint8_t EgressFloods;
    uint8_t PortState; // 3 forwarding, 0 disabled
    uint16_t FID;
    uint8_t ForceMap; // 88E6352
    uint8_t Bit11;    // register 0x06 bit 11 on the 88E6085
    uint16_t VlanTab; // bit m: the port may send to port m
    uint8_t DaPolicy, SaPolicy, VtuPolicy, EtypePolicy, PppoePolicy, VbasPolicy, Opt82Policy, UdpPolicy;
    uint8_t DefPri;
    uint8_t ForceDefVid;
    uint16_t DefaultVid;
    uint8_t ForceGoodFCS;
    uint8_t JumboMode;
    uint8_t Mode8021Q;
    uint8_t DiscarTagged;
    uint8_t DiscarUntagged;
    uint8_t MapDa;
    uint8_t ArpMirror;
    uint8_t EgressMonitorSource;
    uint8_t IngressMonitorSource;
    uint8_t UseDefQPri;
    uint8_t DefQPri;
    uint16_t RxFrameCnt; // port register 0x13
};

// A rule of the VLAN table: the member tag of each port and the VID.
struct SwitchVidRule {
    uint8_t tags[kSwitchMaxPorts];
    uint16_t vid;
};

struct SwitchDesc {
    int32_t type = SWITCH_UNKNOWN;
    int32_t portCount = kSwitchMaxPorts;
    SwitchPort ports[kSwitchMaxPorts] = {};
    SwitchVidRule rules[kSwitchVidRules] = {};
    int32_t configuredVariant = 0;
    int32_t lastError = 0;
};

// The register fields of a port, in the order the comparison prints them.
constexpr int kSwitchFieldCount = 35;
const char* switchFieldWord(int field);
uint8_t switchFieldRegister(int field);
uint16_t switchFieldGet(const SwitchPort& port, int field);
void switchFieldSet(SwitchPort* port, int field, uint16_t value);
// A port register composed from its fields as the switch type keeps them,
// and the fields taken from a register value (a field the type has not is
// 0). Register 0x06 carries ForceMap on the 88E6352 and the Bit11 byte on
// the 88E6085.
uint16_t switchPackReg(const SwitchPort& port, uint8_t reg, int32_t type);
void switchUnpackReg(SwitchPort* port, uint8_t reg, uint16_t value, int32_t type);

// Reads port 0 register 0x03 into *value and identifies the switch:
// SWITCH_88E6352, SWITCH_88E6085 or -1 (unknown product or read error).
int getSwitchId(uint16_t* value);
// Reads every port into the descriptor (read errors are ignored): 0.
int getPorts(SwitchDesc* desc);
// Writes every port, activates the PHYs, reads the ports back and compares:
// 0, or minus the number of fields that did not read back.
int setPorts(SwitchDesc* desc);
// 0, or minus the number of fields that differ (each said).
int compareSwitches(const SwitchDesc* a, const SwitchDesc* b);

// Field setters over every port (arrays of kSwitchMaxPorts). setPortVlanTab
// also sets PortState 3 where VlanTab is non-zero and 0 where it is 0.
void setPortVlanTab(SwitchDesc* desc, const uint16_t* vlanTab);
void clearPortStates(SwitchDesc* desc);
void setPortVtuPolicy(SwitchDesc* desc, const uint8_t* policy);
void setPortDefaultVid(SwitchDesc* desc, const uint8_t* force, const uint16_t* vid);
void setPort8021Q(SwitchDesc* desc, const uint8_t* mode, const uint8_t* discardTagged, const uint8_t* discardUntagged);

// Flushes the switch's VLAN table and sets every rule to VID 0 with tag 3
// on every port: the flush result.
int clearVidRules(SwitchDesc* desc);
// Rule 0-2: 0, or -1 for another rule.
int setVidRule(SwitchDesc* desc, uint8_t rule, uint16_t vid, const uint8_t* tags);

// One port register, said: 0 or -1.
int getPortReg(uint8_t port, uint8_t reg, uint16_t* value);
