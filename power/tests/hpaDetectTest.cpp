// Amplifier detection on each amplifier board profile, the power-class and
// reflected-filter tables, and the reflected filter threshold.
#include "power/hpaDetect.h"

#include "Config/keys/hpa.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "hw/eepromDevices.h"
#include "platform/clock.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <fstream>
#include <vector>
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
    uint32_t hpsCode; // 0: not set by the detection
    const char* line; // book line of the detection
};

void PrintTo(const Board& b, std::ostream* os)
{
    *os << b.profile;
}

const Board kBoards[] = {
    {"hpa-osk", 0, 0, 0, nullptr},
    {"hpa-if2", 1, 0, 0, "Detected HPA IF Rev. 2 [0dBm/30dBm]"},
    {"hpa-if3", 2, 0, 0, "Detected HPA IF Rev. 3"},
    {"hpa-compact-ltc", 3, 1, 3, "Detected HPA Zivizor Ivid Edadozid System"},
    {"hpa-compact-sps", 4, 1, 1, "Detected GE SPS module"},
    {"hpa-wideband", 5, 2, 0, "Detected HPA IF Rev. 6 (Generic WideBand IF)"},
};

class HpaDetectBoards : public SandboxTest, public ::testing::WithParamInterface<Board> {
protected:
    HpaDetectBoards() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText(GetParam().profile)) {}
};

TEST_P(HpaDetectBoards, SetsModelFamilyAndHpsCode)
{
    const Board& b = GetParam();
    setHpaModelCode(99);
    setAmpFamily(9);
    detectHpaSystem();
    EXPECT_EQ(getHpaModelCode(), b.model);
    EXPECT_EQ(getAmpFamily(), b.family);
    if (b.hpsCode != 0) {
        EXPECT_EQ(getHpsCode(), b.hpsCode);
    }
    EXPECT_EQ(getPsuInterface(0), b.model == 4 ? 1u : 0u);
    std::string log = book();
    if (b.line != nullptr) {
        EXPECT_NE(log.find(b.line), std::string::npos) << log;
    }
    if (b.model == 3 || b.model == 4) {
        EXPECT_NE(log.find("Detected HPA Zivizor Ivid Edadozid System"), std::string::npos);
    }
    if (b.model == 0) {
        EXPECT_EQ(log.find("Detected HPA IF"), std::string::npos);
    }
    // The converter is probed once on every board; where it is not fitted
    // the probe's failed read is logged like any other.
    EXPECT_EQ(count(log, "ERR: LTC2451: Error on read!\n"), b.model == 3 ? 0u : 1u) << log;
}

INSTANTIATE_TEST_SUITE_P(Profiles, HpaDetectBoards, ::testing::ValuesIn(kBoards));

// The LTC2451 wins over the serial module when both answer.
class HpaDetectBoth : public SandboxTest {
protected:
    HpaDetectBoth()
        : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK,
                      profileText("hpa-compact-sps") + "i2c 1 0x14 ltc2451 name=LTC2451\n")
    {
    }
};

TEST_F(HpaDetectBoth, Ltc2451AndSerialModuleGiveModel3)
{
    detectHpaSystem();
    EXPECT_EQ(getHpaModelCode(), 3u);
    EXPECT_EQ(getAmpFamily(), 1u);
    EXPECT_EQ(getPsuInterface(0), 1u);
    EXPECT_EQ(getHpsCode(), 1u); // no expander at 0x23
}

TEST(HpaPowerClass, NominalPowerTable)
{
    const std::pair<int32_t, int32_t> cases[] = {
        {50, 6},  {100, 17}, {150, 17}, {300, 1}, {330, 9},  {410, 0},  {430, 8},
        {460, 2}, {480, 5},  {510, 3},  {520, 4}, {530, 7},  {540, 13}, {600, -1}, {0, -1},
    };
    for (auto [nominal, code] : cases)
        EXPECT_EQ(hpaPowerClassOf(nominal), code) << nominal;
}

class HpaRflFilter : public SandboxTest {
protected:
    HpaRflFilter() : SandboxTest(SANDBOX_LOGS) {}
};

TEST_F(HpaRflFilter, StartAndWidthByPowerClass)
{
    struct Case {
        uint32_t code;
        int16_t start;
        int16_t filter;
    };
    const Case cases[] = {
        {0, 350, 180},  {1, 240, 180},  {2, 400, 180},  {3, 450, 180},  {4, 460, 180},  {5, 420, 150},
        {8, 370, 180},  {9, 270, 180},  {13, 480, 180}, {14, 480, 180}, {15, 380, 180}, {16, 290, 180},
        {18, 540, 180}, {19, 550, 180}, {22, 590, 180}, {24, 0, 180},
    };
    for (const Case& c : cases) {
        setHpaRflPwrFilterStart(-1);
        setHpaRflPwrFilter(-1);
        setHpaPowerClass(c.code);
        initHpaRflPwrFilter();
        EXPECT_EQ(getHpaRflPwrFilterStart(), c.start) << c.code;
        EXPECT_EQ(getHpaRflPwrFilter(), c.filter) << c.code;
    }
    // Class 17 keeps its start; an unlisted class changes nothing.
    setHpaRflPwrFilterStart(123);
    setHpaRflPwrFilter(7);
    setHpaPowerClass(17);
    initHpaRflPwrFilter();
    EXPECT_EQ(getHpaRflPwrFilterStart(), 123);
    EXPECT_EQ(getHpaRflPwrFilter(), 180);
    setHpaRflPwrFilter(7);
    setHpaPowerClass(6);
    initHpaRflPwrFilter();
    EXPECT_EQ(getHpaRflPwrFilterStart(), 123);
    EXPECT_EQ(getHpaRflPwrFilter(), 7);
}

TEST_F(HpaRflFilter, ThresholdBranches)
{
    setHpaRflPwrFilter(180);
    setHpaRflPwrFilterStart(350);
    setK1MinPowerRef(200);
    setAmpFamily(0);
    EXPECT_EQ(calcRflPwrFilterThreshold(17, 100), 100 - 180); // class 17: always power - F
    EXPECT_EQ(calcRflPwrFilterThreshold(24, 100), 100 - 180); // class 24 likewise
    EXPECT_EQ(calcRflPwrFilterThreshold(0, 351), 351 - 180);  // above the start
    EXPECT_EQ(calcRflPwrFilterThreshold(0, 350), 200 + 10);   // at the start, families 0 and 2
    setAmpFamily(1);
    EXPECT_EQ(calcRflPwrFilterThreshold(0, 350), 350 - 250); // family 1
    EXPECT_EQ(loadRfEepromStub(), 0);
}

} // namespace

namespace {

uint32_t eepromBe(uint32_t offset, uint32_t n)
{
    uint8_t b[4] = {};
    EXPECT_EQ(M24LC512_ReadBytes(b, offset, n, 0x52), 0);
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i)
        v = v << 8 | b[i];
    return v;
}

class HpaInitIf2 : public SandboxTest {
protected:
    HpaInitIf2() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-if2")) {}
};

TEST_F(HpaInitIf2, IdentityLimitsAndForwardTableFromTheEeprom)
{
    detectHpaSystem();
    testing::internal::CaptureStdout();
    initHpa();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(getHpaDetected(), 1);
    std::string log = book();
    EXPECT_NE(log.find("HPA: Id 20"), std::string::npos) << log;
    EXPECT_EQ(getHpaPowerClass(), 1u); // NominalPower 300
    uint32_t n = eepromBe(0x98, 4) / 10;
    ASSERT_EQ(hpaFwdTableSize(), n);
    ASSERT_GT(n, 0u);
    uint32_t addr = eepromBe(0x9C, 3);
    double vdet0 = eepromBe(0x74, 2);
    EXPECT_EQ(getVdet0Fwd(), vdet0);
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_FLOAT_EQ(hpaVdetFwd(i), static_cast<float>(vdet0 * (eepromBe(addr + 20 * i, 2) / 10000.0))) << i;
    EXPECT_NE(log.find("Vdet_Px_Ch45_Fwd[0] = "), std::string::npos);
    EXPECT_EQ(hpaVdetFwd(n), 0.0f); // outside the table
}

TEST_F(HpaInitIf2, TableBeyondTheEepromIsEmptyWithOneLine)
{
    // K1TableSize 305 (30 entries) at 0xFFF0: the entries would run past 64 KiB.
    const uint8_t size[4] = {0, 0, 0x01, 0x31};
    const uint8_t addr[3] = {0x00, 0xFF, 0xF0};
    ASSERT_EQ(M24LC512_WriteBytes(size, 0x98, 4, 0x52), 0);
    ASSERT_EQ(M24LC512_WriteBytes(addr, 0x9C, 3, 0x52), 0);
    detectHpaSystem();
    testing::internal::CaptureStdout();
    initHpa();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(getK1TableSizeFwd(), 305u);
    EXPECT_EQ(hpaFwdTableSize(), 0u);
    EXPECT_GT(hpaRefTableSize(), 0u);
    EXPECT_NE(book().find("HPA: forward table (30 entries at 0xFFF0) does not fit in the RF EEPROM"), std::string::npos)
        << book();
}

class HpaInitBlank : public SandboxTest {
protected:
    HpaInitBlank() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        hpaDetectResetForTest();
    }
};

TEST_F(HpaInitBlank, NoIdentityGivesNotDetectedAndNoTables)
{
    initHpa();
    EXPECT_EQ(getHpaDetected(), 0);
    EXPECT_NE(book().find("HPA: Not detected!"), std::string::npos);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(getHwCodeByte(i), 255);
    EXPECT_EQ(getHpaPowerClass(), 0xFFFFFFFFu);
    EXPECT_EQ(hpaFwdTableSize(), 0u);
    EXPECT_EQ(hpaRefTableSize(), 0u);
    EXPECT_EQ(hpaTempTableSize(), 0u);
}

} // namespace

namespace {

// A compact amplifier's board with its plant's EEPROM option.
std::string compactProfile(const char* eeprom)
{
    std::string text = profileText("hpa-compact-sps");
    size_t at = text.find("model=4");
    if (at != std::string::npos && eeprom)
        text.insert(at, std::string("eeprom=") + eeprom + " ");
    return text;
}

class HpaCompact : public SandboxTest {
protected:
    explicit HpaCompact(const char* eeprom = nullptr)
        : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, compactProfile(eeprom))
    {
    }
    static uint32_t codeWord()
    {
        uint32_t w = 0;
        for (uint32_t i = 0; i < 4; ++i)
            w |= uint32_t(getHwCodeByte(i)) << (8 * i);
        return w;
    }
};

TEST_F(HpaCompact, LayoutBFieldsAndTheSerialModuleSearch)
{
    detectHpaSystem();
    ASSERT_EQ(getHpsCode(), 1u);
    initHpaCompact();
    // The plant's layout B: identity 170500005, code word 0x01020304,
    // driver level 63, shelf words 2, 1 and 2, one supply, K2 500 x 42.
    EXPECT_EQ(getHpaYear(), 2017u);
    EXPECT_EQ(getHpaSerial(), 500005u);
    EXPECT_EQ(codeWord(), 0x01020304u);
    EXPECT_EQ(getHpaIdByte1(), 14);
    EXPECT_EQ(getHpaIdByte6(), 6);
    EXPECT_EQ(getHpaMinFreq(), 87000000u);
    EXPECT_EQ(getHpaMaxFreq(), 108000000u);
    EXPECT_EQ(getHpaStartFreq(), 87000000u);
    EXPECT_EQ(getShelfParam1(), 2u);
    EXPECT_EQ(getShelfParam2(), 1u);
    EXPECT_EQ(getShelfParam3(), 3u);
    EXPECT_EQ(getShelfParam4(), 2u);
    EXPECT_EQ(getPsuCount(), 1u);
    EXPECT_EQ(getHpaMaxFreqDig(), 87000000u + 500u * 42u);
    EXPECT_EQ(getRfEepromBlank(), 0);
    EXPECT_EQ(getHpsShelfSelect(), 0u);
    // The serial module found by its search sets the power limits last.
    EXPECT_NE(book().find("GE_EP16xx: SN EP16SN000042"), std::string::npos) << book();
    EXPECT_EQ(getHpaDriverLevel(), 615);
    EXPECT_EQ(getHpaMinPower(), 480);
}

class HpaCompactBlank : public HpaCompact {
protected:
    HpaCompactBlank() : HpaCompact("blank") {}
};

TEST_F(HpaCompactBlank, FactoryValuesReplaceABlankEeprom)
{
    detectHpaSystem();
    initHpaCompact();
    EXPECT_EQ(getRfEepromBlank(), 1);
    EXPECT_EQ(codeWord(), kHpaCodeCompactHps1);
    EXPECT_EQ(getRefPowerCalOffset(), -100);
    EXPECT_EQ(getPsuCount(), 1u);
    EXPECT_EQ(getHpaYear(), 2017u);
    EXPECT_EQ(getHpaSerial(), 5000001u);
    EXPECT_EQ(getHpaCriticalTempLow(), 70u);
    EXPECT_EQ(getHpaCriticalTempHigh(), 80u);
    EXPECT_EQ(getHpaMaxFreq(), 108000000u);
}

class HpaWideband : public SandboxTest {
protected:
    HpaWideband() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-wideband")) {}
};

TEST_F(HpaWideband, FixedValuesAndTheRangeLine)
{
    detectHpaSystem();
    initHpaWideband();
    EXPECT_EQ(getHpaDetected(), 1);
    EXPECT_EQ(getHpaPowerClass(), 24u);
    EXPECT_EQ(getHpaMinPower(), -100);
    EXPECT_EQ(getHpaDriverLevel(), 700);
    EXPECT_EQ(getHpaMinFreq(), 87000000u);
    EXPECT_EQ(getHpaMaxFreq(), 108000000u);
    EXPECT_NE(book().find("HPA_WB: Type "), std::string::npos);
    EXPECT_NE(book().find("UHF: HpaMinFreq() 87.000000 Mhz, HpaMaxFreq() 108.000000 Mhz"), std::string::npos)
        << book();
}

TEST_F(HpaInitBlank, NoAmplifierTakesTheBandsDefaultRangeWithSixDigitFractions)
{
    struct Row {
        uint8_t band;
        const char* line;
        uint32_t lo, hi;
    } rows[] = {
        {0, "UHF: HpaMinFreq() 470.000000 Mhz, HpaMaxFreq() 862.000000 Mhz", 470000000, 862000000},
        {1, "VHF: HpaMinFreq() 87.500000 Mhz, HpaMaxFreq() 108.000000 Mhz", 87500000, 108000000},
    };
    for (const Row& r : rows) {
        setRfBand(r.band);
        initHpaFreqRange();
        EXPECT_EQ(getHpaMinFreq(), r.lo);
        EXPECT_EQ(getHpaMaxFreq(), r.hi);
        EXPECT_EQ(getHpaMinFreqAn(), r.lo);
        EXPECT_EQ(getHpaDriverLevel(), 675);
        EXPECT_EQ(getHpaMinPower(), 0);
        EXPECT_NE(book().find(r.line), std::string::npos) << book();
    }
}

TEST_F(HpaInitIf2, BackupMirrorsAValidEepromAndRestoresACorruptOne)
{
    uint32_t length = eepromBe(0x06, 2);
    ASSERT_GT(length, 3u);
    std::vector<uint8_t> image(length);
    ASSERT_EQ(M24LC512_ReadBytes(image.data(), 0, length, 0x52), 0);

    backupRfEeprom();
    EXPECT_NE(book().find("Creating the RF EEPROM dump file"), std::string::npos);
    EXPECT_EQ(readSandboxFile(kRfEepromDumpPath), std::string(image.begin(), image.end()));

    // A flipped byte fails the checksum: the dump is written back.
    uint8_t bad = static_cast<uint8_t>(image[0x40] ^ 0x5A);
    ASSERT_EQ(M24LC512_WriteBytes(&bad, 0x40, 1, 0x52), 0);
    backupRfEeprom();
    EXPECT_NE(book().find("RF EEPROM checksum invalid - CRC Read: "), std::string::npos);
    EXPECT_NE(book().find("RF EEPROM restored"), std::string::npos);
    std::vector<uint8_t> after(length);
    ASSERT_EQ(M24LC512_ReadBytes(after.data(), 0, length, 0x52), 0);
    EXPECT_EQ(after, image);
}

TEST_F(HpaInitIf2, ResetPulsesTheFlagAndWaitsHalfASecond)
{
    struct timespec before, after;
    clockGetTime(CLOCK_MONOTONIC, &before);
    resetHpaAndWait();
    clockGetTime(CLOCK_MONOTONIC, &after);
    int64_t ms = (after.tv_sec - before.tv_sec) * 1000 + (after.tv_nsec - before.tv_nsec) / 1000000;
    EXPECT_GE(ms, 500);
    EXPECT_EQ(getHpaResetActive(), 0);
}

} // namespace
