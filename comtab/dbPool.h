// DbPool: the shared grid of 64 sections of 64 unsigned 32-bit cells that
// the daemon publishes its state into.
#pragma once

#include <cstdint>

// Creates the shared-memory object "DbPool" (16384 bytes), sizes and maps it.
void initDbAreaContainer();
// The address of cell (section, item), both counted from 1.
uint32_t* getDbAreaCell(int section, int item);
