// Detector calibration of the first amplifier family: the K1 (power) and K2
// (frequency) factors read from the RF EEPROM for the configured power and
// channel, the detector target of the power loop, and the detector tables
// scaled for the channel that the thresholds and the measures read.
#include "power/powerCalibration.h"

#include "Config/eventBitmaps.h"
#include "Config/eventIds.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "hw/eepromDevices.h"
#include "power/hpaDetect.h"
#include "power/powerThresholds.h"

#include <algorithm>
#include <mutex>

namespace {

constexpr uint8_t kRfEeprom = 0x52;
// RF EEPROM records holding the base addresses of the K tables.
constexpr uint32_t kFwdK1BaseRecord = 156;
constexpr uint32_t kFwdK2BaseRecord = 186;
constexpr uint32_t kRefK2BaseRecord = 246;
constexpr uint32_t kClass17 = 17;
constexpr uint32_t kClass17TargetMax = 4095;

struct State {
    // Guards the scaled tables (written here, read by the measures in the
    // main loop) and the factors.
    std::mutex lock;
    float k1 = 0, k2 = 0, k2Ref = 0;
};

State& st()
{
    static State s;
    return s;
}

// Set while a calibration runs on this thread: the driver-power clamp goes
// through setDriverPower, which would start the calibration again.
thread_local bool calibrating = false;

// A big-endian field of the RF EEPROM (a failed read leaves 0).
uint32_t rfField(uint32_t offset, uint32_t n)
{
    uint8_t b[4] = {0, 0, 0, 0};
    if (M24LC512_ReadBytes(b, offset, n, kRfEeprom) != 0)
        return 0;
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i)
        v = v << 8 | b[i];
    return v;
}

// Word `index` of a K table at `base`, the index held in 0..last, so that
// a setting outside the table reads its nearest end; a word beyond the
// EEPROM reads 0 with an ERR line.
uint16_t kTableWord(const char* name, uint32_t base, int64_t index, uint32_t last, uint32_t* addr)
{
    index = std::clamp<int64_t>(index, 0, last);
    uint64_t a = uint64_t(base) + 2 * uint64_t(index);
    *addr = static_cast<uint32_t>(a);
    if (a + 2 > 0x10000) {
        logErr("%s table word at 0x%llX is beyond the RF EEPROM", name, static_cast<unsigned long long>(a));
        return 0;
    }
    return static_cast<uint16_t>(rfField(static_cast<uint32_t>(a), 2));
}

// The channel's K2 index: kHz above the table start (at least 0) in steps;
// a step of 0 gives the first entry.
int64_t k2Index(uint64_t hz, uint32_t startKhz, uint32_t step, uint32_t* khzAbove)
{
    int64_t above = static_cast<int64_t>(hz / 1000) - static_cast<int64_t>(startKhz);
    if (above < 0)
        above = 0;
    *khzAbove = static_cast<uint32_t>(above);
    return step == 0 ? 0 : above / step;
}

// The driver power brought into the amplifier's range once; a change is
// stored through the setter (whose own calibration call is skipped).
// Inverted limits (a bad EEPROM) clamp nothing: each calibration would
// otherwise move the power from one end to the other.
void clampDriverPower()
{
    int32_t low = 0, high = 0;
    getDriverPowerLimits(&low, &high);
    if (low > high) {
        logErr("Driver power limits inverted (%d > %d): driver power not clamped", low, high);
        return;
    }
    int32_t p = getDriverPower();
    int32_t clamped = p < low ? low : p > high ? high : p;
    if (clamped != p)
        setDriverPower(static_cast<uint32_t>(clamped), 0);
}

uint16_t saturateU16(double v)
{
    if (!(v > 0))
        return 0;
    return v >= 65535 ? 65535 : static_cast<uint16_t>(v);
}

void calibrate(uint32_t flag)
{
    bool debug = debugGate(DBG_POWER_MNG);
    uint32_t nf = getK1TableSizeFwd() / 10;
    uint32_t nr = getK1TableSizeRef() / 10;
    int32_t adj = getDriverPowerOffset() + getPowerOffsetFine();
    setEventBit(0, EVENT_RF_OUTPUT);

    uint32_t k1Base = rfField(kFwdK1BaseRecord, 3);
    uint32_t k2Base = rfField(kFwdK2BaseRecord, 3);
    clampDriverPower();
    int32_t driverPower = getDriverPower();

    // K1 by power: one word per 0.1 dB from the forward start power.
    uint32_t k1Addr = 0, k2Addr = 0;
    int64_t k1Index = int64_t(driverPower) + adj - static_cast<int32_t>(getK1MinPowerFwd());
    float k1 = kTableWord("K1", k1Base, k1Index, getK1TableSizeFwd(), &k1Addr) / 10000.0f;
    // K2 by channel: one word per step above the forward K2 start frequency.
    uint64_t hz = uint64_t(getOutputRFfrequency()) + int64_t(getFrequencyOffset()) +
                  int64_t(getFrequencyCalibOffset());
    uint32_t khzAbove = 0;
    uint32_t step = getTableWordFwd(1);
    int64_t k2i = k2Index(hz, getK2MinFreqFwd(), step, &khzAbove);
    float k2 = kTableWord("K2", k2Base, k2i, getK2TableSizeFwd(), &k2Addr) / 10000.0f;

    double target = getVdet0Fwd() * double(k1) * double(k2);
    if (getHpaPowerClass() == kClass17)
        target = std::min<double>(target, kClass17TargetMax);
    uint16_t vdetTarget = saturateU16(target);
    setVdetTarget(vdetTarget);

    State& s = st();
    {
        std::lock_guard<std::mutex> g(s.lock);
        s.k1 = k1;
        s.k2 = k2;
        for (uint32_t i = 0; i < nf; ++i)
            setHpaVdetFwdCal(i, hpaVdetFwd(i) * k2);
    }
    setDetectorCal(0, k1);
    setDetectorCal(1, k2);
    if (debug) {
        for (uint32_t i = 0; i < nf && i < hpaFwdTableSize(); ++i)
            logInfo("Vdet_Px_Chy_Fwd[%i] = %f", static_cast<int>(i), static_cast<double>(hpaVdetFwdCal(i)));
        logInfo("K1,K2: K1addr %d K2addr %d Frequency %lu Bw %d", static_cast<int>(k1Addr), static_cast<int>(k2Addr),
                static_cast<unsigned long>(khzAbove), static_cast<int>(step));
        logInfo("DriverPwr %i DriverPwrAdj %d| FWD: K1 %f, K2 %f, VdetPxChyFwd %d", driverPower, adj,
                static_cast<double>(k1), static_cast<double>(k2), vdetTarget);
    }

    // Reflected: K2 only (the frequency without its calibration offset).
    uint32_t k2RefBase = rfField(kRefK2BaseRecord, 3);
    uint64_t hzRef = uint64_t(getOutputRFfrequency()) + int64_t(getFrequencyOffset());
    uint32_t refStep = getTableWordRef(1);
    int64_t k2RefIndex = k2Index(hzRef, getK2MinFreqRef(), refStep, &khzAbove);
    float k2Ref = kTableWord("K2 reflected", k2RefBase, k2RefIndex, getK2TableSizeRef(), &k2Addr) / 10000.0f;
    {
        std::lock_guard<std::mutex> g(s.lock);
        s.k2Ref = k2Ref;
        for (uint32_t i = 0; i < nr; ++i)
            setHpaVdetRefCal(i, hpaVdetRef(i) * k2Ref);
    }
    setDetectorCal(2, k2Ref);
    if (debug) {
        for (uint32_t i = 0; i < nr && i < hpaRefTableSize(); ++i)
            logInfo("Vdet_Px_Chy_Ref[%i] = %f", static_cast<int>(i), static_cast<double>(hpaVdetRefCal(i)));
        logInfo("K1,K2: K1addr %d K2addr %d Frequency %lu Bw %d", static_cast<int>(k1Addr), static_cast<int>(k2Addr),
                static_cast<unsigned long>(khzAbove), static_cast<int>(refStep));
        logInfo("DriverPwr %i DriverPwrAdj %d| REF: K1 %f, K2 %f", driverPower, adj, static_cast<double>(k1),
                static_cast<double>(k2Ref));
    }

    if (flag != 0) {
        calcOverPowerThreshold_OSK();
        calcRefPowerThreshold_OSK();
    }
}

} // namespace

void calcDetectorCalibration(uint32_t flag)
{
    if (getPsuTypeCode() != 0 || getHpaDetected() == 0 || calibrating)
        return;
    calibrating = true;
    calibrate(flag);
    calibrating = false;
}

void getDriverPowerLimits(int32_t* low, int32_t* high)
{
    bool an = getHpaTypeWord() == kHpaAnPartNumber;
    *low = an ? getHpaMinPowerAn() : getHpaMinPowerDig();
    *high = an ? getHpaMaxPowerAn() : getHpaMaxPowerDig();
}

float getK1Factor()
{
    std::lock_guard<std::mutex> g(st().lock);
    return st().k1;
}

float getK2Factor()
{
    std::lock_guard<std::mutex> g(st().lock);
    return st().k2;
}

float getK2RefFactor()
{
    std::lock_guard<std::mutex> g(st().lock);
    return st().k2Ref;
}

void copyScaledDetectorTables(std::vector<float>* fwd, std::vector<float>* ref)
{
    std::lock_guard<std::mutex> g(st().lock);
    fwd->resize(hpaFwdTableSize());
    for (uint32_t i = 0; i < fwd->size(); ++i)
        (*fwd)[i] = hpaVdetFwdCal(i);
    ref->resize(hpaRefTableSize());
    for (uint32_t i = 0; i < ref->size(); ++i)
        (*ref)[i] = hpaVdetRefCal(i);
}
