// Fuzz target: the DIPC parser over arbitrary datagrams, read as the
// receiver reads them (a cleared 512-byte buffer holding what arrived). A
// parsed packet must keep its data length within the area and what arrived,
// and one that the serialiser takes must parse back to the same bytes.
#include "links/dipc.h"

#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 512)
        return 0;
    uint8_t buf[512] = {};
    memcpy(buf, data, size);
    DipcPacket p;
    if (parse_trn_ipc_msg(&p, buf, static_cast<int>(size)) != 0)
        return 0;
    check(p.dataLength <= DIPC_DATA_BYTES);
    if (p.type == 134)
        check(5u + p.dataLength <= size);
    if (p.type == 129)
        check(3u + p.dataLength <= size);
    uint8_t out[DIPC_MAX_BYTES];
    int n = 0;
    if (prepare_trn_ipc_msg(&p, out, &n) != 0)
        return 0;
    check(n > 0 && n <= DIPC_MAX_BYTES);
    uint8_t again[512] = {};
    memcpy(again, out, static_cast<size_t>(n));
    DipcPacket q;
    check(parse_trn_ipc_msg(&q, again, n) == 0);
    uint8_t out2[DIPC_MAX_BYTES];
    int n2 = 0;
    check(prepare_trn_ipc_msg(&q, out2, &n2) == 0 && n2 == n && memcmp(out, out2, static_cast<size_t>(n)) == 0);
    return 0;
}
