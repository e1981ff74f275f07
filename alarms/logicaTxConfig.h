// Configuration items of the transmitter logic used by other subsystems.
#pragma once

#include <cstdint>

// The unit's functional type word (10 = repeater).
uint32_t getFunctionalType();
// Sets (flag 1) or clears the given bits of the Select_Write mask, publishes
// the mask and marks group 0x2000.
void setSelectWriteBits(uint32_t bits, uint32_t flag);
// 1 when every given bit is set in the Select_Write mask.
int hasSelectWriteBits(uint32_t bits);
void setSWRFoldback(uint32_t value);
// After a configuration load: a functional type of 0 becomes 11 (FM) and is
// published.
void LogicaTx_FixFunctionalType();
// Nplus1_mode: 1 while the unit works as an N+1 reserve, else 0.
uint32_t getNplus1Mode();
void setNplus1Mode(uint32_t v);
