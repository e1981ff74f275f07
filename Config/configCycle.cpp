// Change tracking and the apply and save cycle.
//
// The change words are shared by the setters' threads, the main loop and
// "SaveConfig Thread" without a lock. Every update is one atomic operation:
// applyConfig takes the changed groups by exchange and ORs them into the
// groups to save; the saver takes those by exchange and ORs them back when
// the save fails. A group marked at any moment therefore reaches the files.
#include "Config/configCycle.h"

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/unitKeys.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

namespace {

constexpr uint8_t kFrequencyMuteAlarm = 34;
constexpr long kFrequencyMuteSeconds = 3;
constexpr uint32_t kDataFormatCurrent = 8;
constexpr size_t kInfoTextMax = 256;

struct CycleState {
    // Serialises load, save and delete of the files. Error-checking, so that a
    // load or save reached again from inside the store fails instead of
    // deadlocking the thread.
    pthread_mutex_t configFileMutex = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;
    // Registered by the store's owner at start-up (setConfigFileStore).
    std::atomic<const ConfigFileStore*> store{nullptr};
    // Frequency-change mute: main loop only.
    struct timespec muteStamp{};
    uint8_t mutePending = 0;
};

CycleState& st()
{
    static CycleState s;
    return s;
}

std::atomic_ref<uint32_t> word(uint32_t& w)
{
    return std::atomic_ref<uint32_t>(w);
}

std::atomic_ref<uint32_t> configChangedWord()
{
    return word(getSystemImage()->change.ConfigChanged);
}

std::atomic_ref<uint32_t> configLockedWord()
{
    return word(getSystemImage()->change.ConfigLocked);
}

std::atomic_ref<uint32_t> saveChangedWord()
{
    return word(getSystemImage()->change.SaveConfigChanged);
}

std::atomic_ref<uint32_t> countdownWord()
{
    return word(getSystemImage()->change.saveCountdown);
}

// The registered store; without one, logs that fn cannot reach the files
// and gives nullptr.
const ConfigFileStore* registeredStore(const char* fn)
{
    const ConfigFileStore* s = st().store.load();
    if (!s)
        logErr("%s - no configuration file store registered\n", fn);
    return s;
}

// Hands groups to the saver: the countdown restarts first, so a saver that
// reads the groups in between saves them now rather than losing them.
void passGroupsToSave(uint32_t groups)
{
    countdownWord().store(SAVE_COUNTDOWN_TICKS);
    saveChangedWord().fetch_or(groups & ~CONFIG_GROUP_NOT_SAVED);
}

void raiseFrequencyMute()
{
    setAlarmField0(kFrequencyMuteAlarm, 1);
    clockGetTime(CLOCK_MONOTONIC_RAW, &st().muteStamp);
    st().mutePending = 1;
}

void releaseFrequencyMute()
{
    if (!st().mutePending)
        return;
    long seconds = labs(static_cast<long>(getMonoTimeNow().tv_sec - st().muteStamp.tv_sec));
    if (seconds > kFrequencyMuteSeconds) {
        setAlarmField0(kFrequencyMuteAlarm, 0);
        st().mutePending = 0;
    }
}

// saveConfig with the groups being saved (the saver has already taken them
// out of SaveConfigChanged).
int16_t saveConfigGroups(uint32_t groups)
{
    int16_t result;
    const ConfigFileStore* store = registeredStore("saveConfig");
    if (!store) {
        result = -1;
    } else if (pthread_mutex_lock(&st().configFileMutex) != 0) {
        logDebug("%s - can't lock the file mutex\n", "saveConfig");
        result = -1;
    } else {
        if (groups & CONFIG_GROUP_FACTORY)
            exportUnitRecord(getUnitInfoBuffer(), 1);
        result = static_cast<int16_t>(store->saveAll());
        if (result != 0)
            logErr("%s - something goes wrong saving the XML file\n", "saveConfig");
        pthread_mutex_unlock(&st().configFileMutex);
    }
    if (result != 0)
        logErr("%s - something goes wrong in the image file\n", "saveConfig");
    return result;
}

} // namespace

void markConfigChanged(uint32_t bits)
{
    configChangedWord().fetch_or(bits);
    configLockedWord().store(2);
}

void markAllConfigChanged()
{
    configChangedWord().store(CONFIG_ALL_GROUPS);
}

uint32_t getConfigChanged()
{
    return configChangedWord().load();
}

void clearConfigChanged()
{
    configChangedWord().store(0);
}

void setConfigLocked()
{
    configLockedWord().store(2);
}

void clearConfigLocked()
{
    configLockedWord().store(0);
}

uint16_t getConfigLocked()
{
    return static_cast<uint16_t>(configLockedWord().load());
}

void markSaveConfigChanged(uint32_t bits)
{
    saveChangedWord().fetch_or(bits);
    countdownWord().store(SAVE_COUNTDOWN_TICKS);
}

uint32_t getSaveConfigChanged()
{
    return saveChangedWord().load();
}

void clearSaveConfigChanged()
{
    saveChangedWord().store(0);
}

void startSaveCountdown()
{
    countdownWord().store(SAVE_COUNTDOWN_TICKS);
}

void stopSaveCountdown()
{
    countdownWord().store(0);
}

uint16_t saveCountdownTick()
{
    // A compare-exchange, so that a restart by applyConfig between the read
    // and the write is not undone.
    auto w = countdownWord();
    uint32_t v = w.load();
    while (v != 0 && !w.compare_exchange_weak(v, v - 1)) {
    }
    return static_cast<uint16_t>(v != 0 ? v - 1 : 0);
}

void passChangesToSave()
{
    passGroupsToSave(getConfigChanged());
}

void applyConfig()
{
    // Two loads on a quiet pass.
    if (getConfigLocked() != 0 && getConfigChanged() != 0) {
        // The lock word is cleared before the groups are taken: a mark that
        // lands after the exchange sets it again and is applied next pass.
        uint32_t locked = configLockedWord().exchange(0);
        uint32_t changed = configChangedWord().exchange(0);
        DEBUG_PRINT(DBG_LB_XML, "ConfigLocked %d - ConfigChanged 0x%X\n", static_cast<int>(locked & 0xffff), changed);
        if (changed & CONFIG_GROUP_FREQUENCY)
            raiseFrequencyMute();
        if (changed & CONFIG_GROUP_OUTPUT_STAGE)
            reapplyOutputStage();
        passGroupsToSave(changed);
    }
    releaseFrequencyMute();
}

void testSaveConfigAfterApply()
{
    if (saveCountdownTick() != 0)
        return;
    if (getSaveConfigChanged() == 0)
        return;
    uint32_t groups = saveChangedWord().exchange(0);
    DEBUG_PRINT(DBG_LB_XML, "Save Config! - SaveConfigChanged 0x%X\n", groups);
    if (saveConfigGroups(groups) != 0) {
        logErr("Error applying configuration to FLASH\n");
        // Kept for the next tick; the countdown is 0 unless an apply restarted it.
        saveChangedWord().fetch_or(groups);
    }
    // On success the countdown is left alone: it is 0, or an apply during the
    // save restarted it for groups that still have to be written.
}

int16_t loadConfig()
{
    const ConfigFileStore* store = registeredStore("loadConfig");
    if (!store)
        return -1;
    if (pthread_mutex_lock(&st().configFileMutex) != 0) {
        logDebug("%s - can't lock the file mutex\n", "loadConfig");
        // Nothing was read: rewriting the files now would replace the stored
        // configuration with whatever the image holds.
        return -1;
    }
    markAllConfigChanged();
    int16_t result = store->loadAll();
    if (result < 0) {
        setEventBit(1, 86);
        logErr("%s - something goes wrong importing the XML file\n", "loadConfig");
    }
    pthread_mutex_unlock(&st().configFileMutex);
    if (result != 0) {
        logInfo("Save actual configuration\n");
        saveConfig();
    }
    return result;
}

int16_t saveConfig()
{
    return saveConfigGroups(getSaveConfigChanged());
}

int importConfig(int (*copy)())
{
    const ConfigFileStore* store = registeredStore("importConfig");
    if (!store)
        return -1;
    if (pthread_mutex_lock(&st().configFileMutex) != 0) {
        logDebug("%s - can't lock the file mutex\n", "importConfig");
        return -1;
    }
    uint32_t pending = saveChangedWord().exchange(0);
    if (pending) {
        if (pending & CONFIG_GROUP_FACTORY)
            exportUnitRecord(getUnitInfoBuffer(), 1);
        if (store->saveAll() != 0)
            logErr("%s - something goes wrong saving the XML file\n", "importConfig");
    }
    if (copy() != 0) {
        pthread_mutex_unlock(&st().configFileMutex);
        return IMPORT_COPY_FAILED;
    }
    markAllConfigChanged();
    int16_t result = store->loadAll();
    if (result < 0) {
        setEventBit(1, 86);
        logErr("%s - something goes wrong importing the XML file\n", "loadConfig");
    }
    pthread_mutex_unlock(&st().configFileMutex);
    if (result != 0) {
        logInfo("Save actual configuration\n");
        saveConfig();
    }
    return result < 0 ? IMPORT_LOAD_FAILED : 0;
}

int deleteConfigFile(int type)
{
    const ConfigFileStore* store = registeredStore("deleteConfigFile");
    // Nothing could be tried: -2, so a factory reset does not take the file
    // for gone.
    if (!store)
        return -2;
    if (pthread_mutex_lock(&st().configFileMutex) != 0) {
        logDebug("Function: %s - can't lock the file mutex\n", "deleteConfigFile");
        return -2;
    }
    int (*reset)() = nullptr;
    switch (type) {
    case 0: reset = store->resetConfig; break;
    case 1: reset = store->resetNetConfig; break;
    case 2: reset = store->resetFactoryConfig; break;
    case 3: reset = store->removeEepromFile; break;
    default: break;
    }
    int result = reset ? reset() : -1;
    pthread_mutex_unlock(&st().configFileMutex);
    if (!reset)
        logErr("Function: %s - Configuration type: %d not handled\n", "deleteConfigFile", type);
    return result;
}

void applyConfigStepwise()
{
    for (uint32_t step = getVrlDataFormat(); step < kDataFormatCurrent; step++) {
        runDataFormatStep(step);
        setVrlDataFormat(kDataFormatCurrent);
    }
}

int buildInfoString(char* buffer, int length)
{
    if (!buffer || length <= 0)
        return 0;
    const UnitRegion& u = getSystemImage()->unit;
    // The caller's buffer need not hold a terminated text yet.
    logDebug("%.*s\n", static_cast<int>(strnlen(buffer, static_cast<size_t>(length))), buffer);
    snprintf(buffer, static_cast<size_t>(length),
             "UT%" PRId32 ";ST%" PRId32 ";FM%" PRId32 ";FWV%" PRIu32 ";FWR%" PRIu32 ";FWB%" PRIu32 ";FWC%" PRIu32
             ";FWE%" PRIu32 ";FWCS%" PRIu32,
             u.infoUT, u.infoST, u.infoFM, u.infoFWV, u.infoFWR, u.infoFWB, u.infoFWC, u.infoFWE, u.infoFWCS);
    logDebug("%s\n", buffer);
    return 0;
}

int parseInfoString(const char* text, int length)
{
    if (!text || length <= 0)
        return 0;
    char local[kInfoTextMax];
    size_t n = strnlen(text, static_cast<size_t>(length));
    if (n >= sizeof local)
        n = sizeof local - 1;
    memcpy(local, text, n);
    local[n] = 0;
    logDebug("%s\n", local);
    UnitRegion& u = getSystemImage()->unit;
    sscanf(local,
           "UT%" SCNd32 ";ST%" SCNd32 ";FM%" SCNd32 ";FWV%" SCNu32 ";FWR%" SCNu32 ";FWB%" SCNu32 ";FWC%" SCNu32
           ";FWE%" SCNu32 ";FWCS%" SCNu32,
           &u.infoUT, &u.infoST, &u.infoFM, &u.infoFWV, &u.infoFWR, &u.infoFWB, &u.infoFWC, &u.infoFWE, &u.infoFWCS);
    logDebug("UT%" PRId32 "\nST%" PRId32 "\nFM%" PRId32 "\nFWV%" PRIu32 "\nFWR%" PRIu32 "\nFWB%" PRIu32
             "\nFWC%" PRIu32 "\nFWE%" PRIu32 "\nFWCS%" PRIu32 "\n",
             u.infoUT, u.infoST, u.infoFM, u.infoFWV, u.infoFWR, u.infoFWB, u.infoFWC, u.infoFWE, u.infoFWCS);
    return 0;
}

void setConfigFileStore(const ConfigFileStore* s)
{
    st().store.store(s);
}
