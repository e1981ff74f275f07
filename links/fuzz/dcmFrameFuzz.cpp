// Fuzz target: the receive state machine and the decoder over arbitrary
// bytes. Input: a byte whose low bit is the address mode, the preset data
// length, then the frame. A refused frame must leave the message cleared;
// a decoded one must encode and decode again to the same message.
#include "links/dcmMsg.h"

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
           m.dataLen == 0 && m.list[0].value == 0 && m.block.data[0] == 0;
}

int decode(const uint8_t* bytes, size_t n, uint32_t mode, uint8_t preset, DcmMsg* m)
{
    DcmFrameBuf f;
    memcpy(f.data, bytes, n);
    f.len = static_cast<uint16_t>(n);
    f.flag = 0;
    memset(m, 0xA5, sizeof *m);
    m->dataLen = preset;
    return DMSG_FromFrameToMsg(&f, m, mode, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    uint32_t mode = data[0] & 1;
    uint8_t preset = data[1];
    data += 2;
    size -= 2;
    if (size > kDcmFrameMax)
        size = kDcmFrameMax;

    DcmMsg m;
    int r = decode(data, size, mode, preset, &m);
    if (r != 0) {
        check(cleared(m));
        return 0;
    }
    check(m.state == DCM_STATE_READY && m.addrMode == mode);

    DcmMsg copy = m;
    DcmFrameBuf out;
    if (DMSG_FromMsgToFrame(&copy, &out) != 0)
        return 0;
    DcmMsg again;
    check(decode(out.data, out.len, mode, preset, &again) == 0);
    check(again.address == m.address && again.command == m.command && again.count == m.count &&
          again.accessType == m.accessType && again.dataLen == m.dataLen &&
          memcmp(again.dataBlock, m.dataBlock, m.dataLen) == 0);
    if (m.accessType == DCM_TYPE_WRITE_LIST) {
        for (int i = 0; i < m.count; i++) {
            check(again.list[i].table == m.list[i].table && again.list[i].element == m.list[i].element &&
                  again.list[i].sizeType == m.list[i].sizeType && again.list[i].value == m.list[i].value);
        }
    } else if (m.accessType == DCM_TYPE_READ_BLOCK) {
        check(again.block.table == m.block.table && again.block.firstElem == m.block.firstElem &&
              again.block.sizeType == m.block.sizeType);
    }
    return 0;
}
