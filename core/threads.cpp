// Thread table and thread runner.
#include "core/threads.h"

#include "Config/configCycle.h"
#include "alarms/logicaTx.h"
#include "audio/rdsSequencer.h"
#include "audio/uecpReceiver.h"
#include "comtab/commandTable.h"
#include "core/logs.h"
#include "core/systemTime.h"
#include "core/timeBase.h"
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

void fillRow(int row, const char* name, int32_t id, int32_t period, void (*body)())
{
    ThreadDesc& t = threadTable[row];
    t.name = name;
    t.handle = pthread_t{};
    t.tid = 0;
    t.id = id;
    t.mode = 1;
    t.period = period;
    t.body = body;
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
    fillRow(0, "SaveConfig Thread", 0, 500000, testSaveConfigAfterApply);
    fillRow(1, "UECP Rx Thread", 1, 10000, UECP_PollPort);
    fillRow(2, "RDS Loop Thread", 2, 10000, RDS_Mng);
    fillRow(3, "Upgrade Thread", 4, 250000, upgradeRun);
    fillRow(4, "Gsm Thread", 5, 100000, GSM_ThreadStep);
    fillRow(5, "Ltx Thread", 6, 10000, ltxThreadStep);
    fillRow(6, "Time Thread", 7, 10000, timeThread);
    fillRow(7, "NTP Thread", 9, 1000000, ntpThreadStep);
    fillRow(8, "SPS Thread", 10, 500000, SPS_Task);
    static const int startOrder[] = {6, 0, 5, 1, 2, 3, 7, 8};
    for (int row : startOrder)
        CreateThread(&threadTable[row]);
}

void stopThreads()
{
    threadsStop = 1;
    static const int rows[] = {0, 5, 7, 8};
    for (int row : rows)
        DeleteThread(&threadTable[row]);
}

void threadCleanupLog(ThreadDesc* row)
{
    logInfo("Cleanup richiesto per %s: pid %d", row->name, static_cast<int>(row->tid));
}
