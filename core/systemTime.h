// System time, time zone and NTP: the clock set from the configured date and
// time, the zone and summer-time links, the DNS and NTP server files, and the
// "NTP Thread" step.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t ZONE_FILE_PATH_BYTES = 128;

// Sets the clock and the hardware clock (UTC) from the configured date and
// time: 0, or -1 when the time cannot be converted or set.
int setSystemTimeFromConfig();
// With a manual time source, setSystemTimeFromConfig's result; -1 otherwise.
int applySystemTimeRequest();
// The zone file of a zone id of the web root's time-zone table into `out`
// (ZONE_FILE_PATH_BYTES): 0; an unknown id (or a name that climbs out of the
// zone folder) writes the default zone's path and returns the look-up's
// error; a null `out` returns -1.
int getZoneFilePath(uint32_t zoneId, char* out);
// 1 when summer time is in force now, else 0.
int probeDst();
// Whole hours east of UTC (truncated).
int getGmtOffsetHours();
int getEffectiveGmtOffset();
// Links the local zone to the zone of `zoneId`, then with summer-time mode 1
// or 2 to the fixed Etc/GMT zone of standard or summer time. 0 done (or
// nothing to do), else the look-up's or the link's error (-1 the link
// program could not run, -2 fork failed).
int setLocalTimeOffset(uint32_t zoneId, uint32_t dstMode);
// Registers setLocalTimeOffset as the configuration's time-zone service.
void registerSystemTimeServices();

// The configured DNS server and NTP server into their system files: 0, or -1
// when a file could not be written.
int writeDnsNtpFiles();
// 0 when the DNS file holds the configured address; else 1 (a different
// address in the file is taken into the configuration).
int readDnsFile();
// 0 when the NTP server file holds the configured name; else 1 (a different
// name of 5 characters or more is taken into the configuration).
int readNtpServerFile();
// With NTP as time source: takes the files' servers, restarts the NTP
// client and synchronises: 0; 1 for another time source.
int applyNtpConfig();

// Clears the RTC's calibration, square wave, alarm and every status flag
// that is set, then writes the configured date and time into it: 0, or -1
// when the configured words are no date.
int initRtcFromConfig();

// Body of "NTP Thread" (every second).
void ntpThreadStep();
