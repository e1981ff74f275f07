#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class Logs : public SandboxTest {
protected:
    Logs() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        logEnabled = 0;
        timeThread();
    }
    void writeFile(const char* absPath, const std::string& text)
    {
        std::ofstream(sysPath(absPath)) << text;
    }
    void growFile(const char* absPath, off_t size) { ASSERT_EQ(truncate(sysPath(absPath).c_str(), size), 0); }
    bool exists(const char* absPath) { return access(sysPath(absPath).c_str(), F_OK) == 0; }
    // One pass of the 900 ms debug step after the period.
    void nextDebugTick()
    {
        clockAdvanceUs(900000);
        timeThread();
        debugControlTick();
    }
};

TEST_F(Logs, GateFormatAndEventOrder)
{
    logInfo("dropped before the gate opens");
    logEnabled = 1;
    logInfo("value %d", 42);
    logEvent("Alarm %s", "ON");
    logErr("line with its own newline\n");
    eventLogOnly(LVL_INFO, "event only");

    std::string book = readSandboxFile("/mnt/ubi0/log/VRL_Book.log");
    std::string event = readSandboxFile("/mnt/ubi0/log/VRL_Event.log");
    EXPECT_EQ(book.find("dropped"), std::string::npos);
    std::regex bookRe("\\[TaRN_FM\\] \\d{4}/\\d\\d/\\d\\d-\\d\\d:\\d\\d:\\d\\d-INFO: value 42\n"
                      "\\[TaRN_FM\\] [0-9/:-]{20}EVENT: Alarm ON\n"
                      "\\[TaRN_FM\\] [0-9/:-]{20}ERR: line with its own newline\n");
    EXPECT_TRUE(std::regex_match(book, bookRe)) << book;
    std::regex eventRe("\\[TaRN_FM\\] [0-9/:-]{20}EVENT: Alarm ON\n\\[TaRN_FM\\] [0-9/:-]{20}INFO: event only\n");
    EXPECT_TRUE(std::regex_match(event, eventRe)) << event;
}

TEST_F(Logs, DebugControlFileSwitchesModuleLines)
{
    debugControlTick(); // first pass: no control file, the debug log closes
    DEBUG_PRINT(DBG_I2C, "not yet\n");
    writeFile("/dev/shm/.vrl_debug", "800\n");
    nextDebugTick();
    EXPECT_EQ(debugModuleMask.load(), 0x800u);
    DEBUG_PRINT(DBG_I2C, "bus %d\n", 1);
    DEBUG_PRINT(DBG_FPGA, "other module\n");
    // The I2C semaphore lines are gated by SEM_I2C and labelled SEM.
    debugPrintf("sem_sys_wait", DBG_SEM_I2C, DBG_SEM, "WAITLOCK I2C --- 0x%X\n", 0x51);
    EXPECT_EQ(readSandboxFile("/dev/shm/vrl_debug.log"), "[TestBody - I2C] >> bus 1\n");

    writeFile("/dev/shm/.vrl_debug", "8000000\n");
    nextDebugTick();
    debugPrintf("sem_sys_wait", DBG_SEM_I2C, DBG_SEM, "WAITLOCK I2C --- 0x%X\n", 0x51);
    EXPECT_NE(readSandboxFile("/dev/shm/vrl_debug.log").find("[sem_sys_wait - SEM] >> WAITLOCK I2C --- 0x51\n"),
              std::string::npos);

    writeFile("/dev/shm/.vrl_debug", "garbage\n"); // unparsable: mask kept
    nextDebugTick();
    EXPECT_EQ(debugModuleMask.load(), 0x8000000u);

    unlink(sysPath("/dev/shm/.vrl_debug").c_str());
    nextDebugTick();
    std::string before = readSandboxFile("/dev/shm/vrl_debug.log");
    debugPrintf("sem_sys_wait", DBG_SEM_I2C, DBG_SEM, "after removal\n");
    EXPECT_EQ(readSandboxFile("/dev/shm/vrl_debug.log"), before);
    EXPECT_EQ(debugModuleMask.load(), 0x8000000u); // the mask keeps its last value
}

TEST_F(Logs, RotationKeepsOrDropsByTheSize)
{
    logEnabled = 1;
    logSizeCheckTick(); // first pass runs at once; logs are small
    EXPECT_FALSE(exists("/mnt/ubi0/log/VRL_Book.log.1"));

    growFile("/mnt/ubi0/log/VRL_Book.log", 5242881);
    growFile("/mnt/ubi0/log/VRL_Event.log", 20971521);
    checkBookLogSize();
    checkEventLogSize();
    struct stat sb;
    ASSERT_EQ(stat(sysPath("/mnt/ubi0/log/VRL_Book.log.1").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_size, 5242881);
    EXPECT_FALSE(exists("/mnt/ubi0/log/VRL_Event.log.1"));
    logEvent("after rotation");
    std::string book = readSandboxFile("/mnt/ubi0/log/VRL_Book.log");
    EXPECT_NE(book.find("EVENT: after rotation"), std::string::npos);
    EXPECT_LT(book.size(), 200u);
    EXPECT_LT(readSandboxFile("/mnt/ubi0/log/VRL_Event.log").size(), 200u);

    writeFile("/dev/shm/.vrl_debug", "1\n");
    debugControlTick();
    growFile("/dev/shm/vrl_debug.log", 52428801);
    checkDebugLogSize();
    EXPECT_FALSE(exists("/dev/shm/vrl_debug.log"));
    nextDebugTick(); // reopened while the control file exists
    EXPECT_TRUE(exists("/dev/shm/vrl_debug.log"));
}

TEST_F(Logs, HourlyCheckComparesWholeSeconds)
{
    logEnabled = 1;
    logSizeCheckTick();
    growFile("/mnt/ubi0/log/VRL_Book.log", 5242881);
    clockAdvanceUs(3599LL * 1000000);
    timeThread();
    logSizeCheckTick();
    EXPECT_FALSE(exists("/mnt/ubi0/log/VRL_Book.log.1"));
    clockAdvanceUs(1000000);
    timeThread();
    logSizeCheckTick();
    EXPECT_TRUE(exists("/mnt/ubi0/log/VRL_Book.log.1"));
}

TEST_F(Logs, EraseCommandLeavesOnlyTheStartLine)
{
    logEnabled = 1;
    logInfo("old line");
    EXPECT_EQ(restartBookLog(), 1);
    std::regex only("\\[TaRN_FM\\] [0-9/:-]{20}INFO: STARTED BOOK LOG\n");
    std::string book = readSandboxFile("/mnt/ubi0/log/VRL_Book.log");
    EXPECT_TRUE(std::regex_match(book, only)) << book;
    EXPECT_EQ(restartEventLog(), 1);
    EXPECT_NE(readSandboxFile("/mnt/ubi0/log/VRL_Event.log").find("INFO: STARTED EVENT LOG"), std::string::npos);
}

TEST_F(Logs, WritersRaceRotationAndRestartSafely)
{
    logEnabled = 1;
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; t++)
        writers.emplace_back([&, t] {
            while (!stop.load()) {
                logInfo("writer %d", t);
                logEvent("event %d", t);
            }
        });
    for (int i = 0; i < 200; i++) {
        growFile("/mnt/ubi0/log/VRL_Book.log", 5242881);
        checkBookLogSize();
        restartEventLog();
    }
    stop = true;
    for (auto& w : writers)
        w.join();
    logInfo("still writing");
    EXPECT_NE(readSandboxFile("/mnt/ubi0/log/VRL_Book.log").find("still writing"), std::string::npos);
}

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// Standard error of the test process, collected in a file while it lives.
class StderrCapture {
public:
    StderrCapture() : path_(sysPath("/tmp/stderr.txt"))
    {
        fflush(stderr);
        saved_ = dup(2);
        int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        dup2(fd, 2);
        close(fd);
    }
    ~StderrCapture() { restore(); }
    std::string text()
    {
        fflush(stderr);
        std::ifstream in(path_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void restore()
    {
        if (saved_ < 0)
            return;
        fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }

private:
    std::string path_;
    int saved_ = -1;
};

TEST_F(Logs, FilesThatAreNotRegularAreIgnoredWithOneErrLine)
{
    // A FIFO would block the opening (the debug log has no reader, the
    // control file no writer); a link would make the daemon truncate the
    // file it leads to. The test ends by SIGALRM rather than hang.
    writeFile("/tmp/victim", "kept\n");
    for (const char* kind : {"fifo", "link"}) {
        SCOPED_TRACE(kind);
        closeLogs();
        unlink(sysPath("/mnt/ubi0/log/VRL_Book.log").c_str());
        for (const char* path : {"/dev/shm/.vrl_debug", "/dev/shm/vrl_debug.log"}) {
            unlink(sysPath(path).c_str());
            if (std::string(kind) == "fifo")
                ASSERT_EQ(mkfifo(sysPath(path).c_str(), 0644), 0);
            else
                ASSERT_EQ(symlink(sysPath("/tmp/victim").c_str(), sysPath(path).c_str()), 0);
        }
        debugModuleMask = 0;
        logsResetForTest();
        StderrCapture err;
        alarm(10);
        openLogs();
        logEnabled = 1;
        debugControlTick();
        logInfo("running");
        nextDebugTick();
        alarm(0);
        err.restore();
        DEBUG_PRINT(DBG_I2C, "no debug log\n");
        EXPECT_EQ(readSandboxFile("/tmp/victim"), "kept\n");
        std::string book = this->book();
        EXPECT_EQ(countOf(book, "ERR: "), 1u) << book;
        EXPECT_NE(book.find("ERR: /dev/shm/vrl_debug.log is not a regular file: it is ignored\n"), std::string::npos)
            << book;
        EXPECT_NE(book.find("INFO: running\n"), std::string::npos);
        EXPECT_EQ(countOf(err.text(), "is not a regular file"), 1u) << err.text();
        EXPECT_EQ(debugModuleMask.load(), 0u);
    }
}

TEST_F(Logs, LogFailuresAreSaidOnceAndTriedAgainHourly)
{
    logEnabled = 1;
    logSizeCheckTick(); // the hourly step's first pass
    // The book log cannot be opened: its folder is a file.
    closeLogs();
    std::string dir = sysPath("/mnt/ubi0/log");
    ASSERT_EQ(rename(dir.c_str(), (dir + ".away").c_str()), 0);
    writeFile("/mnt/ubi0/log", "");
    StderrCapture err;
    openLogs();
    logInfo("lost");
    logInfo("lost too");
    std::string said = err.text();
    EXPECT_EQ(countOf(said, "Cannot open the book log /mnt/ubi0/log/VRL_Book.log: Not a directory; tried again at "
                            "the hourly check\n"),
              1u)
        << said;
    EXPECT_EQ(countOf(said, "Cannot open the event log"), 1u) << said;

    // It comes back at the hourly check, not before.
    unlink(dir.c_str());
    ASSERT_EQ(rename((dir + ".away").c_str(), dir.c_str()), 0);
    clockAdvanceUs(1800LL * 1000000);
    timeThread();
    logSizeCheckTick();
    logInfo("still lost");
    clockAdvanceUs(1800LL * 1000000);
    timeThread();
    logSizeCheckTick();
    logInfo("back");
    std::string book = this->book();
    EXPECT_EQ(book.find("lost"), std::string::npos) << book;
    EXPECT_NE(book.find("INFO: back\n"), std::string::npos) << book;
    EXPECT_NE(err.text().find("The book log /mnt/ubi0/log/VRL_Book.log is written again\n"), std::string::npos);

    // A write that fails (the file size limit here, a full disk on the
    // board) is said once on standard error and in the event log.
    growFile("/mnt/ubi0/log/VRL_Book.log", 4096); // above what the other files need
    struct stat sb;
    ASSERT_EQ(stat(sysPath("/mnt/ubi0/log/VRL_Book.log").c_str(), &sb), 0);
    struct rlimit old, small = {static_cast<rlim_t>(sb.st_size) + 10, RLIM_INFINITY};
    getrlimit(RLIMIT_FSIZE, &old);
    small.rlim_max = old.rlim_max;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 5; i++)
        logInfo("a line longer than the ten bytes left %d", i);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    said = err.text();
    EXPECT_EQ(countOf(said, "Cannot write the book log"), 1u) << said;
    EXPECT_EQ(countOf(eventLog(), "ERR: Cannot write the book log /mnt/ubi0/log/VRL_Book.log: File too large\n"), 1u)
        << eventLog();
}

} // namespace
