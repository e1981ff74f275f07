// Bits of the EventBitmap (1-based) that configuration items set.
#pragma once

#include <cstdint>

enum EventId : uint16_t {
    EVENT_REBOOT_PENDING = 25,
    EVENT_RF_OUTPUT = 54,
    EVENT_EXT_REF_PRESENT = 59,
    EVENT_USB_KEY_MOUNTED = 63,
    EVENT_NTP_DATE_ERROR = 71,
};
