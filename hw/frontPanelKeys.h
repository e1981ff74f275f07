// The front-panel keys: a 3 x 3 matrix scanned through two FPGA registers
// (region 6 drives a column, region 7 returns its rows).
#pragma once

#include <cstdint>

// Key codes: row value << 8 | column value, both one-hot.
constexpr uint16_t KEY_LEFT = 0x0201, KEY_LOCAL = 0x0401, KEY_UP = 0x0102, KEY_ENTER = 0x0202,
                   KEY_DOWN = 0x0402, KEY_ON = 0x0104, KEY_RIGHT = 0x0204, KEY_STBY = 0x0404,
                   KEY_LOCKOUT = 0x0606;

// Scans the matrix once; the code of the key this scan reports, 0 for none.
// A held key repeats at most every 270 ms; DOWN and RIGHT held together for
// more than one whole second give LOCKOUT once.
uint16_t detectKeyPress();
