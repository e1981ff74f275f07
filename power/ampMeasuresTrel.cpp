// Measures of the third amplifier family.
#include "power/ampMeasuresTrel.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "core/base/utils.h"
#include "hw/boardIo.h"
#include "hw/ioExpanders.h"
#include "hw/smallDevices.h"
#include "hw/spiConverters.h"
#include "power/ampLockout.h"
#include "power/hpaDetect.h"
#include "power/measureFilters.h"
#include "power/powerSettings.h"
#include "power/powerThresholds.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kModelWideband = 5;
constexpr uint16_t kWindow = 6;
constexpr uint16_t kMeans = 4;
constexpr uint16_t kRailWindow = 16;
constexpr uint32_t kFastPeriodUs = 100000;
constexpr uint32_t kSlowPeriodUs = 500000;
constexpr uint32_t kSignalPeriodUs = 250000;
constexpr uint32_t kCurrentGroupLimit = 20;
constexpr uint32_t kRailGroupLimit = 26;
constexpr uint8_t kAlarmInterlock = 101;
constexpr uint8_t kAlarmLockoutInput = 120;
constexpr uint8_t kAlarmHpaFwd = 139;
constexpr uint8_t kAlarmHpaRef = 140;
constexpr uint16_t kTlcInterlock = 0x001;
constexpr uint16_t kTlcAmpliMute = 0x100;
constexpr uint16_t kTlcAmpliVoltage = 0x200;
constexpr int16_t kDecalMinPower = -100;
constexpr int16_t kDecalDriverLevel = 700;
constexpr uint16_t kDecalRefThreshold = 10000;

// The three supply rails on bank 1: channel, scale of the divider, table
// word and name.
struct Rail {
    unsigned channel;
    double scale;
    uint32_t word;
    const char* name;
};
constexpr Rail kRails[] = {
    {0, 18.5185, 15, "V_Mains"},
    {1, 4.0, 16, "V_5V"},
    {2, 16.0, 17, "V_24V"},
};
constexpr int kRailCount = sizeof kRails / sizeof kRails[0];

struct Detector {
    uint16_t samples[kWindow];
    uint16_t means[kMeans];
    uint16_t stableCount;
    uint16_t discardCount;
};

struct State {
    // ReadPowerAndAuxMeas
    Detector fwd;
    Detector ref;
    uint8_t measStarted;
    struct timespec measStamp;
    uint32_t currentCounter;
    uint32_t railCounter;
    uint16_t railWindow[kRailCount][kRailWindow];
    // HpaPowerMeasure_TREL
    uint16_t fwdInstant, fwdMean, refInstant, refMean;
    uint8_t fwdStable, refStable;
    uint8_t clearWindows, clearMeans;
    uint8_t seen;
    int16_t lastDriverPower;
    uint8_t lastRfState;
    uint32_t lastVapc;
    // HpaTemperatureMeasure_TREL
    uint8_t tempStarted;
    uint32_t tempRuns;
    time_t tempStamp;
    // HpaSignalInterfaceMeasure_TREL
    uint8_t signalStarted;
    struct timespec signalStamp;
    uint16_t prevTlc;
};

State& st()
{
    static State s;
    return s;
}

#define TREL_DEBUG(row, ...) debugPrintf(__func__, (row), (row), __VA_ARGS__)

bool periodElapsed(uint8_t* started, struct timespec* stamp, uint32_t periodUs)
{
    if (!*started)
        return true;
    struct timespec now = getMonoTimeNow();
    return getElapsedUs(stamp, &now) >= periodUs;
}

void renew(uint8_t* started, struct timespec* stamp)
{
    *started = 1;
    *stamp = getMonoTimeNow();
}

double slope(bool reflected)
{
    if (getHpaModelCode() != kModelWideband)
        return 0;
    return reflected ? kTrelRefSlope : kTrelFwdSlope;
}

void readDetector(unsigned channel, uint16_t* instant, uint16_t* mean, uint8_t* stable, Detector& d)
{
    // A failed read keeps the previous count and feeds nothing to the filter.
    if (readAmpAdcChannel(ampAdcBankChannel(0, channel), instant) != 0)
        return;
    MovingMeanTrel(*instant, d.samples, kWindow, mean, d.means, kMeans, &d.stableCount, stable, &d.discardCount);
}

void readDriverCurrent()
{
    uint16_t counts = 0;
    if (readAmpAdcChannel(ampAdcBankChannel(0, 2), &counts) != 0 || getHpaModelCode() != kModelWideband)
        return;
    uint32_t factor = getHpaDrvCurrConvFactor();
    // Without a conversion factor there is no current to show.
    double amps = factor ? counts * kAdc12VoltsPerCount * (1000.0 / factor) : 0;
    setHpaMeasureWord(8, static_cast<int32_t>(roundHalfAway(amps * 1000)));
    setPowerTableWord(10, static_cast<uint32_t>(roundHalfAway(amps)));
    TREL_DEBUG(DBG_POWER_MNG, "Meas. I_DRV: Instant=%d [%.2f A]\n", counts, amps);
}

void readRails()
{
    State& s = st();
    for (int i = 0; i < kRailCount; i++) {
        const Rail& r = kRails[i];
        uint16_t counts = 0;
        if (readAmpAdcChannel(ampAdcBankChannel(1, r.channel), &counts) != 0)
            continue;
        uint16_t mean = 0;
        windowedMean(counts, kRailWindow, s.railWindow[i], &mean);
        if (getHpaModelCode() != kModelWideband)
            continue;
        double volts = mean * kAdc12VoltsPerCount * r.scale;
        setHpaMeasureWord(r.word, static_cast<int32_t>(roundHalfAway(volts * 1000)));
        TREL_DEBUG(DBG_POWER_MNG, "Meas. %s: Instant=%d [%.2f V] --> Mean=%d\n", r.name, counts,
                   counts * kAdc12VoltsPerCount * r.scale, mean);
    }
}

// Percent of the nominal linear power (0.01 mW): rounded, 0 when the
// nominal is below 1 mW (no whole hundredth to divide by).
uint32_t percentOf(uint32_t linear, uint32_t nominalLinear)
{
    uint32_t hundredth = nominalLinear / 100;
    if (hundredth == 0)
        return 0;
    return static_cast<uint32_t>(std::floor(static_cast<double>(linear) / hundredth + 0.5));
}

uint32_t linearOf(int32_t tenthsDbm)
{
    uint32_t whole = 0, hundredths = 0;
    dbToLinear(static_cast<int16_t>(tenthsDbm), &whole, &hundredths);
    return hundredths;
}

void calibrationRequests(int16_t driverPower)
{
    State& s = st();
    if (getCalibrateRequest()) {
        setFwdPowerCalibrated(1);
        setHpaNomFwd(s.fwdMean);
        setHpaNomDrvPow(driverPower);
        setHpaMinPower(static_cast<int16_t>(driverPower - getPowerDynamicRange()));
        setHpaDriverLevel(driverPower);
        calcOverPowerThreshold_TREL();
        if (driverPower > 534 && driverPower < 551 && !hasSelectWriteBits(kSelectWriteTempCompress))
            setSelectWriteBits(kSelectWriteTempCompress, 1);
        setCalibrateRequest(0);
        TREL_DEBUG(DBG_POWER_MNG, "FWD Calibrated@DrvPwr=%d [VapcNom=%d, FWD=%d]\n", static_cast<int>(getHpaNomDrvPow()),
                   static_cast<int>(getVoltageAPC()), s.fwdMean);
    }
    if (getRefCalRequest()) {
        setHpaNomRef(s.refMean);
        setRefPowerCalibrated(1);
        calcRefPowerThreshold_TREL();
        setRefCalRequest(0);
        TREL_DEBUG(DBG_POWER_MNG, "REF Calibrated@DrvPwr=%d [VapcNom=%d, REF=%d]\n",
                   static_cast<int>(getHpaNomDrvPow()) - 100, static_cast<int>(getVoltageAPC()), s.refMean);
    }
    if (getFwdDecalRequest()) {
        setHpaNomFwd(0);
        setFwdPowerCalibrated(0);
        setDacOutput(0xFFFF, 1);
        setHpaMinPower(kDecalMinPower);
        setHpaDriverLevel(kDecalDriverLevel);
        setFwdDecalRequest(0);
        TREL_DEBUG(DBG_POWER_MNG, "FWD DeCalibrated\n");
    }
    if (getAmpDecalRequest()) {
        setHpaNomRef(0);
        setRefPowerCalibrated(0);
        setDacOutput(kDecalRefThreshold, 2);
        setAmpDecalRequest(0);
        TREL_DEBUG(DBG_POWER_MNG, "REF DeCalibrated\n");
    }
}

void publishPower(int16_t driverPower)
{
    State& s = st();
    uint32_t nominalWhole = 0, nominalLinear = 0;
    dbToLinear(getExciterNominalPower(), &nominalWhole, &nominalLinear);
    int32_t off = static_cast<int16_t>(getDriverPowerOffset() + getPowerOffsetFine() + getFreqPowerOffset());
    int32_t nomDrv = static_cast<int16_t>(getHpaNomDrvPow());

    setPowerTableWord(11, s.fwdMean);
    setFwdMeasStable(s.fwdStable);
    int32_t forward = 0;
    uint32_t fwdLinear = 0, fwdPercent = 0;
    if (getFwdPowerCalibrated() == 1 && s.fwdMean != 0) {
        double d = static_cast<double>(getHpaNomFwd()) - s.fwdMean;
        int32_t level = static_cast<int32_t>(std::floor(nomDrv - d * slope(false) * 10 + 0.5));
        forward = level - off;
        fwdLinear = linearOf(forward);
        fwdPercent = percentOf(fwdLinear, nominalLinear);
        if (fwdPercent >= 97 && fwdPercent <= 103)
            fwdPercent = 100;
        setPowerTableWord(1, static_cast<uint32_t>(forward));
        setPowerTableWord(2, fwdLinear);
        setPowerTableWord(3, fwdPercent);
    } else {
        setPowerTableWord(1, 0);
        setPowerTableWord(2, 0);
        setPowerTableWord(3, 0);
    }

    setPowerTableWord(13, s.refMean);
    setRefMeasStable(s.refStable);
    int32_t reflected = 0;
    uint32_t refLinear = 0, refPercent = 0;
    if (getRefPowerCalibrated() == 1 && s.refMean != 0) {
        double d = static_cast<double>(getHpaNomRef()) - s.refMean;
        int32_t level = static_cast<int32_t>(std::floor(nomDrv - 100 + getRefPowerCalOffset() +
                                                        getRefPowerMeasOffset() + d * slope(true) * 10 + 0.5));
        reflected = level - off;
        int16_t floorLevel = calcRflPwrFilterThreshold(static_cast<uint8_t>(getHpaPowerClass()), driverPower);
        if (reflected <= floorLevel) {
            setPowerTableWord(4, 0);
            setPowerTableWord(5, 0);
            setPowerTableWord(6, 0);
        } else {
            refLinear = linearOf(reflected);
            uint32_t hundredth = nominalLinear / 100;
            refPercent = hundredth ? refLinear / hundredth : 0;
            setPowerTableWord(4, static_cast<uint32_t>(reflected));
            setPowerTableWord(5, refLinear);
            setPowerTableWord(6, refPercent);
        }
        setPowerTableWord(15, static_cast<uint32_t>(reflected));
    } else {
        setPowerTableWord(4, 0);
        setPowerTableWord(5, 0);
        setPowerTableWord(6, 0);
    }
    TREL_DEBUG(DBG_POWER_MNG, "Meas. Fwd: Instant=%d --> Mean=%d [Stable %d] | Pout_ddB %d, Pout_10uW %lu [%i%%]\n",
               s.fwdInstant, s.fwdMean, s.fwdStable, static_cast<int>(forward), static_cast<unsigned long>(fwdLinear),
               static_cast<int>(fwdPercent));
    TREL_DEBUG(DBG_POWER_MNG, "Meas. Ref: Instant=%d --> Mean=%d [Stable %d] | Pref_ddB %d, Pref_10uW %lu [%i%%]\n",
               s.refInstant, s.refMean, s.refStable, static_cast<int>(reflected),
               static_cast<unsigned long>(refLinear), static_cast<int>(refPercent));
}

void clearPower()
{
    State& s = st();
    TREL_DEBUG(DBG_POWER_MNG, "Meas. Fwd: Instant=%d --> Mean=%d [Stable %d]\n", s.fwdInstant, s.fwdMean,
               s.fwdStable);
    TREL_DEBUG(DBG_POWER_MNG, "Meas. Ref: Instant=%d --> Mean=%d\n", s.refInstant, s.refMean);
    for (uint32_t w = 1; w <= 6; w++)
        setPowerTableWord(w, 0);
    setPowerTableWord(11, 0);
    setPowerTableWord(13, 0);
    s.clearWindows = 1;
    s.fwdMean = 0;
    s.refMean = 0;
    s.fwdStable = 0;
    s.refStable = 0;
    setFwdMeasStable(0);
    setRefMeasStable(0);
}

} // namespace

void ReadPowerAndAuxMeas(uint16_t* fwdInstant, uint16_t* fwdMean, uint8_t* fwdStable, uint16_t* refInstant,
                         uint16_t* refMean, uint8_t* refStable, uint8_t* clearWindows, uint8_t* clearMeans,
                         uint32_t slow)
{
    State& s = st();
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
    uint32_t period = getTxOnState() == 1 && slow == 0 ? kFastPeriodUs : kSlowPeriodUs;
    if (periodElapsed(&s.measStarted, &s.measStamp, period)) {
        readDetector(1, fwdInstant, fwdMean, fwdStable, s.fwd);
        readDetector(3, refInstant, refMean, refStable, s.ref);
        renew(&s.measStarted, &s.measStamp);
    }
    bool currentRan = false;
    if (++s.currentCounter > kCurrentGroupLimit) {
        s.currentCounter = 0;
        currentRan = true;
        readDriverCurrent();
    }
    if (++s.railCounter >= kRailGroupLimit && !currentRan) {
        readRails();
        s.railCounter = 0;
    }
}

void HpaPowerMeasure_TREL(uint32_t slow, uint32_t forceReset)
{
    State& s = st();
    int16_t driverPower = getDriverPower();
    uint8_t rf = getTxOnState();
    uint32_t vapc = getVoltageAPC();
    if (!s.seen || driverPower != s.lastDriverPower || rf != s.lastRfState || vapc != s.lastVapc || forceReset) {
        s.clearMeans = 1;
        s.fwdStable = 0;
        s.refStable = 0;
        setFwdMeasStable(0);
        setRefMeasStable(0);
        TREL_DEBUG(DBG_POWER_MNG, "Meas. Means Reset\n");
        s.seen = 1;
        s.lastDriverPower = driverPower;
        s.lastRfState = rf;
        s.lastVapc = vapc;
    }
    ReadPowerAndAuxMeas(&s.fwdInstant, &s.fwdMean, &s.fwdStable, &s.refInstant, &s.refMean, &s.refStable,
                        &s.clearWindows, &s.clearMeans, slow);
    calibrationRequests(driverPower);
    if (rf == 1 && rfMuteState.load() != 1 && getAlarmState(kAlarmLockoutInput) != 1)
        publishPower(driverPower);
    else
        clearPower();
}

void HpaTemperatureMeasure_TREL()
{
    State& s = st();
    if (getHpaModelCode() != kModelWideband)
        return;
    time_t now = getMonoTimeNow().tv_sec;
    if (s.tempStarted && !(now - s.tempStamp > 4 || s.tempStamp - now > 4))
        return;
    s.tempStarted = 1;
    s.tempStamp = now;
    if (++s.tempRuns == 1)
        return;
    uint16_t counts = 0;
    if (readAmpAdcChannel(ampAdcBankChannel(0, 0), &counts) != 0)
        return;
    double v = counts * kAdc12VoltsPerCount;
    int32_t t = static_cast<int32_t>(-6.3518 * v * v * v + 38.704 * v * v - 100.56 * v + 122.02);
    if (hasSelectWriteBits(kSelectWriteTempCompress) && t >= 60) {
        int32_t raw = t;
        t = 60 + (t - 60) / 2;
        TREL_DEBUG(DBG_TEMPERATURE, "COMPRIMI Temp T: %d [%d]\n", static_cast<int>(t), static_cast<int>(raw));
    }
    setPowerTableWord(7, static_cast<uint32_t>(t));
    TREL_DEBUG(DBG_TEMPERATURE, "Temp: %d [DataV %.3f]\n", static_cast<int>(t), v);
}

void HpaSignalInterfaceMeasure_TREL()
{
    State& s = st();
    if (!s.signalStarted || periodElapsed(&s.signalStarted, &s.signalStamp, kSignalPeriodUs + 1)) {
        uint16_t tlc = getTlcStatusBits();
        if ((tlc & kTlcInterlock) == (s.prevTlc & kTlcInterlock))
            setAlarmState(kAlarmInterlock, (tlc & kTlcInterlock) ? 0 : 1);
        bool ampliMute = tlc & kTlcAmpliMute;
        if (getTxOnState() != 1)
            setAlarmState(kAlarmLockoutInput, 0);
        else if (getHpaDetected() && !getHpaDisabled())
            setAlarmState(kAlarmLockoutInput, ampliMute ? 1 : 0);
        if (getHpaModelCode() == kModelWideband && ampliMute) {
            uint8_t sts = 0;
            if (pca9655Read(&sts, 0, EXP_CAT9534_HPA) >= 0) {
                setAlarmInput(kAlarmHpaFwd, sts >> 7 & 1);
                setAlarmInput(kAlarmHpaRef, sts >> 6 & 1);
                TREL_DEBUG(DBG_POWER_MNG, "HPA ALM status: FWD %s, REF %s [HPA_ALM_sts 0x%X]\n",
                           (sts & 0x80) ? "ALM" : "OK", (sts & 0x40) ? "ALM" : "OK", sts);
            }
            setHpaAlarmOutHpa();
        } else if (!ampliMute) {
            setAlarmInput(kAlarmHpaFwd, 0);
            setAlarmInput(kAlarmHpaRef, 0);
        }
        s.prevTlc = tlc;
        TREL_DEBUG(DBG_POWER_MNG, "HPA/TLC status: Interlock %s, AmpliMute %s, AmpliVoltageAlm %s [TLC_sts 0x%X]\n",
                   (tlc & kTlcInterlock) ? "OK" : "ALM", ampliMute ? "ALM" : "NO",
                   (tlc & kTlcAmpliVoltage) ? "NO" : "ALM", tlc);
        renew(&s.signalStarted, &s.signalStamp);
    }
    AmpliLockoutManage();
}

void ampMeasuresTrelResetForTest()
{
    st() = State{};
}
