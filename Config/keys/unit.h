// Hand-written operations of the unit region (rows: unit.def). Included by
// unitKeys.h.
#pragma once

#include <cstdint>

// "vendor_id": stores the 32-bit word when it differs, applies the web
// branding it selects, publishes and marks.
void setVendorId(uint32_t v);

// Writes the serial number and the active addresses into a unit record
// buffer; type must be 1 (else -1).
int exportUnitRecord(uint8_t* record, int type);

// One step of the start-up migration (applyConfigStepwise): sets what data
// format step + 1 added to a configuration stored in format `step`, 0 to 7;
// other steps do nothing. The settings of the transmitter logic
// (alarms/logicaTxConfig.h) and the power settings (power/powerSettings.h)
// are reached here.
void runDataFormatStep(uint32_t step);

// The UART override word: stores v; non-zero selects the debug console on
// UART 1, zero re-applies the UART 1 connection selection.
void setUartOverride(uint32_t v);
