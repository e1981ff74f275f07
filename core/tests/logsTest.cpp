#include "core/logs.h"
#include "core/timeBase.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
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

} // namespace
