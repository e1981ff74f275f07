// Raw alarm conditions derived from the measures, and the reprogramming the
// alarm handlers request.
#include "alarms/alarmConditions.h"

#include "Config/keys/alarmsKeys.h"
#include "alarms/alarmKeys.h"
#include "core/base/logs.h"
#include "hw/fpgaFrame.h"
#include "hw/fpgaMaintenance.h"
#include "hw/fpgaTransfer.h"
#include "hw/rfDac.h"
#include "hw/rfSynth.h"
#include "platform/clock.h"

namespace {

// Supplies the voltage window examines; a larger supply count is not
// followed past them.
constexpr uint32_t kWindowSupplies = 7;
// Consecutive scans out of the window before the condition rises.
constexpr uint32_t kWindowScans = 50;
constexpr uint32_t kWindowMarginMv = 5000;
// The driver level of the HPA variant with the two auxiliary voltages.
constexpr int16_t kAuxVoltageDriverLevel = 60;
constexpr int32_t kLowTemperature = 15;
constexpr int32_t kTemperatureHysteresis = 5;
constexpr uint64_t kSynthSettleUs = 500000;

struct State {
    uint8_t tempAlarm = 0;
    uint8_t tempWarning = 0;
    uint32_t low[kWindowSupplies] = {};
    uint32_t high[kWindowSupplies] = {};
    uint8_t request[REQ_COUNT] = {};
};

State& st()
{
    static State s;
    return s;
}

// Sets the flag at or above on, clears it at or below off, else keeps it.
void hysteresis(int32_t t, int32_t on, uint8_t* flag)
{
    if (t >= on)
        *flag = 1;
    else if (t <= on - kTemperatureHysteresis)
        *flag = 0;
}

void amplifierTemperature()
{
    State& s = st();
    int32_t t = static_cast<int32_t>(getPowerTableWord(7));
    if (t == 0)
        return;
    int32_t alarmAt = static_cast<uint8_t>(getCriticalTempHigh());
    int32_t warningAt = static_cast<uint8_t>(getCriticalTempLow());
    hysteresis(t, alarmAt, &s.tempAlarm);
    setAlarmInput(123, s.tempAlarm);
    if (getAlarmInput(123) == 0)
        hysteresis(t, warningAt, &s.tempWarning);
    setAlarmInput(124, s.tempWarning);
    setAlarmInput(125, t < kLowTemperature ? 1 : 0);
}

void auxiliaryVoltages()
{
    if (getHpaDriverLevel() != kAuxVoltageDriverLevel)
        return;
    setAlarmInput(153, getHpaMeasureWord(16) < 4500 ? 1 : 0);
    setAlarmInput(152, getHpaMeasureWord(17) < 3000 ? 1 : 0);
}

// The supply voltage window: raw 145 (low) and 146 (high) once a supply has
// been outside it on 50 consecutive scans; the last supply of a pass
// decides. The counters stop at 50.
void supplyWindow()
{
    State& s = st();
    uint32_t n = getPsuCount();
    if (n > kWindowSupplies)
        n = kWindowSupplies;
    auto measure = [](uint32_t i) {
        return static_cast<int64_t>(getHPSMngMode() != 0 ? getHpaMeasureWord(15) : getPsuVoutMeasured(i));
    };
    for (uint32_t i = 0; i < n; i++) {
        int64_t v = measure(i);
        int64_t set = getPsuVoutSetpoint(i);
        if (v < set - kWindowMarginMv && isPsuPresent(i)) {
            if (s.low[i] < kWindowScans && ++s.low[i] == kWindowScans)
                setAlarmInput(145, 1);
        } else {
            setAlarmInput(145, 0);
            s.low[i] = 0;
        }
    }
    for (uint32_t i = 0; i < n; i++) {
        int64_t v = measure(i);
        int64_t set = getPsuVoutSetpoint(i);
        if (v > set + kWindowMarginMv) {
            if (s.high[i] < kWindowScans && ++s.high[i] == kWindowScans)
                setAlarmInput(146, 1);
        } else {
            setAlarmInput(146, 0);
            s.high[i] = 0;
        }
    }
}

bool takeRequest(ReprogramRequest r)
{
    if (!st().request[r])
        return false;
    st().request[r] = 0;
    return true;
}

void relockAudioPll()
{
    Fpga_PulseAudioPllReset();
    if (Fpga_WaitAudioPllLock(1) != 0)
        logErr("Lock Pll Audio FAILURE");
    else
        logInfo("Lock Pll Audio OK");
}

void sendFrame()
{
    Fpga_PrepareConfig(0, 1, 0, 0);
    Fpga_Transfer(FpgaControlFrame, FpgaStatusBlock, 2);
}

// Resets the AES/EBU receiver path: a pulse of reset A, the output switched
// to the receiver, a pulse of reset B, the output switched back.
void resetAesEbuReceiver()
{
    setAesRxResetA(1);
    sendFrame();
    clockSleepUs(5000);
    setAesRxResetA(0);
    sendFrame();
    setAesEbuOutputSel(1);
    applyOutputMatrix();
    clockSleepUs(10000);
    setAesRxResetB(1);
    sendFrame();
    clockSleepUs(10000);
    setAesRxResetB(0);
    setAesEbuOutputSel(0);
    sendFrame();
    applyOutputMatrix();
    clockSleepUs(10000);
}

} // namespace

void raiseReprogramRequest(ReprogramRequest r)
{
    if (r < REQ_COUNT)
        st().request[r] = 1;
}

uint8_t isReprogramRequested(ReprogramRequest r)
{
    return r < REQ_COUNT ? st().request[r] : 0;
}

void ComputeAlarmConditions()
{
    amplifierTemperature();
    auxiliaryVoltages();
    supplyWindow();
}

int ServiceReprogramRequests()
{
    if (takeRequest(REQ_RF_SYNTH)) {
        initRfSynth();
        clockSleepUs(kSynthSettleUs);
    }
    if (takeRequest(REQ_OUT_FIFO)) {
        initRfSynth();
        clockSleepUs(kSynthSettleUs);
        UpdateQM();
        relockAudioPll();
    }
    if (takeRequest(REQ_100MHZ)) {
        initRfSynth();
        clockSleepUs(kSynthSettleUs);
    }
    takeRequest(REQ_SPARE);
    if (st().request[REQ_AUDIO_PLL]) {
        relockAudioPll();
        st().request[REQ_AUDIO_PLL] = 0;
    }
    if (st().request[REQ_AES_EBU]) {
        resetAesEbuReceiver();
        st().request[REQ_AES_EBU] = 0;
    }
    return 0;
}
