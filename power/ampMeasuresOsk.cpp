// Measures of the first amplifier family: forward and reflected power from
// the detector tables of the channel, the amplifier current, and the
// amplifier temperature from its table, published as power table words.
#include "power/ampMeasuresOsk.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "power/curveFit.h"
#include "power/hpaDetect.h"
#include "power/measureFilters.h"
#include "power/powerCalibration.h"

#include <cmath>
#include <vector>

#define MEAS_DEBUG(...) DEBUG_PRINT(DBG_POWER_MNG, __VA_ARGS__)
#define TEMP_DEBUG(...) DEBUG_PRINT(DBG_TEMPERATURE, __VA_ARGS__)

namespace {

// Power table words.
enum : uint32_t {
    W_FWD_RAW = 0,
    W_FWD_DBM = 1,
    W_FWD_LIN = 2,
    W_FWD_PCT = 3,
    W_REF_DBM = 4,
    W_REF_LIN = 5,
    W_REF_PCT = 6,
    W_TEMP = 7,
    W_CURRENT = 10,
};

constexpr int16_t kNoReading = -600;
constexpr uint8_t kSettlingRuns = 3;
constexpr int64_t kTemperaturePeriodS = 4; // measure when more than 4 s passed

struct State {
    // Power measure.
    struct timespec stamp {};
    int16_t lastFwd = 0, lastRef = 0;
    uint16_t rawFwd = 0, rawRef = 0, rawCurrent = 0;
    uint8_t settling = 0;
    int16_t cachedNominal = -500;
    uint32_t nominalLinear = 0;
    // Temperature measure.
    bool tempTableBuilt = false;
    std::vector<float> tempX, tempY; // 1-based: detector values, temperatures
    bool tempStarted = false;
    struct timespec tempStamp {};
    uint16_t rawTemp = 0;
    float lastTemp = 0;
};

State& st()
{
    static State s;
    return s;
}

void setWord(uint32_t i, int32_t v)
{
    setPowerTableWord(i, static_cast<uint32_t>(v));
}

// A 1-based detector table of the measure: powers x (0.1 dBm) and the
// integer detector values y.
struct Table {
    std::vector<int32_t> x, y;
    uint32_t n = 0;
};

Table buildTable(const std::vector<float>& scaled, uint32_t span, int32_t start, int32_t shift)
{
    Table t;
    t.n = std::min<uint32_t>(span / 10, static_cast<uint32_t>(scaled.size()));
    t.x.assign(t.n + 1, 0);
    t.y.assign(t.n + 1, 0);
    for (uint32_t i = 1; i <= t.n; ++i) {
        t.x[i] = static_cast<int32_t>(i - 1) * 10 + start + shift;
        t.y[i] = static_cast<int32_t>(scaled[i - 1]);
    }
    return t;
}

uint16_t clampRaw(uint16_t raw, int32_t lo, int32_t hi)
{
    if (lo > hi)
        std::swap(lo, hi);
    int32_t v = raw < lo ? lo : raw > hi ? hi : raw;
    return static_cast<uint16_t>(v);
}

bool noReflectedDetector(uint32_t powerClass)
{
    return powerClass == 6 || powerClass == 17 || powerClass == 1;
}

void readCurrent()
{
    State& s = st();
    uint32_t powerClass = getHpaPowerClass();
    if (powerClass != 3 && powerClass != 4 && powerClass != 13)
        return;
    readAmpAdcChannel(AMP_ADC_CURRENT, &s.rawCurrent);
    double amps;
    if (powerClass == 13) {
        amps = s.rawCurrent * 3.3 / 819.0;
        setPowerTableWord(W_CURRENT, static_cast<uint32_t>(amps + 0.5));
    } else {
        amps = s.rawCurrent * 50 / 768;
        setPowerTableWord(W_CURRENT, s.rawCurrent * 50u / 768u);
    }
    MEAS_DEBUG("_I_: RAW %d\t-> %.1f A\n", s.rawCurrent, amps);
}

void publishOff()
{
    State& s = st();
    uint32_t powerClass = getHpaPowerClass();
    for (uint32_t w : {W_FWD_LIN, W_FWD_PCT, W_REF_LIN, W_REF_PCT})
        setWord(w, 0);
    setWord(W_FWD_DBM, powerClass == 6 || powerClass == 17 ? kNoReading : 0);
    setWord(W_REF_DBM, noReflectedDetector(powerClass) ? kNoReading : 0);
    s.settling = 0;
}

void publish(int16_t fwdLevel, int16_t refLevel)
{
    State& s = st();
    uint32_t powerClass = getHpaPowerClass();
    int16_t nominal = getDriverPower();

    int16_t forward = static_cast<int16_t>(fwdLevel - static_cast<int16_t>(getDriverPowerOffset() + getPowerOffsetFine()));
    uint32_t whole = 0, fwdLin = 0;
    dbToLinear(forward, &whole, &fwdLin);

    int32_t floor = calcRflPwrFilterThreshold(static_cast<uint8_t>(powerClass), nominal);
    int32_t lowest = static_cast<int32_t>(getK1MinPowerRef()) + 10;
    if (floor < lowest)
        floor = lowest;
    int16_t reflected = static_cast<int16_t>(refLevel + getRefPowerMeasOffset());
    int32_t refWord = 0;
    uint32_t refLin = 0;
    if (noReflectedDetector(powerClass)) {
        refWord = kNoReading;
    } else if (reflected > floor) {
        refWord = reflected;
        dbToLinear(reflected, &whole, &refLin);
    }

    if (nominal != s.cachedNominal) {
        dbToLinear(nominal, &whole, &s.nominalLinear);
        s.cachedNominal = nominal;
    }
    // Below about -20 dBm the nominal power has no linear value in 0.01 mW.
    uint32_t fwdPct = s.nominalLinear == 0 ? 0 : static_cast<uint32_t>(100ull * fwdLin / s.nominalLinear);
    uint32_t refPct = s.nominalLinear == 0 ? 0 : static_cast<uint32_t>(100ull * refLin / s.nominalLinear);
    int32_t fwdWord = forward;
    if (getRfOutputState() != 0 && fwdPct >= 93 && fwdPct < 106) {
        fwdPct = 100;
        fwdWord = nominal;
        fwdLin = s.nominalLinear;
    }
    setWord(W_FWD_DBM, fwdWord);
    setPowerTableWord(W_FWD_LIN, fwdLin);
    setPowerTableWord(W_FWD_PCT, fwdPct);
    setWord(W_REF_DBM, refWord);
    setPowerTableWord(W_REF_LIN, refLin);
    setPowerTableWord(W_REF_PCT, refPct);

    MEAS_DEBUG("******************************************************\n");
    MEAS_DEBUG("NOM_PWR: \t\t-> %.1f dBm \t\t| Vdet TARGET %i, Vdet MIS %i\n", nominal / 10.0, getVdetTarget(),
               static_cast<int>(getPowerTableWord(W_FWD_RAW)));
    MEAS_DEBUG("FWD: RAW %d\t-> %.1f dBm [%.1f W][%.3i%%]\t| K1Data %.4f\t| K2Data %.4f\n", s.rawFwd, fwdLevel / 10.0,
               fwdLin / 100000.0, fwdPct, static_cast<double>(getK1Factor()), static_cast<double>(getK2Factor()));
    MEAS_DEBUG("REF: RAW %d\t-> %.1f dBm [%.1f W][%.3i%%]\t| K2Data %.4f\n", s.rawRef, refLevel / 10.0,
               refLin / 100000.0, refPct, static_cast<double>(getK2RefFactor()));
}

} // namespace

void ForwardReflectedPowerMeasure(uint32_t periodUs)
{
    State& s = st();
    struct timespec now = getMonoTimeNow();
    if (getElapsedUs(&s.stamp, &now) < periodUs)
        return;

    std::vector<float> fwdScaled, refScaled;
    copyScaledDetectorTables(&fwdScaled, &refScaled);
    int32_t fwdStart = static_cast<int32_t>(getK1MinPowerFwd());
    int32_t shift = fwdStart < 0 ? -fwdStart : 0;
    Table f = buildTable(fwdScaled, getK1TableSizeFwd(), fwdStart, shift);
    Table r = buildTable(refScaled, getK1TableSizeRef(), static_cast<int32_t>(getK1MinPowerRef()), 0);

    readAmpAdcChannel(AMP_ADC_FWD, &s.rawFwd);
    if (f.n > 0)
        s.rawFwd = clampRaw(s.rawFwd, f.y[1], f.y[f.n]);
    setPowerTableWord(W_FWD_RAW, s.rawFwd);
    int32_t level = 0, err = 0;
    if (f.n > 0 && interpolateLinear(f.y.data(), f.x.data(), 1, f.n, s.rawFwd, &level, &err) == 0)
        s.lastFwd = static_cast<int16_t>(level - shift);
    int16_t fwdLevel = s.lastFwd;

    readAmpAdcChannel(AMP_ADC_REF, &s.rawRef);
    int16_t refLevel = 0;
    if (r.n > 0) {
        // Models 1 and 2 have a falling reflected detector: the clamp takes
        // the table's ends in either order.
        s.rawRef = clampRaw(s.rawRef, r.y[1], r.y[r.n]);
        if (interpolateLinear(r.y.data(), r.x.data(), 1, r.n, s.rawRef, &level, &err) == 0)
            s.lastRef = static_cast<int16_t>(level);
        refLevel = s.lastRef;
    }

    readCurrent();

    if (getTxOnState() == 1 && rfMuteState.load() != 1) {
        if (s.settling < 255)
            s.settling++;
        if (s.settling > kSettlingRuns)
            publish(fwdLevel, refLevel);
    } else {
        publishOff();
    }
    s.stamp = getMonoTimeNow();
}

void AmpliTemperatureMeasure()
{
    State& s = st();
    if (!s.tempTableBuilt) {
        uint32_t n = std::min<uint32_t>(getTempTableSize(), hpaTempTableSize());
        int32_t start = static_cast<int8_t>(getTempTableFirst());
        s.tempX.assign(n + 1, 0.0f);
        s.tempY.assign(n + 1, 0.0f);
        for (uint32_t i = 1; i <= n; ++i) {
            s.tempY[i] = static_cast<float>(start + 5 * static_cast<int32_t>(i - 1));
            s.tempX[i] = hpaTempTable(i);
            TEMP_DEBUG("VTemp_xa[%d] =  %f | xTemp[%d] = %f\n\n", static_cast<int>(i),
                       static_cast<double>(s.tempX[i]), static_cast<int>(i), static_cast<double>(s.tempY[i]));
        }
        s.tempTableBuilt = true;
    }
    if (!s.tempStarted) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.tempStamp);
        s.tempStarted = true;
    }
    struct timespec now = getMonoTimeNow();
    if (static_cast<int64_t>(now.tv_sec) - static_cast<int64_t>(s.tempStamp.tv_sec) <= kTemperaturePeriodS)
        return;

    readAmpAdcChannel(AMP_ADC_TEMP, &s.rawTemp);
    if (s.rawTemp == 0)
        return; // no reading: the next call tries again
    int n = static_cast<int>(s.tempX.size()) - 1;
    int16_t t;
    float result = 0, err = 0;
    int r = -1;
    if (n > 0) {
        // The detector falls as the temperature rises.
        uint16_t raw = clampRaw(s.rawTemp, static_cast<int32_t>(s.tempX[n]), static_cast<int32_t>(s.tempX[1]));
        r = interpolateBest(s.tempX.data(), s.tempY.data(), n, &result, &err, static_cast<float>(raw));
    }
    if (r == 0 && err > -15 && err < 15) {
        t = static_cast<int16_t>(std::floor(result + 0.5f));
        s.lastTemp = result;
    } else {
        t = static_cast<int16_t>(std::floor(s.lastTemp + 0.5f));
    }
    TEMP_DEBUG("MisuraTemperatura V: %d, T: %d, yTemp: %f, TableSize %d,ratint ret %d\n", s.rawTemp, t,
               static_cast<double>(result), n, r);
    if (getHpaModelCode() == 1) {
        FilterTemperature(&t);
        TEMP_DEBUG("MisuraTemperaturaFILTRATA V: %d, T: %d\n", s.rawTemp, t);
    }
    setWord(W_TEMP, t);
    s.tempStarted = false;
}

void ampMeasuresOskResetForTest()
{
    st() = State{};
}
