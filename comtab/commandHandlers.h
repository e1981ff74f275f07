// Write handlers of the command, unit and network tables (7, 15, 16, 17, 18,
// 43, 44, 49 and 50): element writes that request commands or set the
// unit's identity, network and time. The elements that store a key are rows
// of the write path (comtab/gen/writeRows.inc); the functions below serve
// the elements that request a command or do more than store.
#pragma once

#include <cstdint>

// One element write of one of those tables: a result code.
uint32_t writeCommandTableElement(int table, uint32_t element, uint32_t value);

// Table 7: requests the element's command-manager slot.
uint32_t HAND_7_command(int table, uint32_t element, uint32_t value);
// (15, 1): the change-over address, then the UDP unit link opened again.
uint32_t HAND_15_1(int table, uint32_t element, uint32_t value);
// (15, 5) and (15, 7): save or load of the reserve configuration `value`.
uint32_t HAND_15_reserve(int table, uint32_t element, uint32_t value);
// A request (0 to 2) of the element's command-table entry: 0, 11 out of range.
uint32_t HAND_entry_request(int table, uint32_t element, uint32_t value);
// (43, 11): the time source; NTP (3) also requests the NTP set-up.
uint32_t HAND_43_11(int table, uint32_t element, uint32_t value);
// (44, 1), (44, 2), (44, 5), (44, 6), (44, 19): received MAC address bytes.
uint32_t HAND_44_mac(int table, uint32_t element, uint32_t value);
// (49, 1) and (50, 2): the firmware update request from the USB key or a PC.
uint32_t HAND_upgrade_request(int table, uint32_t element, uint32_t value);
// (50, 10): the upgrade step; step 3 starts an armed update from a PC.
uint32_t HAND_50_10(int table, uint32_t element, uint32_t value);
