// Snapshots, presets, USB-key and web exchange and resets of the
// configuration files.
#include "persist/configExchange.h"

#include "core/base/logs.h"
#include "persist/childProgram.h"
#include "persist/xmlConfig.h"
#include "platform/clock.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kConfDir = "/mnt/ubi0/conf/";
constexpr const char* kLiveConfig = "/mnt/ubi0/conf/configuration.xml";
constexpr const char* kLiveAp = "/mnt/ubi0/conf/audio_processor.xml";
constexpr const char* kConkDir = "/mnt/ubi0/conf/conk/";
constexpr const char* kConkPrefix = "rsv_cfg_";
constexpr const char* kPresetDir = "/mnt/ubi0/conf/preset/";
constexpr const char* kSnmpDir = "/mnt/ubi0/conf/snmp";
constexpr const char* kUsbConfigDir = "/mnt/usbkey/configuration/";
constexpr const char* kUsbNameFile = "/tmp/configuration.xml.name";
constexpr const char* kNetDir = "/usr/local/www/Setup/net_configuration";
constexpr const char* kNetTemp = "/usr/local/www/Setup/net_configuration/temp/";
constexpr const char* kNetConfig = "/usr/local/www/Setup/net_configuration/temp/configuration.xml";
constexpr const char* kNetAp = "/usr/local/www/Setup/net_configuration/temp/audio_processor.xml";

struct State {
    int (*usbKeyProbe)() = nullptr;
};

State& st()
{
    static State s;
    return s;
}

// 0 missing, 1 directory, 2 anything else.
int pathType(const std::string& path)
{
    struct stat sb;
    if (stat(sysPath(path.c_str()).c_str(), &sb) != 0)
        return 0;
    return S_ISDIR(sb.st_mode) ? 1 : 2;
}

// A directory made when missing: 0 when it exists afterwards.
int makeDir(const std::string& path)
{
    if (mkdir(sysPath(path.c_str()).c_str(), 0755) == 0 || errno == EEXIST)
        return pathType(path) == 1 ? 0 : -1;
    return -1;
}

bool readWhole(const std::string& path, std::string& out)
{
    int fd = open(sysPath(path.c_str()).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat sb;
    bool ok = fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode);
    char buf[8192];
    while (ok) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        else if (n == 0)
            break;
        else
            out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return ok;
}

// Copies a file into place through the configuration files' own routine:
// the destination plus "_tmp", synced and renamed over it, so the
// destination is either the old or the new file. 0 done, -1 failed.
int copyIntoPlace(const std::string& src, const std::string& dst)
{
    std::string data;
    if (!readWhole(src, data))
        return -1;
    return writeConfigFile(dst.c_str(), data.data(), data.size());
}

int runCp(const std::string& src, const std::string& dst)
{
    const char* const argv[] = {"cp", "-rf", src.c_str(), dst.c_str(), nullptr};
    return runChildProgram("/bin/cp", argv);
}

int runRm(const std::string& path)
{
    const char* const argv[] = {"rm", "-rf", path.c_str(), nullptr};
    return runChildProgram("/bin/rm", argv);
}

bool usbKeyMounted()
{
    return st().usbKeyProbe && st().usbKeyProbe() == 1;
}

int loadNumbered(const std::string& file)
{
    if (pathType(file) != 2) {
        logErr("Load configuration FAILED -- File %s not found\n", file.c_str());
        return -1;
    }
    return copyIntoPlace(file, kLiveConfig);
}

// Replaces the live directory /mnt/ubi0/conf/<name> with the upload's copy.
// The copy is made beside it first and swapped in by renames, so a failed
// copy leaves the live directory as it was. 0 done, non-zero failed.
int swapInDirectory(const std::string& upload, const char* name)
{
    std::string live = std::string(kConfDir) + name;
    std::string fresh = live + ".new";
    std::string old = live + ".old";
    runRm(fresh);
    runRm(old);
    int r = runCp(upload, fresh);
    if (r != 0 || pathType(fresh) != 1) {
        runRm(fresh);
        return r != 0 ? r : -1;
    }
    bool hadLive = pathType(live) != 0;
    if (hadLive && rename(sysPath(live.c_str()).c_str(), sysPath(old.c_str()).c_str()) != 0) {
        runRm(fresh);
        return -1;
    }
    if (rename(sysPath(fresh.c_str()).c_str(), sysPath(live.c_str()).c_str()) != 0) {
        if (hadLive)
            rename(sysPath(old.c_str()).c_str(), sysPath(live.c_str()).c_str());
        runRm(fresh);
        return -1;
    }
    if (hadLive && runRm(old) != 0)
        logErr("FAILED to remove the %s\n", old.c_str());
    return 0;
}

struct NetDir {
    const char* name;
    const char* failLine;
};

int importFromNet(const char* upload, const char* live, const NetDir* dirs, int count,
                  const char* removeFailLine)
{
    if (copyIntoPlace(upload, live) != 0) {
        logErr("Load configuration FAILED -- File %s not copied\n", upload);
        return kNetImportCopyFailed;
    }
    for (int i = 0; i < count; i++) {
        std::string src = std::string(kNetTemp) + dirs[i].name + "/";
        if (strcmp(dirs[i].name, "snmp") != 0)
            printf("SRC: %s\n", src.c_str());
        if (pathType(src) != 1)
            continue;
        int r = swapInDirectory(src, dirs[i].name);
        if (r != 0) {
            logErr("%s", dirs[i].failLine);
            return r;
        }
    }
    int r = runRm(kNetTemp);
    if (r != 0)
        logErr("%s", removeFailLine);
    return r;
}

int removeIfFile(const char* path)
{
    if (pathType(path) != 2)
        return -1;
    return unlink(sysPath(path).c_str()) == 0 ? 1 : -2;
}

int resetFile(const char* path, const char* name)
{
    printf("\n%s!", name);
    fflush(stdout);
    int r = removeIfFile(path);
    if (r != 1)
        logErr("%s FAILED\n", name);
    return r;
}

} // namespace

void setUsbKeyProbe(int (*probe)())
{
    st().usbKeyProbe = probe;
}

int saveConkConfig(int n)
{
    std::string dir = std::string(kConkDir) + kConkPrefix + std::to_string(n) + "/";
    if (makeDir(kConkDir) != 0 || makeDir(dir) != 0)
        return -1;
    return copyIntoPlace(kLiveConfig, dir + "configuration.xml");
}

int loadConkConfig(int n)
{
    return loadNumbered(std::string(kConkDir) + kConkPrefix + std::to_string(n) + "/configuration.xml");
}

int16_t savePresetConfig(int n)
{
    std::string dir = std::string(kPresetDir) + "cfg_" + std::to_string(n) + "/";
    if (makeDir(kPresetDir) != 0 || makeDir(dir) != 0)
        return -1;
    std::string label = dir + "configuration_name";
    if (access(sysPath(label.c_str()).c_str(), R_OK) != 0) {
        std::string text = "Preset " + std::to_string(n);
        if (writeConfigFile(label.c_str(), text.data(), text.size()) != 0)
            logErr("%s - can't write on %s\n", "savePresetConfig", label.c_str());
    }
    return static_cast<int16_t>(copyIntoPlace(kLiveConfig, dir + "configuration.xml"));
}

int loadPresetConfig(int n)
{
    return loadNumbered(std::string(kPresetDir) + "cfg_" + std::to_string(n) + "/configuration.xml");
}

int copyXmlConfigFromUsb()
{
    if (!usbKeyMounted())
        return -1;
    if (pathType(kUsbNameFile) == 0) {
        logErr("Configuration directory not found\n");
        return -1;
    }
    FILE* f = fopen(sysPath(kUsbNameFile).c_str(), "r");
    if (!f) {
        logErr("copyXmlConfigFromUsb failed: cannot retrieve path file\n");
        return -1;
    }
    char line[64];
    bool got = fgets(line, sizeof line, f) != nullptr;
    fclose(f);
    if (!got) {
        logErr("CMD_VRL_CFG failed: cannot retrieve path file\n");
        return -1;
    }
    line[strcspn(line, " \t\r\n")] = '\0';
    // The name comes from the key: one plain directory name, nothing that
    // leads out of the configuration folder.
    if (line[0] == '\0' || strchr(line, '/') || strcmp(line, ".") == 0 || strcmp(line, "..") == 0) {
        logErr("Configuration directory not found\n");
        return -1;
    }
    std::string dir = std::string(kUsbConfigDir) + line + "/";
    std::string file = dir + "configuration.xml";
    if (pathType(file) != 2) {
        logErr("Load configuration FAILED -- File %s not found\n", file.c_str());
        return -1;
    }
    int r = copyIntoPlace(file, kLiveConfig);
    if (r != 0)
        return r;
    // The presets are optional: a directory without them is no error.
    std::string presets = dir + "preset";
    if (pathType(presets) != 1)
        return 0;
    r = runCp(presets, kConfDir);
    if (r != 0)
        logErr("FAILED load preset configurations to USB\n");
    return r;
}

int saveXmlConfigToUsb()
{
    if (!usbKeyMounted())
        return -1;
    if (makeDir(kUsbConfigDir) != 0)
        return -1;
    struct timespec now;
    clockGetTime(CLOCK_REALTIME, &now);
    struct tm t;
    localtime_r(&now.tv_sec, &t);
    char dir[96];
    snprintf(dir, sizeof dir, "/mnt/usbkey/configuration/config_%02d%02d%02d-%02d_%02d_%02d", t.tm_mday,
             t.tm_mon + 1, t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
    if (makeDir(dir) != 0)
        return -1;
    int r = copyIntoPlace(kLiveConfig, std::string(dir) + "/configuration.xml");
    if (r != 0)
        return r;
    if (pathType(kPresetDir) == 1) {
        r = runCp(kPresetDir, dir);
        if (r != 0)
            logErr("FAILED save preset configurations to USB\n");
    }
    return r;
}

int loadXmlConfigFromNet()
{
    static const NetDir kDirs[] = {
        {"conk", "FAILED load conk configurations from NET\n"},
        {"preset", "FAILED load conk configurations from NET\n"},
        {"snmp", "Cannot copy snmp conf dir\n"},
    };
    return importFromNet(kNetConfig, kLiveConfig, kDirs, 3, "FAILED to remove the XML_NET_CONFIGURATION_PATH\n");
}

int loadApXmlConfigFromNet()
{
    static const NetDir kDirs[] = {
        {"conk", "FAILED load conk configurations from NET\n"},
        {"preset", "FAILED load conk configurations from NET\n"},
    };
    return importFromNet(kNetAp, kLiveAp, kDirs, 2, "FAILED to remove the XML_NET_AP_CONFIGURATION_PATH\n");
}

int exportXmlConfigToNet()
{
    if (makeDir(kNetDir) != 0)
        return -1;
    if (pathType(kNetTemp) != 0) {
        int r = runRm(kNetTemp);
        if (r != 0)
            return r;
    }
    if (makeDir(kNetTemp) != 0)
        return -1;
    int r = copyIntoPlace(kLiveConfig, kNetConfig);
    if (r != 0)
        return r;
    if (pathType(kSnmpDir) == 1) {
        r = runCp(kSnmpDir, kNetTemp);
        if (r != 0)
            logErr("Cannot copy snmp conf dir for export\n");
    }
    return r;
}

int exportApXmlConfigToNet()
{
    if (makeDir(kNetDir) != 0 || makeDir(kNetTemp) != 0)
        return -1;
    return copyIntoPlace(kLiveAp, kNetAp);
}

int removeNetConfigExport()
{
    return removeIfFile(kNetConfig) == 1 ? 0 : -1;
}

int removeNetApConfigExport()
{
    return removeIfFile(kNetAp) == 1 ? 0 : -1;
}

int XML_ResetConfig()
{
    return resetFile(kLiveConfig, "XML_ResetConfig");
}

int XML_ResetNetConfig()
{
    return resetFile("/mnt/ubi0/conf/control_net.xml", "XML_ResetNetConfig");
}

int XML_ResetFactoryConfig()
{
    return resetFile("/mnt/ubi0/conf/configuration_factory.xml", "XML_ResetFactoryConfig");
}
