// Front-panel key scan.
#include "hw/frontPanelKeys.h"

#include "core/base/timeBase.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"

#include <cstdio>
#include <initializer_list>

namespace {

constexpr uint8_t kRegionColumn = 6, kRegionRows = 7;
constexpr uint32_t kRepeatUs = 269999;

struct Key {
    uint16_t code;
    bool scanGoesOn; // DOWN and RIGHT let the scan continue towards LOCKOUT
    const char* text;
};

const Key kKeys[] = {
    {KEY_LEFT, false, "detectKeyPress : LEFT key pressed "},
    {KEY_LOCAL, false, "detectKeyPress : LOCAL key pressed "},
    {KEY_UP, false, "detectKeyPress : UP key pressed"},
    {KEY_ENTER, false, "detectKeyPress : ENTER key pressed "},
    {KEY_DOWN, true, "detectKeyPress : DOWN key pressed "},
    {KEY_ON, false, "detectKeyPress : ON key pressed "},
    {KEY_RIGHT, true, "detectKeyPress : RIGHT key pressed "},
    {KEY_STBY, false, "detectKeyPress : STBY key pressed "},
};
constexpr int kKeyCount = sizeof kKeys / sizeof kKeys[0];

struct KeysState {
    struct timespec lastReport[kKeyCount] = {};
    bool lockoutStarted = false;
    struct timespec lockoutStamp = {};
};

KeysState& st()
{
    static KeysState s;
    return s;
}

long absSeconds(const struct timespec& a, const struct timespec& b)
{
    long d = static_cast<long>(a.tv_sec - b.tv_sec);
    return d < 0 ? -d : d;
}

} // namespace

uint16_t detectKeyPress()
{
    KeysState& s = st();
    uint16_t result = 0, mask = 0;
    for (uint32_t column : {1u, 2u, 4u}) {
        uint32_t rows = 0;
        fpgaWriteWords(&column, 1, 2, kRegionColumn, 0);
        clockSleepUs(5);
        fpgaReadWords(&rows, 1, 2, kRegionRows, 0);
        uint32_t row = rows & 0xFF;
        if (row != 1 && row != 2 && row != 4)
            continue;
        uint16_t code = static_cast<uint16_t>(row << 8 | column);
        for (int k = 0; k < kKeyCount; k++) {
            if (kKeys[k].code != code)
                continue;
            mask |= code;
            struct timespec now;
            clockGetTime(CLOCK_MONOTONIC_RAW, &now);
            if (getElapsedUs(&s.lastReport[k], &now) > kRepeatUs) {
                printf("%s\n", kKeys[k].text);
                s.lastReport[k] = now;
                result = code;
            }
            if (!kKeys[k].scanGoesOn)
                return result;
        }
    }
    if (mask == KEY_LOCKOUT) {
        if (!s.lockoutStarted) {
            clockGetTime(CLOCK_MONOTONIC_RAW, &s.lockoutStamp);
            s.lockoutStarted = true;
        }
        if (absSeconds(getMonoTimeNow(), s.lockoutStamp) > 1) {
            printf("detectKeyPress : LOCKOUT key pressed \n");
            s.lockoutStarted = false;
            return KEY_LOCKOUT;
        }
        return 0;
    }
    s.lockoutStarted = false;
    return result;
}
