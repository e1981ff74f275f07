// The simulated Ethernet switch: its profile line, its model values and
// VLAN table through simctl in another process.
#include "sim/simModels.h"
#include "sim/simProfile.h"
#include "sim/simState.h"
#include "sim/simSwitch.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

namespace {

std::string simctl(const std::string& root, const std::string& args, int* status = nullptr)
{
    return runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args, status);
}

TEST(SimSwitch, ProfileLineFitsASwitchBehindAChannel)
{
    SimProfile p;
    std::string err;
    ASSERT_EQ(simProfileParse("mdio A mv88e6352 name=SWITCH\nmdio B mv88e6085\n", &p, &err), 0) << err;
    ASSERT_EQ(p.devices.size(), 2u);
    EXPECT_EQ(p.devices[0].bus, SIM_BUS_MDIO);
    EXPECT_EQ(p.devices[0].addr, 0);
    EXPECT_EQ(p.devices[1].addr, 1);
    EXPECT_TRUE(simKindKnown(SIM_BUS_MDIO, "mv88e6085"));
    EXPECT_FALSE(simKindKnown(SIM_BUS_I2C1, "mv88e6352"));
    for (const char* bad : {"mdio C mv88e6352", "mdio A", "mdio A mv88e6352\nmdio A mv88e6085"}) {
        SimProfile q;
        EXPECT_EQ(simProfileParse(bad, &q, &err), -1) << bad;
    }
}

TEST(SimSwitch, SimctlReachesRegistersAndListsTheVlanTable)
{
    std::string root = makeTestSandbox();
    SimDevice* d = simFindDeviceByName("SWITCH");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->bus, SIM_BUS_MDIO);
    // Port 0 register 0x03: product 0x352.
    EXPECT_EQ(simctl(root, "get SWITCH 0x203 2"), "0x35 0x21\n");
    EXPECT_EQ(simctl(root, "get mdio.0 0x203 1"), "0x35\n");
    int status = -1;
    simctl(root, "set SWITCH 0x227 0x10 0x64", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(simSwitchReg(simSwitchStore(d), 0x227), 0x1064);

    // A VTU entry loaded over MDIO, seen by simctl.
    uint16_t data = 0;
    auto write = [&](uint16_t addr, uint16_t v) {
        ASSERT_TRUE(simSwitchTransact(d, static_cast<uint16_t>(1u << 10 | addr), v, &data));
    };
    write(0x1B * 32 + 0x06, 0x1000 | 42);
    write(0x1B * 32 + 0x07, 0x0123);
    write(0x1B * 32 + 0x08, 0x0001);
    write(0x1B * 32 + 0x05, 0xB000);
    std::string out = simctl(root, "switch SWITCH");
    EXPECT_NE(out.find("vtu vid 42 fid 0 sid 0 tags 3 2 1 0 1 0 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("port 8 accesses 0"), std::string::npos) << out;

    simctl(root, "switch SWITCH smi-busy 1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(simSwitchStore(d)->knobs.smiBusy, 1);
    simctl(root, "switch SWITCH ignore 0x284", &status);
    write(0x284, 0x0003);
    EXPECT_EQ(simSwitchReg(simSwitchStore(d), 0x284), 0x007C);
    EXPECT_NE(simctl(root, "log mdio").find("mdio 0x284 write"), std::string::npos);
    removeTestSandbox(root);
}

} // namespace
