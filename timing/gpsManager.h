// The GPS receiver manager: detection and configuration of the receiver on
// its DDC interface, the periodic read of its output stream, the NMEA
// decoding, the GPS data store and its copy into the GPS status items.
// Nothing in the daemon starts it.
#pragma once

#include <cstdint>

// The GPS data store, cleared whole by GPS_Init.
struct GpsDataStore {
    uint16_t swMajor, swMinor;
    uint16_t GpsGeneration; // 0 unknown, else 50, 51, 60, 70 or 80
    uint8_t detected;
    uint8_t initFailed;
    uint8_t timeValid;
    int16_t leapSeconds;
    uint16_t hour, minute, second;
    uint16_t day, month, year; // year in two digits
    uint16_t latitude[4];      // degrees, minutes, seconds, 'N' or 'S'
    uint16_t longitude[4];     // degrees, minutes, seconds, 'E' or 'W'
    uint16_t altitude;         // whole metres
    uint8_t satInUse;
    uint8_t satInView;
};
static_assert(sizeof(GpsDataStore) == 44, "the store is the 44-byte record");

// Size of the stream and work buffers, and the largest count read.
constexpr int kGpsMsgBufferSize = 2048;

// The manager's store (the UBX decoder keeps the versions, generation and
// leap seconds in it).
GpsDataStore* gpsDataStore();

int GPS_Detect();
int GPS_Init();
int GPS_Configure();
void GPS_Tick();
void GPS_LockDate();
int GPS_GetInfo();
// Reads the waiting bytes (at most kGpsMsgBufferSize) into buffer: the
// count read, 0 when nothing waits, -5 for a bad count, or a transport error.
int GPS_GetNmeaMsg(uint8_t* buffer, uint16_t* length);
// Decodes the NMEA sentences and UBX frames in length bytes: the result of
// the last NMEA sentence (0 when none).
int GPS_AnalyzeNmeaMsg(const uint8_t* buffer, int length);
// One sentence starting at "$": 0, or -1 on a checksum or framing error.
int GPS_ParseNmeaMsg(const char* sentence, int length);
// Field n (0 the sentence name) into out, 32 bytes: at most 31 characters
// and a terminator.
void GPS_GetNmeaField(const char* sentence, int n, char* out);
uint32_t GPS_ParseNmeaNumber(const char* field, int start, int count);
void GPS_ParseVersionNumbers(const char* text, uint16_t* major, uint16_t* minor);

void GPS_SetTime(uint16_t hour, uint16_t minute, uint16_t second, uint8_t valid);
void GPS_SetDate(uint16_t day, uint16_t month, uint16_t year);
void GPS_SetLatitude(uint16_t degrees, uint16_t minutes, uint16_t seconds, uint16_t cardinal);
void GPS_SetLongitude(uint16_t degrees, uint16_t minutes, uint16_t seconds, uint16_t cardinal);
void GPS_SetAltitude(uint16_t metres);
void GPS_SetSatInUse(uint8_t n);
void GPS_SetSatInView(uint8_t n);
// The 11-word date-time record: second, minute, hour, day, month, year, then
// five zeros. Returns timeValid.
uint8_t GPS_GetDateTime(uint32_t record[11]);

void GPS_PublishToConfig();

// Tests: the manager's state and store back to their start.
void gpsManagerResetForTest();
// Tests: the consecutive GGA fixes counted.
uint16_t gpsFixCounter();
