// Fuzz target: the UECP receive path, from the line to the data set and the
// RDS configuration. Input: chunks, each a length byte and that many bytes,
// written to the line one read at a time; after each read the RDS loop's
// analysis takes frames out of the ring until it is empty. The ring never
// holds more than it can, an analysis never adds to it, and every element of
// the data set and the active group sequence stay within their bounds.
#include "Config/StrutturaDati.h"
#include "Config/keys/rdsKeys.h"
#include "audio/rdsDataSet.h"
#include "audio/rdsSequencer.h"
#include "audio/uecpReceiver.h"
#include "core/base/ringBuf.h"

#include <cstdlib>
#include <unistd.h>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

int line[2] = {-1, -1};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (pipe(line) != 0)
        abort();
    getSystemImage()->rds.uecpInterface = 1;
    getSystemImage()->rds.currentRdsDsn = 1;
    installDefaultRdsGroupSequence();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const RingBuf* ring = getUecpRxRing();
    UECP_InitRxRing();
    clearRdsDataSet();
    for (size_t pos = 0; pos < size;) {
        size_t n = data[pos++];
        if (n > size - pos)
            n = size - pos;
        if (n > 0) {
            check(write(line[1], data + pos, n) == static_cast<ssize_t>(n));
            uint32_t before = RingBuf_Used(ring);
            int got = UECP_GetCmdMsg(line[0]);
            check(got == 0 || got == static_cast<int>(n));
            check(RingBuf_Used(ring) == before + static_cast<uint32_t>(got));
        }
        pos += n;
        for (int i = 0; i < 16 && RingBuf_Used(ring) > 0; i++) {
            uint32_t held = RingBuf_Used(ring);
            UECP_AnalyzeCmdMsg(static_cast<int>(held));
            check(RingBuf_Used(ring) < held);
        }
        check(RingBuf_Used(ring) < UECP_RING_BYTES);
        for (int slot = 0; slot < RDS_ELEMENT_SLOTS; slot++)
            check(rdsElement(slot)->length <= RDS_ELEMENT_BYTES);
        check(getRdsActiveSequenceLength() <= 16);
        check(getCurrentRDSDSN() >= 1 && getCurrentRDSDSN() <= 7);
    }
    return 0;
}
