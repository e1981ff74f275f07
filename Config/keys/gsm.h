// Hand-written operations of the GSM settings (rows: gsm.def): the hooks of
// its rows, the alarm-enable table and the transmitter label. Included by
// gsmKeys.h.
#pragma once

#include <cstdint>

// Hooks of the rows.
// "GSM_PinEna" 1 and a write of the second PIN or PUK word set the
// PIN-changed flag.
void pinEnaChanged(uint32_t index, uint32_t value, uint32_t old);
void pinWordChanged(uint32_t index, uint32_t value, uint32_t old);
// Word i of user u's bitmask, its first byte least significant once
// reversed: bit k enables alarm row 32i + k (rows beyond the table's 288
// are ignored).
void fillAlarmEnaTable(uint32_t index, uint32_t value, uint32_t old);

// The alarm-enable table: 1 when user u (0..9) gets the SMS of alarm row
// `row` (0..287, the alarm number - 1); stored on every call, neither
// published nor marked. Out of the table: nothing, 0.
void setGsmUserAlarmEna(uint32_t row, uint32_t u, uint32_t v);
uint32_t getGsmUserAlarmEna(uint32_t row, uint32_t u);

// Copies a whole 20-character label into the label words (first character
// most significant in each), without publish.
void setGsmTxLabelBlock(const uint8_t* label);
// The 20 label characters in reading order.
void buildGsmTxLabel(uint8_t* out);
