// End-to-end: the real daemon in a fresh sandbox, in its own network and IPC
// namespaces, observed as systemd and an operator would see it.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <regex>
#include <sched.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string runForOutput(const std::vector<std::string>& args, int* status)
{
    int pipefd[2];
    if (pipe(pipefd) != 0)
        return "";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        close(pipefd[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(CORVANE_BIN));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // Safety: should a switch start the daemon, it starts in a sandbox.
        setenv("CORVANE_ROOT", "/tmp/corvane-test-cmdline", 1);
        execv(CORVANE_BIN, argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
    waitpid(pid, status, 0);
    return out;
}

const char* const kHelp = "Available parameters:\n<none>, test_perf_5m, test_perf_10m, ap_cmp, ap\n";

TEST(CommandLine, UnknownSwitchAndApWithAddressZeroPrintTheHelp)
{
    int status = -1;
    EXPECT_EQ(runForOutput({"foo"}, &status), kHelp);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(runForOutput({"ap", "0", "5"}, &status),
              std::string("Enabled audio processor axi test\nap_addr:0\nap_data:5\n") + kHelp);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Seconds of the day of a log line's "%Y/%m/%d-%H:%M:%S-" stamp.
int lineSeconds(const std::string& log, const std::string& text)
{
    size_t at = log.find(text);
    if (at == std::string::npos)
        return -1;
    size_t start = log.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    std::smatch m;
    std::string line = log.substr(start, at - start);
    if (!std::regex_search(line, m, std::regex("-(\\d\\d):(\\d\\d):(\\d\\d)-")))
        return -1;
    return std::stoi(m[1]) * 3600 + std::stoi(m[2]) * 60 + std::stoi(m[3]);
}

using Daemon = DaemonSandboxTest;

TEST_F(Daemon, BootsNotifiesReleasesMuteAndLogsACrash)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    EXPECT_EQ(nextNotify(2000), "READY=1");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(nextNotify(4000), "WATCHDOG=1");
    EXPECT_EQ(nextNotify(4000), "WATCHDOG=1");
    double apart = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(apart, 7.0);

    std::string bookPath = root + "/mnt/ubi0/log/VRL_Book.log";
    std::string book;
    waitUntil([&] {
        book = readFile(bookPath);
        return book.find("Remove GLOBAL MUTE") != std::string::npos;
    }, 6000);
    for (const char* line : {"INFO: Init Threads Timers\n", "INFO: Init TCP Socket\n", "INFO: TX Boot-Up Completed\n",
                             "INFO: Remove GLOBAL MUTE\n"})
        EXPECT_NE(book.find(line), std::string::npos) << line;
    EXPECT_NE(book.find("INFO: Main Thread: pid " + std::to_string(pid) + "\n"), std::string::npos);
    EXPECT_EQ(book.find("no configuration file store registered"), std::string::npos) << book;
    for (const char* thread : {"SaveConfig Thread", "UECP Rx Thread", "RDS Loop Thread", "Upgrade Thread",
                               "Ltx Thread", "Time Thread", "NTP Thread", "SPS Thread"})
        EXPECT_TRUE(std::regex_search(book, std::regex(std::string("INFO: ") + thread + ": pid \\d+\n"))) << thread;
    EXPECT_EQ(book.find("Gsm Thread"), std::string::npos);
    EXPECT_NE(readFile(root + "/mnt/ubi0/log/VRL_Event.log").find("INFO: TX Boot-Up Completed\n"),
              std::string::npos);
    int boot = lineSeconds(book, "TX Boot-Up Completed");
    int release = lineSeconds(book, "Remove GLOBAL MUTE");
    EXPECT_GE(release - boot, 3);
    EXPECT_LE(release - boot, 5);

    ASSERT_EQ(kill(pid, SIGSEGV), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    book = readFile(bookPath);
    size_t caught = book.find("INFO: Caught signal 11 (Segmentation fault)\n");
    ASSERT_NE(caught, std::string::npos) << book;
    EXPECT_NE(book.find("INFO: Top of handler stack near", caught), std::string::npos);
    EXPECT_NE(book.find("corvane(", caught), std::string::npos) << "no back-trace line";
    // The run's shared memory stayed in the sandbox.
    bool dbPoolInSandbox = false;
    if (DIR* d = opendir((root + "/dev/shm").c_str())) {
        while (struct dirent* e = readdir(d))
            dbPoolInSandbox |= std::string(e->d_name).find("DbPool") != std::string::npos;
        closedir(d);
    }
    EXPECT_TRUE(dbPoolInSandbox);
}

// Children of `parent` by name: pid and state letter from /proc/<pid>/stat.
std::vector<std::pair<pid_t, char>> childrenOf(pid_t parent, const std::string& name)
{
    std::vector<std::pair<pid_t, char>> found;
    DIR* d = opendir("/proc");
    if (!d)
        return found;
    while (struct dirent* e = readdir(d)) {
        pid_t p = static_cast<pid_t>(atoi(e->d_name));
        if (p <= 0)
            continue;
        std::string stat = readFile("/proc/" + std::to_string(p) + "/stat");
        size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size())
            continue;
        std::string comm = stat.substr(open + 1, close - open - 1);
        char state = stat[close + 2];
        pid_t ppid = static_cast<pid_t>(atoi(stat.c_str() + close + 4));
        if (ppid == parent && (name.empty() || comm == name))
            found.emplace_back(p, state);
    }
    closedir(d);
    return found;
}

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

TEST_F(Daemon, SupervisesItsCompanionPrograms)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(2000), "READY=1");
    std::string out = root + "/corvane.out";
    std::string standInLog = root + "/var/log/standin.log";
    const char* const snmpdRun = "snmpd -f -p /tmp/snmp_pidfile\n";
    // The agent is up once its stand-in has logged the run, not merely forked.
    std::vector<std::pair<pid_t, char>> snmpd;
    waitUntil([&] {
        snmpd = childrenOf(pid, "snmpd");
        return !snmpd.empty() && countOf(readFile(standInLog), snmpdRun) != 0;
    }, 5000);
    ASSERT_EQ(snmpd.size(), 1u);

    // A killed agent is restarted with its line and its arguments.
    kill(snmpd[0].first, SIGKILL);
    std::string restarted;
    waitUntil([&] {
        std::smatch m;
        std::string text = readFile(out);
        if (std::regex_search(text, m, std::regex("handler_sigchld: Restart snmpd new Pid = (\\d+)\n")))
            restarted = m[1];
        return !restarted.empty();
    }, 3000);
    ASSERT_FALSE(restarted.empty()) << readFile(out);
    EXPECT_NE(readFile(out).find("handler_sigchld: snmpd " + std::to_string(snmpd[0].first)), std::string::npos);
    size_t runs = 0;
    waitUntil([&] {
        runs = countOf(readFile(standInLog), snmpdRun);
        return runs >= 2;
    }, 2000);
    EXPECT_EQ(runs, 2u);
    auto now = childrenOf(pid, "snmpd");
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(std::to_string(now[0].first), restarted);

    // Every supervised program killed at once: all come back, no zombie stays.
    std::vector<pid_t> killed;
    for (const char* name : {"snmpd", "appweb", "lumiro"})
        for (auto& c : childrenOf(pid, name)) {
            kill(c.first, SIGKILL);
            killed.push_back(c.first);
        }
    // Restarts are paced at one a second per program: allow a loaded
    // machine a few seconds before every program is back and reaped.
    auto settled = [&] {
        for (auto& c : childrenOf(pid, ""))
            if (c.second == 'Z' || std::find(killed.begin(), killed.end(), c.first) != killed.end())
                return false;
        for (const char* name : {"snmpd", "appweb", "lumiro"})
            if (childrenOf(pid, name).size() != 1)
                return false;
        return true;
    };
    waitUntil(settled, 8000);
    for (auto& c : childrenOf(pid, ""))
        EXPECT_NE(c.second, 'Z') << "zombie child " << c.first;
    for (const char* name : {"snmpd", "appweb", "lumiro"})
        EXPECT_EQ(childrenOf(pid, name).size(), 1u) << name;

    // A program that cannot run is retried no faster than once a second.
    std::string program = root + "/usr/local/sbin/snmpd";
    ASSERT_EQ(rename(program.c_str(), (program + ".away").c_str()), 0);
    size_t before = countOf(readFile(root + "/mnt/ubi0/log/VRL_Book.log"), "Start process snmpd");
    for (auto& c : childrenOf(pid, "snmpd"))
        kill(c.first, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    size_t starts = countOf(readFile(root + "/mnt/ubi0/log/VRL_Book.log"), "Start process snmpd") - before;
    EXPECT_GE(starts, 2u);
    EXPECT_LE(starts, 4u);
}

// Waits up to limitMs for `done`, polling every 100 ms.
bool waitFor(const std::function<bool()>& done, int limitMs)
{
    for (int waited = 0; !done(); waited += 100) {
        if (waited >= limitMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

TEST_F(Daemon, FifosInPlaceOfTheDebugFilesBlockNothing)
{
    // Planted in /dev/shm they would block the opening of the debug log (no
    // READY) or of the control file (no WATCHDOG), at every restart.
    mkdir((root + "/dev").c_str(), 0755);
    mkdir((root + "/dev/shm").c_str(), 0755);
    ASSERT_EQ(mkfifo((root + "/dev/shm/.vrl_debug").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((root + "/dev/shm/vrl_debug.log").c_str(), 0644), 0);
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(5000), "READY=1");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(nextNotify(4000), "WATCHDOG=1");
    EXPECT_EQ(nextNotify(4000), "WATCHDOG=1");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 7.0);
    std::string book = readFile(root + "/mnt/ubi0/log/VRL_Book.log");
    EXPECT_EQ(countOf(book, "is not a regular file"), 1u) << book;
    EXPECT_NE(book.find("ERR: /dev/shm/vrl_debug.log is not a regular file: it is ignored\n"), std::string::npos);
}

TEST_F(Daemon, ReadOnlyLogFolderIsSaidOnceAndTheDaemonRuns)
{
    std::string logDir = root + "/mnt/ubi0/log";
    std::string cmd = "mkdir -p '" + logDir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    bool started = start([&] {
        return mount(logDir.c_str(), logDir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
               mount(nullptr, logDir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    });
    if (!started)
        GTEST_SKIP() << "no network, IPC and mount namespaces here; the daemon is not run outside them";
    EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(5000), "READY=1");
    EXPECT_EQ(nextNotify(4000), "WATCHDOG=1");
    EXPECT_EQ(nextNotify(4000), "WATCHDOG=1");
    std::string out = readFile(root + "/corvane.out");
    EXPECT_EQ(countOf(out, "Cannot open the book log /mnt/ubi0/log/VRL_Book.log: Read-only file system"), 1u) << out;
    EXPECT_EQ(countOf(out, "Cannot open the event log /mnt/ubi0/log/VRL_Event.log: Read-only file system"), 1u)
        << out;
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the daemon ended";
}

TEST_F(Daemon, SecondRunOnASandboxInUseIsRefused)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    ASSERT_EQ(nextNotify(5000), "READY=1");
    const char* const companions[] = {"snmpd", "appweb", "lumiro"};
    auto companionPids = [&] {
        std::vector<pid_t> pids;
        for (const char* name : companions)
            for (auto& c : childrenOf(pid, name))
                pids.push_back(c.first);
        return pids;
    };
    ASSERT_TRUE(waitFor([&] { return companionPids().size() == 3; }, 5000));
    std::vector<pid_t> before = companionPids();
    std::string pool;
    if (DIR* d = opendir((root + "/dev/shm").c_str())) {
        while (struct dirent* e = readdir(d))
            if (std::string(e->d_name).find("DbPool") != std::string::npos)
                pool = root + "/dev/shm/" + e->d_name;
        closedir(d);
    }
    struct stat poolBefore{}, poolAfter{};
    ASSERT_EQ(stat(pool.c_str(), &poolBefore), 0) << pool;

    auto t0 = std::chrono::steady_clock::now();
    std::string run = std::string("'" CORVANE_SOURCE_DIR "/run' --build '" CORVANE_TOOLS_DIR "' --root '") + root +
                      "' --seconds 5 2>&1";
    FILE* p = popen(("timeout 30 " + run).c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string said;
    char buf[256];
    while (fgets(buf, sizeof buf, p))
        said += buf;
    int status = pclose(p);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
    EXPECT_LT(took, 3.0);
    EXPECT_EQ(said, "./run: the sandbox " + root + " is in use by another daemon (it holds " + root +
                        "/run/daemon.lock)\n");

    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(companionPids(), before);
    ASSERT_EQ(stat(pool.c_str(), &poolAfter), 0);
    EXPECT_EQ(poolAfter.st_ino, poolBefore.st_ino);
    EXPECT_EQ(nextNotify(4000), "WATCHDOG=1") << "the first daemon lost its notification socket";
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the first daemon ended";
}

TEST_F(Daemon, FullDiskIsReportedWithoutABusError)
{
    // The sandbox is a 1 MiB tmpfs: too small for the simulated board.
    bool started = start([&] { return mount("full", root.c_str(), "tmpfs", 0, "size=1m") == 0; });
    if (!started)
        GTEST_SKIP() << "no network, IPC and mount namespaces here; the daemon is not run outside them";
    int status = 0;
    ASSERT_TRUE(waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 20000)) << "the daemon still runs";
    pid = -1;
    std::string out = readFile(root + "/corvane.out");
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << out;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(out.find("No space left on device"), std::string::npos) << out;
}

} // namespace
