// Automatic reference choice and input-delay measurement.
#include "timing/autoReference.h"

#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "platform/clock.h"

#include <cstdint>
#include <ctime>

namespace {

constexpr uint32_t kAuto = 8;
constexpr uint32_t kExternal = 1;   // "Ext10MHz" / "Ext1PPS"
constexpr uint32_t kSine = 3;       // "Ext19kHz_Sinus"
constexpr uint16_t kSwitchTicks = 12;
constexpr long kBusyTimeoutSeconds = 3;

enum MeasState : uint32_t { MEAS_IDLE = 0, MEAS_BUSY = 1, MEAS_DONE = 2, MEAS_FAILED = 3 };

struct State {
    uint16_t externalTicks = 0;
    uint16_t sineTicks = 0;
    uint32_t prevRequest = 0;
    uint32_t measState = MEAS_IDLE;
    struct timespec startTime = {};
};

State& st()
{
    static State s;
    return s;
}

void bothAuto()
{
    State& s = st();
    if (getNoExt10MHz() == 0 && getNoExtPps() == 0) {
        if (getTimeRefSource() == kExternal || getFreqRefSource() == kExternal)
            return;
        s.sineTicks = 0;
        s.externalTicks++;
        if (s.externalTicks >= kSwitchTicks) {
            setFreqRefSource(kExternal);
            setTimeRefSource(kExternal);
        }
        return;
    }
    if (getNoExt19kHzSinus() != 0)
        return;
    if (getTimeRefSource() == kSine || getFreqRefSource() == kSine)
        return;
    s.externalTicks = 0;
    s.sineTicks++;
    if (s.sineTicks >= kSwitchTicks) {
        setFreqRefSource(kSine);
        setTimeRefSource(kSine);
    }
}

// Measured count to input_delay: count / 1.6384, rounded half up.
uint32_t delayFromCount(uint32_t count)
{
    return static_cast<uint32_t>(count / 1.6384 + 0.5);
}

} // namespace

void selectAutoReferences()
{
    uint32_t timeRef = getTimeRef(), freqRef = getFreqRef();
    if (timeRef == kAuto && freqRef == kAuto) {
        bothAuto();
        return;
    }
    if (timeRef != kAuto)
        setTimeRefSource(timeRef);
    if (freqRef != kAuto)
        setFreqRefSource(freqRef);
}

void measureInputDelay()
{
    State& s = st();
    // 1. Start on a rising request while idle.
    uint32_t request = getInputDelayMeasReq();
    if (request == 1 && request != s.prevRequest && s.measState == MEAS_IDLE) {
        setDelMeasStart(1);
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.startTime);
        setDelMeasState(s.measState);
        setInputDelayMeasReq(0);
    }
    // 2. The request as it stands now, after a possible clear.
    s.prevRequest = getInputDelayMeasReq();

    // 3. Waiting for the FPGA's first busy report.
    if (s.measState == MEAS_IDLE && getDelMeasStart() == 1) {
        setInputDelayMeasReq(0);
        if (getDelMeasBusy() != 0) {
            s.measState = MEAS_BUSY;
            setDelMeasState(MEAS_BUSY);
            return;
        }
        struct timespec now = {};
        clockGetTime(CLOCK_MONOTONIC_RAW, &now);
        long d = static_cast<long>(now.tv_sec - s.startTime.tv_sec);
        if (d < 0)
            d = -d;
        if (d > kBusyTimeoutSeconds) {
            s.measState = MEAS_FAILED;
            setDelMeasStart(0);
            setDelMeasState(MEAS_FAILED);
        }
    }
    // 4. Measuring until busy clears.
    if (s.measState == MEAS_BUSY) {
        setDelMeasStart(0);
        setInputDelayMeasReq(0);
        if (getDelMeasBusy() == 0) {
            s.measState = getDelMeasOk() != 0 ? MEAS_DONE : MEAS_FAILED;
            setDelMeasState(s.measState);
        }
    }
    // 5. The result; the published state stays until the next start.
    if (s.measState == MEAS_DONE) {
        setInputDelay(delayFromCount(getDelMeasValue()));
        s.measState = MEAS_IDLE;
    } else if (s.measState == MEAS_FAILED) {
        s.measState = MEAS_IDLE;
    }
}

void autoReferenceResetForTest()
{
    st() = State{};
}
