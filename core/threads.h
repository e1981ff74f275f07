// Thread table and thread runner.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <sys/types.h>

struct ThreadDesc {
    const char* name;
    pthread_t handle;
    std::atomic<pid_t> tid;
    int32_t id;
    int mode;        // 1 = periodic, anything else = one-shot
    int32_t period;  // microseconds
    void (*body)();
};

enum { THREAD_ROWS = 9 };

extern ThreadDesc threadTable[THREAD_ROWS];
extern std::atomic<uint8_t> threadsStop;
extern std::atomic<uint8_t> threadsPaused;

void initThreads();
int CreateThread(ThreadDesc* row);
int DeleteThread(ThreadDesc* row);
void stopThreads();
void threadCleanupLog(ThreadDesc* row);
void* threadEntry(void* row);

// Body of "Ltx Thread".
void ltxThreadStep();

// Every thread the runner starts gets an alternate signal stack, so the crash
// handler runs on any thread. Returns the block it allocated (null when the
// thread had a stack already or none could be made).
void* installThreadAltStack();
