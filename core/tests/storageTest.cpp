#include "core/storage.h"

#include "core/children.h"
#include "core/files.h"
#include "core/base/logs.h"
#include "sim/board.h"
#include "sim/programs.h"
#include "testing/sandboxTest.h"

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kMountLine[] = "mount -t ubifs ubi0:raw1 /mnt/ubi0";
const char* const kDirs[] = {"/mnt/ubi0/log", "/mnt/ubi0/conf", "/mnt/ubi0/conf/hpa", "/mnt/ubi0/conf/rds",
                             "/mnt/ubi0/conf/snmp"};
const char* const kDefaults[][2] = {
    {"/usr/local/conf/snmp/snmpd.conf", "/mnt/ubi0/conf/snmp/snmpd.conf"},
    {"/usr/local/conf/snmp/snmptrapd.conf", "/mnt/ubi0/conf/snmp/snmptrapd.conf"},
    {"/usr/local/conf/snmp/acl", "/mnt/ubi0/conf/snmp/acl"},
    {"/usr/local/conf/snmp/trapsinks", "/mnt/ubi0/conf/snmp/trapsinks"},
    {"/usr/local/conf/appweb.conf", "/mnt/ubi0/conf/appweb.conf"},
    {"/usr/local/conf/users.db", "/mnt/ubi0/conf/users.db"},
    {"/usr/local/conf/groups.db", "/mnt/ubi0/conf/groups.db"},
};

class Storage : public SandboxTest {
protected:
    void put(const char* absPath, const std::string& text)
    {
        std::string p = host(absPath);
        simMakeDirs(p.substr(0, p.rfind('/')).c_str());
        std::ofstream(p) << text;
    }
    // Runs the storage set-up and returns its result; `out` gets what it printed.
    int runInitStorage(std::string* out)
    {
        testing::internal::CaptureStdout();
        int r = initStorage();
        *out = testing::internal::GetCapturedStdout();
        return r;
    }
    // Replaces a stand-in by a tool that records its call and ends with
    // `status`.
    void failTool(const char* absPath, int status)
    {
        put(absPath, "#!/bin/sh\necho \"${0##*/} $*\" >> '" + host("/var/log/standin.log") + "'\nexit " +
                         std::to_string(status) + "\n");
        chmod(host(absPath).c_str(), 0755);
    }
    // What the storage set-up left under the mount point.
    std::vector<std::string> underMountPoint()
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(host("/mnt/ubi0").c_str())) {
            while (struct dirent* e = readdir(d))
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    void expectVolumeReady()
    {
        EXPECT_EQ(isUbiMounted(), 0);
        for (const char* d : kDirs)
            EXPECT_EQ(getPathType(d), 1) << d;
        for (const auto& f : kDefaults)
            EXPECT_EQ(readSandboxFile(f[1]), readSandboxFile(f[0])) << f[1];
    }
};

} // namespace

TEST_F(Storage, AlreadyMountedVolumeIsLeftAlone)
{
    put("/proc/mounts", "/dev/root / ext4 rw 0 0\nubi0:raw1 /mnt/ubi0 ubifs rw,relatime 0 0\n");
    std::string out;
    EXPECT_EQ(runInitStorage(&out), 0);
    EXPECT_TRUE(simStandInCalls().empty());
    EXPECT_EQ(out, "Standby directory /mnt/ubi0 doesn't exist, so i create it\nUBI MTD partition mounted");
    EXPECT_EQ(getPathType("/mnt/ubi0/conf"), 0); // the folders are not looked at
}

TEST_F(Storage, AttachedVolumeIsMountedAndFilled)
{
    put("/dev/ubi0", "");
    put("/var/lib/standin/ubi/raw1", "");
    simMakeDirs(host("/mnt/ubi0").c_str());
    put("/mnt/ubi0/conf/snmp/acl", "site acl");
    std::string out;
    EXPECT_EQ(runInitStorage(&out), 0);
    EXPECT_EQ(simStandInCalls(), std::vector<std::string>{kMountLine});
    EXPECT_EQ(out, "Mount UBI/MTD Config partition: SUCCESS!");
    for (const char* d : kDirs)
        EXPECT_EQ(getPathType(d), 1) << d;
    // An existing file is never replaced by its default.
    EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/snmp/acl"), "site acl");
    EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/snmp/trapsinks"), readSandboxFile("/usr/local/conf/snmp/trapsinks"));
    EXPECT_EQ(readSandboxFile("/mnt/ubi0/conf/users.db"), readSandboxFile("/usr/local/conf/users.db"));
    EXPECT_EQ(isUbiMounted(), 0);
    struct stat sb;
    ASSERT_EQ(stat(host("/mnt/ubi0/conf/rds").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0777u);
}

TEST_F(Storage, EmptyFlashIsAttachedMadeMountedAndFilled)
{
    std::string out;
    EXPECT_EQ(runInitStorage(&out), 0);
    std::vector<std::string> expected = {"ubiattach -m 14", kMountLine, "ubimkvol /dev/ubi0 -s 99MiB --name=raw1",
                                         kMountLine};
    EXPECT_EQ(simStandInCalls(), expected);
    EXPECT_NE(out.find("Attach UBI/MTD Config partitionChild pid: "), std::string::npos) << out;
    EXPECT_NE(out.find("\nMount UBI/MTD Config partition: Failed!\n Try to MkVol UBI Volume"), std::string::npos)
        << out;
    // The folders are made on the fresh volume too, so the logs can open.
    expectVolumeReady();
    openLogs();
    logEnabled = 1;
    logInfo("first line");
    closeLogs();
    EXPECT_NE(readSandboxFile("/mnt/ubi0/log/VRL_Book.log").find("first line"), std::string::npos);

    // The next start finds it mounted.
    simClearStandInCalls();
    EXPECT_EQ(runInitStorage(&out), 0);
    EXPECT_TRUE(simStandInCalls().empty());
}

TEST_F(Storage, AttachedVolumeThatCannotBeMountedIsAFailure)
{
    // A first start on an empty flash is killed between ubiattach and
    // ubimkvol: the device stays attached without its volume.
    put("/usr/sbin/ubimkvol", "#!/bin/sh\nkill -KILL $PPID\n");
    chmod(host("/usr/sbin/ubimkvol").c_str(), 0755);
    fflush(stdout);
    pid_t boot = fork();
    ASSERT_GE(boot, 0);
    if (boot == 0) {
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        initStorage();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(boot, &status, 0), boot);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    ASSERT_EQ(getPathType("/dev/ubi0"), 2);
    simInstallPrograms();
    simClearStandInCalls();

    // The next start finds the device attached and the volume unmountable.
    std::string out;
    EXPECT_EQ(runInitStorage(&out), -1);
    EXPECT_EQ(out, "Mount UBI/MTD Config partition: Failed!\n");
    EXPECT_EQ(simStandInCalls(), std::vector<std::string>{kMountLine});
    EXPECT_EQ(isUbiMounted(), -1);
    // Nothing is made on the bare mount point.
    EXPECT_EQ(getPathType("/mnt/ubi0"), 1);
    EXPECT_TRUE(underMountPoint().empty());
}

TEST_F(Storage, FailingToolStopsTheSetUpOfAnEmptyFlash)
{
    const std::string attach = "ubiattach -m 14", mkvol = "ubimkvol /dev/ubi0 -s 99MiB --name=raw1";
    struct Case {
        const char* tool;
        std::vector<std::string> calls;
        std::string outEnd;
    } cases[] = {
        {"/usr/sbin/ubiattach", {attach}, "\nFailed to attach Config MTD partition"},
        {"/usr/sbin/ubimkvol", {attach, kMountLine, mkvol},
         "Failed!\n Try to MkVol UBI VolumeFailed to create UBI Config Volume"},
        {"/bin/mount", {attach, kMountLine, mkvol, kMountLine},
         "Failed!\n Try to MkVol UBI VolumeFailed to mount Config MTD partition"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        // An empty flash again.
        unlink(host("/dev/ubi0").c_str());
        unlink(host("/var/lib/standin/ubi/raw1").c_str());
        simInstallPrograms();
        simClearStandInCalls();
        failTool(c.tool, 1);
        std::string out;
        EXPECT_EQ(runInitStorage(&out), -1);
        EXPECT_EQ(simStandInCalls(), c.calls);
        ASSERT_GE(out.size(), c.outEnd.size()) << out;
        EXPECT_EQ(out.substr(out.size() - c.outEnd.size()), c.outEnd) << out;
        EXPECT_EQ(out.find("SUCCESS!"), std::string::npos) << out;
        EXPECT_EQ(isUbiMounted(), -1);
        EXPECT_TRUE(underMountPoint().empty());
    }
}

TEST_F(Storage, VolumeThatCannotBeMountedReportsFailure)
{
    unlink(host("/bin/mount").c_str());
    std::string out;
    EXPECT_EQ(runInitStorage(&out), -1);
    EXPECT_NE(out.find("Failed to mount Config MTD partition"), std::string::npos) << out;
    EXPECT_EQ(isUbiMounted(), -1);
    EXPECT_EQ(getPathType("/mnt/ubi0/log"), 0);
}

TEST_F(Storage, MountPointThatIsAFileIsReplaced)
{
    put("/mnt/ubi0", "not a folder");
    testing::internal::CaptureStdout();
    EXPECT_EQ(ensureUbiMountDir(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Standby directory /mnt/ubi0 isn't a directory, so i create it\n");
    EXPECT_EQ(getPathType("/mnt/ubi0"), 1);
    EXPECT_EQ(ensureUbiMountDir(), 0);
}

TEST_F(Storage, ExecShCmdCapturesBothStreams)
{
    put("/usr/bin/both", "#!/bin/sh\necho out\necho err >&2\n");
    chmod(host("/usr/bin/both").c_str(), 0755);
    char out[256] = "old";
    EXPECT_EQ(execShCmd("both", out, sizeof out), out);
    EXPECT_STREQ(out, "out\nerr\n");
    // Programs come from the sandbox, by name or by absolute path.
    put("/proc/mounts", "/dev/mmcblk0p3 /mnt/data ext4 rw 0 0\n");
    EXPECT_EQ(execShCmd("/bin/mount | grep mmcblk", out, sizeof out), out);
    EXPECT_STREQ(out, "/dev/mmcblk0p3 on /mnt/data type ext4 (rw)\n");
    EXPECT_EQ(execShCmd("ls /", out, sizeof out), out);
    EXPECT_NE(std::string(out).find("not found"), std::string::npos) << out;

    EXPECT_EQ(execShCmd(nullptr, out, sizeof out), nullptr);
    EXPECT_EQ(execShCmd("true", nullptr, 10), nullptr);
}

TEST_F(Storage, ExecShCmdKeepsToItsBufferAndRefusesLongCommands)
{
    char small[16];
    memset(small, 'Z', sizeof small);
    EXPECT_EQ(execShCmd("i=0; while [ $i -lt 2000 ]; do echo 0123456789; i=$((i+1)); done", small, sizeof small),
              small);
    EXPECT_STREQ(small, "0123456789\n0123");

    simMakeDirs(host("/mnt/ubi0/log").c_str());
    openLogs();
    logEnabled = 1;
    char out[64] = "untouched";
    // 249 characters and "  2>&1" fill the 256-byte line with its end.
    std::string fits = "echo " + std::string(244, 'a');
    std::string tooLong = fits + "a";
    EXPECT_EQ(execShCmd(tooLong.c_str(), out, sizeof out), nullptr);
    EXPECT_STREQ(out, "untouched");
    EXPECT_NE(readSandboxFile("/mnt/ubi0/log/VRL_Book.log").find("ERR: execShCmd(): command of 250 characters refused, the limit is 249\n"),
              std::string::npos);
    char big[512];
    EXPECT_EQ(execShCmd(fits.c_str(), big, sizeof big), big);
    EXPECT_EQ(std::string(big), std::string(244, 'a') + "\n");
    closeLogs();
}

TEST_F(Storage, ShellCommandsStayInTheSandbox)
{
    std::string name = "/tmp/corvane-shell-" + std::to_string(getpid());
    EXPECT_EQ(runShellCommand(("echo hi > " + name).c_str()), 0);
    EXPECT_EQ(readSandboxFile(name.c_str()), "hi\n");
    EXPECT_NE(access(name.c_str(), F_OK), 0); // not on this machine
    EXPECT_EQ(runShellCommand("exit 5"), 5);
    EXPECT_EQ(runShellCommand("touch /tmp/x"), 127); // no such program in the sandbox
    EXPECT_EQ(runShellCommand("echo '/tmp/quoted' > /tmp/q"), 0);
    EXPECT_EQ(readSandboxFile("/tmp/q"), "/tmp/quoted\n");
}

TEST_F(Storage, FpgaImageLink)
{
    EXPECT_EQ(linkFpgaImage(0, 1), 0);
    char link[64] = {};
    ASSERT_GT(readlink(host("/usr/local/fpga/fpga.img").c_str(), link, sizeof link - 1), 0);
    EXPECT_STREQ(link, "./fm_fpga.img");
    EXPECT_EQ(simStandInCalls().back(), "ln -sf ./fm_fpga.img /usr/local/fpga/fpga.img");

    simMakeDirs(host("/spare/usr/local/fpga").c_str());
    EXPECT_EQ(linkFpgaImage(1, 0), 0);
    EXPECT_EQ(simStandInCalls().back(), "ln -sf ./fm_fpga.img /spare/usr/local/fpga/fpga.img");
    EXPECT_GT(readlink(host("/spare/usr/local/fpga/fpga.img").c_str(), link, sizeof link - 1), 0);
}

TEST_F(Storage, I2cClientDrivers)
{
    simMakeDirs(host("/mnt/ubi0/log").c_str());
    openLogs();
    logEnabled = 1;
    EXPECT_EQ(insertI2cDriver(0x2C, "max3107"), -1); // no adapter
    EXPECT_NE(readSandboxFile("/mnt/ubi0/log/VRL_Book.log").find("ERR: FAIL inserting Linux driver\n"),
              std::string::npos);
    simMakeDirs(host("/sys/class/i2c-adapter/i2c-1").c_str());
    EXPECT_EQ(insertI2cDriver(0x2C, "max3107"), 0);
    EXPECT_EQ(readSandboxFile("/sys/class/i2c-adapter/i2c-1/new_device"), "max3107 0x2C");
    EXPECT_EQ(removeI2cDriver(0x2C), 0);
    EXPECT_EQ(readSandboxFile("/sys/class/i2c-adapter/i2c-1/delete_device"), "0x2C");
    closeLogs();
}

TEST_F(Storage, SyslogRestart)
{
    simMakeDirs(host("/mnt/ubi0").c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(prepareUserLogDir(), 0);
    EXPECT_EQ(prepareUserLogDir(), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("User Log directory /mnt/ubi0/log/ doesn't exist, so i create it\nRestart Syslog service: "
                       "Child pid "),
              0u)
        << out;
    auto calls = simStandInCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "systemctl stop syslog");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "syslogd -n -f /etc/syslog.conf") +
                  std::count(calls.begin(), calls.end(), "systemctl stop syslog"),
              calls.size());
}
