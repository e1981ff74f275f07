// The amplifier plant: its knobs, the inputs it drives, its comparators and
// the RF EEPROM image it writes.
#include "sim/simPlant.h"

#include "hw/spiBus.h"
#include "sim/simModels.h"
#include "testing/daemonSandbox.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

std::string profileText(const std::string& name, const std::string& plantOptions = "")
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/" + name + ".profile");
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    size_t at = text.find("spi 2 hpaplant");
    if (at != std::string::npos && !plantOptions.empty())
        text.insert(text.find('\n', at), " " + plantOptions);
    return text;
}

std::map<std::string, std::string> plantNow()
{
    std::map<std::string, std::string> m;
    for (auto& [k, v] : simPlantQuantities())
        m[k] = v;
    return m;
}

uint8_t reg(uint16_t addr, uint32_t r)
{
    uint8_t v = 0;
    simModelOf(simFindDevice(SIM_BUS_I2C1, addr))->peek(r, &v, 1);
    return v;
}

void setReg(uint16_t addr, uint32_t r, uint8_t v)
{
    simModelOf(simFindDevice(SIM_BUS_I2C1, addr))->poke(r, &v, 1);
}

uint32_t eepromBe(uint32_t at, int n)
{
    uint8_t b[4] = {};
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x52))->peek(at, b, n);
    uint32_t v = 0;
    for (int i = 0; i < n; i++)
        v = v << 8 | b[i];
    return v;
}

// One conversion of the plant's converter (16-bit words, count in bits 4-15
// on the models other than 0).
uint16_t convert()
{
    uint16_t tx = 0, rx = 0;
    SPI_WriteReadData(reinterpret_cast<uint8_t*>(&tx), reinterpret_cast<uint8_t*>(&rx), 2, 1, 2);
    return rx;
}

void writeDac(uint8_t command, uint16_t code)
{
    const uint8_t frame[3] = {command, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    SPI_WriteData(frame, 3, 0, 3);
}

class SimPlantKnobs : public SandboxTest {
protected:
    SimPlantKnobs()
        : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK,
                      profileText("hpa-if3", "ambient=30 tau=5 rl=12 fan=stop interlock=open noise=3 seed=7"))
    {
    }
    std::string simctl(const std::string& args, int* status = nullptr)
    {
        return runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args, status);
    }
};

TEST_F(SimPlantKnobs, ProfileOptionsAndSimctlShowAndSetTheKnobs)
{
    int status = -1;
    std::string out = simctl("plant", &status);
    EXPECT_EQ(status, 0);
    for (const char* line : {"model 2\n", "ambient 30.00\n", "tau 5.00\n", "rl 12.00\n", "fan stop\n",
                             "interlock open\n", "noise 3\n", "seed 7\n", "rf off\n", "temp 25.00\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    expectSimctlSets(root, CORVANE_TOOLS_DIR "/simctl", "plant",
                     {
                         {"plant set temp 50", 0, "temp 50.00\n"},
                         {"plant set ambient -5.5", 0, "ambient -5.50\n"},
                         {"plant set fan run", 0, "fan run\n"},
                         {"plant set interlock closed", 0, "interlock closed\n"},
                         {"plant set rl 3", 0, "rl 3.00\n"},
                         {"plant set tau 0", 1, "tau 5.00\n"},
                         {"plant set fan slow", 1, "fan run\n"},
                         {"plant set volume 3", 1, "rl 3.00\n"},
                         {"plant set rl x", 1, "rl 3.00\n"},
                         {"plant set power 40", 0, "power 40.00\n"},
                         {"plant bogus", 2, "power 40.00\n"},
                     });
}

TEST_F(SimPlantKnobs, InterlockSupplyAndFanDriveTheirInputs)
{
    ASSERT_EQ(simPlantSet("power", "48"), 0);
    EXPECT_EQ(reg(0x20, 0) & 1, 0) << "interlock open";
    EXPECT_EQ(plantNow()["rf"], "off") << "no RF with the interlock open";
    ASSERT_EQ(simPlantSet("interlock", "closed"), 0);
    EXPECT_EQ(reg(0x20, 0) & 1, 1);
    EXPECT_EQ(plantNow()["rf"], "on");
    EXPECT_EQ(reg(0x26, 1) & 3, 2) << "AmpliVoltage present, AmpliMute clear";
    ASSERT_EQ(simPlantSet("supply", "0"), 0);
    EXPECT_EQ(reg(0x26, 1) & 2, 0);
    EXPECT_EQ(plantNow()["rf"], "off");

    ASSERT_EQ(simPlantSet("supply", "50"), 0);
    SimFpgaState& fpga = simState()->fpga;
    fpga.frameCount = 1;
    fpga.frame[4] = 0;
    EXPECT_EQ(plantNow()["rf"], "off") << "a control frame with the carrier off";
    fpga.frame[4] = 1u << 16;
    EXPECT_EQ(plantNow()["rf"], "on");

    setReg(0x2F, 0x32, 255);
    setReg(0x2F, 0x33, 128);
    simPlantSet("fan", "stop");
    EXPECT_EQ(reg(0x2F, 0x2A) | reg(0x2F, 0x2B) << 8, 0xFFFF) << "a stopped fan";
    simPlantSet("fan", "run");
    EXPECT_EQ(reg(0x2F, 0x2A) | reg(0x2F, 0x2B) << 8, 900) << "6000 RPM at full duty";
    EXPECT_EQ(reg(0x2F, 0x2C) | reg(0x2F, 0x2D) << 8, 1792) << "5400000 / (6000 x 128 / 255), truncated";
    EXPECT_EQ(reg(0x2F, 0x2E) | reg(0x2F, 0x2F) << 8, 0xFFFF) << "duty 0";
}

TEST_F(SimPlantKnobs, NoiseComesOnlyFromTheSeed)
{
    simPlantSet("interlock", "closed");
    simPlantSet("power", "48");
    // The multiplexer's power-on byte selects channel 3, the reflected detector.
    uint32_t clean = std::stoul(plantNow()["ref_count"]);
    auto series = [] {
        std::vector<int> s;
        for (int i = 0; i < 12; i++)
            s.push_back(convert() >> 4);
        return s;
    };
    simPlantSet("seed", "7");
    auto a = series();
    simPlantSet("seed", "7");
    EXPECT_EQ(series(), a);
    bool varies = false;
    for (int v : a) {
        EXPECT_LE(std::abs(v - static_cast<int>(clean)), 3) << v;
        varies |= v != a[0];
    }
    EXPECT_TRUE(varies);
    simPlantSet("noise", "0");
    EXPECT_EQ(convert() >> 4, static_cast<int>(clean));
}

class SimPlantIf3 : public SandboxTest {
protected:
    SimPlantIf3() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-if3")) {}
};

TEST_F(SimPlantIf3, ComparatorsTripMuteAndAlarmUntilTheRfLineGoesOff)
{
    ASSERT_EQ(simPlantSet("power", "48"), 0);
    auto p = plantNow();
    uint32_t fwd = std::stoul(p["fwd_count"]), ref = std::stoul(p["ref_count"]);
    ASSERT_EQ(p["rf"], "on");
    EXPECT_EQ(reg(0x24, 0) >> 6, 0) << "no FWD or REF alarm";

    // Over-power: DAC 1 (channel 3) just above the forward count x 16 holds.
    writeDac(0x16, static_cast<uint16_t>(fwd * 16 + 8));
    convert();
    EXPECT_EQ(plantNow()["tripped"], "0");
    writeDac(0x16, static_cast<uint16_t>(fwd * 16 - 8));
    convert();
    p = plantNow();
    EXPECT_EQ(p["tripped"], "1");
    EXPECT_EQ(p["rf"], "off");
    EXPECT_EQ(p["fwd_count"], "0");
    EXPECT_EQ(reg(0x26, 1) & 1, 1) << "AmpliMute";
    EXPECT_EQ(reg(0x24, 0) >> 6, 2) << "FWD alarm line";

    // The lockout resets with the RF-state line.
    setReg(0x24, 1, 0xF7);
    convert();
    writeDac(0x16, 0xFFFF);
    setReg(0x24, 1, 0xFF);
    convert();
    p = plantNow();
    EXPECT_EQ(p["tripped"], "0");
    EXPECT_EQ(p["rf"], "on");
    EXPECT_EQ(reg(0x26, 1) & 1, 0);

    // Reflected, a falling detector on this model: trips below DAC 2's code.
    writeDac(0x14, static_cast<uint16_t>(ref * 16 - 8));
    convert();
    EXPECT_EQ(plantNow()["tripped"], "0");
    simPlantSet("rl", "5");
    convert();
    EXPECT_EQ(plantNow()["tripped"], "2");
    EXPECT_EQ(reg(0x24, 0) >> 6, 1) << "REF alarm line";
}

class SimPlantSps : public SandboxTest {
protected:
    SimPlantSps() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-compact-sps")) {}
};

TEST_F(SimPlantSps, SupplyStatusAndAlarmLinesOnTheCompactExpander)
{
    ASSERT_EQ(simPlantSet("power", "53"), 0);
    EXPECT_EQ(plantNow()["rf"], "off") << "model 4's RF-state line is on when bit 3 is clear";
    setReg(0x24, 1, 0xF7);
    ASSERT_EQ(simPlantSet("rl", "20"), 0);
    EXPECT_EQ(plantNow()["rf"], "on");
    EXPECT_EQ(reg(0x25, 0) & 0x2C, 0x20) << "supply OK, no FWD or REF alarm";
    uint32_t fwd = std::stoul(plantNow()["fwd_count"]);
    writeDac(0x10, static_cast<uint16_t>(fwd * 16 - 8)); // logical DAC 1 of model 4
    convert();
    EXPECT_EQ(reg(0x25, 0) & 0x0C, 0x08) << "FWD alarm line";
    simPlantSet("supply", "0");
    EXPECT_EQ(reg(0x25, 0) & 0x20, 0);
}

class SimPlantEeprom : public SandboxTest {
protected:
    SimPlantEeprom() : SandboxTest(SANDBOX_LOGS, profileText("hpa-if2")) {}
};

TEST_F(SimPlantEeprom, LayoutAFromTheDetectorLaw)
{
    struct Field {
        uint32_t at;
        int bytes;
        uint32_t value;
    };
    const uint32_t fwdStart = 300 - 200, refStart = 300 - 150 - 200;
    const Field fields[] = {
        {0x1E, 4, 170500002}, {0x29, 4, 3101},      {0x64, 4, 98000},    {0x6C, 2, 300},      {0x6E, 2, 300},
        {0x70, 2, 150},       {0x74, 2, 2500},      {0x78, 2, 2500},     {0x7C, 1, 75},       {0x7F, 2, 0},
        {0x8C, 4, fwdStart},  {0x94, 4, 10000},     {0x98, 4, 250},      {0xAA, 4, 87500},    {0xB2, 4, 500},
        {0xB6, 4, 41},        {0xC8, 4, refStart},  {0xD4, 4, 250},      {0x104, 1, 0xEC},    {0x106, 1, 25},
    };
    for (const Field& f : fields)
        EXPECT_EQ(eepromBe(f.at, f.bytes), f.value) << std::hex << f.at;

    uint32_t fwd = eepromBe(0x9C, 3), ref = eepromBe(0xD8, 3), k2 = eepromBe(0xBA, 3), temp = eepromBe(0x107, 3);
    // Forward K1 words: 10000 at nominal, 1000 twenty dB below, 0.1 dB steps.
    EXPECT_EQ(eepromBe(fwd + 2 * 200, 2), 10000u);
    EXPECT_EQ(eepromBe(fwd, 2), 1000u);
    EXPECT_EQ(eepromBe(fwd + 2 * 210, 2), 11220u);
    // Model 1's reflected detector falls: 10000 at the reflected nominal,
    // 200 less per dB above it.
    EXPECT_EQ(eepromBe(ref + 2 * 200, 2), 10000u);
    EXPECT_EQ(eepromBe(ref + 2 * 210, 2), 9800u);
    EXPECT_EQ(eepromBe(k2, 2), 10000u);
    EXPECT_EQ(eepromBe(k2 + 2 * 41, 2), 10000u);
    for (int i = 0; i < 25; i++)
        EXPECT_EQ(eepromBe(temp + 2 * i, 2), static_cast<uint32_t>(3000 - 20 * (-20 + 5 * i))) << i;

    uint32_t len = eepromBe(0x06, 2), sum = 0;
    for (uint32_t i = 3; i < len; i++)
        sum += eepromBe(i, 1);
    EXPECT_EQ(eepromBe(0, 3), sum & 0xFFFFFF);
}

TEST(SimPlantLayoutB, CompactImageAndItsBlankVariant)
{
    for (bool blank : {false, true}) {
        SCOPED_TRACE(blank ? "blank" : "written");
        std::string root = makeTestSandboxWithProfile(profileText("hpa-compact-ltc", blank ? "eeprom=blank" : ""));
        EXPECT_EQ(eepromBe(0x0C, 4), 6u);
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(eepromBe(0x14 + 4 * i, 4), blank ? 0u : 0x100u + 0x80u * i) << i;
        if (!blank) {
            EXPECT_EQ(eepromBe(0x100, 4), 170500004u);
            EXPECT_EQ(eepromBe(0x120, 4), 87000000u);
            EXPECT_EQ(eepromBe(0x124, 4), 108000000u);
            EXPECT_EQ(eepromBe(0x280 + 0x30, 4), 500u);
            EXPECT_EQ(eepromBe(0x280 + 0x34, 4), 42u);
            EXPECT_EQ(eepromBe(0x300 + 0x14, 4), 3u) << "the three supply slots of the profile";
        }
        removeTestSandbox(root);
    }
}

using SimPlantDaemon = DaemonSandboxTest;

TEST_F(SimPlantDaemon, BootsOnTheAmplifierBoard)
{
    setenv("CORVANE_BOARD_PROFILE", "hpa-if2", 1);
    bool started = start();
    unsetenv("CORVANE_BOARD_PROFILE");
    if (!started)
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    EXPECT_EQ(nextNotify(4000), "READY=1");
    int status = -1;
    std::string out = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl plant", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("model 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("nominal 300\n"), std::string::npos) << out;
}

} // namespace
