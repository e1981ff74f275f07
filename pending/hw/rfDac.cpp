// Stand-in for the quadrature modulator driver: counts the reprogramming
// calls so that their callers can be checked.
#include "hw/rfDac.h"

#include "pending/standIns.h"

#include <atomic>

namespace {
std::atomic<int> updates{0};
}

void UpdateQM()
{
    updates++;
    standInCall("UpdateQM");
}

int rfDacUpdateCount()
{
    return updates.load();
}
