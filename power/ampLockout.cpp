// Amplifier lockout and telecommand status poll: every 80 ms the status word
// of the telecommand inputs becomes the interlock and lockout-input alarms,
// and the trips of the amplifier's lockout line are counted until the
// transmitter is locked out.
#include "power/ampLockout.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "hw/boardIo.h"
#include "hw/ioExpanders.h"
#include "hw/smallDevices.h"

namespace {

constexpr uint32_t kPollPeriodUs = 80000;
constexpr uint8_t kMaxRetries = 3;

constexpr uint16_t kTlcInterlock = 1u << 0;
constexpr uint16_t kTlcAmpliMute = 1u << 8;
constexpr uint16_t kTlcAmpliVoltage = 1u << 9;

constexpr uint8_t kAlarmAmpliRefPower = 47;
constexpr uint8_t kAlarmAmpliOverPower = 48;
constexpr uint8_t kAlarmInterlock = 101;
constexpr uint8_t kAlarmLockoutInput = 120;
constexpr uint8_t kAlarmAmpliLockout = 128;
constexpr uint8_t kAlarmHpaFwd = 139;
constexpr uint8_t kAlarmHpaRef = 140;

struct LockoutState {
    PeriodicStep poll{};
    uint16_t tlcStatusWord = 0;
    // PollingTLC
    uint16_t prevWord = 0;
    uint8_t prevPollOn = 0;
    struct timespec changeTime {};
    struct timespec pollTime {};
    // AmpliLockoutManage
    uint8_t retryCount = 0;
    uint8_t prevOn = 0;
    uint8_t prevLockoutAlarm = 0;
};

LockoutState& st()
{
    static LockoutState s;
    return s;
}

void clearLockoutRequest()
{
    st().retryCount = 0;
    setIntAmpLockoutResetRequest(0);
    setAmpLockoutFlag(0);
}

// The HPA alarm lines of model 2, read while the amplifier mutes.
void readHpaAlarmLines(bool ampliMute)
{
    if (!ampliMute) {
        setAlarmInput(kAlarmHpaRef, 0);
        setAlarmInput(kAlarmHpaFwd, 0);
        return;
    }
    uint8_t sts = 0;
    if (pca9655Read(&sts, CAT9534_IN, EXP_CAT9534_HPA) >= 0) {
        setAlarmInput(kAlarmHpaFwd, sts >> 7 & 1);
        setAlarmInput(kAlarmHpaRef, sts >> 6 & 1);
        debugPrintf("PollingTLC", DBG_POWER_MNG, DBG_POWER_MNG, "HPA ALM status: FWD %s, REF %s [HPA_ALM_sts 0x%X]\n",
                    sts & 0x80 ? "OK" : "ALM", sts & 0x40 ? "OK" : "ALM", sts);
    }
    setHpaAlarmOutHpa();
}

} // namespace

void pollTlcTask()
{
    LockoutState& s = st();
    if (!periodicStepDue(&s.poll, kPollPeriodUs))
        return;
    if (getAmpFamily() == 0) {
        s.tlcStatusWord = PollingTLC();
        AmpliLockoutManage();
    }
    periodicStepDone(&s.poll);
}

uint16_t PollingTLC()
{
    LockoutState& s = st();
    uint16_t word = getTlcStatusBits();

    // The interlock alarm follows only two equal readings in a row.
    if ((word & kTlcInterlock) == (s.prevWord & kTlcInterlock))
        setAlarmState(kAlarmInterlock, (word & kTlcInterlock) ? 0 : 1);

    uint8_t on = getTxOnState();
    struct timespec now = getMonoTimeNow();
    if (on != s.prevPollOn)
        s.changeTime = now;
    s.pollTime = now;

    bool ampliMute = (word & kTlcAmpliMute) != 0;
    // The lockout line is believed once the ON state has been steady for
    // one to two seconds: its edges follow a switch of the RF.
    if (s.pollTime.tv_sec - s.changeTime.tv_sec >= 2) {
        uint32_t model = getHpaModelCode();
        if (on == 0) {
            setAlarmState(kAlarmLockoutInput, 0);
            if (model == 1 && LogicaTx_GetLockoutState() != 0 && ampliMute) {
                setAlarmState(kAlarmLockoutInput, 1);
                setAlarmState(kAlarmAmpliRefPower, 1);
            }
        } else if (getHpaDetected()) {
            setAlarmState(kAlarmLockoutInput, ampliMute ? 1 : 0);
        }
        if (model == 2)
            readHpaAlarmLines(ampliMute);
    }
    debugPrintf("PollingTLC", DBG_LED_TLS, DBG_LED_TLS, "TLC status: Interlock %s, AmpliVoltage %s, AmpliMute %s\n",
                (word & kTlcInterlock) ? "OK" : "ALM", (word & kTlcAmpliVoltage) ? "OK" : "ALM",
                ampliMute ? "ALM" : "NO");

    s.prevWord = word;
    s.prevPollOn = on;
    return word;
}

void AmpliLockoutManage()
{
    LockoutState& s = st();
    uint32_t family = getAmpFamily();
    if (family == 0 && !getHpaDetected())
        return;
    uint8_t on = getTxOnState();
    uint8_t lockoutInput = getAlarmState(kAlarmLockoutInput);

    if (lockoutInput != 1) {
        setAlarmState(kAlarmAmpliLockout, 0);
        setAlarmState(kAlarmAmpliRefPower, 0);
        if (getIntAmpLockoutResetRequest() == 1 || getRfOutputState() == 1 || (on == 1 && s.prevOn == 0))
            clearLockoutRequest();
    } else {
        if (lockoutInput != s.prevLockoutAlarm) {
            if (family == 1) {
                setAlarmState(kAlarmAmpliLockout, 1);
                if (getHpsCode() == 1) {
                    setAlarmState(kAlarmAmpliRefPower, 1);
                    setAmpLockoutFlag(1);
                }
                setTxOnState(0);
            } else if (s.retryCount < kMaxRetries) {
                // The transmitter stays ON: the power loop resets on the
                // lockout input and tries again.
                s.retryCount++;
                logErr("Lockout Re-try #%d", s.retryCount);
            } else {
                setAlarmState(kAlarmAmpliLockout, 1);
                if (getHpaModelCode() == 1) {
                    setAlarmState(kAlarmAmpliRefPower, 1);
                    setAmpLockoutFlag(1);
                } else if (getAlarmState(kAlarmAmpliOverPower) == 0) {
                    setAlarmState(kAlarmAmpliRefPower, 1);
                }
                setTxOnState(0);
            }
        }
        if (getIntAmpLockoutResetRequest() == 1) {
            setAlarmState(kAlarmAmpliLockout, 0);
            setAlarmState(kAlarmAmpliRefPower, 0);
            clearLockoutRequest();
        }
    }
    s.prevOn = on;
    s.prevLockoutAlarm = lockoutInput;
}

uint16_t getTlcStatusWord()
{
    return st().tlcStatusWord;
}

uint8_t getAmpLockoutRetryCount()
{
    return st().retryCount;
}

void ampLockoutResetForTest()
{
    st() = LockoutState{};
}
