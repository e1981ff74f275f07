// Book, event and debug logs.
#pragma once

#include <atomic>
#include <cstdint>

enum LogLevel { LVL_INFO, LVL_ERR, LVL_EVENT, LVL_WARN, LVL_DEBUG };

// Rows of the debug-module table, in table order.
enum DebugModuleId {
#define DEBUG_MODULE(Id, name, mask, category) DBG_##Id,
#include "core/base/debugModules.def"
#undef DEBUG_MODULE
    DEBUG_MODULE_COUNT
};

struct DebugModule {
    char name[16];
    uint32_t mask;
    uint32_t category;
};

extern const DebugModule debugModuleTable[DEBUG_MODULE_COUNT];

// Book and event lines are written only while this is non-zero; the end of
// the system-image defaults sets it.
extern std::atomic<int32_t> logEnabled;
extern std::atomic<uint32_t> debugModuleMask;
extern std::atomic<uint32_t> debugCategoryMask;
extern std::atomic<uint32_t> debugExcludeMask;

void openLogs();
void closeLogs();

// A line to the book log. EVENT lines go to the event log first, then to the
// book log. A newline is added when the text does not end with one.
void bookLog(LogLevel level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// A line to the event log only.
void eventLogOnly(LogLevel level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

#define logInfo(...) bookLog(LVL_INFO, __VA_ARGS__)
#define logErr(...) bookLog(LVL_ERR, __VA_ARGS__)
#define logWarn(...) bookLog(LVL_WARN, __VA_ARGS__)
#define logDebug(...) bookLog(LVL_DEBUG, __VA_ARGS__)
#define logEvent(...) bookLog(LVL_EVENT, __VA_ARGS__)

// Module debug line "[func - row] >> text": written when the gate row passes;
// the name row labels it (they differ only for the I2C semaphore lines).
void debugPrintf(const char* func, int gateRow, int nameRow, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
bool debugGate(int row);
#define DEBUG_PRINT(row, ...) debugPrintf(__func__, (row), (row), __VA_ARGS__)

int restartBookLog();
int restartEventLog();

// Main-loop steps.
void debugControlTick();
void logSizeCheckTick();
// The size checks, one per log (also used by the hourly step).
void checkDebugLogSize();
void checkBookLogSize();
void checkEventLogSize();

// Crash path: writes one INFO line to the book log without waiting long for
// the log lock (a crashing thread may hold it).
void crashLogInfo(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Tests: forget the step timers so the next tick is a first pass.
void logsResetForTest();
