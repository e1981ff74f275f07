// Transmitter logic services used by the core.
#pragma once

#include <cstdint>

// Start of the transmitter logic (first step of the unit's service start).
void LogicaTx_Init();
// The unit's functional type word (10 = repeater).
uint32_t getFunctionalType();
