// System commands of the command manager (slots 6 to 16): reboot, bank
// switch, save and load of a reserve configuration, erase of the logs, the
// three factory-reset levels and the RF EEPROM load.
#include "Config/configCycle.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/systemKeys.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandManager.h"
#include "comtab/commandSlots.h"
#include "core/base/logs.h"
#include "persist/configExchange.h"
#include "persist/upgradeManager.h"
#include "platform/clock.h"
#include "platform/programs.h"
#include "power/hpaDetect.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A save waits 1000 ticks (10 s) for pending changes, a load 100,000.
constexpr uint32_t kSaveWaitTicks = 1000;
constexpr uint32_t kLoadWaitTicks = 99999;
constexpr uint32_t kBankSwitchDelayS = 5;

struct State {
    uint32_t saveCounter = 0;
    uint32_t loadCounter = 0;
    pid_t rebootChild[2] = {0, 0}; // of slots 6 and 15
};

State& st()
{
    static State s;
    return s;
}

pid_t& rebootChildOf(int n)
{
    return st().rebootChild[n == CMD_SLOT_BANK_SWITCH ? 1 : 0];
}

// Reaps the reboot child without waiting: true when it ended in failure
// (could not run reboot, or reboot refused).
bool rebootChildFailed(int n)
{
    pid_t& pid = rebootChildOf(n);
    if (pid <= 0)
        return false;
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == 0)
        return false;
    pid = 0;
    if (r < 0)
        return false;
    return !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}

// Forks the child that waits `delay` seconds and runs "reboot -d 5".
pid_t startRebootChild(uint32_t delay)
{
    // Built before the fork: the child only calls async-signal-safe code.
    std::string path = programPath("reboot");
    std::vector<std::string> env = programEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    static const char* const argv[] = {"reboot", "-d", "5", nullptr};
    pid_t pid = fork();
    if (pid == 0) {
        if (delay != 0)
            clockSleepSeconds(delay);
        execve(path.c_str(), const_cast<char* const*>(argv), envp.data());
        _exit(1);
    }
    return pid;
}

uint8_t configNumber(int n)
{
    return static_cast<uint8_t>(CMD_GetParameter(n) & 0xffu);
}

} // namespace

void resetSystemCommands()
{
    st().saveCounter = 0;
    st().loadCounter = 0;
}

// Slot 6 (and slot 15 through it): the slot's words are written directly.
void stepHardReset(int n)
{
    uint32_t req = CMD_IsRequested(n);
    if (req == 1) {
        logInfo("CMD_HARD_RESET requested\n");
        CMD_SetRawWords(n, 0, 1);
        setRebootPending(1);
        saveConfig();
        rebootChildFailed(n); // a child of an earlier, cleared request
        pid_t pid = startRebootChild(CMD_GetParameter(n));
        if (pid < 0) {
            CMD_SetRawWords(n, 0, 3);
            logErr("CMD_RESET failed: cannot create reboot process\n");
            return;
        }
        rebootChildOf(n) = pid;
        CMD_SetRawWords(n, 0, 1);
        setRebootPending(1);
    } else if (req == 2) {
        CMD_SetRawWords(n, 0, 0);
    } else if (req == 0 && CMD_IsRunning(n) == 1 && rebootChildFailed(n)) {
        // The system is not going down: the slot may be requested again.
        CMD_SetRawWords(n, 0, 3);
        setRebootPending(0);
        logErr("CMD_HARD_RESET failed\n");
    }
}

void stepBankSwitch(int n)
{
    uint32_t req = CMD_IsRequested(n);
    if (req == 1) {
        logInfo("CMD_BANK SWITCH requested\n");
        upgradeSwitchFwBank(0);
    }
    if (req > 2)
        return;
    CMD_SetResult(n, kBankSwitchDelayS);
    stepHardReset(n);
}

void stepCfgSave(int n)
{
    State& s = st();
    uint32_t req = CMD_IsRequested(n);
    // Each request waits its own 10 s for pending changes.
    if (req == 1)
        s.saveCounter = 0;
    s.saveCounter++;
    uint8_t number = configNumber(n);
    if (req == 1) {
        logInfo("CMD_CFG_SAVE requested. Save Tx%d configuration\n", number);
        CMD_SetRunning(n, 1);
        CMD_SetRequested(n, 0);
        LogicaTx_SetReserveConfigMismatch(0);
        if (CMD_IsRunning(CMD_SLOT_CFG_LOAD) == 1) {
            logInfo("CMD_CFG_SAVE failed: CMD_RSV_CFG_LOAD running\n");
            CMD_SetRunning(n, 3);
        }
    } else if (req == 0) {
        if (CMD_IsRunning(n) != 1)
            return;
        if (getSaveConfigChanged() != 0) {
            if (s.saveCounter >= kSaveWaitTicks) {
                CMD_SetRunning(n, 3);
                logInfo("CMD_CFG_SAVE failed -- system config changed\n");
            }
            return;
        }
        int r = getNplus1Mode() != 0 ? saveConkConfig(number) : savePresetConfig(number);
        if (r != 0) {
            CMD_SetRunning(n, 3);
            logInfo("CMD_CFG_SAVE Failed\n");
        } else {
            CMD_SetRunning(n, 2);
            LogicaTx_SetReserveConfigState(number);
            logInfo("CMD_CFG_SAVE Successfull\n");
        }
    } else if (req == 2) {
        // Through the setters, so the published cells follow.
        CMD_SetRunning(n, 0);
        CMD_SetRequested(n, 0);
        logInfo("CMD_CFG_SAVE cleared\n");
    } else {
        logInfo("Unknown command requested (%d)\n", static_cast<int>(s.saveCounter));
    }
}

void stepCfgLoad(int n)
{
    State& s = st();
    uint32_t req = CMD_IsRequested(n);
    if (req == 1)
        s.loadCounter = 0;
    s.loadCounter++;
    uint8_t number = configNumber(n);
    if (req == 1) {
        logEvent("CMD_CFG_LOAD requested. Load Tx%d configuration\n", number);
        CMD_SetRunning(n, 1);
        CMD_SetRequested(n, 0);
        if (CMD_IsRunning(CMD_SLOT_CFG_SAVE) == 1) {
            logInfo("CMD_CFG_LOAD failed: CMD_CFG_SAVE running\n");
            CMD_SetRunning(n, 3);
        }
    } else if (req == 0) {
        if (CMD_IsRunning(n) != 1)
            return;
        if (getSaveConfigChanged() != 0) {
            if (s.loadCounter > kLoadWaitTicks) {
                printf("timeout on configuration\n");
                fflush(stdout);
                CMD_SetRunning(n, 3);
            }
            return;
        }
        int r = getNplus1Mode() != 0 ? loadConkConfig(number) : loadPresetConfig(number);
        if (r != 0) {
            logEvent("CMD_CFG_LOAD failed: copy config from conk fails\n");
            CMD_SetRunning(n, 3);
        } else if (loadConfig() == 0) {
            CMD_SetRunning(n, 2);
            LogicaTx_SetReserveConfigState(number);
            LogicaTx_SetReserveConfigMismatch(0);
            logEvent("CMD_CFG_LOAD Successfull\n");
        } else {
            logEvent("CMD_CFG_LOAD Failed\n");
            CMD_SetRunning(n, 3);
        }
    } else if (req == 2) {
        logInfo("load net configuration clean\n");
        CMD_SetRunning(n, 0);
        s.loadCounter = 0;
    } else {
        logInfo("Unknown command requested\n");
    }
}

void stepEraseLog(int n)
{
    uint32_t req = CMD_IsRequested(n);
    bool book = n == CMD_SLOT_ERASE_BOOKLOG;
    if (req == 1) {
        logInfo("%s requested\n", CMD_SlotName(n));
        int removed;
        if (book) {
            CMD_SetRunning(n, 1);
            removed = restartBookLog();
        } else {
            removed = restartEventLog();
        }
        CMD_SetRunning(n, removed == 1 ? 2 : 3);
        CMD_SetRequested(n, 0);
    } else if (req == 2) {
        CMD_SetRunning(n, 0);
        CMD_SetRequested(n, 0);
        logInfo("%s cleared\n", CMD_SlotName(n));
    }
}

// Level user deletes the main file and the logic's EEPROM file; level 2 also
// the factory file; level 3 also the network settings.
void stepFactoryReset(int n)
{
    static const int kTypes[] = {0, 3, 2, 1};
    uint32_t req = CMD_IsRequested(n);
    if (n == CMD_SLOT_RESET_USER) {
        printf("\ndo_factory_reset_level_user_cmd req: %d", static_cast<int>(req));
        fflush(stdout);
    }
    if (req == 1) {
        logInfo("CMD_ERASE_NET_CONFIGURATION requested\n");
        int count = 2 + (n - CMD_SLOT_RESET_USER);
        bool ok = true;
        // An absent file (-1) is as good as a deleted one; a delete that
        // could not be tried (-2) fails the level.
        for (int i = 0; i < count; i++) {
            int r = deleteConfigFile(kTypes[i]);
            if (r != 1 && r != -1)
                ok = false;
        }
        CMD_SetRunning(n, ok ? 2 : 3);
        CMD_SetRequested(n, 0);
    } else if (req == 2) {
        CMD_SetRunning(n, 0);
        CMD_SetRequested(n, 0);
        logInfo("CMD_ERASE_NET_CONFIGURATION cleared\n");
    }
}

void stepLoadRfEeprom(int n)
{
    uint32_t req = CMD_IsRequested(n);
    if (req == 1) {
        logInfo("CMD_LOAD_RF_EEPROM requested\n");
        CMD_SetRunning(n, loadRfEepromStub() != 0 ? 3 : 2);
        CMD_SetRequested(n, 0);
    } else if (req == 2) {
        CMD_SetRunning(n, 0);
        CMD_SetRequested(n, 0);
        logInfo("CMD_LOAD_RF_EEPROM cleared\n");
    }
}
