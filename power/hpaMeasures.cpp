// Measures of the compact amplifiers: the log detectors' means and their
// power law around the calibration point, the stage currents and supply
// voltages of the 2U and 4U cabinets, the temperatures and the signal lines
// (interlock, supply OK, amplifier alarms).
#include "power/hpaMeasures.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/alarmKeys.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "hw/adt7470.h"
#include "hw/boardIo.h"
#include "hw/ioExpanders.h"
#include "hw/smallDevices.h"
#include "hw/spiConverters.h"
#include "power/ampLockout.h"
#include "power/cplShelf.h"
#include "power/hpaDetect.h"
#include "power/measureFilters.h"
#include "power/powerSettings.h"
#include "power/powerThresholds.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#define MEAS_DEBUG(func, ...) debugPrintf(func, DBG_POWER_MNG, DBG_POWER_MNG, __VA_ARGS__)

namespace {

constexpr uint16_t kWindow = 16;
constexpr uint16_t kMeansHistory = 3;
constexpr uint32_t kFastPeriodUs = 100000;
constexpr uint32_t kSlowPeriodUs = 500000;
constexpr uint32_t kSignalPeriodUs = 250000;
constexpr int32_t kVoutRiseReset = 3000; // mV
constexpr uint8_t kAlarmLockoutInput = 120;
constexpr uint8_t kAlarmInterlockInstant = 121;
constexpr uint8_t kAlarmInterlock = 101;
constexpr uint8_t kAlarmTemp1 = 106;
constexpr uint8_t kAlarmTemp2 = 107;
constexpr uint8_t kAlarmHpaFwd = 139;
constexpr uint8_t kAlarmHpaRef = 140;
constexpr uint8_t kAlarmPsuFirst = 141;
constexpr int8_t kSensorFault = 127;

// Voltage dividers of the monitored rails.
constexpr double kDivMains = 19.011;
constexpr double kDiv5V = 2.801;
constexpr double kDiv3V3 = 1.821;

// Amps per volt of the final-stage current sensors.
constexpr double kFinalAmpsPerVoltModel3 = 10.0;
constexpr double kFinalAmpsPerVoltModel4 = 12.19512195;

// One detector: its window, means history and filter state.
struct Detector {
    uint16_t samples[kWindow];
    uint16_t means[kMeansHistory];
    uint16_t instant;
    uint16_t mean;
    uint16_t stableCount;
    uint16_t discardCount;
    uint8_t stable;
};

struct Measures {
    Detector fwd;
    Detector ref;
    uint8_t clearWindows;
    uint8_t clearMeans;
    int16_t lastDriverPower;
    uint8_t lastRfState;
    uint32_t lastVout;
    bool measureStarted;
    struct timespec measureStamp;
    uint32_t groupCounter[4];
    // Temperature.
    bool tempStarted;
    long tempLastSec;
    uint32_t tempRuns;
    uint8_t faultCount[2];
    // Signal lines.
    bool sigStarted;
    struct timespec sigStamp;
    bool sigFirstDone;
    uint16_t prevTlc;
    uint8_t prevInterlock;
    uint8_t interlockRuns;
    uint8_t confirmedInterlock;
    uint8_t prevHpsSts;
    uint8_t prevAlmSts;
    uint8_t supplyOkCount;
};

Measures& st()
{
    static Measures s;
    return s;
}

// A measure step is due: the first call, or the period passed on the shared
// time base.
bool due(bool* started, struct timespec* stamp, uint32_t periodUs)
{
    struct timespec now = getMonoTimeNow();
    if (*started && getElapsedUs(stamp, &now) < periodUs)
        return false;
    *started = true;
    *stamp = now;
    return true;
}

void filterDetector(Detector& d, uint16_t sample)
{
    d.instant = sample;
    MovingMean(sample, d.samples, kWindow, &d.mean, d.means, kMeansHistory, &d.stableCount, &d.stable,
               &d.discardCount);
}

void clearDetectorFlags(uint8_t* clearWindows, uint8_t* clearMeans)
{
    Measures& s = st();
    if (*clearWindows) {
        memset(s.fwd.samples, 0, sizeof s.fwd.samples);
        memset(s.ref.samples, 0, sizeof s.ref.samples);
        *clearWindows = 0;
    }
    if (*clearMeans) {
        memset(s.fwd.means, 0, sizeof s.fwd.means);
        memset(s.ref.means, 0, sizeof s.ref.means);
        *clearMeans = 0;
    }
}

// The detector means, when their period is due.
void measureDetectors(uint16_t fwdChannel, uint16_t refChannel, uint8_t slow, bool log4U)
{
    Measures& s = st();
    uint32_t period = getTxOnState() == 1 && slow == 0 ? kFastPeriodUs : kSlowPeriodUs;
    if (!due(&s.measureStarted, &s.measureStamp, period))
        return;
    if (log4U) {
        struct timespec t = s.measureStamp;
        MEAS_DEBUG("HpaPowerMeasure_4U", "[%li.%li msec] MEASURE FWD/REF [timestamp %li.%li msec]\n",
                   static_cast<long>(t.tv_sec * 1000 + t.tv_nsec / 1000000), static_cast<long>(t.tv_nsec / 1000 % 1000),
                   static_cast<long>(t.tv_sec * 1000 + t.tv_nsec / 1000000), static_cast<long>(t.tv_nsec / 1000 % 1000));
    }
    uint16_t v = s.fwd.instant;
    if (readAmpAdcChannel(fwdChannel, &v) == 0)
        filterDetector(s.fwd, v);
    v = s.ref.instant;
    if (readAmpAdcChannel(refChannel, &v) == 0)
        filterDetector(s.ref, v);
}

void copyOut(uint16_t* fwdInstant, uint16_t* fwdMean, uint8_t* fwdStable, uint16_t* refInstant, uint16_t* refMean,
             uint8_t* refStable)
{
    const Measures& s = st();
    *fwdInstant = s.fwd.instant;
    *fwdMean = s.fwd.mean;
    *fwdStable = s.fwd.stable;
    *refInstant = s.ref.instant;
    *refMean = s.ref.mean;
    *refStable = s.ref.stable;
}

// What a staggered group reads: a converter channel into an amplifier
// measure word, as a current (amps per volt) or a rail (divider).
struct GroupRead {
    const char* name;
    uint16_t channel;
    uint32_t word;
    double perVolt; // amps per volt, or the divider of a rail
    bool volts;
};

// Channels, words and dividers of the 2U cabinet by model (0: not read).
constexpr double kDrvPerVolt = -1.0; // 1000 / HpaDrvCurrConvFactor

double perVoltOf(const GroupRead& r, uint32_t model)
{
    if (r.perVolt == kDrvPerVolt) {
        uint32_t f = getHpaDrvCurrConvFactor();
        return f ? 1000.0 / f : 0.0;
    }
    if (r.perVolt == 0)
        return model == 4 ? kFinalAmpsPerVoltModel4 : kFinalAmpsPerVoltModel3;
    return r.perVolt;
}

void readGroup(const char* func, const GroupRead* rows, size_t n, uint32_t model)
{
    double vpc = model == 3 ? kLtc2451VoltsPerCount : kAdc12VoltsPerCount;
    for (size_t i = 0; i < n; i++) {
        const GroupRead& r = rows[i];
        uint16_t counts = 0;
        if (readAmpAdcChannel(r.channel, &counts) != 0)
            continue; // the previous value stays
        double value = counts * vpc * perVoltOf(r, model);
        setHpaMeasureWord(r.word, static_cast<int32_t>(static_cast<uint32_t>(value * 1000.0)));
        if (r.volts)
            MEAS_DEBUG(func, "Meas. %s: Instant=%d [%.2f V]\n", r.name, counts, value);
        else
            MEAS_DEBUG(func, "Meas. %s: Instant=%d [%.2f A]\n", r.name, counts, value);
    }
}

// Counts one call for each group; true when group g is due (its counter
// passed its limit and no earlier group ran in this call).
bool groupDue(uint32_t g, bool strict, uint32_t limit, bool earlierRan)
{
    uint32_t& c = st().groupCounter[g];
    bool over = strict ? c > limit : c >= limit;
    if (!over || earlierRan)
        return false;
    c = 0;
    return true;
}

// The 2U rows of each model (final stages' per-volt 0: by model).
constexpr GroupRead k2uGroupA3[] = {
    {"I_Fin1", 6, 0, 0, false}, {"I_Fin2", 7, 1, 0, false}, {"I_Stg1", 0, 8, kDrvPerVolt, false}};
constexpr GroupRead k2uGroupA4[] = {
    {"I_Fin1", 3, 0, 0, false}, {"I_Fin2", 7, 1, 0, false}, {"I_Stg1", 0, 8, kDrvPerVolt, false}};
constexpr GroupRead k2uGroupB3[] = {
    {"V_Mains", 1, 15, kDivMains, true}, {"V_5V", 4, 16, kDiv5V, true}, {"V_3_3V", 5, 17, kDiv3V3, true}};
constexpr GroupRead k2uGroupB4[] = {{"V_Mains", 1, 15, kDivMains, true}, {"V_3_3V", 5, 17, kDiv3V3, true}};

constexpr GroupRead k4uGroupA[] = {
    {"I_Fin1", 0x80, 0, 0, false}, {"I_Fin2", 0x81, 1, 0, false}, {"I_Drv1", 0, 8, kDrvPerVolt, false}};
constexpr GroupRead k4uGroupB[] = {
    {"I_Fin3", 0x82, 2, 0, false}, {"I_Fin4", 0x83, 3, 0, false}, {"I_Fin5", 0x84, 4, 0, false}};
constexpr GroupRead k4uGroupC[] = {
    {"I_Fin6", 0x85, 5, 0, false}, {"I_Fin7", 0x86, 6, 0, false}, {"I_Fin8", 0x87, 7, 0, false}};
constexpr GroupRead k4uGroupD[] = {
    {"V_Mains", 5, 15, kDivMains, true}, {"V_5V", 7, 16, kDiv5V, true}, {"V_3_3V", 6, 17, kDiv3V3, true}};

template <size_t N> void readGroup(const char* func, const GroupRead (&rows)[N], uint32_t model)
{
    readGroup(func, rows, N, model);
}

int32_t powerTableSigned(uint32_t i)
{
    return static_cast<int32_t>(getPowerTableWord(i));
}

// The forward level (0.1 dBm) of a mean around the calibration point.
int32_t forwardLevel(uint16_t mean, double k)
{
    int32_t d = static_cast<int32_t>(getHpaNomFwd()) - mean;
    double level = getHpaNomDrvPow() - d * k * 10.0 + (d < 0 ? 0.0 : 0.9);
    return static_cast<int32_t>(std::trunc(level));
}

int32_t powerOffset()
{
    return getDriverPowerOffset() + getPowerOffsetFine() + getPowerOffsetWord();
}

void calibrationRequests(const Measures& s)
{
    if (getCalibrateRequest()) {
        setHpaNomFwd(s.fwd.mean);
        setHpaNomRef(s.fwd.mean);
        setHpaNomDrvPow(static_cast<uint16_t>(getDriverPower()));
        setHPSVoutNom(0, getPsuVoutSetpoint(0));
        setFwdPowerCalibrated(1);
        setRefPowerCalibrated(1);
        calcOverPowerThreshold_VASK();
        calcRefPowerThreshold_VASK();
        setCalibrateRequest(0);
        MEAS_DEBUG("HpaPowerMeasure", "HPA Calibrated@DrvPwr=%d [VoutNom=%d, FWD=%d]\n", getHpaNomDrvPow(),
                   static_cast<int>(getHPSVoutNom(0)), s.fwd.mean);
    }
    if (getFwdDecalRequest()) {
        setHpaNomFwd(0);
        setFwdPowerCalibrated(0);
        setDacOutput(0xFFFF, 1);
        setDacOutput(0xFFFF, 2);
        setFwdDecalRequest(0);
        MEAS_DEBUG("HpaPowerMeasure", "FWD DeCalibrated\n");
    }
    if (getAmpDecalRequest()) {
        setHpaNomRef(0);
        setRefPowerCalibrated(0);
        setDacOutput(0xFFFF, 1);
        setDacOutput(0xFFFF, 2);
        setAmpDecalRequest(0);
        MEAS_DEBUG("HpaPowerMeasure", "HPA DeCalibrated\n");
    }
}

void setStable(uint8_t fwd, uint8_t ref)
{
    setFwdMeasStable(fwd);
    setRefMeasStable(ref);
}

void resetMeansIfMoved(uint8_t forceReset)
{
    Measures& s = st();
    int16_t dp = getDriverPower();
    uint8_t rf = getTxOnState();
    uint32_t vout = getPsuVoutSetpoint(0);
    bool rose = static_cast<int64_t>(vout) - static_cast<int64_t>(s.lastVout) > kVoutRiseReset;
    if (rose || dp != s.lastDriverPower || rf != s.lastRfState || forceReset) {
        s.clearMeans = 1;
        s.fwd.stable = 0;
        s.ref.stable = 0;
        setStable(0, 0);
        MEAS_DEBUG("HpaPowerMeasure", "Meas. Means Reset\n");
    }
    s.lastDriverPower = dp;
    s.lastRfState = rf;
    s.lastVout = vout;
}

// Signal-line helpers.
const char* okAlm(int ok)
{
    return ok ? "OK" : "ALM";
}

const char* onOff(int v)
{
    return v ? "ON" : "OFF";
}

void publishTemperature(uint32_t word, int32_t t, bool direct)
{
    int32_t ref = static_cast<int32_t>(getPowerTableWord(7));
    if (direct || std::abs(t - ref) <= 10)
        setPowerTableWord(word, static_cast<uint32_t>(t));
}

void temperatureModel3()
{
    Measures& s = st();
    int32_t offset = getTemperatureOffset();
    int8_t raw[2] = {adt7470ReadTemp(0), adt7470ReadTemp(1)};
    int32_t t[2] = {raw[0] + offset, raw[1] + offset};
    bool direct = s.tempRuns <= 4;
    const uint8_t alarms[2] = {kAlarmTemp1, kAlarmTemp2};
    for (int i = 0; i < 2; i++) {
        if (raw[i] == kSensorFault) {
            if (s.faultCount[i] < 4)
                s.faultCount[i]++;
            if (s.faultCount[i] > 3)
                setAlarmInput(alarms[i], 1);
            if (direct)
                setPowerTableWord(7u + i, static_cast<uint32_t>(t[i]));
            continue;
        }
        setAlarmInput(alarms[i], 0);
        publishTemperature(7u + i, t[i], direct);
    }
    MEAS_DEBUG("HpaTemperatureMeasure", "Temp1: %d, Temp2: %d - MaxTemp %d\n", static_cast<int>(t[0]),
               static_cast<int>(t[1]), static_cast<int>(t[0] > t[1] ? t[0] : t[1]));
}

void temperatureModel4()
{
    Measures& s = st();
    if (s.tempRuns <= 1)
        return; // the first run only counts
    uint16_t counts = 0;
    if (readAmpAdcChannel(4, &counts) != 0)
        return;
    double v = counts * kAdc12VoltsPerCount;
    int32_t t = static_cast<int32_t>(std::trunc(-6.3518 * v * v * v + 38.704 * v * v - 100.56 * v + 122.02));
    setPowerTableWord(7, static_cast<uint32_t>(t));
    MEAS_DEBUG("HpaTemperatureMeasure", "Temp: %d [DataV %.3f]\n", static_cast<int>(t), v);
}

// Supply OK lines of the cabinets. Returns false for a model and cabinet
// without them.
bool supplyStatus(uint32_t model, uint32_t hps, bool first)
{
    Measures& s = st();
    if (model == 4 && hps == 1) {
        uint8_t v = 0;
        if (pca9655Read(&v, CAT9534_IN, EXP_PCA9654_ALM) < 0)
            return true;
        uint8_t ok = v >> 5 & 1;
        if (!first && ok == (s.prevHpsSts >> 5 & 1))
            setPsuAnswerFlag(0, ok);
        s.prevHpsSts = v;
        MEAS_DEBUG("HpaSignalInterfaceMeasure", "HPS status: HPS1 %s, HPS %s\n", okAlm(ok), okAlm(ok));
        return true;
    }
    if (model == 3 && hps == 3) {
        uint8_t v = 0;
        if (pca9655Read(&v, CAT9534_IN, EXP_AMP_0x23) < 0)
            return true;
        uint8_t count = 0;
        for (uint8_t slot = 0; slot < 3; slot++) {
            uint8_t bit = static_cast<uint8_t>(0x08 << slot);
            uint8_t ok = v & bit ? 1 : 0;
            if (first || (v & bit) == (s.prevHpsSts & bit))
                setPsuAnswerFlag(slot, ok);
            count = static_cast<uint8_t>(count + ok);
        }
        s.supplyOkCount = count;
        bool fault = v & 0x80;
        if (getHPSMngMode() == 1) {
            for (uint8_t slot = 0; slot < 3; slot++) {
                setPsuEnabled(slot, fault ? 0 : 1);
                setAlarmInput(kAlarmPsuFirst + slot, fault ? 1 : 0);
                if (fault)
                    setPsuStatus(slot, 3);
            }
        }
        MEAS_DEBUG("HpaSignalInterfaceMeasure", "HPS status: HPS1 %s, HPS2 %s, HPS3 %s, HPS %s [HPS_sts 0x%X]\n",
                   okAlm(v & 0x08), okAlm(v & 0x10), okAlm(v & 0x20), okAlm(!fault), v);
        s.prevHpsSts = v;
        if (getPsuInterface(0) != 1)
            CPL_UpdateAvailability();
        return true;
    }
    return false;
}

} // namespace

double hpaDetectorSlope(uint32_t model)
{
    switch (model) {
    case 3: return 0.001907349;
    case 4: return 0.026855467;
    case 5: return 0.0055182464;
    default: return 0.0;
    }
}

uint32_t hpaPercentBase()
{
    uint32_t whole = 0, hundredths = 0;
    dbToLinear(getExciterNominalPower(), &whole, &hundredths);
    return hundredths / 100;
}

uint32_t hpaForwardPercent(uint32_t linear)
{
    uint32_t base = hpaPercentBase();
    if (base == 0)
        return 0; // nominal below 1 mW: no percentage
    uint32_t p = static_cast<uint32_t>(std::floor(static_cast<double>(linear) / base + 0.5));
    return p >= 97 && p <= 103 ? 100 : p;
}

void hpaPublishForward(int32_t forward)
{
    uint32_t whole = 0, hundredths = 0;
    dbToLinear(static_cast<int16_t>(forward), &whole, &hundredths);
    setPowerTableWord(1, static_cast<uint32_t>(forward));
    setPowerTableWord(2, hundredths);
    setPowerTableWord(3, hpaForwardPercent(hundredths));
}

int32_t hpaReflectedFloor()
{
    int32_t floor = calcRflPwrFilterThreshold(static_cast<uint8_t>(getHpaPowerClass()), getDriverPower());
    int32_t lowest = static_cast<int32_t>(getK1MinPowerRef()) + 10;
    return floor < lowest ? lowest : floor;
}

void hpaPublishReflected(int32_t reflected)
{
    if (reflected <= hpaReflectedFloor()) {
        setPowerTableWord(4, 0);
        setPowerTableWord(5, 0);
        setPowerTableWord(6, 0);
    } else {
        uint32_t whole = 0, hundredths = 0;
        dbToLinear(static_cast<int16_t>(reflected), &whole, &hundredths);
        uint32_t base = hpaPercentBase();
        setPowerTableWord(4, static_cast<uint32_t>(reflected));
        setPowerTableWord(5, hundredths);
        setPowerTableWord(6, base ? hundredths / base : 0);
    }
    setPowerTableWord(15, static_cast<uint32_t>(reflected));
}

void hpaClearPowerWords()
{
    for (uint32_t w : {1u, 2u, 3u, 4u, 5u, 6u, 11u, 13u})
        setPowerTableWord(w, 0);
}

void HpaPowerMeasure_2U(uint16_t* fwdInstant, uint16_t* fwdMean, uint8_t* fwdStable, uint16_t* refInstant,
                        uint16_t* refMean, uint8_t* refStable, uint8_t* clearWindows, uint8_t* clearMeans,
                        uint8_t slow)
{
    Measures& s = st();
    uint32_t model = getHpaModelCode();
    clearDetectorFlags(clearWindows, clearMeans);
    // Model 3 waits only after the first of the forward detector's reads.
    uint16_t fwdChannel = model == 3 ? (2 | AMP_ADC_NO_LEAD_PAUSE) : 2;
    measureDetectors(fwdChannel, 3, slow, false);

    s.groupCounter[0]++;
    s.groupCounter[1]++;
    bool a = groupDue(0, true, 20, false);
    if (a) {
        if (model == 4) {
            readGroup("HpaPowerMeasure_2U", k2uGroupA4, model);
            setHpaMeasureWord(0, getHpaMeasureWord(1));
        } else {
            readGroup("HpaPowerMeasure_2U", k2uGroupA3, model);
        }
    }
    if (groupDue(1, false, 26, a)) {
        if (model == 4)
            readGroup("HpaPowerMeasure_2U", k2uGroupB4, model);
        else
            readGroup("HpaPowerMeasure_2U", k2uGroupB3, model);
    }
    copyOut(fwdInstant, fwdMean, fwdStable, refInstant, refMean, refStable);
}

void HpaPowerMeasure_4U(uint16_t* fwdInstant, uint16_t* fwdMean, uint8_t* fwdStable, uint16_t* refInstant,
                        uint16_t* refMean, uint8_t* refStable, uint8_t* clearWindows, uint8_t* clearMeans,
                        uint8_t slow)
{
    Measures& s = st();
    uint32_t model = getHpaModelCode();
    clearDetectorFlags(clearWindows, clearMeans);
    measureDetectors(3, 4, slow, true);

    for (uint32_t& c : s.groupCounter)
        c++;
    bool a = groupDue(0, true, 15, false);
    if (a)
        readGroup("HpaPowerMeasure_4U", k4uGroupA, model);
    bool b = groupDue(1, false, 21, a);
    if (b)
        readGroup("HpaPowerMeasure_4U", k4uGroupB, model);
    bool c = groupDue(2, false, 26, a || b);
    if (c)
        readGroup("HpaPowerMeasure_4U", k4uGroupC, model);
    if (groupDue(3, true, 30, a || b || c))
        readGroup("HpaPowerMeasure_4U", k4uGroupD, model);
    copyOut(fwdInstant, fwdMean, fwdStable, refInstant, refMean, refStable);
}

void HpaPowerMeasure(uint8_t slow, uint8_t forceReset)
{
    Measures& s = st();
    resetMeansIfMoved(forceReset);

    uint16_t fwdInstant = s.fwd.instant, fwdMean = s.fwd.mean, refInstant = s.ref.instant, refMean = s.ref.mean;
    uint8_t fwdStable = s.fwd.stable, refStable = s.ref.stable;
    uint32_t hps = getHpsCode();
    if (hps == 1)
        HpaPowerMeasure_2U(&fwdInstant, &fwdMean, &fwdStable, &refInstant, &refMean, &refStable, &s.clearWindows,
                           &s.clearMeans, slow);
    else if (hps == 3)
        HpaPowerMeasure_4U(&fwdInstant, &fwdMean, &fwdStable, &refInstant, &refMean, &refStable, &s.clearWindows,
                           &s.clearMeans, slow);

    calibrationRequests(s);

    if (getTxOnState() == 1 && rfMuteState.load() != 1 && getAlarmState(kAlarmLockoutInput) != 1) {
        double k = hpaDetectorSlope(getHpaModelCode());
        int32_t off = powerOffset();

        setPowerTableWord(11, fwdMean);
        setFwdMeasStable(fwdStable);
        int32_t forward = 0;
        if (getFwdPowerCalibrated() != 1 || fwdMean == 0) {
            for (uint32_t w : {1u, 2u, 3u})
                setPowerTableWord(w, 0);
        } else {
            forward = forwardLevel(fwdMean, k) - off;
            hpaPublishForward(forward);
        }

        setPowerTableWord(13, refMean);
        setRefMeasStable(refStable);
        int32_t reflected = 0;
        if (getRefPowerCalibrated() != 1 || refMean == 0) {
            for (uint32_t w : {4u, 5u, 6u})
                setPowerTableWord(w, 0);
        } else {
            int32_t d = static_cast<int32_t>(getHpaNomRef()) - refMean;
            double level = getHpaNomDrvPow() + off + getRefPowerCalOffset() + getRefPowerMeasOffset() - d * k * 10.0;
            reflected = static_cast<int32_t>(std::floor(level + 0.5));
            hpaPublishReflected(reflected);
        }
        MEAS_DEBUG("HpaPowerMeasure", "Meas. Fwd: Instant=%d --> Mean=%d [Stable %d] | Pout_ddB %d, Pout_10uW %lu [%i%%]\n",
                   fwdInstant, fwdMean, fwdStable, static_cast<int>(powerTableSigned(1)),
                   static_cast<unsigned long>(getPowerTableWord(2)), static_cast<int>(getPowerTableWord(3)));
        MEAS_DEBUG("HpaPowerMeasure", "Meas. Ref: Instant=%d --> Mean=%d [Stable %d] | Pref_ddB %d, Pref_10uW %lu [%i%%]\n",
                   refInstant, refMean, refStable, static_cast<int>(powerTableSigned(4)),
                   static_cast<unsigned long>(getPowerTableWord(5)), static_cast<int>(getPowerTableWord(6)));
        (void)forward;
        (void)reflected;
        return;
    }
    MEAS_DEBUG("HpaPowerMeasure", "Meas. Fwd: Instant=%d --> Mean=%d [Stable %d]\n", fwdInstant, fwdMean, fwdStable);
    MEAS_DEBUG("HpaPowerMeasure", "Meas. Ref: Instant=%d --> Mean=%d\n", refInstant, refMean);
    hpaClearPowerWords();
    s.clearWindows = 1;
    s.fwd.mean = 0;
    s.ref.mean = 0;
    s.fwd.stable = 0;
    s.ref.stable = 0;
    setStable(0, 0);
}

void HpaTemperatureMeasure()
{
    Measures& s = st();
    long now = static_cast<long>(getMonoTimeNow().tv_sec);
    if (s.tempStarted && std::labs(now - s.tempLastSec) <= 4)
        return;
    s.tempStarted = true;
    s.tempLastSec = now;
    if (s.tempRuns < 0xFFFFFFFFu)
        s.tempRuns++;
    switch (getHpaModelCode()) {
    case 3: temperatureModel3(); break;
    case 4: temperatureModel4(); break;
    default: break;
    }
}

int HpaSignalInterfaceMeasure()
{
    Measures& s = st();
    struct timespec now = getMonoTimeNow();
    if (s.sigStarted && getElapsedUs(&s.sigStamp, &now) <= kSignalPeriodUs) {
        AmpliLockoutManage();
        return 0;
    }
    bool first = !s.sigFirstDone;

    uint16_t tlc = getTlcStatusBits();
    if (!first && (tlc & 1) == (s.prevTlc & 1))
        setAlarmState(kAlarmInterlock, (tlc & 1) ? 0 : 1);

    uint8_t hpaSts = 0;
    if (pca9655Read(&hpaSts, PCA9655_IN1, EXP_PCA9655_IC85) < 0)
        return -1;
    uint8_t interlock = hpaSts & 1;
    uint8_t available = getPsuAvailableCount();
    if (available == 0) {
        s.interlockRuns = 0;
    } else {
        s.interlockRuns = !first && interlock == s.prevInterlock && s.interlockRuns > 0
                              ? static_cast<uint8_t>(s.interlockRuns < 255 ? s.interlockRuns + 1 : 255)
                              : 1;
        if (s.interlockRuns > 2)
            s.confirmedInterlock = interlock;
    }
    if (getTxOnState() == 1) {
        setAlarmState(kAlarmLockoutInput, available == getPsuCount() ? s.confirmedInterlock : 0);
        setAlarmState(kAlarmInterlockInstant, interlock);
    } else {
        setAlarmState(kAlarmLockoutInput, 0);
        setAlarmState(kAlarmInterlockInstant, 0);
    }

    uint32_t model = getHpaModelCode();
    uint32_t hps = getHpsCode();
    if (supplyStatus(model, hps, first)) {
        if (interlock && s.confirmedInterlock) {
            uint8_t alm = 0;
            if (pca9655Read(&alm, CAT9534_IN, EXP_PCA9654_ALM) >= 0) {
                setAlarmInput(kAlarmHpaFwd, alm & 0x08 ? 1 : 0);
                setAlarmInput(kAlarmHpaRef, alm & 0x04 ? 1 : 0);
                MEAS_DEBUG("HpaSignalInterfaceMeasure", "HPA ALM status: FWD %s, REF %s [HPA_ALM_sts 0x%X]\n",
                           okAlm(!(alm & 0x08)), okAlm(!(alm & 0x04)), alm);
                s.prevAlmSts = alm;
            }
            if (hps == 1)
                setHpaAlarmOutHpa5();
            else
                setHpaAlarmOutAlm();
        } else {
            setAlarmInput(kAlarmHpaFwd, 0);
            setAlarmInput(kAlarmHpaRef, 0);
        }
    }

    s.prevTlc = tlc;
    s.prevInterlock = interlock;
    s.sigFirstDone = true;
    MEAS_DEBUG("HpaSignalInterfaceMeasure", "HPA/TLC status: Interlock %s, AmpliMute %s [TLC_sts 0x%X, HPA_sts 0x%X]\n",
               onOff(s.confirmedInterlock), onOff(interlock), tlc, hpaSts);
    s.sigStarted = true;
    s.sigStamp = now;
    AmpliLockoutManage();
    return 0;
}

uint8_t getHpaSupplyOkCount()
{
    return st().supplyOkCount;
}

void hpaMeasuresResetForTest()
{
    st() = Measures{};
}
