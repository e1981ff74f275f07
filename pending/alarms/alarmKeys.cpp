// Stand-ins for the items of alarms/alarmKeys.h that have no row or owner
// yet: plain stores that start at 0. The output routing only stores what it
// was handed and tells the stand-in hook.
#include "alarms/alarmKeys.h"

#include "pending/standIns.h"

#include <atomic>

namespace {

struct State {
    uint32_t aesEbuOutputSel = 0;
    uint32_t forceDacLevelSaved = 0;
    std::atomic<uint8_t> psuAvailable{0};
};

State& st()
{
    static State s;
    return s;
}

} // namespace

#define PLAIN(T, Name, field)                                                                      \
    T get##Name() { return st().field; }                                                           \
    void set##Name(T v) { st().field = v; }

PLAIN(uint32_t, ForceDacLevelSaved, forceDacLevelSaved)

#undef PLAIN

// Written by the serial module's thread, read by the main loop.
uint8_t getPsuAvailableCount()
{
    return st().psuAvailable.load();
}

void setPsuAvailableCount(uint8_t v)
{
    st().psuAvailable.store(v);
}

void setAesEbuOutputSel(uint32_t v)
{
    st().aesEbuOutputSel = v;
    standInCall("setAesEbuOutputSel(%u)", v);
}

