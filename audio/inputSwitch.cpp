// Audio input switching between the primary and the secondary input
// configuration.
#include "audio/inputSwitch.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/input.h"
#include "Config/keys/inputKeys.h"
#include "audio/inputRouting.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "timing/autoReference.h"

#include <cstdint>

namespace {

constexpr uint32_t kPeriodUs = 249999;
constexpr uint8_t kFailStepsBeforeSwitch = 8;
constexpr long kReturnMarginSeconds = 6;
constexpr uint16_t kEventPrimaryPresent = 76;
constexpr uint16_t kEventSecondaryPresent = 77;
constexpr uint32_t kModeAuto = 1;
constexpr uint32_t kModeAutoPref = 2;

struct State {
    bool tickStarted = false;
    struct timespec tickStamp = {};
    uint8_t switchInitDone = 0;
    uint8_t onAirFailCount = 0;
    uint8_t switchPending = 0;
    uint8_t switchArmed = 0;
    struct timespec switchArmedTime = {};
    struct timespec firstFailTime = {};
    struct timespec lastSwitchTime = {};
};

State& st()
{
    static State s;
    return s;
}

const char* configName(uint32_t onAir)
{
    return onAir ? "Secondary" : "Primary";
}

const char* okKo(bool ok)
{
    return ok ? "OK" : "KO";
}

void putPrimaryOnAir()
{
    setOutputCfg(getOutputConfiguration());
    applyInputRouting(getSecondaryConfiguration());
    setOnAirInput(0);
}

void putSecondaryOnAir()
{
    setOutputCfg(getSecondaryConfiguration());
    applyInputRouting(getOutputConfiguration());
    setOnAirInput(1);
}

void logSwitch()
{
    const char* name = configName(getOnAirInput());
    logEvent("InputSwitch: Input %s ---> OnAir", name);
    debugPrintf("InputSwitch", DBG_INPUT, DBG_INPUT, "InputSwitch: Input %s ---> OnAir @%li sec\n", name,
                static_cast<long>(getMonoTimeNow().tv_sec));
}

// Presence of each input, in enable-vector order.
void inputPresence(uint32_t pres[INPUT_FLAGS])
{
    pres[INPUT_L_MPX] = getInputLeftLinePres();
    pres[INPUT_R_AUX] = getInputRightLinePres();
    pres[INPUT_DIG_AUX_MPX2] = getMatrixDigAux() ? getInputDigitalLinePres() : getInputAesEbuLinePres();
    pres[INPUT_MPXO_AES] = getInputMpxDigLinePres();
    pres[INPUT_MPXO_IP] = getInputEthLinePres();
    pres[INPUT_MPXO_RX] = getInputRxLinePres();
}

// Every watched input present; a flag other than 0 and 1 makes the vector
// absent.
bool vectorPresent(const uint32_t flags[INPUT_FLAGS], const uint32_t pres[INPUT_FLAGS])
{
    for (int i = 0; i < INPUT_FLAGS; i++) {
        if (flags[i] == 0)
            continue;
        if (flags[i] != 1 || pres[i] != 1)
            return false;
    }
    return true;
}

const char* inputText(const uint32_t flags[INPUT_FLAGS], const uint32_t pres[INPUT_FLAGS], int i)
{
    return flags[i] ? okKo(pres[i] == 1) : "NA";
}

const char* aesEbuNote()
{
    if (getMatrixDigAux())
        return "";
    return getAlarmState(53) == 1 ? " (AesEbu ALM)" : " (AesEbu OK)";
}

long secondsBetween(const struct timespec& later, const struct timespec& earlier)
{
    return static_cast<long>(later.tv_sec - earlier.tv_sec);
}

void arm(const char* line)
{
    State& s = st();
    s.switchPending = 1;
    if (s.switchArmed)
        return;
    s.switchArmedTime = getMonoTimeNow();
    s.switchArmed = 1;
    debugPrintf("InputSwitch", DBG_INPUT, DBG_INPUT, line, static_cast<long>(s.switchArmedTime.tv_sec));
}

} // namespace

struct timespec getInputSwitchStamp()
{
    return st().lastSwitchTime;
}

void InputSwitchTick()
{
    State& s = st();
    struct timespec now = getMonoTimeNow();
    if (!s.tickStarted) {
        s.tickStarted = true;
        s.tickStamp = now;
        return;
    }
    if (getElapsedUs(&s.tickStamp, &now) <= kPeriodUs)
        return;
    InputSwitch();
    measureInputDelay();
    selectAutoReferences();
    s.tickStamp = getMonoTimeNow();
}

void InputSwitch()
{
    State& s = st();
    uint32_t mode = getInputSwitchMode();

    // 1. Start-up selection.
    if (s.switchInitDone == 0) {
        if (mode == kModeAuto || mode == kModeAutoPref) {
            putPrimaryOnAir();
            setInputSelection(0);
        } else if (getInputSelection() != 0) {
            putSecondaryOnAir();
        } else {
            putPrimaryOnAir();
        }
        s.switchInitDone++;
    }

    // 2-3. The inputs of the configuration on air and of the backup.
    uint32_t onAir = getOnAirInput();
    uint32_t primary = getOutputConfiguration(), secondary = getSecondaryConfiguration();
    uint32_t onAirFlags[INPUT_FLAGS] = {}, backupFlags[INPUT_FLAGS] = {}, pres[INPUT_FLAGS];
    getMatrixEnableVector(onAir ? secondary : primary, onAirFlags);
    getMatrixEnableVector(onAir ? primary : secondary, backupFlags);
    inputPresence(pres);
    bool onAirPresent = vectorPresent(onAirFlags, pres);
    bool backupPresent = vectorPresent(backupFlags, pres);

    // 4-5.
    DEBUG_PRINT(DBG_INPUT,
                "%s->OnAir: [L_Mpx=%s | R_Aux=%s | Dig_AuxMpx2=%s%s | MPXoAES=%s | MPXoIP=%s | MPXoRx=%s] "
                "[OnAir:%s | Backup:%s]\n",
                configName(onAir), inputText(onAirFlags, pres, 0), inputText(onAirFlags, pres, 1),
                inputText(onAirFlags, pres, 2), aesEbuNote(), inputText(onAirFlags, pres, 3),
                inputText(onAirFlags, pres, 4), inputText(onAirFlags, pres, 5), okKo(onAirPresent),
                okKo(backupPresent));
    setEventBit(onAirPresent ? 1 : 0, onAir ? kEventSecondaryPresent : kEventPrimaryPresent);

    if (getInputBackup() != 0) {
        // 6. Alarms of the two configurations and the decision to switch.
        bool onAirAlarm = !onAirPresent || getAlarmState(56) == 1 || getAlarmState(57) == 1 ||
                          getAlarmState(55) == 1 || getAlarmState(54) == 1;
        setEventBit(backupPresent ? 1 : 0, onAir ? kEventPrimaryPresent : kEventSecondaryPresent);
        bool backupAlarm = getAlarmInput(64) == 1 && getTotAudioAlmEnable() != 0;
        DEBUG_PRINT(DBG_INPUT, "DevMeas: OnAir %d Hz [%s] - Backup %d Hz [%s]\n",
                    static_cast<int>(getMeasuredMpxDeviation()), onAirAlarm ? "ALM" : "OK",
                    static_cast<int>(getMeasuredMpxDeviationB()), backupAlarm ? "ALM" : "OK");
        DEBUG_PRINT(DBG_INPUT, "DevMeas: Prim %d Hz - Sec %d Hz\n", static_cast<int>(getPrimDeviation()),
                    static_cast<int>(getSecDeviation()));
        if (!onAirAlarm) {
            s.onAirFailCount = 0;
            if (onAir == 1 && mode == kModeAutoPref) {
                struct timespec now;
                clockGetTime(CLOCK_MONOTONIC_RAW, &now);
                bool settled = getTotAudioAlmEnable() == 0 ||
                               secondsBetween(now, s.lastSwitchTime) >=
                                   static_cast<long>(getTotAudioAlmDelay()) + kReturnMarginSeconds;
                if (settled && backupPresent && !backupAlarm)
                    arm("Return to PRIMARY Enabled after @%li sec\n");
            }
        } else {
            if (s.onAirFailCount == 0)
                s.firstFailTime = getMonoTimeNow();
            s.onAirFailCount++;
            DEBUG_PRINT(DBG_INPUT, "InputSwitchOnPresCnt=%d\n", s.onAirFailCount);
            if (backupPresent && !backupAlarm) {
                DEBUG_PRINT(DBG_INPUT,
                            "%s->Backup: [L_Mpx=%s | R_Aux=%s | Dig_AuxMpx2=%s%s | MPXoAES=%s | MPXoIP=%s | "
                            "MPXoRx=%s]\n",
                            configName(onAir ? 0 : 1), inputText(backupFlags, pres, 0),
                            inputText(backupFlags, pres, 1), inputText(backupFlags, pres, 2), aesEbuNote(),
                            inputText(backupFlags, pres, 3), inputText(backupFlags, pres, 4),
                            inputText(backupFlags, pres, 5));
                if (s.onAirFailCount > kFailStepsBeforeSwitch && (mode == kModeAuto || mode == kModeAutoPref)) {
                    bool wasArmed = s.switchArmed;
                    arm("InputSwitch Enabled @%li sec\n");
                    if (!wasArmed)
                        s.onAirFailCount = 0;
                }
            }
        }
    } else {
        // 7. No backup: the primary goes back on air, the mode to Manual.
        if (onAir == 1) {
            putPrimaryOnAir();
            DEBUG_PRINT(DBG_INPUT, "Return to PRIMARY instantly\n");
        }
        setInputSwitchMode(0);
        setInputSelection(0);
    }

    mode = getInputSwitchMode();
    onAir = getOnAirInput();
    if (mode != kModeAuto && mode != kModeAutoPref) {
        // 8. Manual: the selection decides.
        s.switchPending = 0;
        s.switchArmed = 0;
        if (onAir == 1 && getInputSelection() == 0) {
            putPrimaryOnAir();
            logSwitch();
        } else if (onAir == 0 && getInputSelection() == 1) {
            putSecondaryOnAir();
            logSwitch();
        }
        return;
    }

    // 9. Auto and AutoPref: the armed switch, after its wait.
    if (s.switchPending != 1)
        return;
    long wait = onAir == 1 && mode == kModeAutoPref ? static_cast<long>(getInputSwapTime()) : 0;
    if (s.switchArmed != 1)
        return;
    struct timespec now = getMonoTimeNow();
    long elapsed = secondsBetween(now, s.switchArmedTime);
    if (static_cast<unsigned long>(elapsed < 0 ? -elapsed : elapsed) < static_cast<unsigned long>(wait))
        return;
    if (onAir == 0)
        putSecondaryOnAir();
    else
        putPrimaryOnAir();
    logSwitch();
    s.switchPending = 0;
    s.switchArmed = 0;
    clockGetTime(CLOCK_MONOTONIC_RAW, &s.lastSwitchTime);
}
