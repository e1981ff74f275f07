// Common utilities and the internal debug log.
#include "core/base/utils.h"

#include "platform/clock.h"
#include "platform/paths.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char* kDebugLast = "/usr/share/VRL/log/internalDebugLast.log";
constexpr const char* kDebugOld = "/usr/share/VRL/log/internalDebugOld.log";
constexpr const char* kLinkLast = "/usr/share/VRL/www/TRN_Equip/Factory/internalDebugLast.log";
constexpr const char* kLinkOld = "/usr/share/VRL/www/TRN_Equip/Factory/internalDebugOld.log";
constexpr long kDebugRotateSize = 150000;

struct UtilsState {
    // Links of the factory pages, made once a run.
    uint8_t lastLinked = 0;
    uint8_t oldLinked = 0;
    // Calls in a row on which the two averages agreed; shared by all users.
    uint8_t stableCount = 0;
};

UtilsState& st()
{
    static UtilsState s;
    return s;
}

// Moves the nonzero entries of a history one place towards its end and puts
// `sample` in front.
void shiftHistory(uint32_t* hist, uint32_t len, uint32_t sample)
{
    for (uint32_t i = len - 1; i-- > 0;) {
        if (hist[i] != 0)
            hist[i + 1] = hist[i];
    }
    hist[0] = sample;
}

uint32_t average(const uint32_t* hist, uint32_t len)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i < len; i++)
        sum += hist[i];
    return static_cast<uint32_t>(sum / len);
}

void writeInternalDebug(bool stamped, const char* format, va_list ap)
{
    char msg[256];
    vsnprintf(msg, sizeof msg, format, ap);
    FILE* f = fopen(sysPath(kDebugLast).c_str(), "a");
    if (!f)
        return;
    if (!st().lastLinked) {
        st().lastLinked = 1;
        if (symlink(kDebugLast, sysPath(kLinkLast).c_str()) != 0) {
            // Already there from an earlier run, or no web folder.
        }
    }
    if (msg[0]) {
        if (stamped) {
            struct timespec now;
            clockGetTime(CLOCK_REALTIME, &now);
            time_t secs = now.tv_sec;
            struct tm tmv;
            localtime_r(&secs, &tmv);
            char when[32];
            asctime_r(&tmv, when);
            // Drop " YYYY\n": the blank, the year and the newline.
            size_t n = strlen(when);
            when[n >= 6 ? n - 6 : 0] = 0;
            fprintf(f, "%s-%03lld: %s", when, static_cast<long long>(now.tv_nsec / 1000000), msg);
        } else {
            fputs(msg, f);
        }
    }
    long pos = ftell(f);
    fflush(f);
    fsync(fileno(f));
    fclose(f);
    if (pos > kDebugRotateSize) {
        if (!st().oldLinked) {
            st().oldLinked = 1;
            if (symlink(kDebugOld, sysPath(kLinkOld).c_str()) != 0) {
                // Already there from an earlier run, or no web folder.
            }
        }
        if (rename(sysPath(kDebugLast).c_str(), sysPath(kDebugOld).c_str()) != 0)
            perror("Error in renaming file.");
    }
}

} // namespace

uint32_t getCsNow(const struct timespec* ts)
{
    uint64_t us = static_cast<uint64_t>(ts->tv_sec) * 1000000u + static_cast<uint64_t>(ts->tv_nsec) / 1000u;
    return static_cast<uint32_t>(us * 100u / 1000000u);
}

uint32_t getDeadlineCs(uint32_t offset)
{
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC, &now);
    return getCsNow(&now) + offset;
}

int checkDeadlineCs(int done, uint32_t deadline, int32_t* remaining)
{
    if (done)
        return 1;
    if (deadline == 0)
        return -1;
    int32_t left = static_cast<int32_t>(deadline - getDeadlineCs(0));
    if (remaining)
        *remaining = left;
    return left < 0 ? -1 : 0;
}

void putU32LE(uint32_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void putU32BE(uint32_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void putU16LE(uint16_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t getU32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

uint32_t getU32BE(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

uint32_t getU32LE(const uint8_t* p)
{
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint16_t getU16LE(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

float roundHalfAwayF(float x)
{
    return x > 0 ? floorf(x + 0.5f) : ceilf(x - 0.5f);
}

double roundHalfAway(double x)
{
    return x > 0 ? floor(x + 0.5) : ceil(x - 0.5);
}

int32_t convLinToLogIndex(uint32_t x)
{
    // No power has no level; it reads as the smallest power there is (1),
    // which is also what the inverse gives for any level below it.
    if (x == 0)
        x = 1;
    return static_cast<int32_t>(roundHalfAway(100.0 * log10(x / 10.0)));
}

uint32_t convLogIndexToLin(int32_t i)
{
    double y = 10.0 * pow(10.0, i / 100.0);
    double step;
    if (i < 300)
        step = 1;
    else if (i < 400)
        step = 100;
    else if (i < 500)
        step = 1000;
    else if (i < 600)
        step = 10000;
    else if (i < 700)
        step = 500000;
    else
        return 1;
    uint32_t r = static_cast<uint32_t>(step * floor(y / step + 0.5));
    return r == 0 ? 1 : r;
}

char* formatTimestamp(const time_t* t, char* out)
{
    time_t when = t ? *t : clockWallSeconds();
    struct tm tmv;
    localtime_r(&when, &tmv);
    char text[80];
    snprintf(text, sizeof text, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d ", tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday,
             tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
    snprintf(out, 21, "%.20s", text);
    return out;
}

void appendLineToFile(const char* path, const char* text)
{
    FILE* f = fopen(sysPath(path).c_str(), "a");
    if (!f)
        return;
    if (text && text[0]) {
        char stamp[21];
        fprintf(f, "%s %s \n", formatTimestamp(nullptr, stamp), text);
        fflush(f);
        fsync(fileno(f));
    }
    fclose(f);
}

int computeLinearRegression(uint32_t sample, uint32_t n, uint32_t* hist1, uint32_t* avg1, uint32_t* hist2,
                            uint32_t m)
{
    if (n == 0) {
        *avg1 = sample;
        return 0;
    }
    shiftHistory(hist1, n, sample);
    if (hist1[n - 1] == 0) {
        *avg1 = sample;
        return 0;
    }
    *avg1 = average(hist1, n);
    if (!hist2 || m == 0)
        return 0;
    shiftHistory(hist2, m, *avg1);
    if (hist2[m - 1] != 0) {
        int64_t diff = static_cast<int64_t>(average(hist2, m)) - *avg1;
        if (diff >= -300 && diff <= 300) {
            // Held at its top so a long stable run never wraps back to 0.
            if (st().stableCount < UINT8_MAX)
                st().stableCount++;
            return st().stableCount > 7 ? 1 : 0;
        }
    }
    st().stableCount = 0;
    return 0;
}

void writeInternalDebugLog(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    writeInternalDebug(true, format, ap);
    va_end(ap);
}

void writeInternalDebugRaw(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    writeInternalDebug(false, format, ap);
    va_end(ap);
}
