// Fuzz target: DCM_RecvMsgFromRing over a byte ring fed in arbitrary chunks.
// Input: a byte whose low bit is the address mode, the own address, then
// chunks, each a length byte and that many bytes. After every chunk the ring
// is read until it gives nothing more; a refused frame must leave the
// message cleared, and the ring never holds more than it was given.
#include "links/dcm.h"

#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

bool cleared(const DcmMsg& m)
{
    return m.state == 0 && m.address == 0 && m.command == 0 && m.count == 0 && m.accessType == 0 &&
           m.dataLen == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    uint32_t mode = data[0] & 1;
    uint8_t own = data[1];
    size_t pos = 2;
    static uint8_t storage[1024];
    RingBuf ring;
    RingBuf_Init(&ring, storage, sizeof storage);
    while (pos < size) {
        size_t n = data[pos++];
        if (n > size - pos)
            n = size - pos;
        uint32_t before = RingBuf_Used(&ring);
        uint32_t put = RingBuf_Write(&ring, data + pos, static_cast<uint32_t>(n));
        check(RingBuf_Used(&ring) == before + put);
        pos += n;
        for (int i = 0; i < 64; i++) {
            uint32_t held = RingBuf_Used(&ring);
            DcmMsg m;
            memset(&m, 0xA5, sizeof m);
            m.dataLen = 0;
            int r = DCM_RecvMsgFromRing(1, mode, own, &m, &ring);
            check(RingBuf_Used(&ring) <= held);
            if (r == 0) {
                check(m.state == DCM_STATE_READY);
            } else if (r != 9) {
                check(cleared(m));
            }
            if (r == 9 && RingBuf_Used(&ring) == held)
                break;
        }
    }
    return 0;
}
