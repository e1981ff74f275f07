// Key detection, debounce and acknowledgement.
#include "display/keypad.h"

#include "display/dbView.h"
#include "display/dipc.h"
#include "display/lcd.h"
#include "platform/clock.h"

#include <cstdio>
#include <ctime>

namespace lumiro {

namespace {

constexpr uint64_t kDebounceUs = 250000;
constexpr uint16_t kKeyPressCell = 13 << 8 | 19;

struct KeyRow {
    uint16_t line; // bit of the key word
    uint16_t code; // code in bits 8 to 15
    uint16_t keyCode;
    int slot;      // debounce stamp
    const char* line_;
};

// Tried in this order; a row too early after its last acceptance lets the
// next one be tried.
constexpr KeyRow kRows[] = {
    {0x01, 2, KEY_LEFT, 0, "DSPL detectKeyPress : LEFT key pressed "},
    {0x02, 2, KEY_ENTER, 1, "DSPL detectKeyPress : ENTER key pressed "},
    {0x02, 4, KEY_DOWN, 2, "DSPL detectKeyPress : DOWN key pressed "},
    {0x02, 1, KEY_UP, 3, "DSPL detectKeyPress : UP key pressed"},
    {0x04, 2, KEY_RIGHT, 4, "DSPL detectKeyPress : RIGHT key pressed "},
};

struct KeypadState {
    struct timespec accepted[5] = {};
};

KeypadState& st()
{
    static KeypadState s;
    return s;
}

} // namespace

uint16_t detectKeyPress()
{
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    uint16_t word = static_cast<uint16_t>(imageWord(2, 28) & 0xFFFF);
    uint16_t code = word >> 8;
    for (const KeyRow& r : kRows) {
        if (!(word & r.line) || code != r.code)
            continue;
        if (elapsedUs(&st().accepted[r.slot], &now) < kDebounceUs)
            continue;
        printf("%s\n", r.line_);
        fflush(stdout);
        clockGetTime(CLOCK_MONOTONIC_RAW, &st().accepted[r.slot]);
        writeDbElement(kKeyPressCell, 0);
        return r.keyCode;
    }
    return KEY_NONE;
}

int ackKeyPress()
{
    return writeDbElement(kKeyPressCell, 0);
}

void resetKeypad()
{
    st() = KeypadState{};
}

} // namespace lumiro
