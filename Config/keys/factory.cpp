// The factory region's setters with behaviour of their own and its hooks.
#include "Config/keys/factoryKeys.h"

#include "Config/keyTable.h"
#include "Config/keys/systemKeys.h"
#include "hw/boardIo.h"
#include "hw/fpgaMaintenance.h"
#include "hw/rfDac.h"
#include "hw/rfSynth.h"

void driveAudioDacReset(uint32_t, uint32_t value, uint32_t)
{
    setDacAudioNotReset(static_cast<uint8_t>(value & 255));
}

void driveAudioDacMode(uint32_t, uint32_t value, uint32_t)
{
    setDacAudioMode(value);
}

void setForceDacLevel(uint32_t v, uint32_t apply)
{
    if (cfgStore(KEYROW(ForceDacLevel), 0, v) != 1)
        return;
    // The companion keeps the level as set, so that a reference relock
    // writes back the configured level and never one nobody set.
    setForceDacLevelSaved(getForceDacLevel());
    cfgPublish(KEYROW(ForceDacLevel), 0);
    if ((apply & 255) != 0 && getHwReady() == 1)
        Fpga_PulseControlC();
    cfgMark(KEYROW(ForceDacLevel));
}

void cfgHandSet_ForceDacLevel(uint32_t, uint32_t v)
{
    setForceDacLevel(v, 0);
}

void setTlcTlsExtended(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(TlcTlsExtended);
    // The whole argument against the stored byte: 0x100 differs from 0 and
    // stores 0 again.
    if (getTlcTlsExtended() == v)
        return;
    cfgStore(row, 0, v);
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_TlcTlsExtended(uint32_t, uint32_t v)
{
    setTlcTlsExtended(v);
}

namespace {

// The devices are programmed only for a write that armed the apply word and
// once the hardware is up; the word is disarmed after every change.
void applyDacPll(bool synth, bool qm)
{
    if (getDacApplyEnable() != 0 && getHwReady() == 1) {
        if (synth)
            initRfSynth();
        if (qm)
            UpdateQM();
    }
    setDacApplyEnable(0);
}

} // namespace

void applyQmSetting(uint32_t, uint32_t, uint32_t)
{
    applyDacPll(false, true);
}

void applySynthSetting(uint32_t, uint32_t, uint32_t)
{
    applyDacPll(true, false);
}

void applySynthAndQmSetting(uint32_t, uint32_t, uint32_t)
{
    applyDacPll(true, true);
}

int isValidFanManualLevel(uint32_t v)
{
    return cfgIsValidRow(KEYROW(FanManualLevel), v);
}
