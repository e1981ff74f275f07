// Fuzz target: GPS_ParseUbxMsg over arbitrary bytes, given exactly the bytes
// of the input (a read past them is caught by the sanitizers). A frame whose
// payload and checksum do not fit in the input must be refused.
#include "timing/gpsManager.h"
#include "timing/gpsUbx.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> exact(data, data + size);
    int r = GPS_ParseUbxMsg(exact.data(), static_cast<int>(size));
    if (r == 0 && (size < 8 || static_cast<size_t>(exact[4] | exact[5] << 8) + 8 > size))
        abort();
    if (r != 0 && r != -1)
        abort();
    return 0;
}
