// Book, event and debug logs.
//
// Writers and the close/reopen paths (rotation, restart, the debug-control
// file) are serialised by one lock, so no thread writes to a stream that
// another is closing.
//
// Every log and control file is opened without blocking and without
// following a final symbolic link, and used only when it is a regular file:
// a FIFO or a device planted in /dev/shm must not freeze the main loop, nor a
// link make the daemon truncate another file. A log that cannot be opened or
// written is reported once on standard error (the service journal) and in
// another log; a closed book or event log is tried again at the hourly check.
#include "core/base/logs.h"

#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "platform/io.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

const DebugModule debugModuleTable[DEBUG_MODULE_COUNT] = {
#define DEBUG_MODULE(Id, name, mask, category) {name, mask, category},
#include "core/base/debugModules.def"
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

enum LogId { BOOK, EVENT, DEBUG, LOG_COUNT };

const char* const kLogNames[LOG_COUNT] = {"book log", "event log", "debug log"};
const char* const kLogPaths[LOG_COUNT] = {kBookPath, kEventPath, kDebugPath};

// A line for the book or event log held until lines are written at all
// (reports from before the system-image defaults).
struct HeldLine {
    LogId log;
    std::string text;
};

struct LogsState {
    std::mutex lock;
    FILE* bookLog = nullptr;
    FILE* eventLog = nullptr;
    FILE* debugLog = nullptr;
    PeriodicStep debugStep{};
    PeriodicStep sizeStep{};
    // A failure of each log said since it last worked.
    bool troubleSaid[LOG_COUNT] = {};
    // The one line of a boot about a file that is not a regular file.
    bool specialSaid = false;
    std::vector<HeldLine> held;
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

FILE*& streamOf(LogId log)
{
    return log == BOOK ? st().bookLog : log == EVENT ? st().eventLog : st().debugLog;
}

enum OpenMode { OPEN_APPEND, OPEN_TRUNCATE, OPEN_READ };

// Opens a log or control file: never blocks (O_NONBLOCK: a FIFO or a device
// in its place), never follows a final link, and keeps only a regular file;
// *special tells that something else was found. Close-on-exec, so child
// programs do not inherit it. nullptr with errno set on failure.
FILE* openLogPath(const char* path, OpenMode mode, bool* special)
{
    *special = false;
    std::string p = sysPath(path);
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY;
    flags |= mode == OPEN_READ ? O_RDONLY : O_WRONLY | O_CREAT | (mode == OPEN_APPEND ? O_APPEND : 0);
    int fd = open(p.c_str(), flags, 0644);
    struct stat sb;
    if (fd < 0) {
        int e = errno;
        *special = lstat(p.c_str(), &sb) == 0 && !S_ISREG(sb.st_mode);
        errno = e;
        return nullptr;
    }
    if (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        close(fd);
        *special = true;
        errno = EINVAL;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (mode == OPEN_TRUNCATE && ftruncate(fd, 0) != 0) {
        int e = errno;
        close(fd);
        errno = e;
        return nullptr;
    }
    FILE* f = fdopen(fd, mode == OPEN_READ ? "r" : mode == OPEN_APPEND ? "a" : "w");
    if (!f) {
        int e = errno;
        close(fd);
        errno = e;
    }
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

// Writes one line; false with errno set when it did not reach the file.
bool writeLine(FILE* f, LogLevel level, const char* text)
{
    if (!f)
        return true;
    char when[21];
    timePrefix(when);
    size_t n = strlen(text);
    errno = 0;
    bool ok = fprintf(f, "[TaRN_FM] %s%s: %s%s", when, levelText(level), text,
                      (n && text[n - 1] == '\n') ? "" : "\n") >= 0;
    ok = fflush(f) == 0 && ok;
    if (!ok) {
        int e = errno ? errno : EIO;
        clearerr(f);
        errno = e;
    }
    return ok;
}

// An ERR line for the book or event log from the log code itself: written
// at once while lines are written, else held until they are. Lock held.
void noteLine(LogId log, const std::string& text)
{
    if (!logEnabled.load(std::memory_order_relaxed)) {
        st().held.push_back({log, text});
        return;
    }
    writeLine(streamOf(log), LVL_ERR, text.c_str());
}

// Writes the held lines once lines are written at all. Lock held.
void writeHeldLines()
{
    if (st().held.empty() || !logEnabled.load(std::memory_order_relaxed))
        return;
    for (const HeldLine& h : st().held)
        writeLine(streamOf(h.log), LVL_ERR, h.text.c_str());
    st().held.clear();
}

// Says once, until the log works again, that it could not be opened or
// written: on standard error and in another log (the event log for the book
// log, the book log for the others). Lock held.
void reportTrouble(LogId log, const char* what, int err)
{
    if (st().troubleSaid[log])
        return;
    st().troubleSaid[log] = true;
    char text[256];
    snprintf(text, sizeof text, "Cannot %s the %s %s: %s", what, kLogNames[log], kLogPaths[log], strerror(err));
    fprintf(stderr, "%s%s\n", text, log == DEBUG ? "" : "; tried again at the hourly check");
    noteLine(log == BOOK ? EVENT : BOOK, text);
}

// A log has been opened or written again: a later failure is said again.
void troubleOver(LogId log)
{
    if (!st().troubleSaid[log])
        return;
    st().troubleSaid[log] = false;
    fprintf(stderr, "The %s %s is written again\n", kLogNames[log], kLogPaths[log]);
}

// One line per boot for a file of the logs that is not a regular file (a
// FIFO, a device, a symbolic link): it is treated as absent. Lock held.
void reportSpecial(const char* path)
{
    if (st().specialSaid)
        return;
    st().specialSaid = true;
    std::string text = std::string(path) + " is not a regular file: it is ignored";
    fprintf(stderr, "%s\n", text.c_str());
    noteLine(BOOK, text);
}

// Opens one of the three logs (append, or create when that fails; the
// debug log is truncated) and reports a failure. Lock held.
void openLog(LogId log)
{
    bool special = false;
    FILE* f = openLogPath(kLogPaths[log], log == DEBUG ? OPEN_TRUNCATE : OPEN_APPEND, &special);
    if (!f && !special && log != DEBUG)
        f = openLogPath(kLogPaths[log], OPEN_TRUNCATE, &special);
    int err = errno;
    streamOf(log) = f;
    if (f) {
        troubleOver(log);
        return;
    }
    if (special)
        reportSpecial(kLogPaths[log]);
    else
        reportTrouble(log, "open", err);
}

// Writes a line to one of the logs and reports a failed write. Lock held.
void writeLog(LogId log, LogLevel level, const char* text)
{
    FILE* f = streamOf(log);
    if (!f)
        return;
    if (writeLine(f, level, text))
        troubleOver(log);
    else
        reportTrouble(log, "write", errno);
}

long streamSize(FILE* f)
{
    struct stat sb;
    if (!f || fstat(fileno(f), &sb) != 0)
        return -1;
    return static_cast<long>(sb.st_size);
}

void rotate(LogId log, const char* old, const char* msgRemoveOld, const char* msgRename, const char* msgRemove)
{
    FILE** f = &streamOf(log);
    const char* path = kLogPaths[log];
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
    openLog(log);
}

} // namespace

void openLogs()
{
    openlog(nullptr, LOG_PID, LOG_USER);
    std::lock_guard<std::mutex> g(st().lock);
    // A new boot: every failure is said once again.
    for (bool& said : st().troubleSaid)
        said = false;
    st().specialSaid = false;
    st().held.clear();
    openLog(BOOK);
    openLog(EVENT);
    openLog(DEBUG);
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
    writeHeldLines();
    if (where & TO_EVENT)
        writeLog(EVENT, level, text);
    if (where & TO_BOOK)
        writeLog(BOOK, level, text);
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
    FILE* f = st().debugLog;
    if (!f)
        return;
    errno = 0;
    bool ok = fprintf(f, "[%s - %s] >> %s", func, debugModuleTable[nameRow].name, text) >= 0;
    ok = fflush(f) == 0 && ok;
    if (ok) {
        troubleOver(DEBUG);
    } else {
        int e = errno ? errno : EIO;
        clearerr(f);
        reportTrouble(DEBUG, "write", e);
    }
}

namespace {

int restartLog(LogId log)
{
    FILE** f = &streamOf(log);
    const char* path = kLogPaths[log];
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
        openLog(log);
    }
    return removed;
}

} // namespace

int restartBookLog()
{
    int removed = restartLog(BOOK);
    logInfo("STARTED BOOK LOG");
    return removed;
}

int restartEventLog()
{
    int removed = restartLog(EVENT);
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
    rotate(BOOK, kBookOld, "Cannot remove vrl_book.log.1", "Cannot rename vrl_book.log", "Cannot remove vrl_book.log");
}

void checkEventLogSize()
{
    std::lock_guard<std::mutex> g(st().lock);
    rotate(EVENT, kEventOld, "Cannot remove vrl_event.log.1", "Cannot rename vrl_event.log",
           "Cannot remove vrl_event.log");
}

void debugControlTick()
{
    PeriodicStep* step = &st().debugStep;
    if (!periodicStepDue(step, 900000, true))
        return;
    // The control file counts as present only when it is a readable
    // regular file.
    bool special = false;
    FILE* control = openLogPath(kControlPath, OPEN_READ, &special);
    if (control) {
        char line[64];
        if (fgets(line, sizeof line, control)) {
            unsigned long mask;
            if (sscanf(line, "%lx", &mask) == 1)
                debugModuleMask.store(static_cast<uint32_t>(mask));
        }
        fclose(control);
        {
            std::lock_guard<std::mutex> g(st().lock);
            writeHeldLines();
            if (!st().debugLog)
                openLog(DEBUG);
            if (st().debugLog)
                fflush(st().debugLog);
        }
        checkDebugLogSize();
    } else {
        std::lock_guard<std::mutex> g(st().lock);
        writeHeldLines();
        if (special)
            reportSpecial(kControlPath);
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
    {
        // A book or event log that could not be opened is tried again.
        std::lock_guard<std::mutex> g(st().lock);
        writeHeldLines();
        for (LogId log : {BOOK, EVENT})
            if (!streamOf(log))
                openLog(log);
    }
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
