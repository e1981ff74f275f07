// The Ethernet switch's standard configuration.
#include "hw/ethSwitchConfig.h"

#include "hw/ethSwitchUnits.h"
#include "hw/mdio.h"

#include <cstdio>

// Every line of the configuration carries the name of the operation the
// caller asked for, whichever step prints it.
#define SW_OUT(fmt, ...) printf("[setStandardConfiguration] >> " fmt __VA_OPT__(, ) __VA_ARGS__)

namespace {

enum VidSource : uint8_t { VID_FIXED, VID_CPU, VID_GBE1, VID_GBE2 };

struct PortSetting {
    uint8_t port;
    uint16_t vlanTab;
    uint8_t portState, vtuPolicy, forceDefVid;
    VidSource vidSource;
    uint16_t defaultVid;
    uint8_t mode8021Q, discarTagged, discarUntagged;
};

struct VidRuleSetting {
    uint8_t rule;
    VidSource vidSource;
    uint16_t vid;
    uint8_t tags[7];
};

struct CommonSetting {
    uint8_t vtuPolicy, forceDefVid;
    uint16_t defaultVid;
    uint8_t mode8021Q, discarTagged, discarUntagged;
};

struct Std6085Row {
    uint32_t modes;  // bit m: mode m; 0: every other mode
    int8_t variant2; // 1: variant 2, 0: any other variant, -1: any
    const char* line;
    uint16_t vlanTab[kSwitchMaxPorts];
};

#define ETH_SWITCH_CONFIG_TABLES
#include "hw/gen/ethSwitchTables.inc"
#undef ETH_SWITCH_CONFIG_TABLES

constexpr int kPorts6352 = 7;
constexpr uint8_t kForwarding = 3;
constexpr uint8_t kPhy6085A = 0x10, kPhy6085B = 0x11, kPort6085A = 9, kPort6085B = 10;

struct State {
    SwitchDesc desc;
};

State& st()
{
    static State s;
    return s;
}

uint16_t vidOf(VidSource src, uint16_t fixed, const uint16_t* vids)
{
    return src == VID_FIXED ? fixed : vids[src - VID_CPU];
}

void applyCommon(SwitchDesc* d, const CommonSetting& c)
{
    for (SwitchPort& p : d->ports) {
        p.VtuPolicy = c.vtuPolicy;
        p.ForceDefVid = c.forceDefVid;
        p.DefaultVid = c.defaultVid;
        p.Mode8021Q = c.mode8021Q;
        p.DiscarTagged = c.discarTagged;
        p.DiscarUntagged = c.discarUntagged;
    }
}

// Keeps the first error of a request, and stores an error as the last one
// as the switch configuration has always done: a port mismatch always, the
// other steps only while none is stored.
void noteError(SwitchDesc* d, int* result, int r, bool always)
{
    if (r == 0)
        return;
    if (*result == 0)
        *result = r;
    if (always || d->lastError == 0)
        d->lastError = r;
}

int configure6352(SwitchDesc* d, uint32_t variant, const uint16_t* vids)
{
    if (static_cast<int32_t>(variant) == d->configuredVariant && d->lastError == 0) {
        SW_OUT("Ethernet Switch already configured without errors\n");
        return 0;
    }
    getPorts(d);
    int portsResult = 0, rulesResult = 0;
    if (variant == 2) {
        SW_OUT("Configuration: VidCpu-P1/2 to CPU, VidGbe1-P1 to GBE1, VidGbe2-P2 to GBE2\n");
        for (const PortSetting& s : kStd6352Variant2) {
            SwitchPort& p = d->ports[s.port];
            p.VlanTab = s.vlanTab;
            p.PortState = s.portState;
            p.VtuPolicy = s.vtuPolicy;
            p.ForceDefVid = s.forceDefVid;
            p.DefaultVid = vidOf(s.vidSource, s.defaultVid, vids);
            p.Mode8021Q = s.mode8021Q;
            p.DiscarTagged = s.discarTagged;
            p.DiscarUntagged = s.discarUntagged;
        }
        clearVidRules(d);
        for (const VidRuleSetting& r : kStd6352Rules) {
            uint8_t tags[kSwitchMaxPorts];
            for (int p = 0; p < kSwitchMaxPorts; p++)
                tags[p] = p < kPorts6352 ? r.tags[p] : 3;
            setVidRule(d, r.rule, vidOf(r.vidSource, r.vid, vids), tags);
        }
        portsResult = setPorts(d);
        rulesResult = loadVidRules(d);
    } else {
        SW_OUT("Configuration: GBE2 to CN13, GBE3 to CN14\n");
        uint16_t vlanTab[kSwitchMaxPorts] = {};
        for (int p = 0; p < kPorts6352; p++)
            vlanTab[p] = kStd6352OtherVlanTab[p];
        setPortVlanTab(d, vlanTab);
        applyCommon(d, kStdEveryPort);
        clearVidRules(d);
        portsResult = setPorts(d);
    }
    int gpioResult = configureGpio(d, 0);
    int result = 0;
    noteError(d, &result, portsResult, true);
    noteError(d, &result, rulesResult, false);
    noteError(d, &result, gpioResult, false);
    return result;
}

const Std6085Row& row6085(uint32_t mode, uint32_t variant)
{
    for (const Std6085Row& r : kStd6085) {
        bool modeFits = r.modes == 0 || (mode < 32 && (r.modes & (1u << mode)));
        bool variantFits = r.variant2 < 0 || (r.variant2 == 1) == (variant == 2);
        if (modeFits && variantFits)
            return r;
    }
    return kStd6085[sizeof kStd6085 / sizeof kStd6085[0] - 1];
}

int configure6085(SwitchDesc* d, uint32_t mode, uint32_t variant)
{
    setPhyAddr(kPhy6085A, kPort6085A);
    setPhyAddr(kPhy6085B, kPort6085B);
    getPorts(d);
    clearPortStates(d);
    setPorts(d);

    const Std6085Row& row = row6085(mode, variant);
    SW_OUT("%s\n", row.line);
    for (int p = 0; p < kSwitchMaxPorts; p++)
        d->ports[p].VlanTab = row.vlanTab[p];
    applyCommon(d, kStdEveryPort);
    clearVidRules(d);
    clearPortStates(d);
    setPorts(d);

    if (row.modes == 0)
        SW_OUT("%s\n", row.line);
    else
        for (int p = 0; p < kSwitchMaxPorts; p++)
            if (row.vlanTab[p])
                d->ports[p].PortState = kForwarding;
    int r = setPorts(d);
    if (r != 0)
        d->lastError = r;
    return r;
}

} // namespace

int setStandardConfiguration(uint8_t channel, uint32_t mode, uint32_t variant, uint16_t vidCpu, uint16_t vidGbe1,
                             uint16_t vidGbe2)
{
    if (mode == 0)
        return 0;
    SwitchDesc& d = st().desc;
    mdioSelectChannel(static_cast<int8_t>(channel));
    uint16_t id = 0;
    // The descriptor is rebuilt from the switch on every request; only the
    // configured variant and the last error outlive it.
    SwitchDesc fresh;
    fresh.configuredVariant = d.configuredVariant;
    fresh.lastError = d.lastError;
    d = fresh;
    d.type = getSwitchId(&id);
    d.portCount = d.type == SWITCH_88E6352 ? kPorts6352 : kSwitchMaxPorts;
    const uint16_t vids[3] = {vidCpu, vidGbe1, vidGbe2};
    if (d.type == SWITCH_88E6352)
        return configure6352(&d, variant, vids);
    if (d.type == SWITCH_88E6085)
        return configure6085(&d, mode, variant);
    return -1;
}

const SwitchDesc& switchDescriptor()
{
    return st().desc;
}
