// The multiplexer channel read on each amplifier board profile, against the
// simulated amplifier plant.
#include "power/measureFilters.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "hw/ioExpanders.h"
#include "hw/smallDevices.h"
#include "hw/spiConverters.h"
#include "platform/clock.h"
#include "sim/simModels.h"
#include "sim/simPlant.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace {

std::string profileText(const std::string& name)
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/" + name + ".profile");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Board {
    const char* profile;
    uint32_t model;
    uint32_t family;
    int32_t nominal; // 0.1 dBm, as the profile's plant line
};

void PrintTo(const Board& b, std::ostream* os)
{
    *os << b.profile;
}

const Board kBoards[] = {
    {"hpa-osk", 0, 0, 410},         {"hpa-if2", 1, 0, 300},      {"hpa-if3", 2, 0, 480},
    {"hpa-compact-ltc", 3, 1, 600}, {"hpa-compact-sps", 4, 1, 530}, {"hpa-wideband", 5, 2, 500},
};

class AmpAdcChannel : public SandboxTest, public ::testing::WithParamInterface<Board> {
protected:
    AmpAdcChannel() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText(GetParam().profile)) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        setHpaModelCode(GetParam().model);
        setAmpFamily(GetParam().family);
        setTxOnState(1);
    }

    static std::map<std::string, std::string> plant()
    {
        std::map<std::string, std::string> m;
        for (auto& [k, v] : simPlantQuantities())
            m[k] = v;
        return m;
    }
    static uint32_t plantCount(const std::string& signal) { return std::stoul(plant()[signal + "_count"]); }
    static uint8_t reg(uint16_t addr, uint32_t r)
    {
        uint8_t v = 0;
        simModelOf(simFindDevice(SIM_BUS_I2C1, addr))->peek(r, &v, 1);
        return v;
    }
    static uint16_t read(uint16_t channel)
    {
        uint16_t v = 0xFFFF;
        EXPECT_EQ(readAmpAdcChannel(channel, &v), 0) << std::hex << channel;
        return v;
    }
};

// One channel of a model: the signal the plant answers on it ("" none: the
// destination is kept), the expander bits that select it (0x24 output) and
// which bits the read sets (the others are the port's read-back); for model
// 5 the bank bit of 0x23 as well.
struct Row {
    uint16_t channel;
    const char* signal;
    uint8_t bits;
    uint8_t mask;
};

std::vector<Row> rowsOf(uint32_t model)
{
    constexpr uint8_t kRf = 0x08, kCs = 0x10;
    switch (model) {
    case 0:
        return {{AMP_ADC_FWD, "fwd", 0 | kRf, 0xFF},
                {AMP_ADC_REF, "ref", 1 | kRf, 0xFF},
                {AMP_ADC_CURRENT, "current", 6 | kRf, 0xFF},
                {AMP_ADC_TEMP, "temp", 4 | kRf, 0xFF}};
    case 1:
        return {{AMP_ADC_FWD, "fwd", 1 | kRf | kCs, 0x1B},
                {AMP_ADC_TEMP, "temp", 0 | kRf | kCs, 0x1B},
                {AMP_ADC_REF, "", 0, 0},
                {AMP_ADC_CURRENT, "", 0, 0}};
    case 2:
        return {{AMP_ADC_FWD, "fwd", 1 | kRf | kCs, 0x1B},
                {AMP_ADC_REF, "ref", 3 | kRf | kCs, 0x1B},
                {AMP_ADC_CURRENT, "current", 2 | kRf | kCs, 0x1B},
                {AMP_ADC_TEMP, "temp", 0 | kRf | kCs, 0x1B}};
    case 3: // the 4U cabinet
        return {{3, "fwd", 3 | kRf, 0xFF},       {4, "ref", 4 | kRf, 0xFF},   {0x80, "final", 0x80 | kRf, 0xFF},
                {0x87, "final", 0x87 | kRf, 0xFF}, {0, "driver", 0 | kRf, 0xFF}, {5, "mains", 5 | kRf, 0xFF},
                {7, "v5", 7 | kRf, 0xFF},        {6, "v3v3", 6 | kRf, 0xFF},
                {3 | AMP_ADC_NO_LEAD_PAUSE, "fwd", 3 | kRf, 0xFF}};
    case 4: // RF-state bit inverted: cleared while RF is on
        return {{2, "fwd", 2, 0xFF},  {3, "ref", 3, 0xFF},   {4, "temp", 4, 0xFF},
                {7, "final", 7, 0xFF}, {0, "driver", 0, 0xFF}, {1, "mains", 1, 0xFF}, {5, "v3v3", 5, 0xFF}};
    case 5:
        return {{ampAdcBankChannel(0, 1), "fwd", 1 | kRf | kCs, 0x1B},
                {ampAdcBankChannel(0, 3), "ref", 3 | kRf | kCs, 0x1B},
                {ampAdcBankChannel(0, 2), "current", 2 | kRf | kCs, 0x1B},
                {ampAdcBankChannel(0, 0), "temp", 0 | kRf | kCs, 0x1B},
                {ampAdcBankChannel(1, 0), "mains", 0 | kRf | kCs, 0x1B},
                {ampAdcBankChannel(1, 1), "v5", 1 | kRf | kCs, 0x1B},
                {ampAdcBankChannel(1, 2), "v24", 2 | kRf | kCs, 0x1B}};
    default: return {};
    }
}

TEST_P(AmpAdcChannel, EverySignalSelectsItsMuxByteAndReadsThePlantsCount)
{
    const Board& b = GetParam();
    ASSERT_TRUE(simPlantPresent());
    ASSERT_EQ(simPlantSet("power", std::to_string(b.nominal / 10.0)), 0);
    for (const Row& r : rowsOf(b.model)) {
        SCOPED_TRACE(std::string("channel ") + std::to_string(r.channel) + " " + r.signal);
        uint8_t before = reg(0x24, 0);
        uint16_t v = 0xABCD;
        ASSERT_EQ(readAmpAdcChannel(r.channel, &v), 0);
        if (!*r.signal) {
            EXPECT_EQ(v, 0xABCD) << "a channel the model lacks keeps the destination";
            continue;
        }
        uint8_t out = reg(0x24, 1);
        EXPECT_EQ(out & r.mask, r.bits) << std::hex << int(out);
        EXPECT_EQ(out & ~r.mask & 0xFF, before & ~r.mask & 0xFF) << "bits read back and kept";
        if (b.model == 5) {
            EXPECT_EQ(reg(0x23, 1) >> 4 & 1, r.channel >> 4 & 1u) << "bank";
        }
        EXPECT_EQ(v, plantCount(r.signal));
    }
    // A failed expander transfer ends the read with the driver's error.
    simFindDevice(SIM_BUS_I2C1, b.model == 5 ? 0x23 : 0x24)->nackNext = 1;
    uint16_t kept = 0x1234;
    EXPECT_LT(readAmpAdcChannel(rowsOf(b.model)[0].channel, &kept), 0);
    EXPECT_EQ(kept, 0x1234);
    uint16_t foreign = b.model == 5 ? uint16_t{AMP_ADC_FWD} : ampAdcBankChannel(0, 1);
    EXPECT_EQ(readAmpAdcChannel(foreign, nullptr), -1) << "a channel of another family";
}

TEST_P(AmpAdcChannel, ReturnLossSetFromAnotherProcessChangesTheReflectedReadingOnly)
{
    const Board& b = GetParam();
    if (b.model == 1)
        GTEST_SKIP() << "model 1 has no reflected channel";
    ASSERT_EQ(simPlantSet("power", std::to_string(b.nominal / 10.0)), 0);
    ASSERT_EQ(simPlantSet("tau", "1e9"), 0); // the reads' pauses must not move the temperature
    std::vector<Row> rows = rowsOf(b.model);
    auto readAll = [&] {
        std::map<std::string, uint16_t> m;
        for (const Row& r : rows)
            if (*r.signal)
                m[std::string(r.signal) + std::to_string(r.channel)] = read(r.channel);
        return m;
    };
    auto before = readAll();
    int status = -1;
    runInSandbox(root, CORVANE_TOOLS_DIR "/simctl plant set rl 15", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(plant()["rl"], "15.00");
    auto after = readAll();
    for (auto& [name, v] : before) {
        if (name.rfind("ref", 0) == 0)
            EXPECT_NE(after[name], v) << name;
        else
            EXPECT_EQ(after[name], v) << name;
    }
}

TEST_P(AmpAdcChannel, ForwardCountFollowsTheCalibration)
{
    const Board& b = GetParam();
    uint16_t fwdChannel = rowsOf(b.model)[0].channel;
    auto countAt = [&](int32_t tenths) {
        simPlantSet("power", std::to_string(tenths / 10.0));
        return read(fwdChannel);
    };
    if (b.family == 0) {
        // Vdet0 x the RF EEPROM's K1 word at that power / 10000.
        SimModel* e = simModelOf(simFindDevice(SIM_BUS_I2C1, 0x52));
        auto be = [&](uint32_t at, int n) {
            uint8_t buf[4] = {};
            e->peek(at, buf, n);
            uint32_t v = 0;
            for (int i = 0; i < n; i++)
                v = v << 8 | buf[i];
            return v;
        };
        bool dig = b.model == 1 || b.model == 2;
        int32_t start = static_cast<int32_t>(be(dig ? 0x8C : 0x90, 4));
        uint32_t vdet0 = be(dig ? 0x74 : 0x76, 2), table = be(0x9C, 3);
        EXPECT_EQ(static_cast<int16_t>(be(dig ? 0x6C : 0x6E, 2)), b.nominal);
        for (int32_t p : {b.nominal - 150, b.nominal - 37, b.nominal, b.nominal + 11}) {
            uint32_t word = be(table + 2 * (p - start), 2);
            EXPECT_NEAR(countAt(p), vdet0 * word / 10000.0, 1.0) << p;
        }
    } else {
        // The log detector: the measures' slope (dB per count) over 10 dB.
        double k = b.model == 3 ? 0.001907349 : b.model == 4 ? 0.026855467 : 0.0055182464;
        int32_t low = b.nominal - (b.model == 5 ? 100 : 150);
        double counts = countAt(b.nominal) - countAt(low);
        EXPECT_NEAR(counts * k, (b.nominal - low) / 10.0, 2 * k);
    }
}

TEST_P(AmpAdcChannel, TemperatureReadsBackThroughTheMeasuresLaw)
{
    const Board& b = GetParam();
    ASSERT_EQ(simPlantSet("temp", "47"), 0);
    ASSERT_EQ(simPlantSet("tau", "1e9"), 0);
    if (b.model == 3) { // the ADT7470's temperatures 0 and 1
        read(3);
        uint8_t t[2] = {};
        simModelOf(simFindDevice(SIM_BUS_I2C1, 0x2F))->peek(0x20, t, 2);
        EXPECT_EQ(t[0], 47);
        EXPECT_EQ(t[1], 45);
        return;
    }
    for (const Row& r : rowsOf(b.model)) {
        if (std::string(r.signal) != "temp")
            continue;
        double v = read(r.channel);
        if (b.family == 0) {
            EXPECT_NEAR(v, 3000 - 20 * 47, 1); // the TableVTemp law
        } else {
            double volts = v * 0.000805664;
            double t = -6.3518 * volts * volts * volts + 38.704 * volts * volts - 100.56 * volts + 122.02;
            EXPECT_NEAR(t, 47, 0.5);
        }
    }
}

// What the amplifier detection reads: the LTC2451 (model 3), the expander
// at 0x23 (bit 7 set and bit 6 clear: model 5; present: model 2, and the 4U
// cabinet of the compact models), NominalPower of the RF EEPROM (100, 150,
// 300: model 1). Model 4 is found by its serial power module, which is not
// on these boards yet; its profile only has to answer none of the others.
TEST_P(AmpAdcChannel, ProfileAnswersTheDetectionOfItsModel)
{
    const Board& b = GetParam();
    uint16_t ltc = 0;
    uint8_t in0 = 0, cfg = 0;
    bool hasLtc = LTC2451_Read(&ltc) == 0;
    bool has23 = pca9655Read(&cfg, 3, 0x23) > 0;
    bool wideband = has23 && pca9655Read(&in0, 0, 0x23) > 0 && (in0 & 0x80) && !(in0 & 0x40);
    uint8_t nom[2] = {};
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x52))->peek(0x6C, nom, 2);
    uint16_t nominal = static_cast<uint16_t>(nom[0] << 8 | nom[1]);
    bool if2 = nominal == 100 || nominal == 150 || nominal == 300;
    uint32_t found = hasLtc ? 3 : wideband ? 5 : has23 ? 2 : if2 ? 1 : 0;
    EXPECT_EQ(found, b.model == 4 ? 0u : b.model);
    if (b.family == 1) {
        EXPECT_EQ(has23, b.model == 3) << "4U cabinet for model 3, 2U for model 4";
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, AmpAdcChannel, ::testing::ValuesIn(kBoards),
                         [](const ::testing::TestParamInfo<Board>& i) {
                             std::string n = i.param.profile;
                             for (char& c : n)
                                 if (c == '-')
                                     c = '_';
                             return n;
                         });

class AmpPlantIf2 : public SandboxTest {
protected:
    AmpPlantIf2() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-if2")) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        setHpaModelCode(1);
        setAmpFamily(0);
        setTxOnState(1);
    }
};

TEST_F(AmpPlantIf2, AttenuatorCodeRaisesTheForwardCountUpToSaturation)
{
    std::vector<uint16_t> counts;
    for (uint32_t code = 0; code <= 65535; code += 4096) {
        uint16_t c = static_cast<uint16_t>(code), v = 0;
        setDacOutput(c, 0);
        ASSERT_EQ(readAmpAdcChannel(AMP_ADC_FWD, &v), 0);
        counts.push_back(v);
    }
    EXPECT_EQ(counts[0], 0) << "no power in the dead zone";
    for (size_t i = 1; i < counts.size(); i++)
        EXPECT_GE(counts[i], counts[i - 1]) << i;
    EXPECT_GT(counts[4], counts[2]);
    EXPECT_GT(counts[8], counts[6]);
    // Saturation: one dB over nominal, Vdet0 x 10^(1/20).
    EXPECT_NEAR(counts.back(), 2500 * std::pow(10.0, 0.05), 30);
    EXPECT_LT(counts.back() - counts[counts.size() - 2], counts[3] - counts[2]);
}

TEST_F(AmpPlantIf2, TemperatureCountFollowsTheFirstOrderLawOverVirtualTime)
{
    ASSERT_EQ(simPlantSet("ambient", "25"), 0);
    ASSERT_EQ(simPlantSet("temp", "25"), 0);
    ASSERT_EQ(simPlantSet("tau", "10"), 0);
    ASSERT_EQ(simPlantSet("power", "30"), 0); // nominal: 40 degrees over ambient at the end
    uint16_t v = 0;
    ASSERT_EQ(readAmpAdcChannel(AMP_ADC_TEMP, &v), 0);
    EXPECT_EQ(v, 3000 - 20 * 25);
    struct Step {
        int64_t advanceUs;
        double temp;
    };
    // T(t) = 65 - 40 e^(-t / 10 s); the count is 3000 - 20 T.
    const Step steps[] = {{10000000, 65 - 40 * std::exp(-1.0)}, {10000000, 65 - 40 * std::exp(-2.0)},
                          {1000000000, 65}};
    for (const Step& s : steps) {
        clockAdvanceUs(s.advanceUs);
        ASSERT_EQ(readAmpAdcChannel(AMP_ADC_TEMP, &v), 0);
        EXPECT_NEAR(v, 3000 - 20 * s.temp, 1.0) << s.advanceUs;
    }
}

} // namespace
