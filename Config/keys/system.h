// Hand-written operations of the system region (rows: system.def): the
// hooks of its status fields and the operations that do not fit a row.
// Included by systemKeys.h.
#pragma once

#include <cstdint>
#include <ctime>

// Hooks of the rows.
// The reference-valid flag is recomputed after an FPGA or PPS flag changed.
void refreshRefValid(uint32_t index, uint32_t value, uint32_t old);
// Self-shutdown request: a non-zero value takes a CLOCK_MONOTONIC_RAW stamp.
void stampSelfShutdown(uint32_t index, uint32_t value, uint32_t old);
struct timespec getSelfShutdownStamp();

// Reference-valid flag := (reference mask word AND reference state word) != 0.
void updateRefValid();
// The second flag of the same form (nothing calls it).
void updateMaskedFlag();

// Port words 0 and 1: any other index selects nothing; a changed word
// re-publishes the network port address. The getter gives the second word
// for 1 and the first otherwise.
void setPortWord(uint32_t i, uint32_t v);
uint32_t getPortWord(uint32_t i);

// Time-request record in the order of struct tm.
void setTimeReqSecond(uint32_t v);
void setTimeReqMinute(uint32_t v);
void setTimeReqHour(uint32_t v);
void setTimeReqDay(uint32_t v);
void setTimeReqMonth(uint32_t m);  // stores m - 1
void setTimeReqYear(uint32_t y);   // stores y - 1900
uint32_t* getTimeRequest();

// k = 0..2 requests asynchronous command 12 + k; returns the low byte of the
// request's result, 128 for any other k.
uint8_t getTelecommandInput(uint32_t k);

// "MpxDig_MaxDeltaClock": stores a changed 16-bit value, publishes and marks;
// on every call, once the hardware is ready, hands 1680 / v to the MPX
// digital resampler.
void setMpxDigMaxDeltaClock(uint32_t v);

// ---- Time, clock sources, time zone, UART 1, banks --------------------------

// Hooks of the rows.
// A time-sync state of 1 also sets the time-sync done word.
void timeSyncStateDone(uint32_t index, uint32_t value, uint32_t old);
void logRunningBank(uint32_t index, uint32_t value, uint32_t old);

// The time-zone service of the core (setLocalTimeOffset), registered at
// start-up: the time-zone and summer-time setters apply through it. Without
// one they fail and store nothing.
using LocalTimeOffsetFn = int (*)(uint32_t zoneId, uint32_t dstMode);
void registerLocalTimeOffset(LocalTimeOffsetFn fn);

// "system_time_source": a change recomputes the time-sync capable byte and
// the reference-valid flag, publishes and marks.
void setSystemTimeSource(uint32_t v);
// "system_clock_source": stores, recomputes and publishes on every call.
void setSystemClockSource(uint32_t v);
// "UART1_connection_selection": 0 debug console, 1 GPS, 2 and 3 UECP (3
// drives the selector with 0); forced to 0 while the UART override is set.
// Returns the value stored.
uint32_t setUart1ConnSel(uint32_t v);
// "system_timezone_ID": before the hardware is ready only stores and
// publishes; after, applies the zone first and stores only when that worked.
void setSystemTimezoneID(uint32_t id);
// "daylight_saving": 0 the zone's rules, 1 standard time, 2 summer time all
// year; above 2 refused with a line on standard output.
void setDaylightSavingTime(uint32_t m);
// The four octets of "DNS_server_address".
uint8_t* getDNSServerAddress();
const char* getDNSServerAddressKey();

// Time-sync capable byte: 1 when the time or the clock source is 1 or 2.
void setTimeSyncCapable();
void setClockInternal();
void setClockInternalB();
int isTimeSourceGps();
int isTimeSourceNone();
int isTimeSourceNtp();
// Sources 1 and 2: the time-sync state or done word is 1; source 3: the NTP
// date error word; others 0.
int isTimeSynchronised();
// Marks the miscellaneous group when the value differs; stores always.
void setTimeSyncFlag(uint32_t v);
uint32_t getTimeSyncFlag();
void raiseTimeAuxWord();
// The eleven words of the GPS information record.
void setGpsInfoRecord(const uint32_t* words);
const uint32_t* getGpsInfoRecord();

// Active firmware bank: anything but 1 or 2 is 1; a change is saved into the
// EEPROM header. Returns the stored bank.
uint8_t setActiveBank(uint32_t b);
uint8_t getActiveBank();
// Version words against their references: alarm input 33, then publishes both.
void checkVersionsAlarm();

// ---- Shared range checks of the table writers (1 inside, 0 outside) ---------
int isValidClipperOvershootByte(uint32_t v);
int isValidRange0to2(uint32_t v);
int isValidFlag0to1(uint32_t v);
int isValidFlag0to1B(uint32_t v);
int isValidUpgradeRequest(uint32_t v);
int isValidUpgradeParam(uint32_t v);
int isValidRange0to8(uint32_t v);
