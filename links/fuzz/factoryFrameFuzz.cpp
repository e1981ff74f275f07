// Fuzz target: the factory protocol's frame receivers for other channels and
// the frame-start detector. Input: a byte choosing the receiver (bits 0-1),
// the channel (bits 2-4, 5 to 7 being out of range) and the unit address
// (bit 5: 88 or the next byte), then the bytes of the line. A taken frame is
// within its buffer, addressed to the unit or to 0xF0, with an acceptable
// command; built again it is taken again with the same contents. Nothing
// here may read or write beyond a buffer (ASan) whatever the line holds.
#include "links/factoryTcp.h"

#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

bool special(uint8_t b)
{
    return b == 0xFE || b == 0xFC || b == 0xFD || (b >= 0x64 && b <= 0x69);
}

using Recv = int (*)(int, uint8_t, uint8_t, FtsFrame*);

// Builds `f` again and feeds it to channel `ch` of `recv` (reset first):
// the frame taken must be the same.
void roundTrip(Recv recv, bool longForm, const FtsFrame& f, uint8_t unit, int ch)
{
    uint8_t out[FTS_REPLY_MAX];
    int built = longForm ? FTS_BuildFrame(f.addr, f.peer, f.command, f.data, f.dataLen, out)
                         : FTS_BuildShortFrame(f.addr, f.command, f.data, f.dataLen, out);
    if (!built)
        return;
    // Unescaped data of a reserved address cannot always be read back, and
    // a built long frame's sum counts the peer byte a broadcast leaves out.
    if (special(f.addr) || (longForm && f.broadcast))
        return;
    FTS_ResetChannels();
    FtsFrame again = {};
    int taken = 0;
    for (int i = 1; i <= out[0] && !taken; i++)
        taken = recv(ch, out[i], unit, &again) == 1;
    check(taken);
    check(again.addr == f.addr && again.command == f.command && again.dataLen == f.dataLen &&
          memcmp(again.data, f.data, static_cast<size_t>(f.dataLen)) == 0);
    if (longForm)
        check(again.peer == f.peer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    uint8_t sel = data[0];
    size_t pos = 1;
    uint8_t unit = 88;
    if (sel & 0x20)
        unit = data[pos++];
    int ch = (sel >> 2) & 7;
    int kind = sel & 3;
    static const Recv recvs[3] = {FTS_RecvShortFrame, FTS_RecvFrameOnChannel, FTS_RecvFrameOnChannelB};

    FTS_ResetChannels();
    for (; pos < size; pos++) {
        uint8_t b = data[pos];
        if (kind == 3) {
            int r = FTS_DetectAddress(ch, b, unit);
            check(ch < FTS_CHANNELS ? (r == 0 || r == 1) : r == -1);
            if (r == 1)
                check(b == unit || b == 0xF0);
            continue;
        }
        FtsFrame f;
        memset(&f, 0xA5, sizeof f);
        int r = recvs[kind](ch, b, unit, &f);
        if (ch >= FTS_CHANNELS) {
            check(r == -1);
            return 0;
        }
        check(r == 0 || r == 1);
        if (r != 1)
            continue;
        check(b == 0xFD);
        check(f.dataLen >= 0 && f.dataLen <= FTS_DATA_MAX);
        check(f.addr == unit || f.addr == 0xF0);
        check(f.broadcast == (f.addr == 0xF0 ? 1 : 0));
        check(!special(f.command) && f.command != 1);
        FtsFrame copy = f;
        roundTrip(recvs[kind], kind != 0, copy, unit, ch);
        return 0;
    }
    return 0;
}
