// Alarm ids whose raw condition the configuration items set (the alarm
// tables hold ids 0..168).
#pragma once

#include <cstdint>

enum AlarmId : uint8_t {
    ALARM_FW_VERSIONS = 33, // the running firmware differs from its references
    ALARM_PLL_AUDIO = 40,
    ALARM_RF_PLL = 41,
    ALARM_VCXO = 42,
    ALARM_FREQ_REF = 43,
    ALARM_AUDIO_INPUT = 39,
    ALARM_RESERVE_CONFIG_DIRS = 44,     // a reserve configuration directory is missing
    ALARM_RESERVE_CONFIG_MISMATCH = 45, // the configuration differs from the loaded reserve one
    ALARM_TIME_REF = 46,
    ALARM_OUT_FIFO = 49,
    ALARM_CLIPPER_IN_ACTION = 52,
    ALARM_AES_EBU = 53,
    ALARM_AUDIO_FILTER = 60,
    ALARM_FM_RX_PLL = 51,
    ALARM_100MHZ_REF = 61,
    ALARM_MPX_OVER_IP = 62, // the GbE block's link is down or not good
    ALARM_INT_PPS_MISSING = 93,
    ALARM_EXT_PPS_MISSING = 94,
    ALARM_EXT_10MHZ_MISSING = 95,
    ALARM_EXT_19KHZ_SINUS_MISSING = 96,
    ALARM_EXT_19KHZ_SQWAVE_MISSING = 97,
    ALARM_BOARD_OVER_TEMPERATURE = 102,
    ALARM_PRIMARY_POWER_SOURCE = 105,
};
