// Storage set-up and shell commands.
#include "core/storage.h"

#include "alarms/logicaTxConfig.h"
#include "comtab/commandManager.h"
#include "core/children.h"
#include "core/files.h"
#include "core/base/logs.h"
#include "platform/io.h"
#include "platform/paths.h"
#include "platform/programs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kUbiDir = "/mnt/ubi0";
constexpr const char* kConfigDirs[] = {"/mnt/ubi0/log", "/mnt/ubi0/conf", "/mnt/ubi0/conf/hpa", "/mnt/ubi0/conf/rds",
                                       "/mnt/ubi0/conf/snmp"};
constexpr const char* kSnmpDefaults[] = {"snmpd.conf", "snmptrapd.conf", "acl", "trapsinks"};
constexpr const char* kWebDefaults[] = {"appweb.conf", "users.db", "groups.db"};
// The shell's command line, as the C library's popen builds it.
constexpr size_t kShellLineSize = 256;

int makeDir777(const char* dir)
{
    std::string p = sysPath(dir);
    if (mkdir(p.c_str(), 0777) != 0 || chmod(p.c_str(), 0777) != 0) {
        printf("Cannot create %s\n", dir);
        return -1;
    }
    return 0;
}

bool ubiMounted()
{
    FILE* f = fopen(sysPath("/proc/mounts").c_str(), "r");
    if (!f)
        return false;
    bool mounted = false;
    char line[1400];
    while (!mounted && fgets(line, sizeof line, f)) {
        char dev[65], dir[65], type[65], opts[1025];
        if (sscanf(line, "%64s %64s %64s %1024[^\n]", dev, dir, type, opts) == 4)
            mounted = !strcmp(dir, kUbiDir) && !strcmp(type, "ubifs");
    }
    fclose(f);
    return mounted;
}

// Starts one system tool. A child that cannot run it prints `childFail`; a
// failed fork prints `forkFail` and gives -1. `pidLine` (a format with the
// pid) is printed when given. With `execErrFd` the child reports a failed
// exec there (see spawnProgram).
pid_t startTool(const char* program, const char* const argv[], const char* childFail, const char* forkFail,
                const char* pidLine, int execErrFd = -1)
{
    fflush(stdout);
    pid_t pid = spawnProgram(program, argv, childFail, -1, execErrFd);
    if (pid < 0) {
        printf("%s", forkFail);
        return -1;
    }
    if (pidLine)
        printf(pidLine, pid);
    fflush(stdout);
    return pid;
}

// Runs one storage tool and waits for it. 0 when it ran and ended with
// status 0; -1 when fork failed; 1 when it could not be executed (the child
// printed `childFail`) or ended with another status. With `reportExit` a
// tool that ran and failed is reported with `childFail` too, so each failure
// of the step gives its line once.
int runStorageTool(const char* program, const char* const argv[], const char* childFail, const char* forkFail,
                   const char* pidLine, bool reportExit)
{
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        printf("%s", forkFail);
        return -1;
    }
    pid_t pid = startTool(program, argv, childFail, forkFail, pidLine, errPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(errPipe[0]);
        return -1;
    }
    int status = waitExecuted(pid, errPipe[0]);
    if (status == -1)
        return 1;
    if (status == 0)
        return 0;
    if (reportExit) {
        printf("%s", childFail);
        fflush(stdout);
    }
    return 1;
}

int mountConfigVolume(bool reportExit)
{
    static const char* const argv[] = {"mount", "-t", "ubifs", "ubi0:raw1", kUbiDir, nullptr};
    return runStorageTool("/bin/mount", argv, "Failed to mount Config MTD partition",
                          "Cannot mount Config MTD partition", nullptr, reportExit);
}

// Copies the default files that are missing from `dstDir`.
void copyDefaults(const char* srcDir, const char* dstDir, const char* const* names, size_t count)
{
    if (getPathType(srcDir) == 0)
        return;
    for (size_t i = 0; i < count; i++) {
        char src[512], dst[512];
        snprintf(src, sizeof src, "%s/%s", srcDir, names[i]);
        snprintf(dst, sizeof dst, "%s/%s", dstDir, names[i]);
        if (checkReadAccess(dst) != 0) {
            copyFile(src, dst);
            sync();
        }
    }
}

int writeI2cAttribute(const char* attribute, const char* text, const char* failLine)
{
    int r = writeStringToFile(attribute, text);
    if (r != 0)
        logErr("%s", failLine);
    return r;
}

} // namespace

int initStorage()
{
    ensureUbiMountDir();
    if (isUbiMounted() == 0)
        return 0;
    return mountUbi();
}

int ensureUbiMountDir()
{
    if (checkReadAccess(kUbiDir) != 0) {
        printf("Standby directory %s doesn't exist, so i create it\n", kUbiDir);
        return makeDir777(kUbiDir);
    }
    if (getPathType(kUbiDir) != 1) {
        printf("Standby directory %s isn't a directory, so i create it\n", kUbiDir);
        if (remove(sysPath(kUbiDir).c_str()) != 0) {
            printf("Cannot remove %s\n", kUbiDir);
            return -1;
        }
        return makeDir777(kUbiDir);
    }
    return 0;
}

int isUbiMounted()
{
    if (!ubiMounted())
        return -1;
    printf("UBI MTD partition mounted");
    return 0;
}

int mountUbi()
{
    int notAttached = ioAccess("/dev/ubi0", R_OK);
    if (notAttached != 0) {
        printf("Attach UBI/MTD Config partition");
        static const char* const argv[] = {"ubiattach", "-m", "14", nullptr};
        // Without an attached device there is nothing to mount.
        if (runStorageTool("/usr/sbin/ubiattach", argv, "Failed to attach Config MTD partition",
                           "Cannot attach Config MTD partition", "Child pid: %d\n", true) != 0)
            return -1;
    }
    printf("Mount UBI/MTD Config partition: ");
    int r = mountConfigVolume(false);
    if (r < 0)
        return -1;
    if (r == 0 && ubiMounted()) {
        printf("SUCCESS!");
        initConfigDirs();
        return 0;
    }
    if (notAttached == 0) {
        // The folders are not made on a bare mount point: they would land on
        // the root file system and vanish under the next good mount.
        printf("Failed!\n");
        fflush(stdout);
        return -1;
    }
    // A device attached just now on an empty flash has no volume yet.
    printf("Failed!\n Try to MkVol UBI Volume");
    static const char* const argv[] = {"ubimkvol", "/dev/ubi0", "-s", "99MiB", "--name=raw1", nullptr};
    r = runStorageTool("/usr/sbin/ubimkvol", argv, "Failed to create UBI Config Volume",
                       "Cannot create UBI Config Volume", nullptr, true);
    if (r < 0)
        return -1;
    if (r != 0)
        return notAttached;
    r = mountConfigVolume(true);
    if (r < 0)
        return -1;
    // A volume that ended up mounted gets its folders, or the logs of a
    // fresh unit would never open.
    if (r != 0 || !ubiMounted())
        return notAttached;
    initConfigDirs();
    return 0;
}

int initConfigDirs()
{
    for (const char* dir : kConfigDirs) {
        if (getPathType(dir) == 0 && makeDir777(dir) != 0)
            return -1;
    }
    copyDefaults("/usr/local/conf/snmp", "/mnt/ubi0/conf/snmp", kSnmpDefaults, std::size(kSnmpDefaults));
    copyDefaults("/usr/local/conf", "/mnt/ubi0/conf", kWebDefaults, std::size(kWebDefaults));
    return 0;
}

int prepareUserLogDir()
{
    static const char kLogDir[] = "/mnt/ubi0/log/";
    int existed = 1;
    if (checkReadAccess(kLogDir) != 0) {
        printf("User Log directory %s doesn't exist, so i create it\n", kLogDir);
        if (makeDir777(kLogDir) != 0)
            return -1;
        existed = 0;
    }
    printf("Restart Syslog service: ");
    static const char kFail[] = "Failed to restart Syslog service";
    static const char kForkFail[] = "Cannot restart Syslog service";
    static const char* const stopArgs[] = {"systemctl", "stop", "syslog", nullptr};
    // Only a failed fork stops the restart: stopping a syslog that does not
    // run may fail.
    if (runStorageTool("/bin/systemctl", stopArgs, kFail, kForkFail, "Child pid %d\n", false) < 0)
        return -1;
    static const char* const startArgs[] = {"syslogd", "-n", "-f", "/etc/syslog.conf", nullptr};
    pid_t pid = startTool("/sbin/syslogd", startArgs, kFail, kForkFail, "Child pid %d\n");
    if (pid < 0)
        return -1;
    // Not waited for here: the reaper collects it when it ends.
    watchChild(pid);
    return existed;
}

char* execShCmd(const char* command, char* output, size_t capacity)
{
    if (!command || !output || capacity == 0)
        return nullptr;
    char line[kShellLineSize];
    int n = snprintf(line, sizeof line, "%s  2>&1", command);
    if (n < 0 || static_cast<size_t>(n) >= sizeof line) {
        logErr("execShCmd(): command of %zu characters refused, the limit is %zu", strlen(command),
               kShellLineSize - sizeof "  2>&1");
        return nullptr;
    }
    output[0] = 0;
    int fds[2];
    pid_t pid = -1;
    std::string mapped = mapShellLine(line);
    if (pipe2(fds, O_CLOEXEC) == 0) {
        const char* const argv[] = {"sh", "-c", mapped.c_str(), nullptr};
        pid = spawnProgram("/bin/sh", argv, nullptr, fds[1]);
        close(fds[1]);
        if (pid < 0)
            close(fds[0]);
    }
    if (pid < 0) {
        printf("ERROR in execShCmd(): execution of '%s' failed (err=%i) ", line, -123);
        fflush(stdout);
        return nullptr;
    }
    // Read to the end even past the capacity, so the command never blocks on
    // a full pipe.
    size_t used = 0;
    char buf[256];
    for (;;) {
        ssize_t r = read(fds[0], buf, sizeof buf);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        size_t take = std::min(static_cast<size_t>(r), capacity - 1 - used);
        memcpy(output + used, buf, take);
        used += take;
    }
    output[used] = 0;
    close(fds[0]);
    waitProgram(pid);
    return output;
}

int runShellCommand(const char* commandLine)
{
    std::string mapped = mapShellLine(commandLine);
    const char* const argv[] = {"sh", "-c", mapped.c_str(), nullptr};
    return runProgramWait("/bin/sh", argv);
}

int linkFpgaImage(int onSpare, int request)
{
    char link[64];
    snprintf(link, sizeof link, "%s/usr/local/fpga/fpga.img", onSpare ? "/spare" : "");
    const char* target = getFunctionalType() == 10 ? "./fm_rep_fpga.img" : "./fm_fpga.img";
    const char* const argv[] = {"ln", "-sf", target, link, nullptr};
    int r = runProgramWait("/bin/ln", argv);
    if (r >= 0 && request)
        CMD_Request(6, 1);
    return r;
}

int insertI2cDriver(uint32_t address, const char* name)
{
    char text[64];
    snprintf(text, sizeof text, "%s 0x%X", name, address);
    return writeI2cAttribute("/sys/class/i2c-adapter/i2c-1/new_device", text, "FAIL inserting Linux driver");
}

int removeI2cDriver(uint32_t address)
{
    char text[16];
    snprintf(text, sizeof text, "0x%X", address);
    return writeI2cAttribute("/sys/class/i2c-adapter/i2c-1/delete_device", text, "FAIL removing Linux driver");
}
