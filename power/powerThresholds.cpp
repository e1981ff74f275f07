// Hardware power thresholds of the three amplifier families: the trip
// levels of the over-power comparator (logical DAC 1) and of the
// reflected-power comparator (logical DAC 2), worked out from the
// amplifier's calibration and the configured power; and the second
// family's APC voltage by frequency.
#include "power/powerThresholds.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/logs.h"
#include "hw/spiConverters.h"
#include "power/curveFit.h"
#include "power/powerCalibration.h"

#include <atomic>
#include <cmath>
#include <vector>

#define THR_DEBUG(...) DEBUG_PRINT(DBG_POWER_MNG, __VA_ARGS__)

namespace {

constexpr uint32_t kClassNoThresholds = 17; // nominal powers 100 and 150
constexpr uint32_t kClassNoReflected = 1;
constexpr uint8_t kAlarmVapc = 123;
constexpr int32_t kOverDac = 1;
constexpr int32_t kRefDac = 2;
constexpr int32_t kApcDac = 3;

struct State {
    std::atomic<int32_t> refAlarmCopy{0};
    std::atomic<bool> vapcTableShown{false};
};

State& st()
{
    static State s;
    return s;
}

// A threshold code for a 16-bit DAC: held in 0..65535.
uint16_t dacCode(double v)
{
    if (!(v > 0))
        return 0;
    return v >= 65535 ? 65535 : static_cast<uint16_t>(v);
}

// dB per forward count of the log detectors of the second and third
// families; 0 for a model without one.
double forwardScale(uint32_t model)
{
    switch (model) {
    case 3: return 125.0 / 65536;
    case 4: return 1760.0 / 65536;
    case 5: return 0.0055182464;
    default: return 0;
    }
}

double reflectedScale(uint32_t model)
{
    return model == 5 ? 0.011082036 : forwardScale(model);
}

// driver_power_offset + power_offset_fine + the frequency power offset, in
// 16 bits.
int16_t powerOffsetWithFreq()
{
    return static_cast<int16_t>(getDriverPowerOffset() + getPowerOffsetFine() + getFreqPowerOffset());
}

// An interpolation table of the first family: the detector's scaled entries
// against their powers (dB), 1-based.
struct DetectorTable {
    std::vector<float> power, vdet;
    int n = 0;
};

DetectorTable detectorTable(const std::vector<float>& scaled, uint32_t k1Size, int32_t startPower, bool reflected)
{
    DetectorTable t;
    uint32_t n = std::min<uint32_t>(k1Size / 10, static_cast<uint32_t>(scaled.size()));
    t.n = static_cast<int>(n);
    t.power.assign(n + 1, 0.0f);
    t.vdet.assign(n + 1, 0.0f);
    for (uint32_t i = 1; i <= n; ++i) {
        t.vdet[i] = scaled[i - 1];
        t.power[i] = static_cast<float>(startPower / 10 + static_cast<int32_t>(i - 1));
        if (reflected)
            logInfo("[%i]: VdetRef_xa %f - PowerRef %f", static_cast<int>(i), static_cast<double>(t.vdet[i]),
                    static_cast<double>(t.power[i]));
        else
            logInfo("[%i]: VdetFwd_xa %f - PowerFwd %f", static_cast<int>(i), static_cast<double>(t.vdet[i]),
                    static_cast<double>(t.power[i]));
    }
    return t;
}

// The detector reading at `powerDb`; false when the table is empty or the
// interpolation fails.
bool detectorAt(DetectorTable& t, float powerDb, float* vdet)
{
    if (t.n < 1)
        return false;
    float err = 0;
    return interpolateBest(t.power.data(), t.vdet.data(), t.n, vdet, &err, powerDb) == 0;
}

bool firstFamilyGuard()
{
    return getHpaDetected() != 0 && getHpaPowerClass() != kClassNoThresholds;
}

} // namespace

int32_t reflectedThresholdOfClass(uint32_t powerClass)
{
    switch (powerClass) {
    case 0:
    case 8: return 80;
    case 2:
    case 3:
    case 4:
    case 5:
    case 7: return 100;
    default: return 70;
    }
}

void setReflectedAlarmThresholdCopy(int32_t threshold)
{
    st().refAlarmCopy = threshold;
    switch (getPsuTypeCode()) {
    case 1: calcRefPowerThreshold_VASK(); break;
    case 2: calcRefPowerThreshold_TREL(); break;
    default: break;
    }
}

int32_t getReflectedAlarmThresholdCopy()
{
    return st().refAlarmCopy;
}

void calcOverPowerThreshold_OSK()
{
    if (!firstFamilyGuard())
        return;
    std::vector<float> fwd, ref;
    copyScaledDetectorTables(&fwd, &ref);
    DetectorTable t = detectorTable(fwd, getK1TableSizeFwd(), static_cast<int32_t>(getK1MinPowerFwd()), false);
    int32_t powerOffset = getDriverPowerOffset() + getPowerOffsetFine();
    int32_t driverPower = getDriverPower();
    float at = static_cast<float>(driverPower + powerOffset + 10) / 10.0f;
    float vdet = 0;
    if (!detectorAt(t, at, &vdet)) {
        logErr("OVERPOWER: no detector reading at %f dBm: threshold kept", static_cast<double>(at));
        return;
    }
    uint16_t code = dacCode(std::floor(static_cast<double>(vdet) * 16 + 0.5));
    logInfo("OVERPOWER: DRVPWR+1db %f, Vdet %f, OverPwrThrshld %i, DriverPower %i, PowerOffset %i",
            static_cast<double>(at), static_cast<double>(vdet), code, driverPower, powerOffset);
    setDacOutput(code, kOverDac);
}

void calcRefPowerThreshold_OSK()
{
    if (!firstFamilyGuard() || getHpaPowerClass() == kClassNoReflected)
        return;
    std::vector<float> fwd, ref;
    copyScaledDetectorTables(&fwd, &ref);
    DetectorTable t = detectorTable(ref, getK1TableSizeRef(), static_cast<int32_t>(getK1MinPowerRef()), true);
    int32_t copy = reflectedThresholdOfClass(getHpaPowerClass());
    st().refAlarmCopy = copy;
    int32_t powerOffset = getRefPowerCalOffset() + getPowerOffsetFine() + getDriverPowerOffset();
    int32_t driverPower = getDriverPower();
    float at = static_cast<float>(powerOffset + driverPower - copy) / 10.0f;
    float minPower = t.n > 0 ? t.power[1] : 0, maxPower = t.n > 0 ? t.power[t.n] : 0;
    at = std::fmax(minPower, std::fmin(at, maxPower));
    float vdet = 0;
    if (!detectorAt(t, at, &vdet)) {
        logErr("REFPOWER: no detector reading at %f dBm: threshold kept", static_cast<double>(at));
        return;
    }
    uint16_t code = dacCode(std::floor(static_cast<double>(vdet) * 16 + 0.5));
    logInfo("REFPOWER: DRVPWR REF %f, RefThrshld %u, VdetRef %f, DriverPower %d, PowerOffset %d, MinPowerRef %f, "
            "MaxPowerRef %f",
            static_cast<double>(at), code, static_cast<double>(vdet), driverPower, powerOffset,
            static_cast<double>(minPower), static_cast<double>(maxPower));
    setDacOutput(code, kRefDac);
}

namespace {

// The over-power threshold of the second and third families: the nominal
// forward count less the counts of the margin below the set power.
void overPowerThresholdLog(uint32_t x16Model)
{
    uint32_t model = getHpaModelCode();
    double scale = forwardScale(model);
    if (getFwdPowerCalibrated() != 1 || scale == 0)
        return;
    int32_t margin = getFwdPowerMuteThd() + 3;
    int32_t powerOffset = powerOffsetWithFreq();
    float drop = static_cast<float>((-margin - powerOffset) / (scale * 10));
    double code = std::floor(getHpaNomFwd() - static_cast<double>(drop));
    if (model == x16Model)
        code *= 16;
    uint16_t c = dacCode(code);
    logInfo("OVERPOWER: @DRVPWR %f, OverPwrThrshld %i, PowerDrop %.2f",
            (margin + getDriverPower() + powerOffset) / 10.0, c, static_cast<double>(drop));
    setDacOutput(c, kOverDac);
}

} // namespace

void calcOverPowerThreshold_VASK()
{
    overPowerThresholdLog(4);
}

void calcOverPowerThreshold_TREL()
{
    overPowerThresholdLog(5);
}

void calcRefPowerThreshold_VASK()
{
    uint32_t model = getHpaModelCode();
    double scale = reflectedScale(model);
    if (getFwdPowerCalibrated() != 1 || scale == 0)
        return;
    int32_t powerOffset = powerOffsetWithFreq();
    int32_t driverPower = getDriverPower();
    int32_t copy = getReflectedAlarmThresholdCopy();
    int32_t x = getRefPowerMode() == 1 ? (getHpaNomDrvPow() - driverPower) + getRefPowerCalOffset()
                                       : getRefPowerCalOffset();
    double drop = (x + copy) / (scale * 10);
    double count = getHpaNomRef() - drop;
    double code = model == 4 ? std::floor(count / 1.515151515 + 0.5) * 16 : std::floor(count + 0.5);
    uint16_t c = dacCode(code);
    logInfo("REFPOWER: RefDrvPwr@%d ddBm, RefThrshld %u [eq. %u], DriverPower %d, PowerOffset %d\n",
            driverPower + powerOffset - copy, c, dacCode(std::floor(count + 0.5)), driverPower, powerOffset);
    setDacOutput(c, kRefDac);
}

void calcRefPowerThreshold_TREL()
{
    uint32_t model = getHpaModelCode();
    double scale = reflectedScale(model);
    if (getRefPowerCalibrated() != 1 || scale == 0)
        return;
    int32_t powerOffset = powerOffsetWithFreq();
    int32_t copy = getReflectedAlarmThresholdCopy();
    double a = copy - 100.0;
    double drop = (powerOffset + getRefPowerCalOffset() + a) / (scale * 10);
    double count = std::floor(getHpaNomRef() + drop + 0.5);
    uint16_t c = dacCode(model == 5 ? count * 16 : count);
    logInfo("REFPOWER: RefDrvPwr@%d ddBm, RefThrshld %u [eq. %u], PowerDrop %d, PowerCalOffset %d, PowerOffset %d\n",
            getDriverPower() + powerOffset - copy, c, dacCode(count), static_cast<int>(drop),
            getRefPowerCalOffset(), powerOffset);
    setDacOutput(c, kRefDac);
}

int calculateVapcFreq(uint32_t recompute)
{
    // APC voltage against frequency (kHz), 88 to 108 MHz in 2 MHz steps.
    static constexpr float kVapc[11] = {2.863f, 2.952f, 2.990f, 2.990f, 2.990f, 3.136f,
                                        3.140f, 3.210f, 3.260f, 3.300f, 3.280f};
    if (getPsuTypeCode() != 1 || getAlarmState(kAlarmVapc) == 1)
        return -1;
    float x[12], y[12];
    for (int i = 1; i <= 11; ++i) {
        x[i] = static_cast<float>(88000 + 2000 * (i - 1));
        y[i] = kVapc[i - 1];
    }
    if (!st().vapcTableShown.exchange(true))
        for (int i = 1; i <= 11; ++i)
            THR_DEBUG("xFreqCh[%d] =  %f | yVapc[%d] = %f\n\n", i, static_cast<double>(x[i]), i,
                      static_cast<double>(y[i]));
    for (int attempt = 0; attempt < 10; ++attempt) {
        uint32_t hz = getOutputRFfrequency();
        if (hz == 0)
            return -1;
        uint32_t khz = hz / 1000;
        float v = 0, err = 0;
        int r = interpolateBest(x, y, 11, &v, &err, static_cast<float>(khz));
        if (r != 0 || !(err > -15 && err < 15))
            continue;
        uint32_t hps = getHpsCode();
        if (hps == 1)
            v = 1.2f;
        else if (hps == 3)
            v = 1.0f;
        uint16_t code = dacCode(std::floor(static_cast<double>(v) * 13107.2 + 0.5));
        setVoltageAPC(static_cast<uint32_t>(std::lround(static_cast<double>(v) * 1000)), 0);
        setDacOutput(code, kApcDac);
        THR_DEBUG("Set V_APC %.3f [DAC %d]for Freq %d [kHz] [ratint ret %d]\n", static_cast<double>(v), code,
                  static_cast<int>(khz), r);
        if (recompute != 0) {
            calcOverPowerThreshold_VASK();
            calcRefPowerThreshold_VASK();
        }
        return 0;
    }
    return -1;
}
