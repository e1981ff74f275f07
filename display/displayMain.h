// lumiro's start-up and main loop.
#pragma once

#include <cstdint>
#include <ctime>

namespace lumiro {

struct DisplayState {
    uint8_t page;        // mirrors the pages' current page
    uint8_t tableCopy;   // image the next turn refreshes (1 to 5)
    struct timespec lastKey;
    struct timespec now;
    uint8_t blanked;
    uint16_t lastKeyCode;
    uint8_t systemType;
    uint8_t usbPresent;  // 255 until the first turn
    uint8_t usbMounted;
    uint8_t noticeNumber;
    uint8_t noticeReturn;
    uint8_t exchangeSource;
};

// The start-up steps, in order.
void displayStart();
// One turn of the loop without its closing pause: false when the turn
// ended early on the reboot notice (after its 5 s sleep).
bool displayTurn();
// Runs the loop for ever.
[[noreturn]] void displayRun();
DisplayState& displayState();
// Tests: the state back to its start values.
void resetDisplayState();

} // namespace lumiro
