// Stand-ins for the status items the SMS service reads that have no row or
// owner yet: plain values in memory (firmware 0.0.0, no modulator flags).
#include "timing/gsmKeys.h"

#include <atomic>

namespace {

struct State {
    std::atomic<uint32_t> fw[3] = {};
    std::atomic<uint32_t> modAlarm{0};
    std::atomic<uint32_t> modWarning{0};
};

State& st()
{
    static State s;
    return s;
}

} // namespace

uint32_t getFwVersionMajor() { return st().fw[0]; }
uint32_t getFwVersionMinor() { return st().fw[1]; }
uint32_t getFwVersionPatch() { return st().fw[2]; }

void setFwVersion(uint32_t major, uint32_t minor, uint32_t patch)
{
    st().fw[0] = major;
    st().fw[1] = minor;
    st().fw[2] = patch;
}

uint32_t getModulatorAlarm() { return st().modAlarm; }
uint32_t getModulatorWarning() { return st().modWarning; }

void setModulatorFlags(uint32_t alarm, uint32_t warning)
{
    st().modAlarm = alarm;
    st().modWarning = warning;
}
