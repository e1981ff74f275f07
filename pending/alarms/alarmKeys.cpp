// Stand-ins for the items of alarms/alarmKeys.h that have no row or owner
// yet: plain stores that start at the items' defaults (temperature
// thresholds 70 and 80, all else 0). The calls that act on the transmitter
// (supply switching, APC drive, output routing) only store what they were
// handed and tell the stand-in hook.
#include "alarms/alarmKeys.h"

#include "pending/standIns.h"

namespace {

constexpr uint32_t kSlots = 3;

struct State {
    uint32_t aesEbuOutputSel = 0;
    uint32_t forceDacLevelSaved = 0;
    uint32_t hpaPowerClass = 0;
    int16_t hpaDriverLevel = 0;
    uint32_t criticalTempLow = 70, criticalTempHigh = 80;
    uint32_t hpsMngMode = 0;
    uint32_t hpaMeasure[32] = {};
    uint32_t psuCount = 0;
    uint8_t psuAvailable = 0;
    uint8_t psuPresent[kSlots] = {}, psuEnabled[kSlots] = {};
    uint32_t psuStatus[kSlots] = {}, psuType[kSlots] = {}, psuVout[kSlots] = {}, psuSetpoint[kSlots] = {};
    uint32_t voltageApc = 0;
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
PLAIN(uint32_t, HpaPowerClass, hpaPowerClass)
PLAIN(int16_t, HpaDriverLevel, hpaDriverLevel)
PLAIN(uint32_t, CriticalTempLow, criticalTempLow)
PLAIN(uint32_t, CriticalTempHigh, criticalTempHigh)
PLAIN(uint32_t, HPSMngMode, hpsMngMode)
PLAIN(uint32_t, PsuCount, psuCount)
PLAIN(uint8_t, PsuAvailableCount, psuAvailable)

#undef PLAIN

uint32_t getHpaMeasureWord(uint32_t index)
{
    return index < 32 ? st().hpaMeasure[index] : 0;
}

void setHpaMeasureWord(uint32_t index, uint32_t value)
{
    if (index < 32)
        st().hpaMeasure[index] = value;
}

#define SLOT(T, getter, setter, field)                                                             \
    T getter(uint32_t slot) { return slot < kSlots ? st().field[slot] : 0; }                       \
    void setter(uint32_t slot, T v)                                                                \
    {                                                                                              \
        if (slot < kSlots)                                                                         \
            st().field[slot] = v;                                                                  \
    }

SLOT(uint8_t, isPsuPresent, setPsuPresent, psuPresent)
SLOT(uint8_t, isPsuEnabled, setPsuEnabled, psuEnabled)
SLOT(uint32_t, getPsuStatusCode, setPsuStatus, psuStatus)
SLOT(uint32_t, getPsuType, setPsuType, psuType)
SLOT(uint32_t, getPsuVoutMeasured, setPsuVoutMeasured, psuVout)
SLOT(uint32_t, getPsuVoutSetpoint, setPsuVoutSetpoint, psuSetpoint)

#undef SLOT

void setPsuOperationMode(uint32_t slot, uint8_t on)
{
    standInCall("setPsuOperationMode(%u,%u)", slot, on);
}

void setVoltageAPC(uint32_t mv, uint8_t apply)
{
    st().voltageApc = mv;
    standInCall("setVoltageAPC(%u,%u)", mv, apply);
}

uint32_t getVoltageAPC()
{
    return st().voltageApc;
}

// The three-slot shelf's limits for 0 and 1 (500 mV) and 2 (800 mV)
// available supplies; 800 mV otherwise.
uint32_t getVoltageAPCLimit(uint32_t available)
{
    if (getHpsCode() == 3 && available <= 2)
        return available == 2 ? 800 : 500;
    return 800;
}

void setAesEbuOutputSel(uint32_t v)
{
    st().aesEbuOutputSel = v;
    standInCall("setAesEbuOutputSel(%u)", v);
}

