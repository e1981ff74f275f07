// Fuzz target: the remote LTX link. Each chunk of the input (two length
// bytes, high first, then that many bytes) is one datagram handed to the
// link; the replies go nowhere (no socket). A datagram whose first byte is
// none of the family letters changes nothing and is not taken.
#include "Config/StrutturaDati.h"
#include "links/fuzz/dcmFuzzLine.h"
#include "links/remoteLtx.h"
#include "platform/paths.h"

#include <cstring>
#include <sys/stat.h>

namespace {

void setUp()
{
    static bool done = [] {
        fuzzSandbox();
        mkdir(sysPath("/mnt/ubi0").c_str(), 0755);
        mkdir(sysPath("/mnt/ubi0/conf").c_str(), 0755);
        mkdir(sysPath("/mnt/ubi0/conf/rds").c_str(), 0755);
        getSystemImage()->unit.variantByte = 11;
        remoteLtxSetLetters(1);
        return true;
    }();
    (void)done;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    setUp();
    static SystemImage before;
    size_t pos = 0;
    while (pos + 2 <= size) {
        size_t n = (size_t(data[pos]) << 8) | data[pos + 1];
        pos += 2;
        if (n > size - pos)
            n = size - pos;
        if (n > 536)
            n = 536;
        memcpy(&before, getSystemImage(), sizeof before);
        int taken = remoteLtxHandle(-1, data + pos, static_cast<int>(n));
        uint8_t letter = n > 0 ? data[pos] : 0;
        bool family = letter == 'X' || letter == 'Y' || letter == 'h' || letter == 'i';
        if (!family) {
            fuzzCheck(taken == 0);
            fuzzCheck(memcmp(&before, getSystemImage(), sizeof before) == 0);
        }
        pos += n;
    }
    return 0;
}
