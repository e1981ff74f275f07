// Creation and tick of the external units.
#include "links/sysUnits.h"

#include "Config/keys/logicaTxKeys.h"
#include "alarms/logicaTx.h"
#include "core/base/logs.h"
#include "links/comChannels.h"
#include "links/rfDetector.h"
#include "power/ampFm.h"

#include <cstdint>

namespace {

constexpr uint32_t kMaxAmplifiers = 4;
constexpr uint8_t kRfDetectorSlot = 0;
// Debounce of the unit slots: one good exchange connects, three failed ones
// disconnect.
constexpr int32_t kConnectThreshold = 1;
constexpr int32_t kDisconnectThreshold = 3;
constexpr int kCycleTurns = 3;

struct State {
    int turn = 0;
};

State& st()
{
    static State s;
    return s;
}

} // namespace

void SYS_Initialize()
{
    if (getAmplifierNumber() == 0)
        return;
    if (getMultiAmplifierTransmitter() == 1)
        RF_DETEC_Init();
    AMP_FM_ResetAll();
    logInfo("System initialized");
}

void SYS_Configure()
{
    uint32_t units = getAmplifierNumber();
    if (units == 0)
        return;
    if (units > kMaxAmplifiers) {
        setAmplifierNumber(static_cast<uint8_t>(kMaxAmplifiers));
        units = kMaxAmplifiers;
    }
    uint32_t channel = static_cast<uint32_t>(COM_GetChannelNumber(2));
    st().turn = 0;
    if (getMultiAmplifierTransmitter() == 1) {
        // A unit's bus address is its slot number.
        if (RF_DETEC_Bind(kRfDetectorSlot) == 0 && RF_DETEC_SetAddress(kRfDetectorSlot, kRfDetectorSlot, channel) == 0) {
            UnitSlot_Configure(kRfDetectorSlot, kConnectThreshold, kDisconnectThreshold, nullptr);
            logErr("RF Detector unit on slot [ %d ] created \n\n", kRfDetectorSlot);
        } else {
            logErr("Creation of RF Detector unit on slot [ %d ] failed \n\n", kRfDetectorSlot);
        }
    }
    AMP_FM_ResetAll();
    for (uint32_t unit = 1; unit <= units; unit++) {
        ExtAmpRecord* record = nullptr;
        if (AMP_FM_Register(unit, &record, channel) == 0) {
            AMP_FM_SetAddress(unit, unit, channel);
            UnitSlot_Configure(unit, kConnectThreshold, kDisconnectThreshold, nullptr);
            logErr("Amplifier unit on slot [ %d ] created \n\n", static_cast<int>(unit));
        } else {
            logErr("Creation of Amplifier unit on slot [ %d ] failed \n\n", static_cast<int>(unit));
        }
    }
    logInfo("System configured");
}

void SYS_UnitsTick()
{
    if (getAmplifierNumber() == 0)
        return;
    uint32_t multi = getMultiAmplifierTransmitter();
    if (multi == 0) {
        AMP_FM_Poll();
        return;
    }
    if (multi != 1)
        return;
    State& s = st();
    if (s.turn == 0)
        RF_DETEC_PollTick();
    else
        AMP_FM_Poll();
    s.turn = (s.turn + 1) % kCycleTurns;
}
