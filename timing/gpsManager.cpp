// The GPS receiver manager, its NMEA decoding and the GPS data store.
#include "timing/gpsManager.h"

#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"
#include "platform/clock.h"
#include "timing/gpsTransport.h"
#include "timing/gpsUbx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint16_t kFixCounterMax = 5;
constexpr uint8_t kFailLogAfter = 10;
constexpr uint8_t kMonVerTriesMax = 19;
constexpr int64_t kTickPeriodUs = 200000;
constexpr int kFieldSize = 32;

struct State {
    GpsDataStore store = {};
    uint16_t fixCounter = 0;
    uint8_t getInfoFailCount = 0;
    uint8_t monVerTries = 0;
    uint8_t getInfoPhase = 0;
    uint8_t prevInitFailed = 0;
    uint8_t reconfigurePending = 0;
    uint8_t readingEnabled = 1;
    uint8_t firstTick = 1;
    uint8_t tickStarted = 0;
    struct timespec tickStamp = {};
    uint8_t msg[kGpsMsgBufferSize];
    char work[kGpsMsgBufferSize + 1];
};

State& st()
{
    static State s;
    return s;
}

#define GPS_DEBUG(...) DEBUG_PRINT(DBG_GPS, __VA_ARGS__)

void trace(const char* func, const char* step, int a, int b, int c)
{
    printf("    [GPS]|DBG| %s() : %s - a=%d - b=%d - c=%d \n", func, step, a, b, c);
}

void traceText(const char* text)
{
    printf("    [GPS]|DBG| %s \n", text);
}

int64_t elapsedUs(const struct timespec& from)
{
    struct timespec now = {};
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    return (static_cast<int64_t>(now.tv_sec) - from.tv_sec) * 1000000 + (now.tv_nsec - from.tv_nsec) / 1000;
}

} // namespace

GpsDataStore* gpsDataStore()
{
    return &st().store;
}

int GPS_Detect()
{
    traceText("GPS Detection ...");
    int ok = GPS_Init() == 0;
    traceText(ok ? "GPS Detection ... OK \n" : "GPS Detection ... FAIL \n");
    return ok;
}

int GPS_Init()
{
    GpsDataStore& d = st().store;
    traceText("GPS Init ... ");
    memset(&d, 0, sizeof d);
    d.initFailed = 1;
    int r = GPS_Configure();
    if (r != 0) {
        GPS_ReqUbxMonVer();
        traceText("GPS Init ... FAIL \n");
    } else {
        d.detected = 1;
        d.initFailed = 0;
        traceText("GPS Init ... OK \n");
    }
    return r;
}

namespace {

// A generation-80 step: up to 3 attempts while negative, each followed by a
// pause and each failure by an INFO line.
template <typename Step>
int32_t stepWithRetry(const char* failFmt, Step step)
{
    int32_t r = -1;
    for (int attempt = 0; attempt < 3; attempt++) {
        r = step();
        clockSleepUs(100);
        if (r >= 0)
            break;
        bookLog(LVL_INFO, failFmt, attempt);
    }
    return r;
}

} // namespace

int GPS_Configure()
{
    traceText("GPS Config ...       ");
    GPS_ConfigureWithRetry(GPS_ConfigureDdcPort, "DDC Port");
    int32_t r = 0;
    if (st().store.GpsGeneration == 80) {
        GPS_ConfigureWithRetry(GPS_ConfigureGnssSystem, "GNSS system");
        r = stepWithRetry("GPS: Configure GNSS system fail! [retry %d]",
                          [] { return GPS_ConfigureGnssSingleId(6, 0, 8, 14, 1); });
        r = stepWithRetry("GPS: Send Ubx reset fail! [retry %d]", [] { return GPS_SendUbxReset(1); });
        r = stepWithRetry("GPS: Configure TP5 fail! [retry %d]", [] { return GPS_ConfigureTp5(1); });
        r = stepWithRetry("GPS: Configure Navigation fail! [retry %d]", [] { return GPS_ConfigureNavSet(); });
        if (r > 0)
            r = 0;
    }
    static const struct {
        const char* name;
        uint8_t rate;
    } kRates[] = {{"TIMEGPS", 8}, {"RMC", 2}, {"GGA", 1}, {"GSV", 8},
                  {"DTM", 0},     {"GSA", 0}, {"VTG", 0}, {"GLL", 0}};
    for (const auto& m : kRates)
        GPS_ConfigureMsgRateWithRetry(m.name, m.rate);
    traceText(r == 0 ? "GPS Config ... OK    " : "GPS Config ... FAIL  ");
    return r;
}

void GPS_Tick()
{
    State& s = st();
    if (!s.tickStarted) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.tickStamp);
        s.tickStarted = 1;
    }
    if (!s.firstTick && elapsedUs(s.tickStamp) < kTickPeriodUs)
        return;
    if (s.store.detected)
        GPS_LockDate();
    s.tickStarted = 0;
    s.firstTick = 0;
}

void GPS_LockDate()
{
    State& s = st();
    GpsDataStore& d = s.store;
    if (s.readingEnabled) {
        if (d.GpsGeneration == 0) {
            GPS_ReqUbxMonVer();
            if (++s.monVerTries > kMonVerTriesMax) {
                d.GpsGeneration = 60;
                d.swMajor = 0;
                d.swMinor = 1;
                traceText("Set HW ver Gen = 60    (old GPS module) ");
                logInfo("GPS: Detected Model %u.%u [Sw ver %u.%u]", d.GpsGeneration / 10u, d.GpsGeneration % 10u,
                        d.swMajor, d.swMinor);
            }
        }
        if (++s.getInfoPhase > 1) {
            GPS_GetInfo();
            s.getInfoPhase = 0;
        }
    }
    if (s.prevInitFailed == 1 && d.initFailed == 0) {
        s.reconfigurePending = 1;
        s.prevInitFailed = d.initFailed;
        return;
    }
    if (s.prevInitFailed == 0 && d.initFailed == 1) {
        s.readingEnabled = 0;
        s.prevInitFailed = d.initFailed;
        return;
    }
    if (s.reconfigurePending && ++s.reconfigurePending > 2) {
        GPS_DEBUG("Reconfigure GPS\n");
        GPS_Configure();
        s.reconfigurePending = 0;
        s.readingEnabled = 0;
    }
    s.prevInitFailed = d.initFailed;
}

int GPS_GetInfo()
{
    State& s = st();
    memset(s.msg, 0, sizeof s.msg);
    traceText("-------------------------------");
    trace(__func__, "Read Msg (try n.=a) ...       ", s.getInfoFailCount, 0, 0);
    uint16_t length = 0;
    int r = GPS_GetNmeaMsg(s.msg, &length);
    if (r < 0) {
        if (++s.getInfoFailCount > kFailLogAfter) {
            GPS_DEBUG("GPS: Error on GetNmeaMsg\n");
            s.getInfoFailCount = 0;
        }
        trace(__func__, "Read Msg (try n.=a) ...  FAIL ", s.getInfoFailCount, r, 0);
        return r;
    }
    r = GPS_AnalyzeNmeaMsg(s.msg, r);
    if (r < 0) {
        if (++s.getInfoFailCount > kFailLogAfter) {
            GPS_DEBUG("GPS: Error on AnalyzeNmeaMsg\n");
            s.getInfoFailCount = 0;
        }
        trace(__func__, "Analyze Msg (try n.=a) ...  FAIL ", s.getInfoFailCount, r, 0);
    } else {
        s.getInfoFailCount = 0;
        trace(__func__, "Analyze Msg (try n.=a) ...  OK   ", s.getInfoFailCount, r, 0);
    }
    return r;
}

int GPS_GetNmeaMsg(uint8_t* buffer, uint16_t* length)
{
    uint8_t count[2] = {};
    int r = GPS_ReadBytes(count, kGpsRegCount, 2);
    if (r < 0)
        return r;
    // 0xFD holds the high-order byte, 0xFE the low-order one.
    int16_t n = static_cast<int16_t>(count[0] << 8 | count[1]);
    if (n == 0) {
        trace(__func__, "Get Msg  (len=0) ... NoMsg", 0, 0, 0);
        return 0;
    }
    if (n < 0 || n > kGpsMsgBufferSize) {
        GPS_DEBUG("GPS Info not available! MsgLength %d\n", n);
        printf("    [GPS]|ERR| %s() : %s - err=%d \n", __func__, "Get Msg  (err=0) ... FAIL ", -5);
        return -5;
    }
    *length = static_cast<uint16_t>(n);
    return GPS_ReadBytes(buffer, kGpsRegStream, static_cast<uint16_t>(n));
}

int GPS_AnalyzeNmeaMsg(const uint8_t* buffer, int length)
{
    if (!buffer || length <= 0)
        return 0;
    State& s = st();
    char* work = s.work;
    memset(work, 0, sizeof s.work);
    int result = 0, sentenceLength = 0, ubxFails = 0;
    int i = 0;
    while (i < length) {
        if (buffer[i] == '$') {
            int n = 0, j = i;
            while (j < length && buffer[j] != '*')
                work[n++] = static_cast<char>(buffer[j++]);
            if (j < length) {
                // The "*" and the checksum characters that the input holds.
                for (int k = 0; k < 3 && j < length; k++)
                    work[n++] = static_cast<char>(buffer[j++]);
            }
            work[n] = 0;
            if (n < length)
                sentenceLength = n;
            GPS_DEBUG("ParseNmeaMsg [LEN=%d]: %s\n", sentenceLength, work);
            result = GPS_ParseNmeaMsg(work, sentenceLength);
            i = j; // one past the last byte looked at
            continue;
        }
        if (buffer[i] == 0xB5 && i + 1 < length && buffer[i + 1] == 0x62) {
            if (i + 5 >= length)
                break;
            int plen = buffer[i + 4] | buffer[i + 5] << 8;
            if (plen < kUbxMaxParsedPayload) {
                int n = plen + 8;
                if (n > length - i)
                    n = length - i;
                if (n < length && n > 0 && GPS_ParseUbxMsg(buffer + i, n) != 0)
                    ubxFails++;
                i += n; // the next message may follow at once
                continue;
            }
        }
        i++;
    }
    (void)ubxFails;
    trace(__func__, result == 0 ? "Parse Msg ***   (len n.=a) ... OK    " : "Parse Msg ***   (len n.=a) ... FAIL  ",
          length, 0, 0);
    return result;
}

void GPS_GetNmeaField(const char* sentence, int n, char* out)
{
    memset(out, 0, kFieldSize);
    int i = 0, field = 0;
    while (field < n && i < kGpsMsgBufferSize && sentence[i] && sentence[i] != '*') {
        if (sentence[i] == ',')
            field++;
        i++;
    }
    if (field < n)
        return;
    int k = 0;
    while (i < kGpsMsgBufferSize && sentence[i] && sentence[i] != ',' && sentence[i] != '*' && k < kFieldSize - 1)
        out[k++] = sentence[i++];
}

uint32_t GPS_ParseNmeaNumber(const char* field, int start, int count)
{
    uint32_t v = 0;
    for (int i = start; i < start + count && i < kFieldSize - 1; i++) {
        if (field[i] < '0' || field[i] > '9')
            break;
        v = v * 10 + static_cast<uint32_t>(field[i] - '0');
    }
    return v;
}

void GPS_ParseVersionNumbers(const char* text, uint16_t* major, uint16_t* minor)
{
    *major = 0;
    *minor = 0;
    if (!text)
        return;
    const char* p = text;
    while (*p && (*p < '0' || *p > '9'))
        p++;
    if (!*p)
        return;
    unsigned a = 0, b = 0;
    if (sscanf(p, "%u.%u", &a, &b) >= 1) {
        *major = static_cast<uint16_t>(a);
        *minor = static_cast<uint16_t>(b);
    }
}

namespace {

// Degrees, minutes and seconds of a coordinate field whose degrees take
// degDigits characters; the seconds come from the first two decimals of the
// minutes.
void coordinate(const char* f, int degDigits, uint16_t out[3])
{
    out[0] = static_cast<uint16_t>(GPS_ParseNmeaNumber(f, 0, degDigits));
    out[1] = static_cast<uint16_t>(GPS_ParseNmeaNumber(f, degDigits, 2));
    out[2] = static_cast<uint16_t>(GPS_ParseNmeaNumber(f, degDigits + 3, 2) * 60 / 100);
}

void timeOf(const char* f, uint16_t t[3])
{
    t[0] = static_cast<uint16_t>(GPS_ParseNmeaNumber(f, 0, 2));
    t[1] = static_cast<uint16_t>(GPS_ParseNmeaNumber(f, 2, 2));
    t[2] = static_cast<uint16_t>(GPS_ParseNmeaNumber(f, 4, 2));
}

void storePosition(const char* s, int latField, int lonField)
{
    char f[kFieldSize], card[kFieldSize];
    uint16_t lon[3], lat[3];
    GPS_GetNmeaField(s, lonField, f);
    coordinate(f, 3, lon);
    GPS_GetNmeaField(s, lonField + 1, card);
    GPS_DEBUG("LON: DEGREE %d, MIN %d, SEC %d, CARD %c\n", lon[0], lon[1], lon[2], card[0]);
    GPS_SetLongitude(lon[0], lon[1], lon[2], static_cast<uint8_t>(card[0]));
    GPS_GetNmeaField(s, latField, f);
    coordinate(f, 2, lat);
    GPS_GetNmeaField(s, latField + 1, card);
    GPS_DEBUG("LAT: DEGREE %d, MIN %d, SEC %d, CARD %c\n", lat[0], lat[1], lat[2], card[0]);
    GPS_SetLatitude(lat[0], lat[1], lat[2], static_cast<uint8_t>(card[0]));
}

void storeTime(const char* s)
{
    char f[kFieldSize];
    uint16_t t[3];
    GPS_GetNmeaField(s, 1, f);
    timeOf(f, t);
    GPS_DEBUG("HOUR: %d, MIN: %d, SEC: %d\n", t[0], t[1], t[2]);
    GPS_SetTime(t[0], t[1], t[2], 1);
}

} // namespace

int GPS_ParseNmeaMsg(const char* sentence, int length)
{
    State& s = st();
    if (!sentence || length < 1 || sentence[0] != '$')
        return -1;
    uint8_t x = 0;
    int star = 1;
    while (star < length - 1 && sentence[star] != '*')
        x ^= static_cast<uint8_t>(sentence[star++]);
    if (sentence[star] != '*' || star + 2 >= length)
        return -1;
    char hex[3] = {sentence[star + 1], sentence[star + 2], 0};
    char* end = nullptr;
    long expected = strtol(hex, &end, 16);
    if (end != hex + 2 || hex[0] == '-' || hex[0] == '+' || hex[0] == ' ' || expected != x) {
        GPS_DEBUG("GPS NMEA msg: Wrong Checksum!\n");
        return -1;
    }
    if (star < 6)
        return 0;
    char talker[3] = {sentence[1], sentence[2], 0};
    char name[4] = {sentence[3], sentence[4], sentence[5], 0};
    char f[kFieldSize];
    if (strcmp(name, "RMC") == 0) {
        if (s.fixCounter == 0)
            return 0;
        storeTime(sentence);
        uint16_t date[3];
        GPS_GetNmeaField(sentence, 9, f);
        timeOf(f, date);
        GPS_DEBUG("DOW: %d, MON: %d, YEAR: %d\n", date[0], date[1], date[2]);
        GPS_SetDate(date[0], date[1], date[2]);
        storePosition(sentence, 3, 5);
    } else if (strcmp(name, "GSV") == 0 && strcmp(talker, "GP") == 0) {
        GPS_GetNmeaField(sentence, 3, f);
        uint32_t n = GPS_ParseNmeaNumber(f, 0, kFieldSize - 1);
        GPS_DEBUG("SAT IN VIEW: %d\n", static_cast<int>(n));
        GPS_SetSatInView(static_cast<uint8_t>(n));
    } else if (strcmp(name, "GGA") == 0) {
        GPS_GetNmeaField(sentence, 6, f);
        uint32_t q = GPS_ParseNmeaNumber(f, 0, kFieldSize - 1);
        GPS_DEBUG("FIX: %d\n", static_cast<int>(q));
        if ((q == 1 || q == 2) && f[0]) {
            if (s.fixCounter < kFixCounterMax)
                s.fixCounter++;
        } else {
            s.fixCounter = 0;
        }
        if (s.fixCounter == 0) {
            GPS_SetSatInUse(0);
            return 0;
        }
        storeTime(sentence);
        storePosition(sentence, 2, 4);
        GPS_GetNmeaField(sentence, 7, f);
        uint32_t sats = GPS_ParseNmeaNumber(f, 0, kFieldSize - 1);
        GPS_DEBUG("SAT IN USE: %d\n", static_cast<int>(sats));
        GPS_GetNmeaField(sentence, 9, f);
        int alt = atoi(f);
        GPS_DEBUG("ALTITUDE: %d\n", alt);
        GPS_SetAltitude(static_cast<uint16_t>(alt));
        GPS_SetSatInUse(static_cast<uint8_t>(sats));
    }
    return 0;
}

void GPS_SetTime(uint16_t hour, uint16_t minute, uint16_t second, uint8_t valid)
{
    GpsDataStore& d = st().store;
    d.hour = hour;
    d.minute = minute;
    d.second = second;
    d.timeValid = valid;
}

void GPS_SetDate(uint16_t day, uint16_t month, uint16_t year)
{
    GpsDataStore& d = st().store;
    d.day = day;
    d.month = month;
    d.year = year;
}

namespace {

void GPS_SetCoord(uint16_t* c, uint16_t degrees, uint16_t minutes, uint16_t seconds, uint16_t cardinal)
{
    c[0] = degrees;
    c[1] = minutes;
    c[2] = seconds;
    c[3] = cardinal;
}

} // namespace

void GPS_SetLatitude(uint16_t degrees, uint16_t minutes, uint16_t seconds, uint16_t cardinal)
{
    GPS_SetCoord(st().store.latitude, degrees, minutes, seconds, cardinal);
}

void GPS_SetLongitude(uint16_t degrees, uint16_t minutes, uint16_t seconds, uint16_t cardinal)
{
    GPS_SetCoord(st().store.longitude, degrees, minutes, seconds, cardinal);
}

void GPS_SetAltitude(uint16_t metres)
{
    st().store.altitude = metres;
}

void GPS_SetSatInUse(uint8_t n)
{
    st().store.satInUse = n;
}

void GPS_SetSatInView(uint8_t n)
{
    st().store.satInView = n;
}

uint8_t GPS_GetDateTime(uint32_t record[11])
{
    const GpsDataStore& d = st().store;
    uint32_t r[11] = {d.second, d.minute, d.hour, d.day, d.month, d.year};
    memcpy(record, r, sizeof r);
    return d.timeValid;
}

void GPS_PublishToConfig()
{
    const GpsDataStore& d = st().store;
    setGpsLonDeg(d.longitude[0]);
    setGpsLonMin(d.longitude[1]);
    setGpsLonSec(static_cast<float>(d.longitude[2]));
    setGpsLonCard(static_cast<uint8_t>(d.longitude[3]));
    setGpsLatDeg(d.latitude[0]);
    setGpsLatMin(d.latitude[1]);
    setGpsLatSec(static_cast<float>(d.latitude[2]));
    setGpsLatCard(static_cast<uint8_t>(d.latitude[3]));
    setGpsAltitude(static_cast<float>(d.altitude));
    if (d.timeValid) {
        uint32_t record[11];
        GPS_GetDateTime(record);
        setGpsDateTime(record);
    }
    setGpsSatInUse(d.satInUse);
}

void gpsManagerResetForTest()
{
    st() = State{};
}

uint16_t gpsFixCounter()
{
    return st().fixCounter;
}
