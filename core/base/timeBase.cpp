// Time base, elapsed time and timers.
#include "core/base/timeBase.h"

#include "platform/clock.h"

#include <atomic>
#include <cstdio>

namespace {

constexpr int64_t kNs = 1000000000LL;
constexpr int kEdgeTimers = 64;

struct EdgeTimer {
    uint8_t prevInput;
    struct timespec start;
};

struct TimeBaseState {
    std::atomic<int64_t> monoNowNs{0};
    std::atomic<int64_t> bootNs{0};
    EdgeTimer rising[kEdgeTimers];
    EdgeTimer falling[kEdgeTimers];
};

TimeBaseState& st()
{
    static TimeBaseState s;
    return s;
}

int64_t toNs(const struct timespec& ts)
{
    return static_cast<int64_t>(ts.tv_sec) * kNs + ts.tv_nsec;
}

struct timespec fromNs(int64_t ns)
{
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / kNs);
    ts.tv_nsec = static_cast<long>(ns % kNs);
    return ts;
}

void edgeTimer(EdgeTimer* table, uint8_t edgeInput, uint8_t input, uint16_t index, const struct timespec* ref,
               uint32_t delaySeconds, uint8_t* out)
{
    if (index >= kEdgeTimers || !out)
        return;
    EdgeTimer& t = table[index];
    if (input == edgeInput && t.prevInput != edgeInput) {
        *out = 1;
        clockGetTime(CLOCK_MONOTONIC_RAW, &t.start);
        t.prevInput = input;
        return;
    }
    // The pulse is timed on the clock that stamped its start; the caller's
    // time stamp takes no part.
    (void)ref;
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    if (*out == 1 && now.tv_sec - t.start.tv_sec >= static_cast<time_t>(delaySeconds))
        *out = 0;
    t.prevInput = input;
}

} // namespace

struct timespec getMonoTimeNow()
{
    return fromNs(st().monoNowNs.load(std::memory_order_acquire));
}

void setMonoTimeNow(const struct timespec& ts)
{
    st().monoNowNs.store(toNs(ts), std::memory_order_release);
}

struct timespec getBootTime()
{
    return fromNs(st().bootNs.load(std::memory_order_acquire));
}

void setBootTime(const struct timespec& ts)
{
    st().bootNs.store(toNs(ts), std::memory_order_release);
}

void timeThread()
{
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC_RAW, &ts);
    setMonoTimeNow(ts);
}

uint32_t getElapsedUs(const struct timespec* a, const struct timespec* b)
{
    int64_t ua = a->tv_nsec / 1000;
    int64_t ub = b->tv_nsec / 1000;
    int64_t d = static_cast<int64_t>(b->tv_sec) - static_cast<int64_t>(a->tv_sec);
    int64_t r;
    if (d == 0)
        r = ub > ua ? ub - ua : ua - ub;
    else if (d > 0)
        r = d <= 1800 ? 1000000 * d + ub - ua - 1 : (ub - ua) + 1799999999;
    else
        r = -d <= 1800 ? 1000000 * -d + ua - ub - 1 : (ua - ub) + 1799999999;
    return static_cast<uint32_t>(r);
}

void updateHysteresis(int32_t value, int32_t low, int32_t high, uint8_t* flag, uint8_t* inverse)
{
    if (value >= high) {
        *flag = 1;
        *inverse = !*flag;
    }
    if (value <= low) {
        *flag = 0;
        *inverse = !*flag;
    }
}

int checkWindowHyst(int32_t value, int32_t low, int32_t high, int32_t margin, uint8_t* state)
{
    if (value >= low && value < high) {
        *state = 1;
        return 1;
    }
    if (value >= low - margin && value < low && *state == 1)
        return 1;
    if (value < low - margin) {
        *state = 0;
        return 0;
    }
    return -1;
}

void risingEdgeTimer(uint8_t input, uint16_t index, const struct timespec* ref, uint32_t delaySeconds, uint8_t* out)
{
    edgeTimer(st().rising, 1, input, index, ref, delaySeconds, out);
}

void fallingEdgeTimer(uint8_t input, uint16_t index, const struct timespec* ref, uint32_t delaySeconds,
                      uint8_t* out)
{
    edgeTimer(st().falling, 0, input, index, ref, delaySeconds, out);
}

namespace {

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int monthDays(int year, int mon)
{
    static const int days[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
    return days[isLeap(year) ? 1 : 0][mon];
}

// Carries `field` into `next` by `base`, borrowing for negative values.
void carry(int* field, int* next, int base)
{
    if (*field >= base || *field < 0) {
        int q = *field / base;
        int r = *field % base;
        if (r < 0) {
            r += base;
            q -= 1;
        }
        *field = r;
        *next += q;
    }
}

// -1, 0 or 1 as the candidate's local fields compare with the target's.
int compareLocal(const struct tm& c, const struct tm& t)
{
    auto cmp = [](int a, int b) { return a < b ? -1 : (a > b ? 1 : 0); };
    if (int r = cmp(c.tm_year, t.tm_year))
        return r;
    if (int r = cmp(c.tm_mon, t.tm_mon))
        return r;
    if (int r = cmp(c.tm_mday, t.tm_mday))
        return r;
    int ch = c.tm_hour * 60 + c.tm_min, th = t.tm_hour * 60 + t.tm_min;
    // When exactly one side is in daylight-saving time, move the standard
    // one forward by an hour before comparing the time of day.
    if (t.tm_isdst >= 0 && (c.tm_isdst > 0) != (t.tm_isdst > 0)) {
        if (c.tm_isdst > 0)
            th += 60;
        else
            ch += 60;
    }
    if (int r = cmp(ch, th))
        return r;
    return cmp(c.tm_sec, t.tm_sec);
}

} // namespace

time_t mktimeLocal(struct tm* t)
{
    if (t->tm_isdst > 1)
        t->tm_isdst = 1;
    struct tm target = *t;
    if (target.tm_sec < 0 || target.tm_sec > 61)
        carry(&target.tm_sec, &target.tm_min, 60);
    carry(&target.tm_min, &target.tm_hour, 60);
    carry(&target.tm_hour, &target.tm_mday, 24);
    carry(&target.tm_mon, &target.tm_year, 12);
    // A day before the 1st steps back one year and adds the length of the
    // twelve months in between: they hold the February of the earlier year
    // for January and February, else the February of the later one.
    while (target.tm_mday < 1) {
        target.tm_year -= 1;
        int februaryYear = target.tm_year + 1900 + (target.tm_mon >= 2 ? 1 : 0);
        target.tm_mday += isLeap(februaryYear) ? 366 : 365;
    }
    while (target.tm_mday > monthDays(target.tm_year + 1900, target.tm_mon)) {
        target.tm_mday -= monthDays(target.tm_year + 1900, target.tm_mon);
        if (++target.tm_mon > 11) {
            target.tm_mon = 0;
            target.tm_year += 1;
        }
    }
    int keptSeconds = target.tm_sec;
    target.tm_sec = 0;

    int64_t cand = 0;
    int64_t step = 1LL << 30;
    struct tm c;
    for (;;) {
        time_t tt = static_cast<time_t>(cand);
        localtime_r(&tt, &c);
        int r = compareLocal(c, target);
        if (r == 0)
            break;
        if (step == 0) {
            // After the step of one second, one try a second earlier.
            tt = static_cast<time_t>(cand - 1);
            localtime_r(&tt, &c);
            if (compareLocal(c, target) == 0) {
                cand -= 1;
                break;
            }
            return -1;
        }
        cand += r < 0 ? step : -step;
        step /= 2;
    }
    if (target.tm_isdst < 0 || target.tm_isdst == (c.tm_isdst > 0 ? 1 : 0)) {
        time_t result = static_cast<time_t>(cand + keptSeconds);
        localtime_r(&result, t);
        return result;
    }
    printf("Return wrong\n");
    return -1;
}

time_t mktimeWrapper(struct tm* t)
{
    return mktimeLocal(t);
}

bool periodicStepDue(PeriodicStep* step, uint32_t periodUs, bool runsOnFirstCall)
{
    if (!step->started) {
        clockGetTime(CLOCK_MONOTONIC_RAW, &step->stamp);
        step->started = 1;
    }
    struct timespec now = getMonoTimeNow();
    uint32_t elapsed = getElapsedUs(&step->stamp, &now);
    if (runsOnFirstCall) {
        if (elapsed < periodUs && step->ranOnce)
            return false;
        step->ranOnce = 1;
        return true;
    }
    return elapsed > periodUs - 1;
}

void periodicStepDone(PeriodicStep* step)
{
    step->stamp = getMonoTimeNow();
}
