// System time, time zone and NTP.
#include "core/systemTime.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"
#include "core/children.h"
#include "core/files.h"
#include "core/storage.h"
#include "hw/smallDevices.h"
#include "persist/xmlSection.h"
#include "platform/clock.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr const char* kLocaltimeLink = "/usr/local/conf/localtime";
constexpr const char* kResolvConf = "/usr/local/conf/resolv.conf";
constexpr const char* kNtpServerFile = "/usr/local/conf/default_ntpdate";
constexpr const char* kTimezones = "/usr/local/www/Setup/timezones.xml";
constexpr const char* kDefaultZoneFile = "/usr/share/zoneinfo/Europe/Rome";
constexpr time_t kEpoch2000 = 946684800; // 2000-01-01 00:00:00 UTC
constexpr size_t kNtpNameMax = 256;

// State of the NTP step, private to "NTP Thread".
struct SystemTimeState {
    uint8_t ntpStarted = 0;
    uint32_t lastNtpStatus = 0;
    int64_t ntpStamp = 0;
};

SystemTimeState& st()
{
    static SystemTimeState s;
    return s;
}

int64_t monoRawSeconds()
{
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<int64_t>(ts.tv_sec);
}

// Reads the first number of a probe's scratch file; 0 when there is none.
int readProbeFile(const char* path)
{
    int v = 0;
    FILE* f = fopen(sysPath(path).c_str(), "r");
    if (!f)
        return 0;
    if (fscanf(f, "%d", &v) != 1)
        v = 0;
    fclose(f);
    return v;
}

// "ln -sf <target> <link>" with an argument vector: the zone name comes
// from a file of the web root and never reaches a shell. Prints what it
// ran; returns the program's result (-1 not started, -2 fork failed).
int linkZone(const char* target)
{
    char shown[256];
    snprintf(shown, sizeof shown, "ln -sf %s  %s", target, kLocaltimeLink);
    const char* const argv[] = {"ln", "-sf", target, kLocaltimeLink, nullptr};
    int r = runProgramWait("/bin/ln", argv);
    printf(">> Executing '%s' ... Return=%d \n", shown, r);
    if (r != 0) {
        printf("ERROR in setLocalTimeOffset(): execution of '%s' failed (err=%d) \n", shown, r);
        fflush(stdout);
        return r;
    }
    fflush(stdout);
    clockZoneChanged();
    return 0;
}

// A line of a system file without its line end.
void stripLineEnd(char* s)
{
    s[strcspn(s, "\r\n")] = 0;
}

} // namespace

int setSystemTimeFromConfig()
{
    time_t now = clockWallSeconds();
    struct tm t;
    localtime_r(&now, &t);
    const uint32_t* req = getTimeRequest();
    t.tm_sec = static_cast<int>(req[0]);
    t.tm_min = static_cast<int>(req[1]);
    t.tm_hour = static_cast<int>(req[2]);
    t.tm_mday = static_cast<int>(req[3]);
    t.tm_mon = static_cast<int>(req[4]);
    t.tm_year = static_cast<int>(req[5]);
    // The season of the requested date decides, not today's.
    t.tm_isdst = -1;
    tzset();
    time_t wanted = mktime(&t);
    if (wanted == static_cast<time_t>(-1)) {
        logInfo("mktime Fails");
        return -1;
    }
    if (clockSetWall(wanted) != 0) {
        perror(" - settimeofday Fails - ");
        logInfo("settimeofday Fails");
        return -1;
    }
    const char* const argv[] = {"hwclock", "-w", "-u", nullptr};
    runProgramWait("/sbin/hwclock", argv);
    logInfo("System time changed");
    return 0;
}

int applySystemTimeRequest()
{
    if (!isTimeSourceNone())
        return -1;
    return setSystemTimeFromConfig() == 0 ? 0 : -1;
}

int getZoneFilePath(uint32_t zoneId, char* out)
{
    if (!out)
        return -1;
    char id[16];
    snprintf(id, sizeof id, "%u", zoneId);
    char name[64] = {};
    int r = xmlReadElementValue("timezone", id, name, kTimezones);
    // A name that climbs out of the zone folder is no zone.
    if (r == 0 && (strstr(name, "..") || name[0] == 0))
        r = -1;
    if (r != 0) {
        snprintf(out, ZONE_FILE_PATH_BYTES, "%s", kDefaultZoneFile);
        return r;
    }
    snprintf(out, ZONE_FILE_PATH_BYTES, "/usr/share/zoneinfo/%s", name);
    return 0;
}

int probeDst()
{
    runShellCommand("if perl -e 'exit ((localtime)[8])' ; then  echo '000'; else  echo '001'; fi > /tmp/dst.t");
    return readProbeFile("/tmp/dst.t") == 1 ? 1 : 0;
}

int getGmtOffsetHours()
{
    runShellCommand("date '+%z' > /tmp/gmt.t");
    return readProbeFile("/tmp/gmt.t") / 100;
}

int getEffectiveGmtOffset()
{
    int offset = getGmtOffsetHours();
    uint32_t mode = getDaylightSavingTime();
    if (mode == 1 && probeDst())
        offset -= 1;
    else if (mode == 2 && !probeDst())
        offset += 1;
    return offset;
}

int setLocalTimeOffset(uint32_t zoneId, uint32_t dstMode)
{
    if (dstMode == getDaylightSavingTime() && zoneId == getSystemTimezoneID())
        return 0;
    char zoneFile[ZONE_FILE_PATH_BYTES];
    int r = getZoneFilePath(zoneId, zoneFile);
    if (r != 0) {
        printf("ERROR in setLocalTimeOffset() : Input newTimezoneId=%d not valid \n", static_cast<int>(zoneId));
        fflush(stdout);
        return r;
    }
    r = linkZone(zoneFile);
    if (r != 0)
        return r;
    int offset;
    if (dstMode == 1)
        offset = getGmtOffsetHours() - (probeDst() ? 1 : 0);
    else if (dstMode == 2)
        offset = getGmtOffsetHours() + (probeDst() ? 0 : 1);
    else
        return 0;
    printf(">> offset: %d \n", offset);
    // The POSIX Etc/GMT zones count west as positive.
    char fixed[ZONE_FILE_PATH_BYTES];
    snprintf(fixed, sizeof fixed, "/usr/share/zoneinfo/Etc/GMT%c%d", offset < 0 ? '+' : '-',
             offset < 0 ? -offset : offset);
    return linkZone(fixed);
}

void registerSystemTimeServices()
{
    registerLocalTimeOffset([](uint32_t zoneId, uint32_t dstMode) { return setLocalTimeOffset(zoneId, dstMode); });
}

int writeDnsNtpFiles()
{
    const uint8_t* dns = getDNSServerAddress();
    char line[32];
    snprintf(line, sizeof line, "nameserver %hhu.%hhu.%hhu.%hhu", dns[0], dns[1], dns[2], dns[3]);
    char server[kNtpNameMax + 1];
    snprintf(server, sizeof server, "%.256s", getNTPNameServer());
    int r = writeStringToFile(kResolvConf, line);
    r |= writeStringToFile(kNtpServerFile, server);
    return r == 0 ? 0 : -1;
}

int readDnsFile()
{
    char* line = getStringFromFile(kResolvConf);
    if (!line)
        return 1;
    uint8_t a[4];
    int n = sscanf(line, "nameserver %hhu.%hhu.%hhu.%hhu", &a[0], &a[1], &a[2], &a[3]);
    free(line);
    if (n != 4)
        return 1;
    uint8_t* dns = getDNSServerAddress();
    if (memcmp(dns, a, 4) == 0)
        return 0;
    memcpy(dns, a, 4);
    return 1;
}

int readNtpServerFile()
{
    char* line = getStringFromFile(kNtpServerFile);
    if (!line)
        return 1;
    stripLineEnd(line);
    int r = 1;
    if (strlen(line) >= 5) {
        char* server = getNTPNameServer();
        if (strncmp(line, server, kNtpNameMax) == 0) {
            r = 0;
        } else {
            snprintf(server, kNtpNameMax + 1, "%.256s", line);
        }
    }
    free(line);
    return r;
}

int applyNtpConfig()
{
    if (!isTimeSourceNtp())
        return 1;
    readDnsFile();
    readNtpServerFile();
    killNtpClient();
    markConfigChanged(CONFIG_GROUP_NETWORK);
    runNtpdate(1);
    return 0;
}

void ntpThreadStep()
{
    SystemTimeState& s = st();
    if (!s.ntpStarted) {
        if (isTimeSourceNtp())
            runNtpdate(0);
        s.ntpStarted = 1;
        return;
    }
    if (!isTimeSourceNtp())
        return;
    uint32_t status = getNtpProcState();
    if (status != s.lastNtpStatus) {
        s.ntpStamp = monoRawSeconds();
        s.lastNtpStatus = status;
        if (status == 3 && getNtpDateError() == 0) {
            time_t now = clockWallSeconds();
            if (now >= kEpoch2000)
                setLastNtpSyncTime(static_cast<uint32_t>(now - kEpoch2000));
            else
                printf("NTP date ERROR (%lu)\n", static_cast<unsigned long>(now));
            fflush(stdout);
        }
    }
    if (status == 3) {
        int64_t elapsed = monoRawSeconds() - s.ntpStamp;
        if (elapsed < 0)
            elapsed = -elapsed;
        if (elapsed > static_cast<int64_t>(getNTPPollIval()) * 60) {
            setNtpProcState(4);
            s.lastNtpStatus = 4;
            runNtpdate(1);
            s.ntpStamp = monoRawSeconds();
            // ntpdate has ended: the next interval starts from here.
            setNtpProcState(3);
        }
    } else if (status == 0) {
        // An idle client counts as ended, so the poll interval starts.
        setNtpProcState(3);
    }
}

int initRtcFromConfig()
{
    Rtc_SetCalibration(0, 0, 0);
    Rtc_SetSquareWave(0, 0);
    const RtcTime noAlarm = {};
    Rtc_SetAlarm(&noAlarm, 0, 0, 0);
    RtcFlags f = {};
    Rtc_ReadFlags(&f);
    if (f.stop || f.reg4Bit7 || f.halt)
        Rtc_SetControlBits(f.stop, 0, f.reg4Bit7, 0, f.halt, 0);
    if (f.watchdog)
        Rtc_SetWatchdog(0, 0, 0);
    // The alarm flag is cleared by the flag read itself; a low battery is
    // the battery's state and stays.
    const uint32_t* req = getTimeRequest();
    struct tm t = {};
    t.tm_sec = static_cast<int>(req[0]);
    t.tm_min = static_cast<int>(req[1]);
    t.tm_hour = static_cast<int>(req[2]);
    t.tm_mday = static_cast<int>(req[3]);
    t.tm_mon = static_cast<int>(req[4]);
    t.tm_year = static_cast<int>(req[5]);
    // Normalised as a calendar date only, for the weekday and out-of-range
    // words; the RTC keeps local time as the words give it.
    time_t asUtc = timegm(&t);
    if (asUtc == static_cast<time_t>(-1))
        return -1;
    struct tm n;
    gmtime_r(&asUtc, &n);
    RtcTime rtc = {};
    rtc.seconds = static_cast<uint8_t>(n.tm_sec);
    rtc.minutes = static_cast<uint8_t>(n.tm_min);
    rtc.hours = static_cast<uint8_t>(n.tm_hour);
    rtc.weekday = static_cast<uint8_t>(n.tm_wday + 1);
    rtc.date = static_cast<uint8_t>(n.tm_mday);
    rtc.month = static_cast<uint8_t>(n.tm_mon + 1);
    rtc.year = static_cast<uint8_t>(n.tm_year % 100);
    return Rtc_SetTime(&rtc, 0, 0);
}
