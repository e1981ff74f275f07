// Transmitter-logic settings used by other subsystems: the keys (their
// accessors come with the region's header), the Select_Write bits, the
// unkeyed values of table 3, the reserve configuration and the start-up of
// the logic settings.
#pragma once

#include "Config/keys/logicaTxKeys.h"

#include <cstdint>

// Sets (flag 1) or clears (any other flag) the given bits of the Select_Write
// mask; publishes the mask and marks the group on every call.
void setSelectWriteBits(uint32_t bits, uint32_t flag);
// 1 when every given bit is set in the Select_Write mask.
int hasSelectWriteBits(uint32_t bits);

// After a configuration load: a functional type of 0 becomes 11 (FM) and is
// published.
void LogicaTx_FixFunctionalType();
// Start-up: publishes both FSK identity words.
void LogicaTx_PublishFskTxId();

// The unkeyed words of table 3 at items 1, 2, 4 and 7: stored when changed,
// published, marked. Other items are ignored (0).
void LogicaTx_SetTable3Word(uint32_t item, uint32_t v);
uint32_t LogicaTx_GetTable3Word(uint32_t item);
// A client's write: item 2 takes 1..3 (0 done, 11 out of range), items 1, 4
// and 7 are read-only (15), any other item is no element (1).
int LogicaTx_WriteTable3Word(uint32_t item, uint32_t v);

// The reserve configuration number (EEPROM item 16, cell (15,4)); its setter
// writes the item, publishes and checks the reserve directories again.
uint8_t LogicaTx_GetReserveConfigState();
void LogicaTx_SetReserveConfigState(uint8_t n);
// The reserve-configuration mismatch: stored, written to EEPROM item 17 and
// mirrored into raw alarm 45.
uint8_t LogicaTx_GetReserveConfigMismatch();
void LogicaTx_SetReserveConfigMismatch(uint8_t v);

// Every default of the region's keys, through their setters.
void LogicaTx_ApplyKeyDefaults();
// Start-up of the logic settings: the table-3 words, the logic state from
// the EEPROM, the local settings and the reserve configuration.
void LogicaTx_InitSettings();
