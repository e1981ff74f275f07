// Fuzz target: the slave responder. Each chunk of the input (a length byte,
// then that many bytes) arrives on a socket that stands for tx_sr_1_ch and
// the responder takes it once. A chunk the decoder refuses, or one for
// another address, sends nothing and leaves the system image as it was.
#include "Config/StrutturaDati.h"
#include "alarms/logicaTx.h"
#include "links/dcm.h"
#include "links/fuzz/dcmFuzzLine.h"
#include "links/slaveLink.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

bool nothingWaits(int fd)
{
    uint8_t buf[512];
    return read(fd, buf, sizeof buf) <= 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const DcmFuzzLine& r =
        dcmFuzzLine(SOCK_DGRAM, [](const DcmFuzzLine&) { getSystemImage()->logic.controlSerialAddress = 5; });
    static SystemImage before;
    size_t pos = 0;
    uint8_t own = LogicaTx_GetOwnLinkAddress();
    while (pos < size) {
        size_t n = data[pos++];
        if (n > size - pos)
            n = size - pos;
        if (n == 0)
            continue;
        fuzzCheck(write(r.peer, data + pos, n) == static_cast<ssize_t>(n));
        // The frame as the decoder sees it: refused or for another unit.
        DcmFrameBuf f;
        f.flag = 0;
        f.len = static_cast<uint16_t>(n < sizeof f.data ? n : sizeof f.data);
        memcpy(f.data, data + pos, f.len);
        DcmMsg probe = {};
        int start = 0;
        while (start < f.len && !(f.data[start] == kDcmStart && (start == 0 || f.data[start - 1] != kDcmEscape)))
            start++;
        bool forMe = start + 1 < f.len && f.data[start + 1] == own && own != 0;
        bool decodes = DMSG_FromFrameToMsg(&f, &probe, DCM_ADDR_1BYTE, static_cast<uint16_t>(start)) == 0;
        pos += n;
        memcpy(&before, getSystemImage(), sizeof before);
        vrlSlaveTick(r.channel);
        if (!decodes || !forMe) {
            fuzzCheck(nothingWaits(r.peer));
            fuzzCheck(memcmp(&before, getSystemImage(), sizeof before) == 0);
        } else {
            nothingWaits(r.peer);
        }
    }
    return 0;
}
