// Thread table and thread runner.
#include "core/threads.h"

#include "Config/configCycle.h"
#include "alarms/logicaTx.h"
#include "audio/rdsSequencer.h"
#include "audio/uecpReceiver.h"
#include "comtab/commandTable.h"
#include "core/base/logs.h"
#include "core/systemTime.h"
#include "core/base/timeBase.h"
#include "persist/upgradeManager.h"
#include "platform/clock.h"
#include "power/spsModule.h"
#include "timing/gsmModem.h"

#include <cstdlib>
#include <signal.h>
#include <unistd.h>

ThreadDesc threadTable[THREAD_ROWS];
std::atomic<uint8_t> threadsStop{0};
std::atomic<uint8_t> threadsPaused{0};

namespace {

constexpr size_t kThreadStackSize = 320000;

// The thread table: one row per thread of the daemon, in table order. A
// row's start rank orders the creation (0: never started); rows marked
// joined are stopped by stopThreads.
struct ThreadRow {
    const char* name;
    int32_t id;
    int32_t period; // microseconds
    void (*body)();
    uint8_t startRank;
    bool joinedOnStop;
};

constexpr ThreadRow kThreadRows[THREAD_ROWS] = {
    {"SaveConfig Thread", 0, 500000, testSaveConfigAfterApply, 2, true},
    {"UECP Rx Thread", 1, 10000, UECP_PollPort, 4, false},
    {"RDS Loop Thread", 2, 10000, RDS_Mng, 5, false},
    {"Upgrade Thread", 4, 250000, upgradeRun, 6, false},
    {"Gsm Thread", 5, 100000, GSM_ThreadStep, 0, false},
    {"Ltx Thread", 6, 10000, ltxThreadStep, 3, true},
    {"Time Thread", 7, 10000, timeThread, 1, false},
    {"NTP Thread", 9, 1000000, ntpThreadStep, 7, true},
    {"SPS Thread", 10, 500000, SPS_Task, 8, true},
};

void fillRow(int row)
{
    const ThreadRow& r = kThreadRows[row];
    ThreadDesc& t = threadTable[row];
    t.name = r.name;
    t.handle = pthread_t{};
    t.tid = 0;
    t.id = r.id;
    t.mode = 1;
    t.period = r.period;
    t.body = r.body;
}

// The periodic rhythm: periods above one second sleep whole seconds only
// (the remainder is dropped), shorter ones sleep in microseconds.
void sleepPeriod(int32_t period)
{
    if (period > 1000000)
        clockSleepSeconds(static_cast<unsigned>(period / 1000000));
    else if (period > 0)
        clockSleepUs(static_cast<uint64_t>(period));
}

} // namespace

void ltxThreadStep()
{
    LogicaTx_Task();
    commandTableTick();
}

void* installThreadAltStack()
{
    // A thread that already has a signal stack (one made by a runtime such
    // as a sanitizer) keeps it.
    stack_t cur{};
    if (sigaltstack(nullptr, &cur) == 0 && !(cur.ss_flags & SS_DISABLE))
        return nullptr;
    // At least the platform's minimum, and never below the main thread's 8 KiB.
    size_t size = static_cast<size_t>(sysconf(_SC_SIGSTKSZ));
    if (size < 8192)
        size = 8192;
    if (size < static_cast<size_t>(MINSIGSTKSZ))
        size = MINSIGSTKSZ;
    stack_t ss{};
    ss.ss_sp = malloc(size);
    if (!ss.ss_sp)
        return nullptr;
    ss.ss_size = size;
    ss.ss_flags = 0;
    if (sigaltstack(&ss, nullptr) != 0) {
        free(ss.ss_sp);
        return nullptr;
    }
    return ss.ss_sp;
}

namespace {

// Removes and frees the signal stack a runner thread installed, when the
// thread ends.
struct AltStackGuard {
    void* block;
    ~AltStackGuard()
    {
        if (!block)
            return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        free(block);
    }
};

} // namespace

void* threadEntry(void* arg)
{
    ThreadDesc* row = static_cast<ThreadDesc*>(arg);
    row->tid = gettid();
    AltStackGuard altStack{installThreadAltStack()};
    if (row->mode != 1) {
        // A one-shot row waits its whole period in microseconds.
        if (row->period > 0)
            clockSleepUs(static_cast<uint64_t>(row->period));
        row->body();
        return nullptr;
    }
    logInfo("%s: pid %d", row->name, static_cast<int>(row->tid));
    for (;;) {
        if (threadsStop.load())
            return nullptr;
        if (!threadsPaused.load())
            row->body();
        sleepPeriod(row->period);
    }
}

int CreateThread(ThreadDesc* row)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kThreadStackSize);
    if (row->id == 3)
        pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    int r = pthread_create(&row->handle, &attr, threadEntry, row);
    pthread_attr_destroy(&attr);
    if (r != 0)
        logErr("CreateThread() failed!");
    return r;
}

int DeleteThread(ThreadDesc* row)
{
    if (row->id == 3) {
        int r = pthread_cancel(row->handle);
        if (r != 0)
            logErr("DeleteThread %s Error!", row->name);
        logInfo("%s - pid %d: Canceled", row->name, static_cast<int>(row->tid));
        return r;
    }
    void* result = nullptr;
    int r = pthread_join(row->handle, &result);
    if (r != 0)
        logErr("DeleteThread %s Error!", row->name);
    else if (result != PTHREAD_CANCELED)
        logInfo("%s - pid %d: Exit", row->name, static_cast<int>(row->tid));
    else
        logInfo("%s - pid %d: Canceled", row->name, static_cast<int>(row->tid));
    return r;
}

void initThreads()
{
    threadsStop = 0;
    for (int row = 0; row < THREAD_ROWS; row++)
        fillRow(row);
    for (uint8_t rank = 1; rank <= THREAD_ROWS; rank++)
        for (int row = 0; row < THREAD_ROWS; row++)
            if (kThreadRows[row].startRank == rank)
                CreateThread(&threadTable[row]);
}

void stopThreads()
{
    threadsStop = 1;
    for (int row = 0; row < THREAD_ROWS; row++)
        if (kThreadRows[row].joinedOnStop)
            DeleteThread(&threadTable[row]);
}

void threadCleanupLog(ThreadDesc* row)
{
    logInfo("Cleanup richiesto per %s: pid %d", row->name, static_cast<int>(row->tid));
}
