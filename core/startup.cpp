// Main program and start-up of the control daemon.
#include "core/startup.h"

#include "Config/configCycle.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/unitKeys.h"
#include "audio/secondCore.h"
#include "alarms/logicaTx.h"
#include "comtab/commandTable.h"
#include "comtab/dbPool.h"
#include "core/children.h"
#include "core/files.h"
#include "core/base/crashHandler.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/mainLoop.h"
#include "core/files.h"
#include "core/storage.h"
#include "core/systemTime.h"
#include "core/threads.h"
#include "core/unitStartup.h"
#include "links/factoryTcp.h"
#include "persist/configExchange.h"
#include "persist/configStore.h"
#include "persist/xmlConfig.h"
#include "platform/init.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

// What the unit region runs programs with (web branding, the SNMP agent).
const UnitServices kUnitServices = {runProgramWait, removeFileIfPresent, killSnmpd};
const LogicServices kLogicServices = {linkFpgaImage};
const CommandTableServices kCommandTableServices = {applySystemTimeRequest, applyNtpConfig, isUsbKeyMounted,
                                                    launchMdevRestart, spawnProgram, pollProgram};

long parseNumber(const char* text)
{
    return strtol(text, nullptr, 0);
}

} // namespace

int parseCommandLine(int argc, char** argv, BenchSwitches* sw)
{
    *sw = BenchSwitches{};
    sw->apCmpValue = -1;
    if (argc < 2)
        return 1;
    const char* arg = argv[1];
    if (strcmp(arg, "test_perf_5m") == 0)
        sw->testPerf5m = 1;
    else if (strcmp(arg, "test_perf_10m") == 0)
        sw->testPerf10m = 1;
    if (strcmp(arg, "ap_cmp") == 0) {
        printf("Enabled audio processor compressor test\n");
        sw->apCmp = 1;
        sw->apCmpValue = argc > 2 ? parseNumber(argv[2]) : -1;
    }
    if (strcmp(arg, "ap_sat") == 0) {
        printf("Enabled audio processor sat test\n");
        sw->apSat = 1;
        sw->apSatValue = argc > 2 ? parseNumber(argv[2]) : 0;
    }
    if (strcmp(arg, "ap") == 0) {
        printf("Enabled audio processor axi test\n");
        if (argc >= 4) {
            sw->apAddr = parseNumber(argv[2]);
            sw->apData = parseNumber(argv[3]);
        } else {
            sw->apAddr = 3;
            sw->apData = 3;
        }
        sw->ap = sw->apAddr != 0;
        printf("ap_addr:%ld\n", sw->apAddr);
        printf("ap_data:%ld\n", sw->apData);
    }
    if (sw->testPerf5m || sw->testPerf10m) {
        printf("Enabled Test Performance with strace\n");
    } else if (!sw->apCmp && !sw->apSat && !sw->ap) {
        printf("Available parameters:\n<none>, test_perf_5m, test_perf_10m, ap_cmp, ap\n");
        return 0;
    }
    return 1;
}

int corvaneMain(int argc, char** argv)
{
    BenchSwitches sw;
    if (!parseCommandLine(argc, argv, &sw))
        return 0;
    // Progress and child-process lines on standard output reach the service
    // log line by line, not when a buffer fills.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    platformInit();
    registerConfigStore();
    setUsbKeyProbe(isUsbKeyMounted);
    registerRadioTextWriter(writeStringToFile);
    setWriteDnsNtpFilesHook(writeDnsNtpFiles);
    registerSystemTimeServices();
    registerUnitServices(&kUnitServices);
    registerLogicServices(&kLogicServices);
    registerCommandTableServices(&kCommandTableServices);
    registerSecondCoreChildWatcher(watchChild);
    initStorage();
    openLogs();
    initDbAreaContainer();
    SemMutexInit();
    sem_sys_init();
    loadUnitInfo();
    LogicaTx_SetDefaults();
    initUnitHardware();
    initUnitSettings();
    initCrashHandler();
    logInfo("Load last configuration saved");
    removeConfigTemporaries();
    loadConfig();
    applyConfigStepwise();
    startUnitServices();
    VrlUnitInit();
    logInfo("Init Threads Timers");
    initThreads();

    pid_t mainTid = gettid();
    logInfo("Main Thread: pid %d", static_cast<int>(mainTid));
    sd_notifyf(0, "MAINPID=%d", static_cast<int>(mainTid));
    globalMute = 1;
    logInfo("Init TCP Socket");
    initFactoryTcpSocket();
    sd_notify(0, "READY=1");
    logInfo("TX Boot-Up Completed");
    eventLogOnly(LVL_INFO, "TX Boot-Up Completed");

    MainLoopState loop;
    mainLoopBegin(&loop, sw.testPerf5m ? 300 : (sw.testPerf10m ? 600 : 0));
    int status = runMainLoop(&loop);
    // A test duration has elapsed. The threads are still running, so the
    // process ends here without destroying the module state they use.
    fflush(nullptr);
    _exit(status);
}

void audioProcessorBenchPreset(int band)
{
    for (int n = 0; n <= 4; n++) {
        bool sel = n == band;
        setApCmpLogTh(n, sel ? 16887 : 23854);
        setApCmpLinRt(n, sel ? 48 : 16);
        setApCmpLogKw(n, sel ? 1360 : 0);
        setApCmpMinGainDec(n, 0);
        setApGainLogRef(n, sel ? 16887 : 23854);
        setApSmoothingNRelease(n, 2);
        setApSmoothingNAttack(n, 2);
    }
    setApOn(1);
    setApEqOn(0);
    setApCmpOn(1);
}
