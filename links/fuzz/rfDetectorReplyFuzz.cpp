// Fuzz target: the reply path of the RF-detector unit. Arbitrary bytes
// arrive on tx_sr_1_ch and go through DCM_RecvReply into the unit's reply
// callback, against the real record and DbPool section 60. Input: a byte
// choosing the kind of the request in flight (1 to 4), then what the unit
// sends. A reply the decoder refuses changes nothing in the record or in the
// section; whatever is stored, the record's valid flags stay 0 or 1.
#include "comtab/dbPool.h"
#include "links/dcm.h"
#include "links/fuzz/dcmFuzzLine.h"
#include "links/rfDetector.h"

#include <cstring>
#include <unistd.h>

namespace {

// The unit on the line, bound at address 0 of the line's channel.
void prepareUnit(const DcmFuzzLine& line)
{
    RF_DETEC_Init();
    fuzzCheck(RF_DETEC_Bind(0) == 0);
    fuzzCheck(RF_DETEC_SetAddress(0, 0, static_cast<uint32_t>(line.channel)) == 0);
}

void drain(int fd)
{
    uint8_t buf[512];
    while (read(fd, buf, sizeof buf) > 0) {
    }
}

// What a refused reply must leave as it was.
struct Seen {
    RfDetecRecord r;
    uint32_t cells[13];
};

Seen snapshot()
{
    Seen s;
    memcpy(&s.r, RF_DETEC_GetRecord(), sizeof s.r);
    for (uint32_t i = 0; i < 13; i++)
        s.cells[i] = readDbAreaCell(RF_DETEC_SECTION, i + 1);
    return s;
}

bool same(const Seen& a, const Seen& b)
{
    return memcmp(a.r.identity, b.r.identity, sizeof a.r.identity) == 0 &&
           memcmp(a.r.measures, b.r.measures, sizeof a.r.measures) == 0 && a.r.status1 == b.r.status1 &&
           a.r.status2 == b.r.status2 && a.r.alarm == b.r.alarm && a.r.setting == b.r.setting &&
           a.r.statusValid == b.r.statusValid && a.r.measuresValid == b.r.measuresValid &&
           a.r.settingValid == b.r.settingValid && a.r.waiting == b.r.waiting &&
           memcmp(a.cells, b.cells, sizeof a.cells) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 256)
        return 0;
    const DcmFuzzLine& r = dcmFuzzLine(SOCK_STREAM, prepareUnit);
    fuzzCheck(RF_DETEC_SendRead(0, 1 + data[0] % 4) == 0);
    DCM_SendReq();
    drain(r.peer);
    fuzzCheck(write(r.peer, data + 1, size - 1) == static_cast<ssize_t>(size - 1));

    Seen before = snapshot();
    uint8_t slot = 0xFF;
    int result = DCM_RecvReply(r.channel, &slot);
    if (result != 0)
        fuzzCheck(same(before, snapshot()));
    const RfDetecRecord* rec = RF_DETEC_GetRecord();
    fuzzCheck(rec->statusValid <= 1 && rec->measuresValid <= 1 && rec->settingValid <= 1 && rec->waiting >= 0);
    // The rest of the bytes is not the next input's.
    drain(r.daemon);
    return 0;
}
