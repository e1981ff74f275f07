// Stand-in for the RF synthesizer driver: counts the programming calls.
#include "hw/rfSynth.h"

#include "pending/standIns.h"

#include <atomic>

namespace {
std::atomic<int> inits{0};
}

int initRfSynth()
{
    inits++;
    standInCall("initRfSynth");
    return 0;
}

int rfSynthInitCount()
{
    return inits.load();
}
