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
constexpr uint64_t kAckAgainUs = 1000000;
constexpr uint16_t kKeyPressCell = 13 << 8 | 19;
constexpr int kKeyImage = 2, kKeyWord = 28;

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

// The daemon serves an acknowledgement in its own time, and lumiro's copy
// of (13, 19) is refreshed only every fifth turn: a word acknowledged can
// still be there at the next refresh. The word acknowledged is kept with
// the rows taken from it, and those rows are not taken from it again until
// the cell has shown another word (0 once the acknowledgement is served).
struct KeypadState {
    struct timespec accepted[5] = {};
    uint16_t ackedWord = 0;  // 0: none waiting
    uint8_t takenRows = 0;   // bits by slot
    struct timespec ackedAt = {};
};

KeypadState& st()
{
    static KeypadState s;
    return s;
}

// While an acknowledged word waits, the cell itself is read every turn: once
// it holds another word the wait ends, and the copy takes the cell's word so
// the old one is not read from it again before its refresh.
void followAcknowledgedWord(uint16_t* word)
{
    KeypadState& s = st();
    if (s.ackedWord == 0)
        return;
    uint32_t cell = s.ackedWord;
    readDbCell(kKeyPressCell, &cell);
    if (*word == s.ackedWord && (cell & 0xFFFF) == s.ackedWord)
        return;
    if (*word == s.ackedWord) {
        setImageWord(kKeyImage, kKeyWord, cell);
        *word = static_cast<uint16_t>(cell & 0xFFFF);
    }
    s.ackedWord = 0;
    s.takenRows = 0;
}

} // namespace

uint16_t detectKeyPress()
{
    KeypadState& s = st();
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    uint16_t word = static_cast<uint16_t>(imageWord(kKeyImage, kKeyWord) & 0xFFFF);
    followAcknowledgedWord(&word);
    uint16_t code = word >> 8;
    for (const KeyRow& r : kRows) {
        if (!(word & r.line) || code != r.code)
            continue;
        if (elapsedUs(&s.accepted[r.slot], &now) < kDebounceUs)
            continue;
        if (word == s.ackedWord && (s.takenRows & (1u << r.slot)))
            continue;
        printf("%s\n", r.line_);
        fflush(stdout);
        clockGetTime(CLOCK_MONOTONIC_RAW, &s.accepted[r.slot]);
        if (word != s.ackedWord)
            s.takenRows = 0;
        s.ackedWord = word;
        s.takenRows = static_cast<uint8_t>(s.takenRows | 1u << r.slot);
        s.ackedAt = s.accepted[r.slot];
        writeDbElement(kKeyPressCell, 0);
        return r.keyCode;
    }
    // A word that outlives its acknowledgement by a second is acknowledged
    // again: an acknowledgement the daemon never got, or a new press of the
    // same key whose clearing went unseen, does not hold the key for ever.
    if (s.ackedWord != 0 && word == s.ackedWord && elapsedUs(&s.ackedAt, &now) >= kAckAgainUs) {
        s.ackedAt = now;
        writeDbElement(kKeyPressCell, 0);
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
