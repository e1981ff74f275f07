// Fuzz target: the reception of SMS commands (GSM_ParseFmCmdMsg) over a
// filled user table, on the virtual clock and with no port open, so replies
// fail at once. The result is one of the command results; a message whose
// sender is in no slot changes no slot, and no slot is ever registered as
// (0, 0) or outside the free slots.
#include "Config/keys/gsmKeys.h"
#include "platform/clock.h"
#include "timing/gsmModem.h"

#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

const uint16_t kPrefix[10] = {39, 44, 33, 49, 0, 0, 0, 0, 0, 0};
const uint32_t kNumber[10] = {3331234567u, 3207654321u, 1234567890u, 4294967295u, 0, 0, 0, 0, 0, 0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool once = [] {
        clockUseVirtual();
        return true;
    }();
    (void)once;
    for (uint32_t u = 0; u < 10; u++) {
        setPhoneDestPrefix(u, kPrefix[u]);
        setPhoneDestNr(u, kNumber[u]);
    }
    GSM_SetRxBuffer(reinterpret_cast<const char*>(data), size);
    int r = GSM_ParseFmCmdMsg();
    check(r >= -4 && r <= 0);
    int added = 0;
    for (uint32_t u = 0; u < 10; u++) {
        bool same = getPhoneDestPrefix(u) == kPrefix[u] && getPhoneDestNr(u) == kNumber[u];
        if (same)
            continue;
        // Only ADDU from the administrator changes the table: one free slot.
        check(u == 4 && kPrefix[u] == 0 && kNumber[u] == 0);
        check(getPhoneDestPrefix(u) != 0 || getPhoneDestNr(u) != 0);
        added++;
    }
    check(added <= 1);
    return 0;
}
