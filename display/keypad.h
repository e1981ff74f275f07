// Front-panel keys: the key word the daemon publishes in (13, 19), read from
// table image 2, debounced per key and acknowledged with a write of 0; a
// key is not taken again from a word still there after its acknowledgement.
#pragma once

#include <cstdint>

namespace lumiro {

constexpr uint16_t KEY_NONE = 0;
constexpr uint16_t KEY_LEFT = 513;
constexpr uint16_t KEY_ENTER = 514;
constexpr uint16_t KEY_UP = 258;
constexpr uint16_t KEY_DOWN = 1026;
constexpr uint16_t KEY_RIGHT = 516;

// The accepted key of this turn, or 0.
uint16_t detectKeyPress();
// Sends the acknowledgement (13, 19) = 0 alone.
int ackKeyPress();
// Tests: forget the debounce stamps.
void resetKeypad();

} // namespace lumiro
