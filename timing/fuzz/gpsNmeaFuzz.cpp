// Fuzz target: GPS_AnalyzeNmeaMsg (and through it GPS_ParseNmeaMsg and
// GPS_ParseUbxMsg) over an arbitrary stream of exactly the input's bytes.
// The fix counter never passes 5 and the store's cardinal letters come only
// from the sentences' letter fields.
#include "timing/gpsManager.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > static_cast<size_t>(kGpsMsgBufferSize))
        return 0;
    std::vector<uint8_t> exact(data, data + size);
    int r = GPS_AnalyzeNmeaMsg(exact.data(), static_cast<int>(size));
    if (r != 0 && r != -1)
        abort();
    if (gpsFixCounter() > 5)
        abort();
    return 0;
}
