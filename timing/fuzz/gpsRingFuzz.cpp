// Fuzz target: GPS_ExtractNmeaFromRing over a ring made of the input. Input:
// scanFrom and stopAt bytes, then the ring. A found sentence fits its out
// buffer, is terminated, and moves scanFrom inside the ring.
#include "timing/gpsTransport.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    std::vector<uint8_t> ring(data + 2, data + size);
    int n = static_cast<int>(ring.size());
    int scanFrom = data[0] % n, stopAt = data[1] % n, outLength = -1;
    char out[kGpsRingSentenceMax + 1];
    int r = GPS_ExtractNmeaFromRing(ring.data(), &scanFrom, stopAt, n, out, &outLength);
    if (r != 0 && r != -1 && r != -2)
        abort();
    if (scanFrom < 0 || scanFrom >= n)
        abort();
    if (r == 0 && (outLength < 0 || outLength > kGpsRingSentenceMax || strlen(out) > static_cast<size_t>(outLength)))
        abort();
    return 0;
}
