// The simulated board the power-loop benchmarks run on.
#pragma once

#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/mainLoop.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "power/ampLockout.h"
#include "power/fanControl.h"
#include "sim/board.h"
#include "testing/testSupport.h"

#include <cstdlib>
#include <cstring>
#include <string>

// A sandbox on the board of `profile` with its amplifier of `family` and
// `model` detected, on and unmuted: logs open, the virtual clock, and the
// power loop of the family (reset by `resetLoop` and `resetMeasures`), the
// lockout, the fans and the main loop fresh. With `zeroedImage` the system
// image is zeroed first and the system semaphores are made, for a loop that
// takes its whole configuration from the benchmark. The sandbox and the
// semaphores go with it.
class AmpBoard {
public:
    AmpBoard(const char* profile, uint32_t family, uint32_t model, void (*resetLoop)(), void (*resetMeasures)(),
             bool zeroedImage = false)
        : zeroedImage_(zeroedImage)
    {
        setenv("CORVANE_BOARD_PROFILE", profile, 1);
        root_ = makeTestSandbox();
        unsetenv("CORVANE_BOARD_PROFILE");
        clockUseVirtual();
        simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
        openLogs();
        logEnabled = 1;
        if (zeroedImage_) {
            memset(getSystemImage(), 0, sizeof(SystemImage));
            sem_sys_init();
            SemMutexInit();
        }
        resetLoop();
        resetMeasures();
        ampLockoutResetForTest();
        fanControlResetForTest();
        mainLoopResetForTest();
        setAmpFamily(family);
        setHpaModelCode(model);
        setHpaDetected(1);
        setHpaDisabled(0);
        setTxOnState(1);
        setAlarmState(101, 0);
        setAlarmState(120, 0);
        setFpgaMute(0);
        rfMuteState = 0;
    }
    ~AmpBoard()
    {
        if (zeroedImage_)
            sem_sys_remove();
        closeLogs();
        clockUseReal();
        removeTestSandbox(root_);
    }
    AmpBoard(const AmpBoard&) = delete;
    AmpBoard& operator=(const AmpBoard&) = delete;

private:
    std::string root_;
    bool zeroedImage_;
};
