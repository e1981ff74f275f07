// Book, event and debug logs.
//
// Writers and the close/reopen paths (rotation, restart, the debug-control
// file) are serialised by one lock, so no thread writes to a stream that
// another is closing.
#include "core/logs.h"

#include "core/timeBase.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "platform/paths.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

const DebugModule debugModuleTable[DEBUG_MODULE_COUNT] = {
#define DEBUG_MODULE(Id, name, mask, category) {name, mask, category},
#include "core/debugModules.def"
#undef DEBUG_MODULE
};

std::atomic<int32_t> logEnabled{0};
std::atomic<uint32_t> debugModuleMask{0};
std::atomic<uint32_t> debugCategoryMask{0};
std::atomic<uint32_t> debugExcludeMask{0};

namespace {

constexpr const char* kBookPath = "/mnt/ubi0/log/VRL_Book.log";
constexpr const char* kBookOld = "/mnt/ubi0/log/VRL_Book.log.1";
constexpr const char* kEventPath = "/mnt/ubi0/log/VRL_Event.log";
constexpr const char* kEventOld = "/mnt/ubi0/log/VRL_Event.log.1";
constexpr const char* kDebugPath = "/dev/shm/vrl_debug.log";
constexpr const char* kControlPath = "/dev/shm/.vrl_debug";

constexpr long kRotateSize = 5242880;
constexpr long kDropSize = 20971520;
constexpr long kDebugDropSize = 52428800;

struct LogsState {
    std::mutex lock;
    FILE* bookLog = nullptr;
    FILE* eventLog = nullptr;
    FILE* debugLog = nullptr;
    PeriodicStep debugStep{};
    PeriodicStep sizeStep{};
};

LogsState& st()
{
    static LogsState s;
    return s;
}

const char* levelText(LogLevel level)
{
    switch (level) {
    case LVL_INFO: return "INFO";
    case LVL_ERR: return "ERR";
    case LVL_EVENT: return "EVENT";
    case LVL_WARN: return "WARN";
    case LVL_DEBUG: return "DEBUG";
    }
    return "INFO";
}

FILE* openLogFile(const char* path, const char* mode, const char* fallback)
{
    std::string p = sysPath(path);
    FILE* f = fopen(p.c_str(), mode);
    if (!f && fallback)
        f = fopen(p.c_str(), fallback);
    if (f)
        fcntl(fileno(f), F_SETFD, FD_CLOEXEC);
    return f;
}

void closeLog(FILE** f, const char* message)
{
    if (!*f)
        return;
    fflush(*f);
    fclose(*f);
    *f = nullptr;
    printf("%s\n", message);
}

// Formats the line prefix's local time "%Y/%m/%d-%H:%M:%S-".
void timePrefix(char out[21])
{
    time_t now = clockWallSeconds();
    struct tm tmv;
    localtime_r(&now, &tmv);
    if (strftime(out, 21, "%Y/%m/%d-%H:%M:%S-", &tmv) == 0)
        out[0] = 0;
}

void writeLine(FILE* f, LogLevel level, const char* text)
{
    if (!f)
        return;
    char when[21];
    timePrefix(when);
    size_t n = strlen(text);
    fprintf(f, "[TaRN_FM] %s%s: %s%s", when, levelText(level), text, (n && text[n - 1] == '\n') ? "" : "\n");
    fflush(f);
}

long streamSize(FILE* f)
{
    struct stat sb;
    if (!f || fstat(fileno(f), &sb) != 0)
        return -1;
    return static_cast<long>(sb.st_size);
}

void rotate(FILE** f, const char* path, const char* old, const char* appendMode, const char* msgRemoveOld,
            const char* msgRename, const char* msgRemove)
{
    long size = streamSize(*f);
    if (size < 0 || size <= kRotateSize)
        return;
    printf("Rotate file_log at %li bytes\n", size);
    fflush(*f);
    fclose(*f);
    *f = nullptr;
    if (size <= kDropSize) {
        if (unlink(sysPath(old).c_str()) != 0)
            printf("%s\n", msgRemoveOld);
        if (rename(sysPath(path).c_str(), sysPath(old).c_str()) != 0)
            printf("%s\n", msgRename);
    } else if (unlink(sysPath(path).c_str()) != 0) {
        printf("%s\n", msgRemove);
    }
    *f = openLogFile(path, appendMode, "w");
}

} // namespace

void openLogs()
{
    openlog(nullptr, LOG_PID, LOG_USER);
    std::lock_guard<std::mutex> g(st().lock);
    st().bookLog = openLogFile(kBookPath, "a", "w");
    st().eventLog = openLogFile(kEventPath, "a", "w");
    st().debugLog = openLogFile(kDebugPath, "w", nullptr);
}

void closeLogs()
{
    closelog();
    std::lock_guard<std::mutex> g(st().lock);
    closeLog(&st().bookLog, "close BookLog");
    closeLog(&st().eventLog, "close EventLog");
    closeLog(&st().debugLog, "close file_log");
}

namespace {

enum { TO_BOOK = 1, TO_EVENT = 2 };

// Writes one formatted line to the logs named by `where`, event log first.
void vlogLine(int where, LogLevel level, const char* fmt, va_list ap)
{
    if (!logEnabled.load(std::memory_order_relaxed))
        return;
    char text[1024];
    vsnprintf(text, sizeof text, fmt, ap);
    std::lock_guard<std::mutex> g(st().lock);
    if (where & TO_EVENT)
        writeLine(st().eventLog, level, text);
    if (where & TO_BOOK)
        writeLine(st().bookLog, level, text);
}

} // namespace

void bookLog(LogLevel level, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vlogLine(level == LVL_EVENT ? TO_BOOK | TO_EVENT : TO_BOOK, level, fmt, ap);
    va_end(ap);
}

void eventLogOnly(LogLevel level, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vlogLine(TO_EVENT, level, fmt, ap);
    va_end(ap);
}

void crashLogInfo(const char* fmt, ...)
{
    if (!logEnabled.load(std::memory_order_relaxed))
        return;
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    // The crashing thread may hold the lock itself: wait about 200 ms at
    // most, then give the line up rather than hang the handler; once a wait
    // has failed, the later lines of the same crash do not wait again.
    static std::atomic<bool> lockLost{false};
    for (int i = 0; i < (lockLost.load() ? 1 : 200); i++) {
        if (st().lock.try_lock()) {
            writeLine(st().bookLog, LVL_INFO, text);
            st().lock.unlock();
            return;
        }
        struct timespec ms = {0, 1000000};
        nanosleep(&ms, nullptr);
    }
    lockLost = true;
}

bool debugGate(int row)
{
    if (row < 0 || row >= DEBUG_MODULE_COUNT)
        return false;
    const DebugModule& m = debugModuleTable[row];
    return (debugModuleMask.load(std::memory_order_relaxed) & m.mask) != 0 ||
           ((debugCategoryMask.load(std::memory_order_relaxed) & m.category) != 0 &&
            (debugExcludeMask.load(std::memory_order_relaxed) & m.mask) == 0);
}

void debugPrintf(const char* func, int gateRow, int nameRow, const char* fmt, ...)
{
    if (!debugGate(gateRow) || nameRow < 0 || nameRow >= DEBUG_MODULE_COUNT)
        return;
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    std::lock_guard<std::mutex> g(st().lock);
    if (!st().debugLog)
        return;
    fprintf(st().debugLog, "[%s - %s] >> %s", func, debugModuleTable[nameRow].name, text);
    fflush(st().debugLog);
}

namespace {

int restartLog(FILE** f, const char* path)
{
    {
        std::lock_guard<std::mutex> g(st().lock);
        if (*f) {
            fflush(*f);
            fclose(*f);
            *f = nullptr;
        }
    }
    int removed = unlink(sysPath(path).c_str()) == 0 ? 1 : 0;
    {
        std::lock_guard<std::mutex> g(st().lock);
        *f = openLogFile(path, "a", "w");
    }
    return removed;
}

} // namespace

int restartBookLog()
{
    int removed = restartLog(&st().bookLog, kBookPath);
    logInfo("STARTED BOOK LOG");
    return removed;
}

int restartEventLog()
{
    int removed = restartLog(&st().eventLog, kEventPath);
    eventLogOnly(LVL_INFO, "STARTED EVENT LOG");
    return removed;
}

void checkDebugLogSize()
{
    std::lock_guard<std::mutex> g(st().lock);
    long size = streamSize(st().debugLog);
    if (size < 0 || size <= kDebugDropSize)
        return;
    printf("Rotate file_log at %li bytes\n", size);
    fclose(st().debugLog);
    st().debugLog = nullptr;
    if (unlink(sysPath(kDebugPath).c_str()) != 0)
        printf("Cannot remove vrl_debug.log\n");
}

void checkBookLogSize()
{
    std::lock_guard<std::mutex> g(st().lock);
    rotate(&st().bookLog, kBookPath, kBookOld, "a", "Cannot remove vrl_book.log.1", "Cannot rename vrl_book.log",
           "Cannot remove vrl_book.log");
}

void checkEventLogSize()
{
    std::lock_guard<std::mutex> g(st().lock);
    rotate(&st().eventLog, kEventPath, kEventOld, "a", "Cannot remove vrl_event.log.1",
           "Cannot rename vrl_event.log", "Cannot remove vrl_event.log");
}

void debugControlTick()
{
    PeriodicStep* step = &st().debugStep;
    if (!periodicStepDue(step, 900000, true))
        return;
    std::string control = sysPath(kControlPath);
    if (access(control.c_str(), R_OK) == 0) {
        if (FILE* f = fopen(control.c_str(), "r")) {
            char line[64];
            if (fgets(line, sizeof line, f)) {
                unsigned long mask;
                if (sscanf(line, "%lx", &mask) == 1)
                    debugModuleMask.store(static_cast<uint32_t>(mask));
            }
            fclose(f);
        }
        {
            std::lock_guard<std::mutex> g(st().lock);
            if (!st().debugLog)
                st().debugLog = openLogFile(kDebugPath, "w", nullptr);
            if (st().debugLog)
                fflush(st().debugLog);
        }
        checkDebugLogSize();
    } else {
        std::lock_guard<std::mutex> g(st().lock);
        closeLog(&st().debugLog, "close file_log");
    }
    periodicStepDone(step);
}

void logSizeCheckTick()
{
    PeriodicStep* step = &st().sizeStep;
    if (!step->started) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &step->stamp);
        step->started = 1;
    }
    struct timespec now = getMonoTimeNow();
    long secs = static_cast<long>(now.tv_sec - step->stamp.tv_sec);
    if (secs < 0)
        secs = -secs;
    if (secs < 3600 && step->ranOnce)
        return;
    step->ranOnce = 1;
    if (access(sysPath(kDebugPath).c_str(), R_OK) == 0)
        checkDebugLogSize();
    if (access(sysPath(kBookPath).c_str(), R_OK) == 0)
        checkBookLogSize();
    if (access(sysPath(kEventPath).c_str(), R_OK) == 0)
        checkEventLogSize();
    periodicStepDone(step);
}

void logsResetForTest()
{
    st().debugStep = PeriodicStep{};
    st().sizeStep = PeriodicStep{};
}
