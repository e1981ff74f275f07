#include "core/children.h"

#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"
#include "core/storage.h"
#include "platform/clock.h"
#include "sim/board.h"
#include "sim/programs.h"
#include "testing/sandboxTest.h"
#include "testing/testNetwork.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char kSnmpdLine[] = "snmpd -f -p /tmp/snmp_pidfile";

class Children : public SandboxTest {
protected:
    Children() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    void TearDown() override
    {
        // Stop the supervised programs without letting the reaper restart them.
        for (int slot : {CHILD_LUMIRO, CHILD_APPWEB, CHILD_SNMPD, CHILD_MDEV}) {
            pid_t pid = getChildPid(slot);
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
        SandboxTest::TearDown();
    }

    // Runs the reaper as the main loop does, moving the virtual clock on by
    // `stepUs` a pass, until `done` holds. Children run in real time.
    bool serviceUntil(const std::function<bool()>& done, int64_t stepUs = 10000, int passes = 1000)
    {
        for (int i = 0; i < passes; i++) {
            serviceChildren();
            if (done())
                return true;
            clockAdvanceUs(stepUs);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        return false;
    }

    int countCalls(const std::string& line)
    {
        auto calls = simStandInCalls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), line));
    }
    bool waitForCall(const std::string& line, int times = 1)
    {
        return serviceUntil([&] { return countCalls(line) >= times; }, 0);
    }
    // A sleeper stand-in has registered itself for the killall stand-in.
    bool waitForPidFile(const char* name, pid_t pid)
    {
        std::string f = host("/var/run/standin/") + name + "." + std::to_string(pid);
        return serviceUntil([&] { return access(f.c_str(), F_OK) == 0; }, 0);
    }
    bool bookHas(const std::string& text) { return book().find(text) != std::string::npos; }
    void setKnob(const char* name, const char* value)
    {
        simMakeDirs(host("/var/lib/standin/status").c_str());
        std::ofstream(host("/var/lib/standin/status/") + name) << value;
    }
};

// Zombie children of this process.
int zombieChildren()
{
    int zombies = 0;
    DIR* d = opendir("/proc");
    while (struct dirent* e = d ? readdir(d) : nullptr) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        // A process may end while it is looked at: plain reads, no throwing.
        char path[300], stat[512] = {};
        snprintf(path, sizeof path, "/proc/%s/stat", e->d_name);
        FILE* f = fopen(path, "r");
        if (!f)
            continue;
        size_t n = fread(stat, 1, sizeof stat - 1, f);
        fclose(f);
        stat[n] = 0;
        const char* close = strrchr(stat, ')');
        if (!close)
            continue;
        char state = 0;
        int ppid = 0;
        if (sscanf(close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid() && state == 'Z')
            zombies++;
    }
    if (d)
        closedir(d);
    return zombies;
}

} // namespace

TEST_F(Children, StartProcessArgumentVectors)
{
    const struct {
        const char* name;
        const char* recorded;
    } rows[] = {
        {"snmpd", kSnmpdLine},
        {"appweb", "appweb --config /usr/local/conf/appweb.conf"},
        {"vrl_dvbs_mng 2", "vrl_dvbs_mng 2"},
        // Everything after the first blank is the one argument.
        {"vrl_dvbs_mng -c 3", "vrl_dvbs_mng -c 3"},
        {"lumiro", "lumiro"},
    };
    std::vector<pid_t> pids;
    for (const auto& r : rows) {
        pid_t pid = startProcess(r.name);
        ASSERT_GT(pid, 0) << r.name;
        pids.push_back(pid);
        EXPECT_TRUE(waitForCall(r.recorded)) << r.name;
        EXPECT_TRUE(bookHas(std::string("WARN: Start process ") + r.name + "\n")) << r.name;
        EXPECT_TRUE(bookHas(std::string("INFO: Creating process ") + r.name + "\n")) << r.name;
    }
    // Children started by name are reaped, and none of them is restarted.
    for (pid_t pid : pids)
        kill(pid, SIGKILL);
    EXPECT_TRUE(serviceUntil([] { return zombieChildren() == 0; }));
    clockAdvanceUs(5000000);
    serviceChildren();
    EXPECT_EQ(countCalls(kSnmpdLine), 1);
}

TEST_F(Children, SupervisedProgramIsRestartedWithItsArguments)
{
    testing::internal::CaptureStdout();
    initChildEnvironment();
    pid_t lumiro = getChildPid(CHILD_LUMIRO), appweb = getChildPid(CHILD_APPWEB), snmpd = getChildPid(CHILD_SNMPD);
    ASSERT_GT(lumiro, 0);
    ASSERT_GT(appweb, 0);
    ASSERT_GT(snmpd, 0);
    EXPECT_STREQ(getenv("LD_LIBRARY_PATH"), "/lib/:/usr/lib/:/usr/local/lib/");
    EXPECT_STREQ(getenv("SNMP_PERSISTENT_DIR"), "/usr/local/share/snmp");
    ASSERT_TRUE(waitForCall(kSnmpdLine));

    kill(snmpd, SIGTERM);
    ASSERT_TRUE(serviceUntil([&] { return getChildPid(CHILD_SNMPD) > 0 && getChildPid(CHILD_SNMPD) != snmpd; }));
    pid_t again = getChildPid(CHILD_SNMPD);
    EXPECT_TRUE(waitForCall(kSnmpdLine, 2));
    EXPECT_EQ(getChildPid(CHILD_LUMIRO), lumiro);
    EXPECT_EQ(getChildPid(CHILD_APPWEB), appweb);

    kill(appweb, SIGTERM);
    ASSERT_TRUE(serviceUntil([&] { return getChildPid(CHILD_APPWEB) > 0 && getChildPid(CHILD_APPWEB) != appweb; }));
    EXPECT_TRUE(waitForCall("appweb --config /usr/local/conf/appweb.conf", 2));

    std::string out = testing::internal::GetCapturedStdout();
    char expect[7][96];
    snprintf(expect[0], 96, "\n>> Proc 'lumiro' started with pid=%d\n", lumiro);
    snprintf(expect[1], 96, "\n>> Proc 'appweb' started with pid=%d\n", appweb);
    snprintf(expect[2], 96, "\n>> Proc 'snmpd' started with pid=%d\n", snmpd);
    snprintf(expect[3], 96, "\nChild = %d -- terminated \nhandler_sigchld: snmpd %d\n", snmpd, snmpd);
    snprintf(expect[4], 96, "handler_sigchld: Restart snmpd new Pid = %d\n", again);
    snprintf(expect[5], 96, "\nChild = %d -- terminated \nhandler_sigchld: appweb - Kill Pid = %d\n", appweb, appweb);
    snprintf(expect[6], 96, "handler_sigchld: Restart appweb new Pid = %d\n", getChildPid(CHILD_APPWEB));
    size_t at = 0;
    for (const char* e : expect) {
        size_t found = out.find(e, at);
        EXPECT_NE(found, std::string::npos) << e << "\nin:\n" << out;
        if (found != std::string::npos)
            at = found;
    }
}

TEST_F(Children, KillSnmpdRestartsOnlySnmpd)
{
    initChildEnvironment();
    pid_t snmpd = getChildPid(CHILD_SNMPD), lumiro = getChildPid(CHILD_LUMIRO);
    ASSERT_TRUE(waitForPidFile("snmpd", snmpd));
    killSnmpd();
    EXPECT_TRUE(bookHas("INFO: VrlUnitInit: snmpd - killall\n"));
    EXPECT_EQ(countCalls("killall snmpd"), 1);
    ASSERT_TRUE(serviceUntil([&] { return getChildPid(CHILD_SNMPD) > 0 && getChildPid(CHILD_SNMPD) != snmpd; }));
    EXPECT_TRUE(waitForCall(kSnmpdLine, 2));
    EXPECT_EQ(getChildPid(CHILD_LUMIRO), lumiro);

    killNtpClient();
    EXPECT_TRUE(bookHas("INFO: VrlUnitInit: ntpclient - killall\n"));
    EXPECT_EQ(countCalls("killall ntpclient"), 1);
}

TEST_F(Children, KillingEverySupervisedProgramAtOnceLeavesNoZombie)
{
    initChildEnvironment();
    ASSERT_EQ(launchMdevRestart(), 0);
    pid_t oneShot = startProcess("vrl_dvbs_mng 2");
    ASSERT_GT(oneShot, 0);
    pid_t old[3];
    for (int slot = 0; slot < 3; slot++) {
        old[slot] = getChildPid(slot);
        ASSERT_GT(old[slot], 0);
    }
    for (pid_t pid : old)
        kill(pid, SIGKILL);
    ASSERT_TRUE(serviceUntil([&] {
        for (int slot = 0; slot < 3; slot++) {
            if (getChildPid(slot) <= 0 || getChildPid(slot) == old[slot])
                return false;
        }
        return getMdevProcState() == 2;
    }));
    EXPECT_EQ(getChildPid(CHILD_MDEV), 0);
    // Every ended child has been collected; the restarted ones are alive.
    EXPECT_TRUE(serviceUntil([] { return zombieChildren() == 0; }, 0));
    for (int slot = 0; slot < 3; slot++)
        EXPECT_EQ(kill(getChildPid(slot), 0), 0);
}

TEST_F(Children, MissingProgramIsRetriedAtMostOnceASecond)
{
    unlink(host("/usr/local/sbin/snmpd").c_str());
    initChildEnvironment();
    // Three seconds of virtual time in 10 ms passes: the program fails at
    // once each time, and is started again only after a second.
    std::vector<std::pair<pid_t, int64_t>> starts;
    int64_t elapsedUs = 0;
    pid_t last = getChildPid(CHILD_SNMPD);
    starts.push_back({last, 0});
    for (int pass = 0; pass < 300; pass++) {
        serviceChildren();
        pid_t now = getChildPid(CHILD_SNMPD);
        if (now > 0 && now != last) {
            starts.push_back({now, elapsedUs});
            last = now;
        }
        clockAdvanceUs(10000);
        elapsedUs += 10000;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GE(starts.size(), 2u);
    EXPECT_LE(starts.size(), 3u);
    for (size_t i = 1; i < starts.size(); i++)
        EXPECT_GT(starts[i].second - starts[i - 1].second, 1000000) << i;
    EXPECT_EQ(countCalls(kSnmpdLine), 0);

    // Once the program is back, the next restart keeps it running.
    simInstallPrograms();
    EXPECT_TRUE(waitForCall(kSnmpdLine) || serviceUntil([&] { return countCalls(kSnmpdLine) > 0; }));
    pid_t running = getChildPid(CHILD_SNMPD);
    clockAdvanceUs(3000000);
    serviceChildren();
    EXPECT_EQ(getChildPid(CHILD_SNMPD), running);
}

TEST_F(Children, FailedForkKeepsTheProgramSupervised)
{
    testing::internal::CaptureStdout();
    childrenFailNextForks(1);
    initChildEnvironment();
    EXPECT_EQ(getChildPid(CHILD_LUMIRO), -1);
    EXPECT_GT(getChildPid(CHILD_APPWEB), 0);
    EXPECT_TRUE(bookHas("ERR: Cannot start process lumiro\n"));
    EXPECT_TRUE(bookHas("INFO: Error: Calling failure [fork]\n"));
    serviceChildren();
    EXPECT_EQ(getChildPid(CHILD_LUMIRO), -1); // not before a second has passed
    clockAdvanceUs(1100000);
    serviceChildren();
    pid_t lumiro = getChildPid(CHILD_LUMIRO);
    EXPECT_GT(lumiro, 0);
    EXPECT_TRUE(waitForCall("lumiro"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\n>> Proc 'lumiro' started with pid=-1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("handler_sigchld: Restart lumiro new Pid = " + std::to_string(lumiro) + "\n"),
              std::string::npos)
        << out;
}

TEST_F(Children, MdevRestartRunsOneAtATime)
{
    EXPECT_EQ(launchMdevRestart(), 0);
    EXPECT_EQ(getMdevProcState(), 4u);
    EXPECT_TRUE(bookHas("INFO: Restart mdev process\n"));
    EXPECT_GT(getChildPid(CHILD_MDEV), 0);
    // Refused while the first run has not been collected.
    EXPECT_EQ(launchMdevRestart(), -1);
    EXPECT_EQ(getMdevProcState(), 0u);
    ASSERT_TRUE(serviceUntil([] { return getMdevProcState() == 2; }));
    EXPECT_EQ(getChildPid(CHILD_MDEV), 0);
    EXPECT_EQ(countCalls("mdev -s"), 1);

    // A failed fork leaves the slot free for the next request.
    childrenFailNextForks(1);
    EXPECT_EQ(launchMdevRestart(), -1);
    EXPECT_TRUE(bookHas("ERR: launchMdevRestart failed: cannot create process\n"));
    EXPECT_EQ(getChildPid(CHILD_MDEV), 0);
    EXPECT_EQ(launchMdevRestart(), 0);
    EXPECT_TRUE(waitForCall("mdev -s", 2));
}

TEST_F(Children, NtpdateFailuresAreReportedAndKeepTheHardwareClock)
{
    strcpy(getNTPNameServer(), "pool.ntp.example");
    const std::string launch = "launch ntpdate cmd=ntpdate -u pool.ntp.example ... ";
    struct Case {
        const char* name;
        std::function<void()> arrange;
        int result;
        uint32_t ntpError;
        bool hwclockRuns;
        std::string out; // after the launch line
    } cases[] = {
        {"synchronised", [] {}, 0, 0, true, launch + "OK \nRTC System time changed "},
        {"ntpdate fails", [&] { setKnob("ntpdate", "1"); }, 1, 1, false, launch + "FAILED \n"},
        {"ntpdate missing", [&] { unlink(host("/usr/sbin/ntpdate").c_str()); }, 1, 1, false, launch + "FAILED \n"},
        {"fork fails", [] { childrenFailNextForks(1); }, -2, 1, false, launch + "FAILED \n"},
        // ntpdate set the system time; the hardware clock was not written.
        {"hwclock fails", [&] { setKnob("hwclock", "1"); }, 1, 0, true, launch + "OK \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simInstallPrograms();
        std::remove(host("/var/lib/standin/status/ntpdate").c_str());
        std::remove(host("/var/lib/standin/status/hwclock").c_str());
        setNtpDateError(c.ntpError ? 0 : 1); // the run must set it
        c.arrange();
        int hwclockBefore = countCalls("hwclock -w -u");
        size_t changedBefore = book().size();
        testing::internal::CaptureStdout();
        EXPECT_EQ(runNtpdate(1), c.result);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "\n" + launch + "\n" + c.out);
        EXPECT_EQ(getNtpDateError(), c.ntpError);
        EXPECT_EQ(countCalls("hwclock -w -u") - hwclockBefore, c.hwclockRuns ? 1 : 0);
        EXPECT_EQ(book().find("INFO: System time changed\n", changedBefore) != std::string::npos, c.hwclockRuns);
    }
    // Without the hardware-clock flag a synchronised clock leaves the RTC alone.
    simInstallPrograms();
    testing::internal::CaptureStdout();
    EXPECT_EQ(runNtpdate(0), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(countCalls("ntpdate -u pool.ntp.example"), 4);
    EXPECT_EQ(countCalls("hwclock -w -u"), 2);
}

TEST_F(Children, ServerNameIsOneArgumentNeverAShellCommand)
{
    strcpy(getNTPNameServer(), "x; touch /tmp/owned");
    testing::internal::CaptureStdout();
    EXPECT_EQ(runNtpdate(0), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(countCalls("ntpdate -u x; touch /tmp/owned"), 1);
    EXPECT_NE(access(host("/tmp/owned").c_str(), F_OK), 0);
    EXPECT_NE(access("/tmp/owned", F_OK), 0);
}

TEST_F(Children, RunProgramWaitResults)
{
    std::ofstream(host("/usr/bin/exit3")) << "#!/bin/sh\nexit 3\n";
    chmod(host("/usr/bin/exit3").c_str(), 0755);
    const char* const argv[] = {"exit3", nullptr};
    EXPECT_EQ(runProgramWait("exit3", argv), 3);
    EXPECT_EQ(runProgramWait("/usr/bin/exit3", argv), 3);
    const char* const missing[] = {"nothere", nullptr};
    EXPECT_EQ(runProgramWait("nothere", missing), -1);
    EXPECT_EQ(runProgramWait("/usr/bin/nothere", missing), -1);
    childrenFailNextForks(1);
    EXPECT_EQ(runProgramWait("exit3", argv), -2);

    // A program the sandbox does not hold is never taken from the machine.
    const char* const trueArgs[] = {"true", nullptr};
    EXPECT_EQ(runProgramWait("true", trueArgs), -1);

    // Descriptors of the daemon never reach a program, close-on-exec or not.
    int leak[2];
    ASSERT_EQ(pipe(leak), 0);
    std::ofstream(host("/usr/bin/fdcheck")) << "#!/bin/sh\n[ -e /proc/$$/fd/" << leak[1] << " ] && exit 9\nexit 0\n";
    chmod(host("/usr/bin/fdcheck").c_str(), 0755);
    const char* const fdArgs[] = {"fdcheck", nullptr};
    EXPECT_EQ(runProgramWait("fdcheck", fdArgs), 0);
    close(leak[0]);
    close(leak[1]);

    // A child that cannot run its program says so on standard output.
    testing::internal::CaptureStdout();
    pid_t pid = spawnProgram("/usr/bin/nothere", missing, "Failed to run nothere");
    ASSERT_GT(pid, 0);
    EXPECT_EQ(waitProgram(pid), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to run nothere");
}

TEST_F(Children, SynchronousHelpersKeepTheirChildrenWhileTheReaperRestarts)
{
    // A helper that takes a while and answers with its own status, run over
    // and over beside a supervised program that keeps being killed and
    // restarted: no helper may lose its child to the reaper.
    std::ofstream(host("/usr/bin/slowtool")) << "#!/bin/sh\nsleep 0.02\nexit 3\n";
    chmod(host("/usr/bin/slowtool").c_str(), 0755);
    simMakeDirs(host("/usr/local/conf").c_str());
    initChildEnvironment();

    std::atomic<bool> stop{false};
    std::atomic<int> helperRuns{0}, helperFaults{0};
    std::thread helper([&] {
        const char* const argv[] = {"slowtool", nullptr};
        const char* const ln[] = {"ln", "-sf", "/usr/share/zoneinfo/Etc/GMT-1", "/usr/local/conf/localtime", nullptr};
        while (!stop) {
            if (runProgramWait("slowtool", argv) != 3)
                helperFaults++;
            if (runProgramWait("/bin/ln", ln) != 0 || runShellCommand("exit 5") != 5)
                helperFaults++;
            helperRuns++;
        }
    });
    int restarts = 0;
    for (int round = 0; round < 6; round++) {
        pid_t snmpd = getChildPid(CHILD_SNMPD);
        kill(snmpd, SIGKILL);
        if (serviceUntil([&] { return getChildPid(CHILD_SNMPD) > 0 && getChildPid(CHILD_SNMPD) != snmpd; }, 20000))
            restarts++;
    }
    stop = true;
    helper.join();
    EXPECT_EQ(restarts, 6);
    EXPECT_GT(helperRuns.load(), 3);
    EXPECT_EQ(helperFaults.load(), 0);
    char link[128] = {};
    ASSERT_GT(readlink(host("/usr/local/conf/localtime").c_str(), link, sizeof link - 1), 0);
    EXPECT_STREQ(link, "/usr/share/zoneinfo/Etc/GMT-1");
}

TEST_F(Children, VrlUnitInitKillsLeftoversBeforeStarting)
{
    // The start-up opens the link channels: the socket channel binds on eth1.
    if (!enterBoardNetwork())
        GTEST_SKIP() << "no network namespace";
    // A snmpd left over from an earlier run of the daemon.
    const char* const argv[] = {"snmpd", nullptr};
    pid_t leftover = spawnProgram("/usr/local/sbin/snmpd", argv);
    ASSERT_GT(leftover, 0);
    ASSERT_TRUE(waitForPidFile("snmpd", leftover));
    VrlUnitInit();
    EXPECT_EQ(waitpid(leftover, nullptr, 0), leftover);
    auto calls = simStandInCalls();
    auto killall = std::find(calls.begin(), calls.end(), "killall lumiro appweb snmpd ntpclient");
    ASSERT_NE(killall, calls.end());
    std::string log = book();
    size_t killed = log.find("INFO: VrlUnitInit: lumiro appweb snmpd ntpclient - killall\n");
    ASSERT_NE(killed, std::string::npos);
    EXPECT_LT(killed, log.find("WARN: Start process lumiro\n"));
    EXPECT_LT(log.find("WARN: Start process lumiro\n"), log.find("WARN: Start process appweb\n"));
    EXPECT_LT(log.find("WARN: Start process appweb\n"), log.find("WARN: Start process snmpd\n"));
    EXPECT_TRUE(waitForCall(kSnmpdLine));
    for (int slot = 0; slot < 3; slot++)
        EXPECT_GT(getChildPid(slot), 0);
}
