// DbPool read the way another program reads it: from a separate process
// that maps the shared-memory object by its name.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// Forks a child that opens the grid read-only by name and reads each
// (section, item) cell. Returns 0 with the values, -1 when the child could
// not map the grid.
int readDbPoolCellsInChild(const std::vector<std::pair<uint32_t, uint32_t>>& cells, std::vector<uint32_t>* values);
