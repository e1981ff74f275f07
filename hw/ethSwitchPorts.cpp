// The Ethernet switch's port model: one field table drives packing,
// unpacking and comparison for both switch types.
#include "hw/ethSwitchPorts.h"

#include "hw/ethSwitchUnits.h"
#include "hw/mdio.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#define SW_OUT(fmt, ...) printf("[%s] >> " fmt, __func__ __VA_OPT__(, ) __VA_ARGS__)

namespace {

struct FieldRow {
    const char* word;
    uint8_t reg;
    uint8_t shift;
    uint16_t mask6085;
    uint16_t mask6352;
    size_t offset;
    size_t size;
};

const FieldRow kFields[] = {
#define ETH_SWITCH_FIELDS
#define SWITCH_FIELD(name, reg, shift, m6085, m6352) \
    {#name, reg, shift, m6085, m6352, offsetof(SwitchPort, name), sizeof(SwitchPort::name)},
#include "hw/gen/ethSwitchTables.inc"
#undef SWITCH_FIELD
#undef ETH_SWITCH_FIELDS
};
static_assert(sizeof kFields / sizeof kFields[0] == kSwitchFieldCount);

constexpr uint8_t kRegSwitchId = 0x03, kRegControl = 0x04, kRegVlanMap = 0x06,
                  kRegDefaultVid = 0x07, kRegControl2 = 0x08, kRegPolicy = 0x0E;
constexpr uint16_t kProduct6352 = 0x352, kProduct6085 = 0x04A;
constexpr uint8_t kForwarding = 3;
constexpr uint8_t kDefaultTag = 3;

uint16_t maskOf(const FieldRow& f, int32_t type)
{
    return type == SWITCH_88E6352 ? f.mask6352 : f.mask6085;
}

uint16_t portAddr(int port, uint8_t reg)
{
    return static_cast<uint16_t>((kSwitchPortDev + port) * 32 + reg);
}

// Register 0x0E exists on the 88E6352 only.
bool typeHasPolicies(int32_t type)
{
    return type == SWITCH_88E6352;
}

} // namespace

const char* switchFieldWord(int field)
{
    return field >= 0 && field < kSwitchFieldCount ? kFields[field].word : "";
}

uint8_t switchFieldRegister(int field)
{
    return field >= 0 && field < kSwitchFieldCount ? kFields[field].reg : 0;
}

uint16_t switchFieldGet(const SwitchPort& port, int field)
{
    const FieldRow& f = kFields[field];
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&port) + f.offset;
    if (f.size == 1)
        return *p;
    uint16_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

void switchFieldSet(SwitchPort* port, int field, uint16_t value)
{
    const FieldRow& f = kFields[field];
    uint8_t* p = reinterpret_cast<uint8_t*>(port) + f.offset;
    if (f.size == 1)
        *p = static_cast<uint8_t>(value);
    else
        memcpy(p, &value, sizeof value);
}

uint16_t switchPackReg(const SwitchPort& port, uint8_t reg, int32_t type)
{
    uint32_t v = 0;
    for (int i = 0; i < kSwitchFieldCount; i++)
        if (kFields[i].reg == reg)
            v |= static_cast<uint32_t>(switchFieldGet(port, i) & maskOf(kFields[i], type)) << kFields[i].shift;
    if (reg == kRegVlanMap && type != SWITCH_88E6352)
        v |= static_cast<uint32_t>(port.Bit11 & 1u) << 11;
    return static_cast<uint16_t>(v);
}

void switchUnpackReg(SwitchPort* port, uint8_t reg, uint16_t value, int32_t type)
{
    for (int i = 0; i < kSwitchFieldCount; i++)
        if (kFields[i].reg == reg)
            switchFieldSet(port, i, static_cast<uint16_t>((value >> kFields[i].shift) & maskOf(kFields[i], type)));
    if (reg == kRegVlanMap && type != SWITCH_88E6352)
        port->Bit11 = (value >> 11) & 1u;
}

int getSwitchId(uint16_t* value)
{
    uint16_t v = 0;
    if (mdioReadSwitchReg(portAddr(0, kRegSwitchId), &v) != 0)
        return -1;
    *value = v;
    SW_OUT("reg0x03 0x%04X\n", v);
    uint16_t product = v >> 4;
    SW_OUT("Product Number: 0x%04X\n", product);
    SW_OUT("Revision ID:    0x%02X\n", v & 7u);
    if (product == kProduct6352) {
        SW_OUT("88E6352 (10/100/1000)\n");
        return SWITCH_88E6352;
    }
    if (product == kProduct6085) {
        SW_OUT("88E6085 (10/100)\n");
        return SWITCH_88E6085;
    }
    return -1;
}

int getPorts(SwitchDesc* desc)
{
    for (int p = 0; p < desc->portCount && p < kSwitchMaxPorts; p++) {
        if (p == kSwitchSkippedPort)
            continue;
        SwitchPort& port = desc->ports[p];
        uint16_t v = 0;
        if (mdioReadSwitchReg(portAddr(p, kRegControl), &v) == 0)
            switchUnpackReg(&port, kRegControl, v, desc->type);
        SW_OUT("Port %d State %u\n", p, port.PortState);
        if (mdioReadSwitchReg(portAddr(p, kRegVlanMap), &v) == 0) {
            SW_OUT("reg6 0x%04X\n", v);
            switchUnpackReg(&port, kRegVlanMap, v, desc->type);
        }
        if (typeHasPolicies(desc->type) && mdioReadSwitchReg(portAddr(p, kRegPolicy), &v) == 0)
            switchUnpackReg(&port, kRegPolicy, v, desc->type);
        if (mdioReadSwitchReg(portAddr(p, kRegDefaultVid), &v) == 0)
            switchUnpackReg(&port, kRegDefaultVid, v, desc->type);
        if (mdioReadSwitchReg(portAddr(p, kRegControl2), &v) == 0)
            switchUnpackReg(&port, kRegControl2, v, desc->type);
    }
    return 0;
}

int setPorts(SwitchDesc* desc)
{
    for (int p = 0; p < desc->portCount && p < kSwitchMaxPorts; p++) {
        if (p == kSwitchSkippedPort)
            continue;
        SwitchPort& port = desc->ports[p];
        if (desc->type == SWITCH_88E6085 || desc->type == SWITCH_88E6352)
            mdioWriteSwitchReg(portAddr(p, kRegControl), switchPackReg(port, kRegControl, desc->type));
        mdioWriteSwitchReg(portAddr(p, kRegVlanMap), switchPackReg(port, kRegVlanMap, desc->type));
        // The bit-11 byte is a one-shot request; on the 88E6085 ForceMap
        // has no register bit at all.
        port.Bit11 = 0;
        if (desc->type == SWITCH_88E6085)
            port.ForceMap = 0;
        if (typeHasPolicies(desc->type))
            mdioWriteSwitchReg(portAddr(p, kRegPolicy), switchPackReg(port, kRegPolicy, desc->type));
        mdioWriteSwitchReg(portAddr(p, kRegDefaultVid), switchPackReg(port, kRegDefaultVid, desc->type));
        mdioWriteSwitchReg(portAddr(p, kRegControl2), switchPackReg(port, kRegControl2, desc->type));
    }
    for (int p = 0; p < desc->portCount && p < kSwitchMaxPorts; p++)
        if (p != kSwitchSkippedPort)
            setPhyActive(desc, static_cast<uint8_t>(p));
    SwitchDesc readBack;
    readBack.type = desc->type;
    readBack.portCount = desc->portCount;
    getPorts(&readBack);
    return compareSwitches(desc, &readBack);
}

int compareSwitches(const SwitchDesc* a, const SwitchDesc* b)
{
    int r = 0;
    for (int p = 0; p < a->portCount && p < kSwitchMaxPorts; p++) {
        if (p == kSwitchSkippedPort)
            continue;
        for (int i = 0; i < kSwitchFieldCount; i++) {
            uint16_t va = switchFieldGet(a->ports[p], i), vb = switchFieldGet(b->ports[p], i);
            if (va != vb) {
                SW_OUT("Port %d %s mismatch (%d %d)\n", p, kFields[i].word, va, vb);
                r--;
            }
        }
    }
    return r;
}

void setPortVlanTab(SwitchDesc* desc, const uint16_t* vlanTab)
{
    for (int p = 0; p < kSwitchMaxPorts; p++) {
        desc->ports[p].VlanTab = vlanTab[p];
        desc->ports[p].PortState = vlanTab[p] ? kForwarding : 0;
    }
}

void clearPortStates(SwitchDesc* desc)
{
    for (SwitchPort& port : desc->ports)
        port.PortState = 0;
}

void setPortVtuPolicy(SwitchDesc* desc, const uint8_t* policy)
{
    for (int p = 0; p < kSwitchMaxPorts; p++)
        desc->ports[p].VtuPolicy = policy[p];
}

void setPortDefaultVid(SwitchDesc* desc, const uint8_t* force, const uint16_t* vid)
{
    for (int p = 0; p < kSwitchMaxPorts; p++) {
        desc->ports[p].ForceDefVid = force[p];
        desc->ports[p].DefaultVid = vid[p];
    }
}

void setPort8021Q(SwitchDesc* desc, const uint8_t* mode, const uint8_t* discardTagged, const uint8_t* discardUntagged)
{
    for (int p = 0; p < kSwitchMaxPorts; p++) {
        desc->ports[p].Mode8021Q = mode[p];
        desc->ports[p].DiscarTagged = discardTagged[p];
        desc->ports[p].DiscarUntagged = discardUntagged[p];
    }
}

int clearVidRules(SwitchDesc* desc)
{
    int r = flushVtu();
    for (SwitchVidRule& rule : desc->rules) {
        rule.vid = 0;
        memset(rule.tags, kDefaultTag, sizeof rule.tags);
    }
    return r;
}

int setVidRule(SwitchDesc* desc, uint8_t rule, uint16_t vid, const uint8_t* tags)
{
    if (rule >= kSwitchVidRules)
        return -1;
    SW_OUT("VID rule Id %u VID %u\n", rule, vid);
    desc->rules[rule].vid = vid;
    memcpy(desc->rules[rule].tags, tags, sizeof desc->rules[rule].tags);
    return 0;
}

int getPortReg(uint8_t port, uint8_t reg, uint16_t* value)
{
    if (mdioReadSwitchReg(portAddr(port, reg), value) != 0)
        return -1;
    SW_OUT("Port:%d Reg:0x%02X Val:0x%04X\n", port, reg, *value);
    return 0;
}
