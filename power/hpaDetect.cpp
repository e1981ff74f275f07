// Amplifier detection: which amplifier system is fitted (model and family
// codes, HPS code), its power class and reflected-power filter, and the
// calibration tables the measures and loops read by index.
#include "power/hpaDetect.h"

#include "Config/keys/hpa.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "hw/adt7470.h"
#include "hw/eepromDevices.h"
#include "hw/fpgaMaintenance.h"
#include "hw/ioExpanders.h"
#include "hw/smallDevices.h"
#include "hw/spiConverters.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "power/cplShelf.h"
#include "power/powerSettings.h"
#include "power/spsModule.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint8_t kRfEeprom = 0x52;
constexpr uint8_t kSpsBridge = 0x2C;
constexpr uint8_t kIfExpander = 0x23;

struct State {
    const HpaI2cClientServices* clients = nullptr;
    int (*copyFile)(const char* src, const char* dst) = nullptr;
    std::vector<float> vdetFwd, vdetRef, vdetFwdCal, vdetRefCal, tempTable;
};

State& st()
{
    static State s;
    return s;
}

struct PowerClassRow {
    int32_t nominal;
    int32_t code;
};
// Nominal power (tenths of dBm) to HPA power class.
constexpr PowerClassRow kPowerClass[] = {
    {50, 6},   {100, 17}, {150, 17}, {300, 1}, {330, 9}, {410, 0}, {430, 8},
    {460, 2},  {480, 5},  {510, 3},  {520, 4}, {530, 7}, {540, 13},
};

struct RflFilterRow {
    uint32_t code;
    int16_t start; // kKeepStart: the start is left as it is
    int16_t filter;
};
constexpr int16_t kKeepStart = INT16_MIN;
// Reflected-power filter start and width (tenths of dB) by power class.
constexpr RflFilterRow kRflFilter[] = {
    {0, 350, 180},  {1, 240, 180},  {2, 400, 180},  {3, 450, 180},         {4, 460, 180},  {5, 420, 150},
    {8, 370, 180},  {9, 270, 180},  {13, 480, 180}, {14, 480, 180},        {15, 380, 180}, {16, 290, 180},
    {17, kKeepStart, 180},          {18, 540, 180}, {19, 550, 180},        {22, 590, 180}, {24, 0, 180},
};

// A big-endian field of the RF EEPROM; a failed read leaves 0.
uint32_t rfRead(uint32_t offset, uint32_t n)
{
    uint8_t b[4] = {0, 0, 0, 0};
    if (M24LC512_ReadBytes(b, offset, n, kRfEeprom) != 0)
        return 0;
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i)
        v = v << 8 | b[i];
    return v;
}

void detectSpsModule()
{
    const HpaI2cClientServices* c = st().clients;
    if (c != nullptr && c->removeClient != nullptr)
        c->removeClient(kSpsBridge);
    clockSleepSeconds(1);
    if (SPS_DetectI2c() >= 1) {
        logInfo("Detected GE SPS module");
        if (c != nullptr && c->insertClient != nullptr)
            c->insertClient(kSpsBridge, "max3107");
        setPsuInterface(0, 1);
    } else {
        setPsuInterface(0, 0);
    }
}

// A detector table of n 16-bit words at stride bytes from addr; empty, with
// one ERR line, when it does not fit in the EEPROM's 64 KiB.
bool tableFits(const char* name, uint32_t addr, uint32_t n, uint32_t stride)
{
    if (n == 0)
        return true;
    uint64_t end = uint64_t(addr) + uint64_t(stride) * (n - 1) + 2;
    if (end <= 0x10000)
        return true;
    logErr("HPA: %s table (%u entries at 0x%X) does not fit in the RF EEPROM", name, n, addr);
    return false;
}

void buildDetectorTable(const char* name, std::vector<float>& t, std::vector<float>& cal, uint32_t addr,
                        uint32_t k1Size, uint16_t vdet0)
{
    uint32_t n = k1Size / 10;
    t.clear();
    cal.clear();
    if (!tableFits(name, addr, n, 20))
        return;
    t.resize(n);
    cal.assign(n, 0.0f);
    for (uint32_t i = 0; i < n; ++i)
        t[i] = static_cast<float>(vdet0 * (rfRead(addr + 20 * i, 2) / 10000.0));
}

void driveStartValues(uint32_t model)
{
    if (model == 2) {
        ioExpWrite(0, 1, 0x23);
        readAdcDummy();
        setDacOutput(0xFFFF, 1);
        setDacOutput(35000, 2);
    } else if (model == 1) {
        ioExpWrite(0, 1, 0x24);
        ioExpWrite(0x80, 3, 0x24);
        printf("Set ConfReg = 0x%X\n", 0x80);
        readAdcDummy();
        if (getHpaPowerClass() == 17)
            setDacOutput(0, 2);
        else if (getHpaPowerClass() == 1)
            setDacOutput(static_cast<uint16_t>(static_cast<int16_t>(rfRead(0x7F, 2))), 2);
    } else {
        ioExpWrite(0, 1, 0x24);
        ioExpWrite(0xE0, 3, 0x24);
        setDacOutput(0xFFFF, 1);
        setDacOutput(0xFFFF, 2);
    }
    setDacOutput(kHpaDac0Start, 0);
}

// The identity at 0x1E and the type at 0x29: both at least 1 when an
// amplifier answered.
void detectHpaIdentity()
{
    int32_t id = static_cast<int32_t>(rfRead(0x1E, 4));
    int32_t type = static_cast<int32_t>(rfRead(0x29, 4));
    if (id >= 1 && type >= 1) {
        logInfo("HPA: Id 20%d", id);
        logInfo("HPA: Type %d", type);
        for (uint32_t i = 0; i < 4; ++i)
            setHpaCodeByte(static_cast<uint8_t>(uint32_t(id) >> (24 - 8 * i)), i);
        setHpaDetected(1);
        return;
    }
    logInfo("HPA: Not detected!");
    for (uint32_t i = 0; i < 4; ++i)
        setHpaCodeByte(255, i);
    setHpaPowerClass(static_cast<uint32_t>(-1));
    setHpaDetected(0);
    setRfOutputEvent(1);
}

void initHpaInfos()
{
    uint32_t type = rfRead(0x29, 4);
    bool alt = type == kHpaAnPartNumber;
    setHpaTypeWord(type);
    setHpaIdByte1(static_cast<uint8_t>(rfRead(0x22, 1)));
    setHpaIdByte2(static_cast<uint8_t>(rfRead(0x23, 1)));
    setHpaIdByte3(static_cast<uint8_t>(rfRead(0x24, 1)));
    setHpaIdByte4(static_cast<uint8_t>(rfRead(0x25, 1)));
    setHpaIdByte5(static_cast<uint8_t>(rfRead(0x26, 1)));
    setHpaIdByte6(static_cast<uint8_t>(rfRead(0x27, 1)));
    setHpaIdByte7(static_cast<uint8_t>(rfRead(0x28, 1)));
    int32_t minDig = static_cast<int32_t>(rfRead(0x8C, 4));
    int32_t minAn = static_cast<int32_t>(rfRead(0x90, 4));
    uint32_t k1Size = rfRead(0x98, 4);
    uint32_t k2MinDig = rfRead(0xAA, 4);
    uint32_t k2MinAn = rfRead(0xAE, 4);
    uint32_t step = rfRead(0xB2, 4);
    uint32_t k2Size = rfRead(0xB6, 4);
    uint32_t freqNominal = rfRead(alt ? 0x68 : 0x64, 4);
    setHpaNomFreqFlag(freqNominal == 98000 || freqNominal == 650000 ? 1 : 0);
    int16_t nominal = static_cast<int16_t>(rfRead(alt ? 0x6E : 0x6C, 2));
    int32_t code = hpaPowerClassOf(nominal);
    if (code >= 0)
        setHpaPowerClass(static_cast<uint32_t>(code));
    setHpaDefPowerDig(minDig + 50);
    setHpaDefPowerAn(minAn + 50);
    setHpaMinPowerDig(minDig + 20);
    setHpaMinPowerAn(minAn + 20);
    setHpaMaxPowerDig(static_cast<int32_t>(k1Size) + minDig);
    setHpaMaxPowerAn(static_cast<int32_t>(k1Size) + minAn);
    setHpaMinFreqDig(1000 * k2MinDig);
    setHpaMinFreqAn(1000 * k2MinAn);
    setHpaMaxFreqDig(1000 * (k2MinDig + step * k2Size));
    setHpaMaxFreqAn(1000 * (k2MinAn + step * k2Size));
    setHpaPowerLimitLow(static_cast<uint32_t>(alt ? minAn + 20 : minDig + 20));
    setHpaPowerLimitHigh(static_cast<uint32_t>((alt ? static_cast<int32_t>(k1Size) + minAn
                                                    : static_cast<int32_t>(k1Size) + minDig) -
                                               20));
    setShelfParam4(2);
    logDebug("HPA: AmpliPowerMinValueDig : %d, AmpliPowerMinValueAn : %d, K1TableSize : %u, "
             "FrequencyNominalValue : %u, Nominal Power : %d",
             minDig, minAn, k1Size, freqNominal, nominal);
}

void initHpaTables()
{
    State& s = st();
    s.vdetFwd.clear();
    s.vdetRef.clear();
    s.vdetFwdCal.clear();
    s.vdetRefCal.clear();
    s.tempTable.clear();
    uint32_t model = getHpaModelCode();
    driveStartValues(model);

    uint32_t t = rfRead(0x7C, 1);
    setHpaCriticalTemp(t);
    setHpaCriticalTempLow(t - 5);
    setHpaCriticalTempHigh(t + 5);

    bool dig = model == 1 || model == 2;
    uint16_t vdet0Fwd = static_cast<uint16_t>(rfRead(dig ? 0x74 : 0x76, 2));
    uint16_t vdet0Ref = static_cast<uint16_t>(rfRead(dig ? 0x78 : 0x7A, 2));
    uint32_t k1MinFwd = rfRead(dig ? 0x8C : 0x90, 4);
    uint32_t k1MinRef = rfRead(dig ? 0xC8 : 0xCC, 4);
    uint32_t k2MinFwd = rfRead(dig ? 0xAA : 0xAE, 4);
    uint32_t k2MinRef = rfRead(dig ? 0xE6 : 0xEA, 4);
    int16_t nominal = static_cast<int16_t>(rfRead(dig ? 0x6C : 0x6E, 2));
    uint16_t refNominal = static_cast<uint16_t>(rfRead(dig ? 0x70 : 0x72, 2));
    if (getHpaPowerClass() == 17)
        vdet0Fwd = static_cast<uint16_t>(vdet0Fwd + 220);
    setVdet0Fwd(vdet0Fwd);
    setVdet0Ref(vdet0Ref);
    setK1MinPowerFwd(k1MinFwd);
    setK1MinPowerRef(k1MinRef);
    setK2MinFreqFwd(k2MinFwd);
    setK2MinFreqRef(k2MinRef);
    setNominalPower(nominal);
    setRefNominalPower(refNominal);

    uint32_t fwdAddr = rfRead(0x9C, 3);
    uint32_t k1SizeFwd = rfRead(0x98, 4);
    uint32_t k2SizeFwd = rfRead(0xB6, 4);
    setK1TableSizeFwd(k1SizeFwd);
    setK2TableSizeFwd(k2SizeFwd);
    setTableWordFwd(0, rfRead(0x94, 4));
    setTableWordFwd(1, rfRead(0xB2, 4));
    rfRead(0xBA, 3); // second forward table address: not used
    buildDetectorTable("forward", s.vdetFwd, s.vdetFwdCal, fwdAddr, k1SizeFwd, vdet0Fwd);

    uint32_t refAddr = rfRead(0xD8, 3);
    uint32_t k1SizeRef = rfRead(0xD4, 4);
    uint32_t k2SizeRef = rfRead(0xF2, 4);
    setK1TableSizeRef(k1SizeRef);
    setK2TableSizeRef(k2SizeRef);
    setTableWordRef(0, rfRead(0xD0, 4));
    setTableWordRef(1, rfRead(0xEE, 4));
    rfRead(0xF6, 3); // second reflected table address: not used
    buildDetectorTable("reflected", s.vdetRef, s.vdetRefCal, refAddr, k1SizeRef, vdet0Ref);

    uint32_t tempAddr = rfRead(0x107, 3);
    uint8_t tempStart = static_cast<uint8_t>(rfRead(0x104, 1));
    uint32_t n = rfRead(0x106, 1);
    setTempTableSize(static_cast<uint8_t>(n));
    setTempTableFirst(tempStart);
    if (tableFits("temperature", tempAddr, n, 2)) {
        s.tempTable.assign(n + 1, 0.0f);
        for (uint32_t i = 1; i <= n; ++i)
            s.tempTable[i] = static_cast<float>(rfRead(tempAddr + 2 * (i - 1), 2));
    }

    logDebug("Vdet0Fwd %d, K1MinPowerFwd %d, K2MinFreqFwd %u, K1TableSize %u, K2TableSize %u, NominalPower %d, "
             "Critical Temp %u",
             vdet0Fwd, static_cast<int32_t>(k1MinFwd), k2MinFwd, k1SizeFwd, k2SizeFwd, nominal, t);
    logDebug("Vdet0Ref %d, K1MinPowerRef %d, K2MinFreqRef %u, K1TableSize %u, K2TableSize %u, RefNominalPower %d, "
             "Critical Temp %u",
             vdet0Ref, static_cast<int32_t>(k1MinRef), k2MinRef, k1SizeRef, k2SizeRef, refNominal, t);
    for (size_t i = 0; i < s.vdetFwd.size(); ++i)
        logInfo("Vdet_Px_Ch45_Fwd[%i] = %f\n", static_cast<int>(i), static_cast<double>(s.vdetFwd[i]));
    for (size_t i = 0; i < s.vdetRef.size(); ++i)
        logInfo("Vdet_Px_Ch45_Ref[%i] = %f\n", static_cast<int>(i), static_cast<double>(s.vdetRef[i]));
    for (size_t i = 1; i < s.tempTable.size(); ++i)
        logInfo("TableVTemp[%i] = %f\n", static_cast<int>(i), static_cast<double>(s.tempTable[i]));
}

void setCodeWord(uint32_t word)
{
    for (uint32_t i = 0; i < 4; ++i)
        setHpaCodeByte(static_cast<uint8_t>(word >> (8 * i)), i);
}

void setTemperatureBand(uint32_t critical)
{
    setHpaCriticalTemp(critical);
    setHpaCriticalTempLow(critical - 5);
    setHpaCriticalTempHigh(critical + 5);
}

// Frequency range defaults with no amplifier or a disabled one; `both`
// also sets the "An" pair.
void absentFrequencyRange(bool both)
{
    logInfo("HPA: %s", getHpaDisabled() != 0 ? "disabled!" : "Not detected!");
    setRfOutputEvent(1);
    setHpaMinPower(0);
    setHpaDriverLevel(675);
    bool vhf = getRfBand() == 1;
    uint32_t lo = vhf ? 87500000u : 470000000u, hi = vhf ? 108000000u : 862000000u;
    setHpaMinFreqDig(lo);
    setHpaMaxFreqDig(hi);
    if (both) {
        setHpaMinFreqAn(lo);
        setHpaMaxFreqAn(hi);
    }
}

// HpaMinFreq and HpaMaxFreq from the "Dig" pair, logged in MHz with the
// fraction zero-padded to six digits (88,050,000 Hz is 88.050000).
void publishFrequencyRange()
{
    uint32_t lo = getHpaMinFreqDig(), hi = getHpaMaxFreqDig();
    setHpaMinFreq(lo);
    setHpaMaxFreq(hi);
    logInfo("%s: HpaMinFreq() %u.%06u Mhz, HpaMaxFreq() %u.%06u Mhz", getRfBand() == 1 ? "VHF" : "UHF",
            lo / 1000000, lo % 1000000, hi / 1000000, hi % 1000000);
}

bool hpaAbsentOrDisabled()
{
    return getHpaDetected() != 1 || getHpaDisabled() != 0;
}

// A 4-byte big-endian word at a section address of layout B.
uint32_t sectionWord(uint32_t section, uint32_t offset)
{
    return rfRead((section & 0xFFFF) + offset, 4);
}

void detectCompactInput()
{
    uint8_t v = 0;
    uint32_t select = 0;
    if (getHpsCode() == 3 && pca9655Read(&v, 1, 0x26) > 0 && (v & 0x02) == 0)
        select = 1;
    setHpsShelfSelect(select);
}

// Factory values of a compact amplifier whose EEPROM holds no sections.
void compactFactoryValues()
{
    bool hps3 = getHpsCode() == 3;
    setCodeWord(hps3 ? kHpaCodeCompactHps3 : kHpaCodeCompactHps1);
    setShelfParam1(hps3 ? 8 : 2);
    setShelfParam2(1);
    setShelfParam3(3);
    setShelfParam4(2);
    setPsuCount(hps3 ? 3 : 1);
    setHpaMinPower(hps3 ? 570 : 530);
    setHpaDriverLevel(hps3 ? 685 : 630);
    setTxMaxNomPower(hps3 ? 678 : 630);
    setRefPowerCalOffset(static_cast<int16_t>(hps3 ? 0 : -100));
    setHpaPowerClass(hps3 ? 22 : 19);
    setHpaYear(2017);
    setHpaSerial(5000001);
    setHpaIdByte6(6);
    setHpaIdByte7(0);
    setHpaIdByte1(14);
    setHpaIdByte2(3);
    setHpaIdByte3(17);
    setHpaIdByte4(11);
    setHpaIdByte5(0);
    setHpaStartFreq(87000000);
    setHpaMinFreq(87000000);
    setHpaMaxFreq(108000000);
    setTemperatureBand(75);
}

void initHpaCompactInfos()
{
    uint32_t sec[5];
    bool blank = false;
    for (uint32_t i = 0; i < 5; ++i) {
        sec[i] = rfRead(0x14 + 4 * i, 4) & 0xFFFF;
        blank = blank || sec[i] == 0;
    }
    setHpaIdByte6(static_cast<uint8_t>(rfRead(0x0C, 4)));
    setHpaIdByte7(static_cast<uint8_t>(rfRead(0x10, 4)));

    // Identity number as the text "20%d": characters 1 to 4 are the year,
    // 5 to 12 the serial number.
    char id[24];
    snprintf(id, sizeof id, "20%d", static_cast<int32_t>(sectionWord(sec[0], 0x00)));
    setHpaYear(static_cast<uint32_t>(strtoul(std::string(id).substr(0, 4).c_str(), nullptr, 10)));
    setHpaSerial(strlen(id) > 4 ? static_cast<uint32_t>(strtoul(std::string(id).substr(4, 8).c_str(), nullptr, 10))
                                : 0);
    setHpaIdByte1(static_cast<uint8_t>(sectionWord(sec[0], 0x04)));
    setHpaIdByte2(static_cast<uint8_t>(sectionWord(sec[0], 0x08)));
    setHpaIdByte3(static_cast<uint8_t>(sectionWord(sec[0], 0x0C)));
    setHpaIdByte4(static_cast<uint8_t>(sectionWord(sec[0], 0x10)));
    setHpaIdByte5(static_cast<uint8_t>(sectionWord(sec[0], 0x14)));
    setCodeWord(sectionWord(sec[0], 0x18));
    setHpaMinFreq(sectionWord(sec[0], 0x20));
    setHpaMaxFreq(sectionWord(sec[0], 0x24));
    setHpaStartFreq(sectionWord(sec[0], 0x28));
    uint32_t driverLevel = sectionWord(sec[0], 0x2C);
    setHpaDriverLevel(static_cast<int16_t>(driverLevel));
    for (uint32_t k = 0x30; k <= 0x48; k += 4)
        sectionWord(sec[0], k); // read, not used
    setShelfParam1(sectionWord(sec[1], 0x00));
    setShelfParam2(sectionWord(sec[2], 0x24));
    setShelfParam3(3);
    setShelfParam4(sectionWord(sec[4], 0x00));
    setPsuCount(sectionWord(sec[4], 0x14));
    uint32_t step = sectionWord(sec[3], 0x30);
    uint32_t size = sectionWord(sec[3], 0x34);
    setTableWordFwd(1, step);
    setK2TableSizeFwd(size);
    uint32_t minDig = sectionWord(sec[3], 0x28), minAn = sectionWord(sec[3], 0x2C);
    setHpaMinFreqDig(minDig);
    setHpaMinFreqAn(minAn);
    setHpaMaxFreqDig(minDig + step * size);
    setHpaMaxFreqAn(minAn + step * size);
    setHpaMinPower(driverLevel == 67 ? 570 : driverLevel == 63 ? 530 : 480);
    setRfEepromBlank(blank ? 1 : 0);
    if (blank)
        compactFactoryValues();
}

int installHpaXmlFiles()
{
    constexpr char kXmlDir[] = "/usr/local/www/Xml";
    for (const char* name : kHpaXmlFiles) {
        std::string src = std::string(kXmlDir) + "/" + name;
        std::string dst = std::string(kXmlDir) + "/hpa/" + name;
        if (st().copyFile != nullptr)
            st().copyFile(src.c_str(), dst.c_str());
        sync();
    }
    return 0;
}

} // namespace

void initHpa()
{
    detectHpaIdentity();
    if (getHpaDetected() == 1)
        initHpaInfos();
    initHpaFreqRange();
    if (getHpaDetected() == 1 && getHpaDisabled() == 0)
        initHpaTables();
    initHpaRflPwrFilter();
}

void initHpaFreqRange()
{
    if (hpaAbsentOrDisabled())
        absentFrequencyRange(true);
    publishFrequencyRange();
}

void initHpaCompact()
{
    detectCompactInput();
    initHpaCompactInfos();
    setDacOutput(0xFFFF, 1);
    setDacOutput(0xFFFF, 2);
    initHpaRflPwrFilter();
    initHpaCompactPsu();
    installHpaXmlFiles();
}

void initHpaWideband()
{
    logInfo("HPA_WB: Id 20%d", static_cast<int32_t>(rfRead(0x1E, 4)));
    logInfo("HPA_WB: Type %d", static_cast<int32_t>(rfRead(0x29, 4)));
    setHpaDetected(1);
    if (getHpaDetected() == 1) {
        setCodeWord(kHpaCodeWideband);
        setHpaPowerClass(24);
        setHpaNomFreqFlag(1);
        setHpaStartFreq(87000000);
        setHpaMinFreqDig(87000000);
        setHpaMaxFreqDig(108000000);
        setHpaMinPower(-100);
        setHpaDriverLevel(700);
        setTxMaxNomPower(700);
        setTemperatureBand(75);
        setShelfParam4(2);
    }
    if (hpaAbsentOrDisabled())
        absentFrequencyRange(false);
    publishFrequencyRange();
    if (getHpaModelCode() == 5) {
        ioExpWrite(0, 1, kIfExpander);
        readAdcDummy();
        setDacOutput(0xFFFF, 1);
        setDacOutput(10000, 2);
        setDacOutput(0, 3);
    }
    initHpaRflPwrFilter();
}

void resetHpaAndWait()
{
    setHpaResetActive(1);
    Fpga_SendConfigCurrent();
    clockSleepUs(100);
    setHpaResetActive(0);
    Fpga_SendConfigCurrent();
    clockSleepUs(500000);
    if (adt7470Detect() == 1)
        adt7470Configure();
}

void backupRfEeprom()
{
    if (rfRead(0x29, 4) == 0xFFFFFFFFu)
        return;
    uint32_t length = rfRead(0x06, 2);
    if (length == 0)
        length = 0xBFF;
    if (length < 3)
        return; // no room for the checksum: nothing to check or mirror
    std::vector<uint8_t> image(length, 0);
    M24LC512_ReadBytes(image.data(), 0, length, kRfEeprom);
    uint32_t stored = uint32_t(image[0]) << 16 | uint32_t(image[1]) << 8 | image[2];
    uint32_t sum = 0;
    for (uint32_t i = 3; i < length; ++i)
        sum += image[i];
    std::string path = sysPath(kRfEepromDumpPath);
    FILE* f = fopen(path.c_str(), "rb");
    if (sum == stored) {
        uint8_t head[3] = {0, 0, 0};
        bool same = false;
        if (f != nullptr) {
            same = fread(head, 1, 3, f) == 3 && memcmp(head, image.data(), 3) == 0;
            fclose(f);
            if (same)
                return;
            logInfo("Updating the RF EEPROM dump file");
        } else {
            logInfo("Creating the RF EEPROM dump file");
        }
        // Written aside and renamed, so that a cut leaves the old dump whole.
        std::string tmp = path + ".tmp";
        FILE* out = fopen(tmp.c_str(), "wb");
        if (out == nullptr)
            return;
        bool ok = fwrite(image.data(), 1, image.size(), out) == image.size();
        ok = fflush(out) == 0 && fsync(fileno(out)) == 0 && ok;
        fclose(out);
        if (!ok || rename(tmp.c_str(), path.c_str()) != 0)
            unlink(tmp.c_str());
        return;
    }
    logInfo("RF EEPROM checksum invalid - CRC Read: %X - CRC Computed: %X", stored, sum);
    if (f == nullptr)
        return;
    struct stat sb;
    std::vector<uint8_t> dump;
    // The EEPROM holds 64 KiB: a larger file is no dump of it.
    if (fstat(fileno(f), &sb) == 0 && sb.st_size > 0 && sb.st_size <= 0x10000) {
        dump.resize(static_cast<size_t>(sb.st_size));
        if (fread(dump.data(), 1, dump.size(), f) != dump.size())
            dump.clear();
    }
    fclose(f);
    if (dump.empty())
        return;
    if (M24LC512_WriteBytes(dump.data(), 0, static_cast<uint32_t>(dump.size()), kRfEeprom) == 0)
        logInfo("RF EEPROM restored");
}

void initHpaCompactPsu()
{
    if (getPsuInterface(0) == 1)
        SPS_Search();
    else
        CPL_Init();
}

void registerHpaFileCopy(int (*copy)(const char* src, const char* dst))
{
    st().copyFile = copy;
}

void registerHpaI2cClientServices(const HpaI2cClientServices* services)
{
    st().clients = services;
}

uint32_t detectHpsCode()
{
    uint8_t v = 0;
    return pca9655Read(&v, 3, kIfExpander) < 0 ? 1 : 3;
}

uint32_t detectHpaIfRevision()
{
    uint8_t v = 0;
    if (pca9655Read(&v, 0, kIfExpander) > 0 && (v & 0xC0) == 0x80) {
        logInfo("Detected HPA IF Rev. 6 (Generic WideBand IF)");
        return 5;
    }
    if (pca9655Read(&v, 3, kIfExpander) > 0) {
        logInfo("Detected HPA IF Rev. 3");
        return 2;
    }
    uint32_t nominal = rfRead(0x6C, 2);
    if (nominal == 100 || nominal == 150 || nominal == 300) {
        logInfo("Detected HPA IF Rev. 2 [0dBm/30dBm]");
        return 1;
    }
    return 0;
}

void detectHpaSystem()
{
    detectSpsModule();
    uint32_t model = 0;
    if (getPsuInterface(0) == 1)
        model = 4;
    if (Hpa_DetectLtc2451() == 1)
        model = 3;
    if (model == 3 || model == 4) {
        logInfo("Detected HPA Zivizor Ivid Edadozid System");
        setHpaModelCode(model);
        setAmpFamily(1);
        setHpsCode(detectHpsCode());
        return;
    }
    model = detectHpaIfRevision();
    setHpaModelCode(model);
    setAmpFamily(model == 5 ? 2 : 0);
}

int32_t hpaPowerClassOf(int32_t nominalPower)
{
    for (const PowerClassRow& r : kPowerClass)
        if (r.nominal == nominalPower)
            return r.code;
    return -1;
}

void initHpaRflPwrFilter()
{
    uint32_t code = getHpaPowerClass();
    for (const RflFilterRow& r : kRflFilter) {
        if (r.code != code)
            continue;
        if (r.start != kKeepStart)
            setHpaRflPwrFilterStart(r.start);
        setHpaRflPwrFilter(r.filter);
        return;
    }
}

int16_t calcRflPwrFilterThreshold(uint8_t code, int16_t power)
{
    int32_t f = getHpaRflPwrFilter();
    int32_t s = getHpaRflPwrFilterStart();
    int32_t r;
    if (code == 17 || code == 24 || power > s)
        r = power - f;
    else if (getAmpFamily() == 1)
        r = power - 250;
    else
        r = static_cast<int32_t>(getK1MinPowerRef()) + 10;
    return static_cast<int16_t>(r);
}

int loadRfEepromStub()
{
    return 0;
}

namespace {
float at(const std::vector<float>& t, uint32_t i)
{
    return i < t.size() ? t[i] : 0.0f;
}
} // namespace

uint32_t hpaFwdTableSize() { return static_cast<uint32_t>(st().vdetFwd.size()); }
uint32_t hpaRefTableSize() { return static_cast<uint32_t>(st().vdetRef.size()); }
uint32_t hpaTempTableSize() { return st().tempTable.empty() ? 0 : static_cast<uint32_t>(st().tempTable.size() - 1); }
float hpaVdetFwd(uint32_t i) { return at(st().vdetFwd, i); }
float hpaVdetRef(uint32_t i) { return at(st().vdetRef, i); }
float hpaTempTable(uint32_t i) { return at(st().tempTable, i); }
float hpaVdetFwdCal(uint32_t i) { return at(st().vdetFwdCal, i); }
float hpaVdetRefCal(uint32_t i) { return at(st().vdetRefCal, i); }
void setHpaVdetFwdCal(uint32_t i, float v)
{
    if (i < st().vdetFwdCal.size())
        st().vdetFwdCal[i] = v;
}
void setHpaVdetRefCal(uint32_t i, float v)
{
    if (i < st().vdetRefCal.size())
        st().vdetRefCal[i] = v;
}

void hpaDetectResetForTest()
{
    State& s = st();
    for (std::vector<float>* t : {&s.vdetFwd, &s.vdetRef, &s.vdetFwdCal, &s.vdetRefCal, &s.tempTable})
        t->clear();
}
