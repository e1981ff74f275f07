// Host simulation only: choosing the sandbox root. Tests and tools include
// this; driver code never does, and the board build does not have it.
#pragma once

#include <string>

// Changes the sandbox root that sysPath() and the global names derive from
// (read from CORVANE_ROOT otherwise).
void setSandboxRoot(const std::string& root);
