// Hand-written operations of the hardware-codes region (rows: hwCodes.def):
// the FM receiver status record and the web log-on lines. Included by
// hwCodesKeys.h.
#pragma once

#include <cstdint>

constexpr uint32_t FM_RX_STATUS_BYTES = 64;

// Copies the 64-byte receiver status record into the image and publishes
// it; a null record is refused with a line on standard output.
void setFmRxStatus(const uint8_t* record);
void clearFmRxStatus();
uint8_t* getFmRxStatus();
void clearFmRxCounter();
uint16_t getFmRxCounter();

// A changed log-on address (IPv4, network order) other than 255.255.255.255
// is logged; the stored address then becomes 255.255.255.255.
void logWebUserLogonFrom(uint32_t addr);
// Word `slot` (0..3; others refused) of the user name; with the last word
// the name is logged.
void logWebUserLogon(uint32_t slot, uint32_t word);
uint32_t getWebLogonAddr();
