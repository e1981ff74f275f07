// The unit region's migration of a stored configuration to the current data
// format ("VrlDataFormat"): one step per format.
#include "Config/keys/unitKeys.h"

#include "Config/keys/audioKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "alarms/logicaTxConfig.h"
#include "power/powerSettings.h"

void runDataFormatStep(uint32_t step)
{
    switch (step) {
    case 0: setPwrDeratingEnable(1); break;
    case 1:
        if (getVendorId() == 1)
            setSelectWriteBits(0x20000, 1);
        break;
    case 2:
        if (getPsuTypeCode() == 1)
            setSelectWriteBits(0x80000, 1);
        setLastValidVdac(0);
        setLastValidHpsVout(0);
        break;
    case 3:
        if (getVendorId() == 1 && getPsuTypeCode() == 1) {
            setSelectWriteBits(0x80000, 1);
            setSWRFoldback(1);
        }
        break;
    case 4:
        if (!hasSelectWriteBits(0x80000))
            setSelectWriteBits(0x100000, 1);
        break;
    case 5: {
        int16_t nominal = static_cast<int16_t>(getHpaNomDrvPow());
        if (getPsuTypeCode() == 2 && nominal > 534 && nominal < 551 && !hasSelectWriteBits(0x800000))
            setSelectWriteBits(0x800000, 1);
        break;
    }
    case 6: setLevelMpx2Offset_dBu(static_cast<uint32_t>(getLevelMpxOffset_dBu())); break;
    case 7: setMpxDigMaxDeltaClock(50); break;
    default: break;
    }
}
