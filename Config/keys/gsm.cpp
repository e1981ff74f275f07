// The GSM settings' hooks, the alarm-enable table that the users' bitmasks
// fill, and the transmitter label.
#include "Config/keys/gsmKeys.h"

#include "Config/keyTable.h"

void pinEnaChanged(uint32_t, uint32_t value, uint32_t)
{
    if (value == 1)
        setGsmPinChanged(1);
}

void pinWordChanged(uint32_t index, uint32_t, uint32_t)
{
    if (index == 1)
        setGsmPinChanged(1);
}

void fillAlarmEnaTable(uint32_t index, uint32_t value, uint32_t)
{
    uint32_t words = KEYROW(AlarmEnaBitmask)->at.inner;
    uint32_t u = index / words;
    uint32_t i = index % words;
    uint32_t bits = __builtin_bswap32(value);
    for (uint32_t k = 0; k < 32; k++) {
        uint32_t row = 32 * i + k;
        if (row >= GSM_ALARM_ROWS)
            break;
        setGsmUserAlarmEna(row, u, (bits >> k) & 1u);
    }
}

void setGsmUserAlarmEna(uint32_t row, uint32_t u, uint32_t v)
{
    // Rows run beyond a byte: the flat index is built here.
    if (row >= GSM_ALARM_ROWS || u >= GSM_USERS)
        return;
    cfgSet(KEYROW(GsmUserAlarmEna), row * GSM_USERS + u, v);
}

uint32_t getGsmUserAlarmEna(uint32_t row, uint32_t u)
{
    if (row >= GSM_ALARM_ROWS || u >= GSM_USERS)
        return 0;
    return cfgGetElement(KEYROW(GsmUserAlarmEna), row * GSM_USERS + u);
}

void setGsmTxLabelBlock(const uint8_t* label)
{
    if (!label)
        return;
    uint32_t* words = getSystemImage()->outGsm.gsm.txLabel;
    for (uint32_t w = 0; w < 5; w++) {
        uint32_t v = 0;
        for (uint32_t b = 0; b < 4; b++)
            v = (v << 8) | label[4 * w + b];
        words[w] = v;
    }
}

void buildGsmTxLabel(uint8_t* out)
{
    if (!out)
        return;
    for (uint32_t w = 0; w < 5; w++) {
        uint32_t v = getGSMTxLabel(w);
        for (uint32_t b = 0; b < 4; b++)
            out[4 * w + b] = static_cast<uint8_t>(v >> (24 - 8 * b));
    }
}
