// System time, time zone and NTP against the sandbox's stand-in programs:
// the zone and fixed-offset links, the look-up of the web root's table, the
// clock set from the configured date, and the NTP step over virtual hours.
#include "core/systemTime.h"

#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/keys/systemKeys.h"
#include "comtab/dbPool.h"
#include "platform/clock.h"
#include "hw/smallDevices.h"
#include "sim/board.h"
#include "sim/programs.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class SystemTime : public SandboxTest {
protected:
    SystemTime() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        registerSystemTimeServices();
        // Start-up defaults, then the hardware is ready.
        setSystemTimezoneID(190);
        setHwReady(1);
        clearConfigChanged();
    }

    void knobs(const char* utcOffset, int summer)
    {
        simMakeDirs(host("/var/lib/standin").c_str());
        std::ofstream(host("/var/lib/standin/utc_offset")) << utcOffset << "\n";
        std::ofstream(host("/var/lib/standin/isdst")) << summer << "\n";
    }

    std::string zoneLink()
    {
        char buf[256] = {};
        ssize_t n = readlink(host("/usr/local/conf/localtime").c_str(), buf, sizeof buf - 1);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }

    static int lines(const std::string& prefix)
    {
        auto calls = simStandInCalls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& l) {
            return l.compare(0, prefix.size(), prefix) == 0;
        }));
    }

    // The zone id cell as another process reads it.
    static uint32_t zoneCellSeenByAnotherProcess()
    {
        std::vector<uint32_t> seen;
        EXPECT_EQ(readDbPoolCellsInChild({{43, 12}}, &seen), 0);
        return seen.empty() ? 0 : seen[0];
    }
};

TEST_F(SystemTime, SummerTimeModesLinkTheFixedZoneOfStandardOrSummerTime)
{
    knobs("+0200", 1); // Europe/Rome in summer
    struct Case {
        uint32_t mode;
        const char* link;
    };
    const Case cases[] = {
        {1, "/usr/share/zoneinfo/Etc/GMT-1"}, // standard time all year
        {2, "/usr/share/zoneinfo/Etc/GMT-2"}, // summer time all year
        {0, "/usr/share/zoneinfo/Europe/Rome"}, // the zone's own rules
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        clearConfigChanged();
        setDaylightSavingTime(c.mode);
        EXPECT_EQ(zoneLink(), c.link);
        EXPECT_EQ(getDaylightSavingTime(), c.mode);
        EXPECT_EQ(readDbAreaCell(43, 15), c.mode);
        EXPECT_EQ(getConfigChanged(), 0x2000u);
        if (c.mode == 2) {
            // Local time follows the link: two hours east of UTC.
            time_t now = clockWallSeconds();
            struct tm t;
            localtime_r(&now, &t);
            EXPECT_EQ(t.tm_gmtoff, 2 * 3600);
        }
    }

    // A zone at UTC without summer time, always summer time: one hour east.
    knobs("+0000", 0);
    setDaylightSavingTime(2);
    EXPECT_EQ(zoneLink(), "/usr/share/zoneinfo/Etc/GMT-1");

    // A refused mode prints its error and changes nothing.
    testing::internal::CaptureStdout();
    setDaylightSavingTime(3);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR in setDaylightSavingTime: input val=3 is not valid"),
              std::string::npos);
    EXPECT_EQ(getDaylightSavingTime(), 2u);
    EXPECT_EQ(zoneLink(), "/usr/share/zoneinfo/Etc/GMT-1");
}

TEST_F(SystemTime, ZoneIdChangesOnlyWhenItsLinkWasMade)
{
    knobs("+0530", 0);
    setSystemTimezoneID(150);
    EXPECT_EQ(zoneLink(), "/usr/share/zoneinfo/Asia/Kolkata");
    EXPECT_EQ(getSystemTimezoneID(), 150);
    EXPECT_EQ(zoneCellSeenByAnotherProcess(), 150u);
    EXPECT_EQ(getConfigChanged(), 0x2000u);

    // An unknown id and a name that climbs out of the zone folder leave link,
    // id and cell alone.
    for (uint32_t id : {555u, 900u}) {
        SCOPED_TRACE(id);
        clearConfigChanged();
        testing::internal::CaptureStdout();
        setSystemTimezoneID(id);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("ERROR in setLocalTimeOffset() : Input newTimezoneId=" + std::to_string(id) + " not valid"),
                  std::string::npos);
        EXPECT_EQ(zoneLink(), "/usr/share/zoneinfo/Asia/Kolkata");
        EXPECT_EQ(getSystemTimezoneID(), 150);
        EXPECT_EQ(zoneCellSeenByAnotherProcess(), 150u);
        EXPECT_EQ(getConfigChanged(), 0u);
    }
}

TEST_F(SystemTime, ZoneLookUpAndOffsetProbes)
{
    char path[ZONE_FILE_PATH_BYTES];
    EXPECT_EQ(getZoneFilePath(200, path), 0);
    EXPECT_STREQ(path, "/usr/share/zoneinfo/Europe/Helsinki");
    EXPECT_NE(getZoneFilePath(4242, path), 0);
    EXPECT_STREQ(path, "/usr/share/zoneinfo/Europe/Rome");
    EXPECT_EQ(getZoneFilePath(190, nullptr), -1);

    struct Case {
        const char* offset;
        int hours;
    };
    for (const Case& c : {Case{"+0530", 5}, Case{"-0330", -3}, Case{"+0100", 1}, Case{"-1000", -10}}) {
        knobs(c.offset, 0);
        EXPECT_EQ(getGmtOffsetHours(), c.hours) << c.offset;
    }
    knobs("+0100", 1);
    EXPECT_EQ(probeDst(), 1);
    knobs("+0100", 0);
    EXPECT_EQ(probeDst(), 0);
}

TEST_F(SystemTime, ConfiguredDateIsTakenInItsOwnSeason)
{
    // Local time of Europe/Rome, today in winter, a date in summer.
    ASSERT_EQ(symlink("/usr/share/zoneinfo/Europe/Rome", host("/usr/local/conf/localtime").c_str()), 0);
    clockZoneChanged();
    setTimeReqYear(2026);
    setTimeReqMonth(7);
    setTimeReqDay(1);
    setTimeReqHour(12);
    setTimeReqMinute(0);
    setTimeReqSecond(0);
    simClearStandInCalls();
    EXPECT_EQ(applySystemTimeRequest(), 0); // manual time source
    EXPECT_EQ(clockWallSeconds(), 1782900000); // 2026-07-01 10:00:00 UTC
    EXPECT_EQ(lines("hwclock -w -u"), 1);
    EXPECT_NE(book().find("System time changed"), std::string::npos);

    setSystemTimeSource(3);
    EXPECT_EQ(applySystemTimeRequest(), -1);
}

TEST_F(SystemTime, RtcGetsTheConfiguredDateInBcdWithItsExtrasCleared)
{
    setTimeReqYear(2026);
    setTimeReqMonth(12);
    setTimeReqDay(11);
    setTimeReqHour(23);
    setTimeReqMinute(59);
    setTimeReqSecond(58);
    ASSERT_EQ(initRtcFromConfig(), 0);
    // seconds..year, 2026-12-11 a Friday (weekday 6 counting Sunday as 1)
    const uint8_t time[] = {0x58, 0x59, 0x23, 0x06, 0x11, 0x12, 0x26};
    for (uint8_t r = 1; r <= 7; r++)
        EXPECT_EQ(rtcLastImage(r), time[r - 1]) << "register " << int(r);
    EXPECT_EQ(rtcLastImage(8), 0x20) << "calibration 0";
    EXPECT_EQ(rtcLastImage(19), 0) << "no square wave";
    EXPECT_EQ(rtcLastImage(10) & 0x40, 0) << "square-wave output off";
    for (uint8_t r = 11; r <= 14; r++)
        EXPECT_EQ(rtcLastImage(r), 0) << "alarm register " << int(r);
}

TEST_F(SystemTime, NtpStepResynchronisesEveryPollInterval)
{
    setSystemTimeSource(3);
    setNTPPollIval(60);
    strcpy(getNTPNameServer(), "ntp.example");
    simClearStandInCalls();
    auto runFor = [](int seconds) {
        for (int s = 0; s < seconds; s++) {
            ntpThreadStep();
            clockAdvanceUs(1000000);
        }
    };
    runFor(1);
    EXPECT_EQ(lines("ntpdate -u ntp.example"), 1);
    EXPECT_EQ(lines("hwclock"), 0);
    runFor(3590);
    EXPECT_EQ(lines("ntpdate"), 1);
    runFor(20);
    EXPECT_EQ(lines("ntpdate"), 2);
    EXPECT_EQ(lines("hwclock -w -u"), 1);
    EXPECT_GT(getLastNtpSyncTime(), 0u);
    runFor(3570);
    EXPECT_EQ(lines("ntpdate"), 2);
    runFor(119);
    EXPECT_EQ(lines("ntpdate"), 3);
    EXPECT_EQ(lines("hwclock -w -u"), 2);
}

TEST_F(SystemTime, NtpStepReportsAClockBefore2000AndRecordsNothing)
{
    clockUseVirtual(1000000000LL, 100000); // 1970
    setSystemTimeSource(3);
    setNTPPollIval(60);
    testing::internal::CaptureStdout();
    for (int s = 0; s < 4; s++) {
        ntpThreadStep();
        clockAdvanceUs(1000000);
    }
    EXPECT_NE(testing::internal::GetCapturedStdout().find("NTP date ERROR ("), std::string::npos);
    EXPECT_EQ(getLastNtpSyncTime(), 0u);
}

TEST_F(SystemTime, NtpStepDoesNothingForAnotherTimeSource)
{
    setSystemTimeSource(0);
    simClearStandInCalls();
    for (int s = 0; s < 5; s++)
        ntpThreadStep();
    EXPECT_EQ(lines("ntpdate"), 0);
    EXPECT_EQ(applyNtpConfig(), 1);
}

TEST_F(SystemTime, DnsAndNtpServerFiles)
{
    uint8_t* dns = getDNSServerAddress();
    const uint8_t a[4] = {10, 0, 0, 53};
    memcpy(dns, a, 4);
    strcpy(getNTPNameServer(), "ntp.example");
    EXPECT_EQ(writeDnsNtpFiles(), 0);
    EXPECT_EQ(readSandboxFile("/usr/local/conf/resolv.conf"), "nameserver 10.0.0.53");
    EXPECT_EQ(readSandboxFile("/usr/local/conf/default_ntpdate"), "ntp.example");
    EXPECT_EQ(readDnsFile(), 0);
    EXPECT_EQ(readNtpServerFile(), 0);

    // Other servers in the files are taken; a line end is not part of the name.
    std::ofstream(host("/usr/local/conf/resolv.conf")) << "nameserver 192.168.1.1\n";
    std::ofstream(host("/usr/local/conf/default_ntpdate")) << "pool.example\r\n";
    EXPECT_EQ(readDnsFile(), 1);
    EXPECT_EQ(dns[0], 192);
    EXPECT_EQ(dns[3], 1);
    EXPECT_EQ(readNtpServerFile(), 1);
    EXPECT_STREQ(getNTPNameServer(), "pool.example");
    EXPECT_EQ(readNtpServerFile(), 0);

    // A name of four characters is ignored; one of 300 is kept to 256.
    std::ofstream(host("/usr/local/conf/default_ntpdate")) << "abcd";
    EXPECT_EQ(readNtpServerFile(), 1);
    EXPECT_STREQ(getNTPNameServer(), "pool.example");
    std::ofstream(host("/usr/local/conf/default_ntpdate")) << std::string(300, 'n');
    EXPECT_EQ(readNtpServerFile(), 1);
    EXPECT_EQ(strlen(getNTPNameServer()), 256u);
}

} // namespace
