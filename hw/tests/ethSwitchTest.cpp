// The Ethernet switch driver against the simulated switch behind MDIO
// channel A: the MDIO layer's edges, the port model's packing, the standard
// configuration of both switch types, the VLAN table, GPIO and PHY access.
#include "hw/ethSwitchConfig.h"
#include "hw/ethSwitchPorts.h"
#include "hw/ethSwitchUnits.h"
#include "hw/mdio.h"

#include "Config/StrutturaDati.h"
#include "Config/keyTable.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/unit.h"
#include "Config/keys/unitKeys.h"
#include "platform/clock.h"
#include "platform/host/ioDevice.h"
#include "sim/simFpga.h"
#include "sim/simSwitch.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr uint16_t kVidCpu = 100, kVidGbe1 = 200, kVidGbe2 = 300;

uint16_t portReg(int port, int reg)
{
    return static_cast<uint16_t>((0x10 + port) * 32 + reg);
}

std::string profileText(const char* name)
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR "/sim/profiles/") + name + ".profile");
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class SwitchTest : public SandboxTest {
protected:
    explicit SwitchTest(const std::string& profile = "")
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, profile)
    {
    }

    void SetUp() override
    {
        SandboxTest::SetUp();
        dev = simFindDeviceByName("SWITCH");
        ASSERT_NE(dev, nullptr);
        sw = simSwitchStore(dev);
        ASSERT_NE(sw, nullptr);
    }

    void TearDown() override
    {
        closeFlexBusMemoryMap();
        SandboxTest::TearDown();
    }

    uint16_t reg(uint16_t addr) const { return simSwitchReg(sw, addr); }
    uint8_t scratch(uint8_t ptr) const { return sw->words[kSimSwitchScratchBase + ptr][1]; }
    void setScratch(uint8_t ptr, uint8_t v) { sw->words[kSimSwitchScratchBase + ptr][1] = v; }

    // Runs a step with standard output captured.
    template <typename F>
    std::string captured(F step)
    {
        testing::internal::CaptureStdout();
        step();
        return testing::internal::GetCapturedStdout();
    }

    const SimVtuEntry* vtu(uint16_t vid) const
    {
        for (const SimVtuEntry& e : sw->vtu)
            if (e.valid && e.vid == vid)
                return &e;
        return nullptr;
    }

    // MDIO transactions of the log from a sequence number on.
    std::vector<SimLogRecord> mdioLog(uint64_t after = 0)
    {
        std::vector<SimLogRecord> r(kSimLogEntries);
        r.resize(simLogRead(SIM_BUS_MDIO, after, r.data(), r.size()));
        return r;
    }

    SimDevice* dev = nullptr;
    SimSwitchStore* sw = nullptr;
};

class Switch6352 : public SwitchTest {};

class Switch6085 : public SwitchTest {
protected:
    Switch6085() : SwitchTest(profileText("switch6085")) {}
};

// Every field of the port record round-trips through its register for both
// types; the packing keeps exactly the bits a type has.
TEST(SwitchPortModel, FieldTablePacksEachFieldIntoItsBits)
{
    EXPECT_STREQ(switchFieldWord(0), "SaFiltering");
    EXPECT_STREQ(switchFieldWord(9), "PortState");
    EXPECT_STREQ(switchFieldWord(12), "VlanTab");
    EXPECT_STREQ(switchFieldWord(34), "DefQPri");
    const uint8_t regs[] = {0x04, 0x06, 0x07, 0x08, 0x0E};
    for (int32_t type : {SWITCH_88E6085, SWITCH_88E6352}) {
        for (int f = 0; f < kSwitchFieldCount; f++) {
            SwitchPort in = {}, out = {};
            switchFieldSet(&in, f, 0xFFFF);
            uint16_t packed = switchPackReg(in, switchFieldRegister(f), type);
            for (uint8_t r : regs)
                switchUnpackReg(&out, r, r == switchFieldRegister(f) ? packed : 0, type);
            uint16_t kept = switchFieldGet(out, f);
            // A field the type has comes back whole (masked); one it has not is 0.
            bool has = packed != 0;
            if (has) {
                SwitchPort again = {};
                switchFieldSet(&again, f, kept);
                EXPECT_EQ(switchPackReg(again, switchFieldRegister(f), type), packed) << switchFieldWord(f);
            } else {
                EXPECT_EQ(kept, 0) << switchFieldWord(f) << " type " << type;
            }
            for (int g = 0; g < kSwitchFieldCount; g++) {
                if (g != f) {
                    EXPECT_EQ(switchFieldGet(out, g), 0) << switchFieldWord(g) << " from " << switchFieldWord(f);
                }
            }
        }
    }
    // Golden registers.
    SwitchPort p = {};
    p.PortState = 3;
    p.EgressFloods = 3;
    p.SaFiltering = 2;
    EXPECT_EQ(switchPackReg(p, 0x04, SWITCH_88E6352), 0x800F);
    p = {};
    p.VlanTab = 0x7FF;
    p.FID = 5;
    p.ForceMap = 1;
    p.Bit11 = 1;
    EXPECT_EQ(switchPackReg(p, 0x06, SWITCH_88E6352), 0x5EFF);
    EXPECT_EQ(switchPackReg(p, 0x06, SWITCH_88E6085), 0x5FFF);
    p = {};
    p.UseDefQPri = 1;
    EXPECT_EQ(switchPackReg(p, 0x08, SWITCH_88E6352), 0x0008);
    EXPECT_EQ(switchPackReg(p, 0x08, SWITCH_88E6085), 0x0000);
    p = {};
    p.DefaultVid = 100;
    p.ForceDefVid = 1;
    p.DefPri = 5;
    EXPECT_EQ(switchPackReg(p, 0x07, SWITCH_88E6085), 0xB064);
    p = {};
    p.VtuPolicy = 3;
    p.UdpPolicy = 1;
    EXPECT_EQ(switchPackReg(p, 0x0E, SWITCH_88E6352), 0x0C01);
    EXPECT_EQ(switchPackReg(p, 0x0E, SWITCH_88E6085), 0x0000);
}

TEST_F(Switch6352, Variant2SetsPortsVlanTableAndGpio)
{
    setScratch(0x64, 0x1C); // pins 2, 3, 4 high before
    int r = 1;
    std::string out = captured([&] { r = setStandardConfiguration(0, 1, 2, kVidCpu, kVidGbe1, kVidGbe2); });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(out.find("mismatch"), std::string::npos) << out;
    EXPECT_NE(out.find("[getSwitchId] >> 88E6352 (10/100/1000)\n"), std::string::npos);
    EXPECT_NE(out.find("[setStandardConfiguration] >> Configuration: VidCpu-P1/2 to CPU, VidGbe1-P1 to GBE1, "
                       "VidGbe2-P2 to GBE2\n"),
              std::string::npos);
    EXPECT_NE(out.find("[loadVtu] >> Loaded VTU VID 300\n"), std::string::npos);
    EXPECT_EQ(switchDescriptor().portCount, 7);

    // Table 2 in the VLAN table.
    const uint8_t tags[3][7] = {{3, 0, 2, 0, 1, 0, 0}, {3, 0, 2, 0, 0, 1, 0}, {3, 0, 2, 0, 0, 0, 1}};
    const uint16_t vids[3] = {kVidCpu, kVidGbe1, kVidGbe2};
    for (int i = 0; i < 3; i++) {
        const SimVtuEntry* e = vtu(vids[i]);
        ASSERT_NE(e, nullptr) << vids[i];
        EXPECT_EQ(memcmp(e->tags, tags[i], 7), 0) << vids[i];
    }
    // Table 1 in the port registers.
    EXPECT_EQ(reg(portReg(1, 0x06)) & 0x7FF, 0x00C);
    EXPECT_EQ(reg(portReg(2, 0x06)) & 0x7FF, 0x022);
    EXPECT_EQ(reg(portReg(4, 0x07)), 0x1064);
    EXPECT_EQ(reg(portReg(6, 0x07)), 0x112C);
    EXPECT_EQ(reg(portReg(0, 0x04)) & 3, 0);
    EXPECT_EQ(reg(portReg(5, 0x04)) & 3, 3);
    EXPECT_EQ((reg(portReg(2, 0x08)) >> 8) & 0xF, 0xD); // 802.1Q 3, untagged discarded
    EXPECT_EQ((reg(portReg(3, 0x0E)) >> 10) & 3, 3);
    // Pins 2, 3 and 4 driven low as outputs; the PHYs powered up.
    EXPECT_EQ(scratch(0x64) & 0x1C, 0);
    EXPECT_EQ(scratch(0x62) & 0x1C, 0);
    EXPECT_EQ(simSwitchPhyReg(sw, 0, 0) & 0x0800, 0);
    EXPECT_EQ(sw->port8Accesses, 0u);
}

TEST_F(Switch6352, MismatchIsReturnedAndStoredAndVariantZeroFollowsTheStoredError)
{
    // Variant 0 with nothing stored writes nothing.
    uint64_t before = simState()->buses[SIM_BUS_MDIO].logHead.load();
    std::string out = captured([] { EXPECT_EQ(setStandardConfiguration(0, 1, 0, 1, 2, 3), 0); });
    EXPECT_NE(out.find("[setStandardConfiguration] >> Ethernet Switch already configured without errors\n"),
              std::string::npos)
        << out;
    for (const SimLogRecord& rec : mdioLog(before))
        EXPECT_NE(rec.op, SIM_OP_WRITE) << simLogFormat(rec);

    ASSERT_EQ(simSwitchIgnoreWrites(sw, portReg(3, 0x04)), 0);
    int r = 0;
    out = captured([&] { r = setStandardConfiguration(0, 1, 2, kVidCpu, kVidGbe1, kVidGbe2); });
    EXPECT_EQ(r, -1) << out;
    EXPECT_NE(out.find("[compareSwitches] >> Port 3 PortState mismatch (3 0)\n"), std::string::npos) << out;
    EXPECT_EQ(switchDescriptor().lastError, -1);

    // Now a variant-0 request is carried out: the other variants' topology.
    out = captured([&] { r = setStandardConfiguration(0, 1, 0, kVidCpu, kVidGbe1, kVidGbe2); });
    EXPECT_NE(out.find("[setStandardConfiguration] >> Configuration: GBE2 to CN13, GBE3 to CN14\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(r, -1); // port 3 still cannot be enabled
    EXPECT_EQ(reg(portReg(2, 0x06)) & 0x7FF, 0x020);
    EXPECT_EQ(reg(portReg(5, 0x07)), 0x0001);
    EXPECT_EQ(switchDescriptor().lastError, -1);
    EXPECT_EQ(sw->vtu[0].valid, 0); // flushed, no rules loaded
}

TEST_F(Switch6352, RuleLoadingErrorIsReturned)
{
    sw->knobs.vtuBusy = 1;
    int r = 0;
    std::string out = captured([&] { r = setStandardConfiguration(0, 1, 2, kVidCpu, kVidGbe1, kVidGbe2); });
    EXPECT_EQ(r, -1) << out;
    EXPECT_NE(out.find("[loadStu] >> Busy on load STU\n"), std::string::npos);
    EXPECT_EQ(switchDescriptor().lastError, -1);
}

TEST_F(Switch6352, ModeZeroAndUnknownSwitch)
{
    uint32_t transfers = dev->transfers.load();
    EXPECT_EQ(setStandardConfiguration(0, 0, 2, 1, 2, 3), 0);
    EXPECT_EQ(dev->transfers.load(), transfers);

    simSwitchSetReg(sw, portReg(0, 0x03), 0x1231);
    std::string out = captured([] { EXPECT_EQ(setStandardConfiguration(0, 1, 2, 1, 2, 3), -1); });
    EXPECT_EQ(switchDescriptor().portCount, kSwitchMaxPorts);
    EXPECT_EQ(switchDescriptor().type, SWITCH_UNKNOWN);
    // Channel B has no switch: nothing answers.
    out = captured([] { EXPECT_EQ(setStandardConfiguration(1, 1, 2, 1, 2, 3), -1); });
    EXPECT_EQ(dev->transfers.load(), transfers + 1); // only the identification on channel A
}

TEST_F(Switch6085, StandardConfigurationMovesPhysAndEnablesTable4Ports)
{
    uint64_t before = simState()->buses[SIM_BUS_MDIO].logHead.load();
    int r = 1;
    std::string out = captured([&] { r = setStandardConfiguration(0, 2, 2, 1, 2, 3); });
    EXPECT_EQ(r, 0) << out;
    EXPECT_NE(out.find("[getSwitchId] >> 88E6085 (10/100)\n"), std::string::npos);
    EXPECT_NE(out.find("[setPhyAddr] >> PHY address changed from 0x10 to 0x09\n"), std::string::npos) << out;
    EXPECT_EQ(switchDescriptor().portCount, 11);
    EXPECT_EQ(simSwitchPhyReg(sw, 9, 25) & 0x1F, 9);
    EXPECT_EQ(simSwitchPhyReg(sw, 10, 25) & 0x1F, 10);
    EXPECT_EQ(simSwitchPhyReg(sw, 0x10, 25), 0xFFFF);
    EXPECT_NE(reg(portReg(9, 0x00)) & 0x1000, 0);
    EXPECT_EQ(sw->port8Accesses, 0u);

    // Every port's control register is written with PortState 0 before any
    // is written with 3.
    std::vector<int> firstZero(11, -1), firstThree(11, -1);
    std::vector<SimLogRecord> log = mdioLog(before);
    for (size_t i = 0; i < log.size(); i++) {
        const SimLogRecord& rec = log[i];
        int port = (rec.addr >> 5) - 0x10;
        if (rec.op != SIM_OP_WRITE || (rec.addr & 0x1F) != 0x04 || port < 0 || port > 10)
            continue;
        std::vector<int>& first = (rec.value & 3) == 0 ? firstZero : firstThree;
        if (first[port] < 0)
            first[port] = static_cast<int>(i);
    }
    for (int p = 0; p < 11; p++) {
        if (p == 8)
            continue;
        ASSERT_GE(firstZero[p], 0) << p;
        if (firstThree[p] >= 0) {
            EXPECT_LT(firstZero[p], firstThree[p]) << p;
        }
    }
    for (int p : {0, 1, 3, 9, 10})
        EXPECT_GE(firstThree[p], 0) << p;
    EXPECT_EQ(firstThree[2], -1);
}

TEST_F(Switch6085, Table4ByModeAndVariant)
{
    struct Case {
        uint32_t mode, variant;
        const char* line;
        uint16_t vlanTab[11];
    };
    const Case cases[] = {
        {2, 2, "all port interconnected, except the GBE switch via", {0x200, 0x400, 0, 0x400, 0, 0, 0, 0, 0, 0x001, 0x00A}},
        {2, 1, "all port interconnected, to GBE switch to permit the VLAN tunnel", {0x200, 0, 0, 0x400, 0, 0, 0, 0, 0, 0x001, 0x008}},
        {1, 2, "CPU0 to front, CPU1 to GBE switch to permit the VLAN tunnel", {0, 0x400, 0, 0, 0, 0, 0, 0x200, 0, 0x080, 0x002}},
        {3, 0, "CPU0 to front, CPU1 to back", {0, 0, 0, 0x400, 0, 0, 0, 0x200, 0, 0x080, 0x008}},
        {7, 2, "leave all ports unconnected", {}},
    };
    for (const Case& c : cases) {
        int r = 1;
        std::string out = captured([&] { r = setStandardConfiguration(0, c.mode, c.variant, 1, 2, 3); });
        EXPECT_EQ(r, 0) << out;
        std::string line = std::string("[setStandardConfiguration] >> Configuration: ") + c.line + "\n";
        EXPECT_EQ(count(out, line), c.mode == 7 ? 2u : 1u) << c.mode << "/" << c.variant << "\n" << out;
        for (int p = 0; p < 11; p++) {
            if (p == 8)
                continue;
            EXPECT_EQ(reg(portReg(p, 0x06)) & 0x7FF, c.vlanTab[p]) << c.mode << "/" << c.variant << " port " << p;
            EXPECT_EQ(reg(portReg(p, 0x04)) & 3, c.vlanTab[p] ? 3 : 0) << c.mode << "/" << c.variant << " port " << p;
            EXPECT_EQ(reg(portReg(p, 0x07)), 0x0001);
            EXPECT_EQ((reg(portReg(p, 0x08)) >> 8) & 0xF, 0x2);
        }
    }
    EXPECT_EQ(sw->port8Accesses, 0u);
}

TEST_F(Switch6352, MdioEdges)
{
    uint16_t v = 0xBEEF;
    // Busy before the access: nothing is written.
    dev->busy.store(1);
    uint32_t transfers = dev->transfers.load();
    EXPECT_EQ(mdioWrite(0, portReg(1, 0x07), 0x0123), -1);
    EXPECT_EQ(mdioRead(0, portReg(1, 0x07), &v), -1);
    EXPECT_EQ(dev->transfers.load(), transfers);
    EXPECT_EQ(reg(portReg(1, 0x07)), 0x0001);
    EXPECT_EQ(v, 0xBEEF);

    // Busy after the command: 1,000 polls, then -1.
    dev->busy.store(2);
    uint32_t polls = simState()->fpga.mdioStatusReads.load();
    EXPECT_EQ(mdioRead(0, portReg(1, 0x07), &v), -1);
    EXPECT_EQ(simState()->fpga.mdioStatusReads.load() - polls, 1001u);
    EXPECT_EQ(v, 0xBEEF);
    dev->busy.store(0);

    // No acknowledge (channel B has no switch): the output is untouched.
    EXPECT_EQ(mdioRead(1, portReg(1, 0x07), &v), -1);
    EXPECT_EQ(v, 0xBEEF);
    EXPECT_EQ(mdioWrite(0, portReg(1, 0x07), 0x0123), 0);
    EXPECT_EQ(mdioRead(0, portReg(1, 0x07), &v), 0);
    EXPECT_EQ(v, 0x0123);
    mdioSelectChannel(0);
    EXPECT_EQ(mdioReadSwitchReg(portReg(0, 0x03), &v), 0);
    EXPECT_EQ(v, 0x3521);
}

TEST_F(Switch6352, WindowThatCannotBeMappedFailsEveryAccess)
{
    ioRegisterDevice("/dev/dwlfpga", nullptr);
    uint16_t v = 7;
    std::string out = captured([&] {
        EXPECT_EQ(mdioRead(0, 0, &v), -1);
        EXPECT_EQ(mdioWrite(0, 0, 1), -1);
    });
    ioRegisterDevice("/dev/dwlfpga", simDwlFpgaDevice());
    EXPECT_EQ(v, 7);
    EXPECT_EQ(count(out, "[initFlexBusMemoryMap] >> can't open flex bus device!\n"), 2u) << out;
    // Mapped on the next access once the device is there.
    out = captured([&] { EXPECT_EQ(mdioRead(0, portReg(0, 0x03), &v), 0); });
    EXPECT_NE(out.find("[initFlexBusMemoryMap] >> Mapping registers to flexbus ("), std::string::npos);
}

TEST_F(Switch6352, SmiAndVtuBounds)
{
    mdioSelectChannel(0);
    uint16_t v = 0x5555;
    EXPECT_EQ(readSmi(1, 1, &v), 0);
    EXPECT_EQ(v, 0x7949);
    EXPECT_EQ(writeSmi(1, 0, 0x1140), 0);
    EXPECT_EQ(simSwitchPhyReg(sw, 1, 0), 0x1140);

    sw->knobs.smiBusy = 1;
    struct timespec t0, t1;
    clockGetTime(CLOCK_MONOTONIC, &t0);
    std::string out = captured([&] { EXPECT_EQ(readSmi(1, 1, &v), -1); });
    clockGetTime(CLOCK_MONOTONIC, &t1);
    EXPECT_EQ(v, 0);
    int64_t ms = (t1.tv_sec - t0.tv_sec) * 1000 + (t1.tv_nsec - t0.tv_nsec) / 1000000;
    EXPECT_GE(ms, 102);
    EXPECT_LT(ms, 110);
    EXPECT_NE(out.find("[readSmi] >> Failed after 102 retry\n[readSmi] >> PHY SMI is Busy\n"), std::string::npos);
    sw->knobs.smiBusy = 0;

    const uint8_t tags[7] = {1, 2, 3, 0, 1, 2, 3};
    out = captured([&] {
        EXPECT_EQ(loadVtu(42, tags), 0);
        EXPECT_EQ(getVtuEntries(), 0);
    });
    EXPECT_NE(out.find("[getVtuEntries] >> VID 42 Valid 1\n[getVtuEntries] >> VID 4095 Valid 0\n"),
              std::string::npos)
        << out;
    ASSERT_NE(vtu(42), nullptr);
    EXPECT_EQ(memcmp(vtu(42)->tags, tags, 7), 0);

    sw->knobs.vtuEndless = 1;
    uint32_t ops = sw->vtuOps;
    out = captured([&] { EXPECT_EQ(getVtuEntries(), -1); });
    EXPECT_EQ(sw->vtuOps - ops, static_cast<uint32_t>(kVtuWalkLimit));
    EXPECT_NE(out.find("[getVtuEntries] >> VTU walk did not end after 4096 entries\n"), std::string::npos);
}

TEST_F(Switch6352, Gpio)
{
    mdioSelectChannel(0);
    SwitchDesc d;
    uint8_t bit = 9;
    setScratch(0x65, 0x02);
    EXPECT_EQ(getGpio(&d, 9, &bit), 0);
    EXPECT_EQ(bit, 1);
    setScratch(0x65, 0xFD);
    EXPECT_EQ(getGpio(&d, 9, &bit), 0);
    EXPECT_EQ(bit, 0);
    std::string out = captured([&] { EXPECT_EQ(getGpio(&d, 15, &bit), -1); });
    EXPECT_EQ(out, "[getGpio] >> Port value (15) is out of range. Max is 14\n");

    setScratch(0x72, 0x76);
    out = captured([&] { EXPECT_EQ(initGpio(&d, 5, 1), -1); });
    EXPECT_NE(out.find("[initGpio] >> P5MODE 2:1 1:1 0:0\n[initGpio] >> P5MODE ERROR\n"), std::string::npos) << out;

    out = captured([&] {
        EXPECT_EQ(setGpio(&d, 2, 1), 0);
        EXPECT_EQ(setGpio(&d, 2, 1), 0);
        EXPECT_EQ(setGpio(&d, 2, 0), 0);
    });
    EXPECT_NE(out.find("[setGpio] >> Switched to GBE Switch\n[setGpio] >> GPIO val 1 - 4\n"
                       "[setGpio] >> Already configured\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("[setGpio] >> Switched to rear port\n"), std::string::npos);

    // Output and back to input: the direction bit reads back.
    EXPECT_EQ(initGpio(&d, 3, 0), 0);
    EXPECT_EQ(scratch(0x62) & 0x08, 0);
    EXPECT_EQ(initGpio(&d, 3, 1), 0);
    EXPECT_NE(scratch(0x62) & 0x08, 0);
}

TEST_F(Switch6352, CountersStatisticsAndLinkSpeed)
{
    simSwitchSetPhyReg(sw, 1, 1, 0x796D); // link up on port 1
    simSwitchSetReg(sw, portReg(6, 0x13), 0);
    int32_t counts[10];
    std::string out = captured([&] { EXPECT_EQ(getPortFrameCounts(0, counts), 0); });
    // Ports 0-7, 9, 10: PHY without link, PHY with link, PHYs without link,
    // no PHY with frames, no PHY without frames, and ports the 88E6352 has not.
    const int32_t expect[10] = {-2, 0x41 / 2, -2, -2, -2, 0x45 / 2, -1, -1, -1, -1};
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(counts[i], expect[i]) << i;
    EXPECT_NE(out.find("[getCounters] >> Port 1 RxFrameCnt 65\n"), std::string::npos) << out;
    out = captured([&] { EXPECT_EQ(getPortFrameCounts(1, counts), 0); });
    for (int32_t c : counts)
        EXPECT_EQ(c, -3);

    mdioSelectChannel(0);
    out = captured([] { EXPECT_EQ(getPortStats(1, 1), 0); });
    EXPECT_EQ(count(out, "[getPortStats] >> Counter Name: "), 32u);
    EXPECT_NE(out.find("[getPortStats] >> Counter Name: InGoodOctetsLo\n[getPortStats] >> Port:1 Stats3&2:0x0002\n"
                       "[getPortStats] >> Port:1 Stats1&0:0x0000\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Counter Name: 65 to 127Octets\n"), std::string::npos);
    EXPECT_NE(out.find("Counter Name: In RxErr\n"), std::string::npos);
    EXPECT_NE(out.find("[getPortStats] >> Counter Name: Late\n[getPortStats] >> Port:1 Stats3&2:0x0002\n"
                       "[getPortStats] >> Port:1 Stats1&0:0x001F\n"),
              std::string::npos);

    out = captured([] { EXPECT_EQ(setLinkSpeed(1, 2), 0); });
    EXPECT_NE(out.find("[setLinkSpeed] >> PHY : 100Mbs\n"), std::string::npos) << out;
    EXPECT_EQ(simSwitchPhyReg(sw, 1, 0), 0x2920);
    EXPECT_EQ(isPortLinkUp(1), 0);
    EXPECT_EQ(isPort2LinkUp(), -1);
}

TEST_F(Switch6352, BenchProbes)
{
    std::string out = captured([] {
        searchForAcknowledge(0);
        searchForAcknowledge(1);
    });
    EXPECT_EQ(count(out, "[searchForAcknowledge] >> ***************acknowledge received*********************\n"),
              1023u);
    EXPECT_EQ(count(out, "[searchForAcknowledge] >> acknowledge NOT received\n"), 1023u);
    EXPECT_NE(out.find("[searchForAcknowledge] >> WriteMdioB1 "), std::string::npos);
    volatile uint32_t word = 0;
    out = captured([&] { testArea(&word); });
    EXPECT_EQ(count(out, "[testArea] >> test "), 16u);
    EXPECT_NE(out.find(" = 0x8000\n"), std::string::npos) << out;
}

TEST_F(Switch6352, ApplyEthernetSwitchConfigLoadsAllThreeVids)
{
    cfgSetElement(KEYROW(ModeWord), 0, 1);
    setEthernetSwitchConfig(2);
    setCpuVlanId(kVidCpu);
    setGbeAVlanId(kVidGbe1);
    setGbeBVlanId(kVidGbe2);
    int r = 1;
    std::string out = captured([&] { r = applyEthernetSwitchConfig(0); });
    EXPECT_EQ(r, 0) << out;
    for (uint16_t vid : {kVidCpu, kVidGbe1, kVidGbe2})
        EXPECT_NE(vtu(vid), nullptr) << vid;
    EXPECT_EQ(reg(portReg(6, 0x07)) & 0xFFF, kVidGbe2);
}

} // namespace
