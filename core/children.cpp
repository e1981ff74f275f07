// Child processes and the helpers that run system programs.
#include "core/children.h"

#include "Config/keys/systemKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/commandTable.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "platform/paths.h"
#include "platform/programs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSupervisedCount = 3; // lumiro, appweb, snmpd: slots 0..2
constexpr const char* kSupervisedNames[kSupervisedCount] = {"lumiro", "appweb", "snmpd"};
// A supervised program is started again no sooner than this after its last start.
constexpr uint32_t kRestartGapCs = 100;
// The reaper also looks at its children this often without a wake-up, in
// case a child ended while no handler was installed.
constexpr uint32_t kSweepCs = 100;

struct Watched {
    pid_t pid;
    int slot; // -1: no slot
};

struct Supervision {
    bool pending;         // ended (or failed to start) and waiting for its restart
    uint32_t lastStartCs; // hundredths clock of the last start attempt
};

struct ChildrenState {
    std::mutex lock;
    int32_t childPids[CHILD_SLOT_COUNT] = {};
    std::vector<Watched> watched;
    Supervision sup[kSupervisedCount] = {};
    uint32_t lastSweepCs = 0;
    std::atomic<bool> recheck{false};
    // Set by the SIGCHLD handler (a lock-free store is async-signal-safe);
    // taken by serviceChildren on the main loop.
    std::atomic<bool> childEnded{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::atomic<int> failForks{0};
};

// Constant-initialised, so the signal handler never runs a first-use guard.
constinit ChildrenState state;

ChildrenState& st()
{
    return state;
}

// An argument or environment vector built before fork, so the child only
// reads it.
struct CVector {
    std::vector<std::string> strings;
    std::vector<char*> ptrs;
    void add(const std::string& s) { strings.push_back(s); }
    char* const* get()
    {
        ptrs.clear();
        for (std::string& s : strings)
            ptrs.push_back(s.data());
        ptrs.push_back(nullptr);
        return ptrs.data();
    }
};

void writeIgnoringResult(int fd, const void* data, size_t len)
{
    if (write(fd, data, len) < 0) {
        // Nothing to do about it in a child about to end.
    }
}

// Marks every descriptor above the standard streams close-on-exec.
// Async-signal-safe.
void closeOnExecAbove2()
{
#ifdef CLOSE_RANGE_CLOEXEC
    if (close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) == 0)
        return;
#endif
    for (int fd = 3; fd < 1024; fd++)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// fork and exec. Between the two the child only makes async-signal-safe
// calls: another thread of the daemon may hold any lock at the fork.
pid_t forkExec(const char* path, char* const argv[], char* const envp[], int stdoutFd, const char* failMessage,
               int errFd)
{
    if (st().failForks.load() > 0) {
        st().failForks--;
        errno = EAGAIN;
        return -1;
    }
    size_t failLen = failMessage ? strlen(failMessage) : 0;
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, nullptr);
    if (stdoutFd >= 0 && stdoutFd != STDOUT_FILENO)
        dup2(stdoutFd, STDOUT_FILENO);
    // Nothing but the standard streams reaches the program: a long-running
    // child must not hold the daemon's sockets and devices open.
    closeOnExecAbove2();
    execve(path, argv, envp);
    int err = errno;
    if (errFd >= 0)
        writeIgnoringResult(errFd, &err, sizeof err);
    if (failLen)
        writeIgnoringResult(STDOUT_FILENO, failMessage, failLen);
    _exit(1);
}

pid_t spawnVector(const char* program, CVector* args, const char* failMessage, int stdoutFd, int errFd)
{
    std::string path = programPath(program);
    CVector env;
    for (const std::string& e : programEnvironment())
        env.add(e);
    return forkExec(path.c_str(), args->get(), env.get(), stdoutFd, failMessage, errFd);
}

CVector argVector(const char* const argv[])
{
    CVector v;
    for (int i = 0; argv[i]; i++)
        v.add(argv[i]);
    return v;
}

// Under the lock.
void watchLocked(pid_t pid, int slot)
{
    st().watched.push_back(Watched{pid, slot});
    // The child may have ended before it was registered; look again.
    st().recheck.store(true);
}

pid_t startProcessIn(const char* name, int slot)
{
    logWarn("Start process %s", name);
    CVector args;
    std::string program;
    if (!strncmp(name, "snmpd", 5)) {
        program = "/usr/local/sbin/snmpd";
        for (const char* a : {name, "-f", "-p", "/tmp/snmp_pidfile"})
            args.add(a);
    } else if (!strncmp(name, "vrl_dvbs_mng", 12)) {
        // Program and argument split at the first blank, at most 31
        // characters each; the argument is passed as one word.
        const char* blank = strchr(name, ' ');
        size_t progLen = blank ? static_cast<size_t>(blank - name) : strlen(name);
        program.assign(name, std::min<size_t>(progLen, 31));
        args.add(program);
        if (blank)
            args.add(std::string(blank + 1).substr(0, 31));
    } else if (!strncmp(name, "appweb", 6)) {
        program = "/usr/local/lib/appweb/bin/appweb";
        for (const char* a : {name, "--config", "/usr/local/conf/appweb.conf"})
            args.add(a);
    } else {
        program = name;
        args.add(name);
    }
    std::lock_guard<std::mutex> g(st().lock);
    pid_t pid = spawnVector(program.c_str(), &args, nullptr, -1, -1);
    if (pid < 0) {
        logErr("Cannot start process %s", name);
        logInfo("Error: Calling failure [fork]");
        return -1;
    }
    logInfo("Creating process %s", name);
    watchLocked(pid, slot);
    return pid;
}

// Starts a supervised program into its slot; a failed start stays due for a
// retry.
pid_t startSupervised(int slot)
{
    pid_t pid = startProcessIn(kSupervisedNames[slot], slot);
    std::lock_guard<std::mutex> g(st().lock);
    st().childPids[slot] = pid;
    st().sup[slot].lastStartCs = getDeadlineCs(0);
    st().sup[slot].pending = pid < 0;
    return pid;
}

int reapWatched()
{
    std::vector<Watched> ended;
    {
        std::lock_guard<std::mutex> g(st().lock);
        auto& w = st().watched;
        for (size_t i = 0; i < w.size();) {
            int status;
            pid_t r = waitpid(w[i].pid, &status, WNOHANG);
            // ECHILD: already collected by someone else; it has ended all the same.
            if (r == w[i].pid || (r < 0 && errno == ECHILD)) {
                ended.push_back(w[i]);
                if (w[i].slot == CHILD_MDEV) {
                    st().childPids[CHILD_MDEV] = 0;
                    setMdevProcState(2);
                } else if (w[i].slot >= 0 && w[i].slot < kSupervisedCount) {
                    st().childPids[w[i].slot] = 0;
                    st().sup[w[i].slot].pending = true;
                }
                w.erase(w.begin() + static_cast<long>(i));
            } else {
                i++;
            }
        }
    }
    for (const Watched& e : ended) {
        printf("\nChild = %d -- terminated \n", e.pid);
        if (e.slot == CHILD_LUMIRO || e.slot == CHILD_APPWEB)
            printf("handler_sigchld: %s - Kill Pid = %d\n", kSupervisedNames[e.slot], e.pid);
        else if (e.slot == CHILD_SNMPD)
            printf("handler_sigchld: snmpd %d\n", e.pid);
    }
    if (!ended.empty())
        fflush(stdout);
    return static_cast<int>(ended.size());
}

void restartDue()
{
    bool due[kSupervisedCount] = {};
    {
        std::lock_guard<std::mutex> g(st().lock);
        for (int slot = 0; slot < kSupervisedCount; slot++)
            due[slot] = st().sup[slot].pending &&
                        checkDeadlineCs(0, st().sup[slot].lastStartCs + kRestartGapCs, nullptr) == -1;
    }
    for (int slot = 0; slot < kSupervisedCount; slot++) {
        if (!due[slot])
            continue;
        pid_t pid = startSupervised(slot);
        printf("handler_sigchld: Restart %s new Pid = %d\n", kSupervisedNames[slot], pid);
        fflush(stdout);
    }
}

void runKillall(const char* const names[], const char* logLine)
{
    CVector args;
    args.add("killall");
    for (int i = 0; names[i]; i++)
        args.add(names[i]);
    pid_t pid = spawnVector("killall", &args, nullptr, -1, -1);
    if (pid > 0)
        waitProgram(pid);
    logInfo("%s", logLine);
}

} // namespace

int32_t getChildPid(int slot)
{
    if (slot < 0 || slot >= CHILD_SLOT_COUNT)
        return 0;
    std::lock_guard<std::mutex> g(st().lock);
    return st().childPids[slot];
}

void registerChildPid(int slot, pid_t pid)
{
    if (slot < 0 || slot >= CHILD_SLOT_COUNT)
        return;
    std::lock_guard<std::mutex> g(st().lock);
    st().childPids[slot] = pid;
    if (pid > 0)
        watchLocked(pid, slot);
}

void watchChild(pid_t pid)
{
    if (pid <= 0)
        return;
    std::lock_guard<std::mutex> g(st().lock);
    watchLocked(pid, -1);
}

pid_t startProcess(const char* name)
{
    return startProcessIn(name, -1);
}

void handler_sigchld(int)
{
    st().childEnded.store(true, std::memory_order_release);
}

void initChildEnvironment()
{
    struct sigaction sa = {};
    sa.sa_handler = handler_sigchld;
    sigemptyset(&sa.sa_mask);
    // The handler does no work of its own any more, so an interrupted
    // system call of another thread gains nothing from failing with EINTR.
    sa.sa_flags = SA_RESTART;
    sigaction(SIGCHLD, &sa, nullptr);
    setenv("LD_LIBRARY_PATH", "/lib/:/usr/lib/:/usr/local/lib/", 1);
    setenv("SNMP_PERSISTENT_DIR", "/usr/local/share/snmp", 1);
    for (int slot = 0; slot < kSupervisedCount; slot++) {
        pid_t pid = startSupervised(slot);
        printf("\n>> Proc '%s' started with pid=%d\n", kSupervisedNames[slot], pid);
    }
    fflush(stdout);
}

void VrlUnitInit()
{
    LogicaTx_Init();
    killallChildren();
    initChildEnvironment();
    initCommandTable();
}

void killallChildren()
{
    static const char* const names[] = {"lumiro", "appweb", "snmpd", "ntpclient", nullptr};
    runKillall(names, "VrlUnitInit: lumiro appweb snmpd ntpclient - killall");
}

void stopChildren()
{
    killallChildren();
}

void killNtpClient()
{
    static const char* const names[] = {"ntpclient", nullptr};
    runKillall(names, "VrlUnitInit: ntpclient - killall");
}

void killSnmpd()
{
    static const char* const names[] = {"snmpd", nullptr};
    runKillall(names, "VrlUnitInit: snmpd - killall");
}

int launchMdevRestart()
{
    std::lock_guard<std::mutex> g(st().lock);
    if (st().childPids[CHILD_MDEV] != 0) {
        setMdevProcState(0);
        return -1;
    }
    CVector args;
    args.add("mdev");
    args.add("-s");
    pid_t pid = spawnVector("/sbin/mdev", &args, nullptr, -1, -1);
    if (pid < 0) {
        // The slot stays free: a failed fork must not refuse every later request.
        logErr("%s failed: cannot create process", "launchMdevRestart");
        return -1;
    }
    st().childPids[CHILD_MDEV] = pid;
    watchLocked(pid, CHILD_MDEV);
    logInfo("Restart mdev process");
    setMdevProcState(4);
    return 0;
}

namespace {

// Result of a clock program: 0 when it ran and ended with status 0, -2 when
// fork failed, 1 when it could not be executed or ended with another status.
int clockProgramResult(const char* program, const char* const argv[])
{
    int r = runProgramWait(program, argv);
    if (r == -2)
        return -2;
    return r == 0 ? 0 : 1;
}

} // namespace

int runNtpdate(int setHwClock)
{
    // The field holds up to 256 characters and need not end with a zero.
    char server[257];
    snprintf(server, sizeof server, "%.256s", getNTPNameServer());
    char cmd[512];
    snprintf(cmd, sizeof cmd, "ntpdate -u %s", server);
    printf("\nlaunch ntpdate cmd=%s ... \n", cmd);
    const char* const ntpArgs[] = {"ntpdate", "-u", server, nullptr};
    // A missing program or an unreachable server leaves the clock
    // unsynchronised: the hardware clock must not be set from it.
    int result = clockProgramResult("/usr/sbin/ntpdate", ntpArgs);
    if (result != 0) {
        setNtpDateError(1);
        printf("launch ntpdate cmd=%s ... FAILED \n", cmd);
        fflush(stdout);
        return result;
    }
    setNtpDateError(0);
    printf("launch ntpdate cmd=%s ... OK \n", cmd);
    if (setHwClock) {
        const char* const hwArgs[] = {"hwclock", "-w", "-u", nullptr};
        result = clockProgramResult("/sbin/hwclock", hwArgs);
        logInfo("System time changed");
        // Only a hardware clock that was written is reported as changed.
        if (result == 0)
            printf("RTC System time changed ");
    }
    fflush(stdout);
    return result;
}

int serviceChildren()
{
    bool sweep = st().childEnded.exchange(false, std::memory_order_acq_rel);
    sweep = st().recheck.exchange(false) || sweep;
    uint32_t now = getDeadlineCs(0);
    if (now - st().lastSweepCs >= kSweepCs)
        sweep = true;
    int reaped = 0;
    if (sweep) {
        st().lastSweepCs = now;
        reaped = reapWatched();
    }
    restartDue();
    return reaped;
}

pid_t spawnProgram(const char* program, const char* const argv[], const char* failMessage, int stdoutFd,
                   int execErrFd)
{
    CVector args = argVector(argv);
    return spawnVector(program, &args, failMessage, stdoutFd, execErrFd);
}

int waitProgram(pid_t pid)
{
    return waitChildStatus(pid);
}

int pollProgram(pid_t pid, int* status)
{
    int raw;
    pid_t r;
    do {
        r = waitpid(pid, &raw, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return 0;
    if (r != pid)
        return -1;
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
    return 1;
}

int runProgramWait(const char* program, const char* const argv[])
{
    // A close-on-exec pipe tells a program that could not be executed from
    // one that ran and failed: only a failed exec writes into it.
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0)
        return -2;
    CVector args = argVector(argv);
    pid_t pid = spawnVector(program, &args, nullptr, -1, errPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(errPipe[0]);
        return -2;
    }
    return waitExecuted(pid, errPipe[0]);
}

int waitExecuted(pid_t pid, int errFd)
{
    int err = 0;
    ssize_t n;
    do {
        n = read(errFd, &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(errFd);
    int status = waitProgram(pid);
    return n > 0 ? -1 : status;
}

void childrenFailNextForks(int count)
{
    st().failForks.store(count);
}
