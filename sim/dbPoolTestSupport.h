// Tests of the configuration and the cell grid: a sandbox with the logs open
// and DbPool created, and DbPool read the way another program reads it, from
// a separate process that maps the shared-memory object by its name.
#pragma once

#include "comtab/dbPool.h"
#include "core/logs.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/testSupport.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Forks a child that opens the grid read-only by name and reads each
// (section, item) cell. Returns 0 with the values, -1 when the child could
// not map the grid.
int readDbPoolCellsInChild(const std::vector<std::pair<uint32_t, uint32_t>>& cells, std::vector<uint32_t>* values);
// Removes the grid of the current sandbox.
void removeDbPool();

// A fresh sandbox with the book, event and debug logs open and enabled, and,
// when `withPool`, DbPool created. Returns the sandbox root. (Inline: the
// logs and the grid belong to the system library, which sim/ does not link.)
inline std::string openPoolSandbox(bool withPool = true)
{
    std::string root = makeTestSandbox();
    simMakeDirs(sysPath("/mnt/ubi0/log").c_str());
    openLogs();
    logEnabled = 1;
    if (withPool)
        initDbAreaContainer();
    return root;
}

// Closes the logs, removes DbPool and the sandbox.
inline void closePoolSandbox(const std::string& root)
{
    closeLogs();
    removeDbPool();
    removeTestSandbox(root);
}
