// Fuzz target: the change-over responder. Arbitrary bytes arrive in chunks
// (a length byte, then that many bytes) in the receive ring, and the tick
// runs after each chunk, answering on a socket that stands for tx_sr_3_ch.
// A tick that answers nothing (any result but 0) sends nothing and leaves
// the system image as it was; a tick that answers sends at most one frame,
// which is whole.
#include "Config/StrutturaDati.h"
#include "links/changeOver.h"
#include "links/dcm.h"
#include "links/fuzz/dcmFuzzLine.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint8_t> drain(int fd)
{
    std::vector<uint8_t> got;
    uint8_t buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        got.insert(got.end(), buf, buf + n);
    return got;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const DcmFuzzLine& r = dcmFuzzLine(SOCK_STREAM, [](const DcmFuzzLine&) { vrlChangeOverInit(); });
    static SystemImage before;
    size_t pos = 0;
    while (pos < size) {
        size_t n = data[pos++];
        if (n > size - pos)
            n = size - pos;
        changeOverTakeBytes(data + pos, static_cast<int>(n));
        pos += n;
        for (int i = 0; i < 8; i++) {
            memcpy(&before, getSystemImage(), sizeof before);
            int res = vrlChangeOverTic(r.channel);
            std::vector<uint8_t> sent = drain(r.peer);
            if (res != 0) {
                fuzzCheck(sent.empty());
                fuzzCheck(memcmp(&before, getSystemImage(), sizeof before) == 0);
                if (res == 9)
                    break;
                continue;
            }
            // A reply the frame encoder refuses (an error reply without an
            // element) leaves nothing on the wire; anything sent is a frame.
            if (!sent.empty())
                fuzzCheck(sent.size() >= 9 && sent.front() == kDcmStart && sent.back() == kDcmEnd);
        }
    }
    return 0;
}
