// DCM channels, the request ring and reply matching.
#include "links/dcm.h"

#include "core/base/utils.h"
#include "links/netlink.h"
#include "links/serialChannels.h"

#include <cstdio>
#include <cstring>
#include <sys/socket.h>

namespace {

// Reply window after each send, in hundredths of a second.
constexpr uint32_t kReplyWindowCs = 30;
// Fewer bytes than this in a ring are not looked at.
constexpr uint32_t kRingMinBytes = 12;

struct State {
    DcmChannel channels[kDcmChannels] = {};
    DcmRequest ring[kDcmRequestSlots] = {};
    int writeIndex = 0;
    int readIndex = 0; // the slot taken last
    int pending = 0;
    DcmExpectation expect[kDcmExpectations] = {};
    uint32_t deadline = 0; // hundredths; 0 not armed
    DcmFrameBuf tx;
    DcmFrameBuf rx;
    DcmMsg rxMsg = {};

    State()
    {
        for (DcmExpectation& e : expect)
            e.address = kDcmNoAddress;
    }
};

State& st()
{
    static State s;
    return s;
}

DcmChannel* channelEntry(int channel)
{
    if (channel < 1 || channel > kDcmChannels)
        return nullptr;
    return &st().channels[channel - 1];
}

void printUnknownType(const char* who, int channel)
{
    const DcmChannel* ch = channelEntry(channel);
    printf("%s - Unknown channel type %d %d %d\n", who, channel, ch ? ch->fd : 0, ch ? static_cast<int>(ch->type) : 0);
}

// Writes bytes by the channel's transport; 9 for an unknown type.
int writeByType(const char* who, int channel, const uint8_t* bytes, int length)
{
    const DcmChannel* ch = channelEntry(channel);
    switch (ch ? ch->type : 0) {
    case DCM_CH_NETLINK:
        return send_msg_nl(ch->fd, bytes, length);
    case DCM_CH_TCP:
        return send_msg_sk(ch->fd, bytes, length);
    case DCM_CH_UART:
        return SC_send_msg(ch->fd, bytes, length);
    default:
        printUnknownType(who, channel);
        return 9;
    }
}

// Offset of the first 0xFE of the receive buffer that no 0xFC escapes; the
// length when there is none.
uint16_t findStart(const DcmFrameBuf& rx)
{
    for (uint16_t i = 0; i < rx.len; i++) {
        if (rx.data[i] == kDcmStart && (i == 0 || rx.data[i - 1] != kDcmEscape))
            return i;
    }
    return rx.len;
}

// Offset of the unit's address byte in a frame that starts at `start`: the
// byte after the start byte, or the third of four address bytes.
uint16_t addressOffset(uint32_t addrMode, uint16_t start)
{
    return static_cast<uint16_t>(start + (addrMode == DCM_ADDR_4BYTE ? 3 : 1));
}

uint8_t peekRing(const RingBuf* ring, uint32_t i)
{
    return ring->data[(ring->tail + i) % ring->size];
}

void dropRing(RingBuf* ring, uint32_t n)
{
    uint8_t sink[64];
    while (n > 0) {
        uint32_t got = RingBuf_Read(ring, sink, n < sizeof sink ? n : sizeof sink);
        if (got == 0)
            return;
        n -= got;
    }
}

void logDecodeFailure(int result)
{
    const DcmFrameBuf& rx = st().rx;
    writeInternalDebugLog("DCM_RecvReply -- DMSG_FromFrameToMsg failed error %d\n", result);
    writeInternalDebugRaw("Frame received = ");
    char hex[2 * 64 + 1];
    for (int i = 0; i < rx.len; i += 64) {
        int n = rx.len - i < 64 ? rx.len - i : 64;
        for (int k = 0; k < n; k++)
            snprintf(hex + 2 * k, 3, "%.2x", rx.data[i + k]);
        writeInternalDebugRaw("%s", hex);
    }
    writeInternalDebugRaw("\n");
}

} // namespace

int DCM_RegisterChannel(int fd, uint32_t type)
{
    for (int i = 0; i < kDcmChannels; i++) {
        DcmChannel& ch = st().channels[i];
        if (ch.fd == 0) {
            ch.fd = fd;
            ch.type = type;
            return i + 1;
        }
    }
    return 0;
}

int DCM_ReRegisterChannel(int channel, int fd, uint32_t type)
{
    DcmChannel* ch = channelEntry(channel);
    if (!ch || ch->fd != 0)
        return -1;
    ch->fd = fd;
    ch->type = type;
    return channel;
}

void DCM_UnregisterChannel(int channel)
{
    DcmChannel* ch = channelEntry(channel);
    if (ch)
        *ch = DcmChannel{};
}

int DCM_CloseChannel(int channel, int fd, uint32_t type)
{
    DcmChannel* ch = channelEntry(channel);
    if (!ch || ch->fd == 0 || ch->fd != fd || ch->type != type)
        return -1;
    int r = 0;
    if (type == DCM_CH_TCP || type == DCM_CH_UDP) {
        r = close_sk_ch(fd);
        if (r != 0)
            perror("close");
    } else {
        printf("\n__FUNCTION__\n__LINE__ NOT COVERED / TESTED\n\n");
    }
    if (r != 0)
        return r;
    *ch = DcmChannel{};
    return channel;
}

int DCM_ShutdownSocketChannel(int doShutdown, int pollIndex, int how)
{
    // Poll entry i watches channel i + 1.
    int channel = pollIndex + 1;
    const DcmChannel* ch = channelEntry(channel);
    int fd = ch ? ch->fd : -1;
    if (doShutdown && shutdown(fd, how) != 0)
        perror("shutdown");
    int r = DCM_CloseChannel(channel, fd, DCM_CH_TCP);
    if (r != channel)
        printf("Error while closing the socket");
    return r;
}

int DCM_IsChannelRegistered(int channel)
{
    const DcmChannel* ch = channelEntry(channel);
    int registered = ch && ch->fd != 0 ? 1 : 0;
    printf("\n\n[COM] #%d (i:%d) is Registered=%d  \n\n", channel, channel - 1, registered);
    return registered;
}

int DCM_Send(int channel, DcmMsg* msg)
{
    State& s = st();
    int r;
    if (DMSG_FromMsgToFrame(msg, &s.tx) != 0)
        r = 9;
    else
        r = writeByType("DCM_Send", channel, s.tx.data, s.tx.len);
    s.tx.flag = 1;
    return r;
}

int DCM_GenSend(int channel, const uint8_t* bytes, int length)
{
    return writeByType("DCM_GenSend", channel, bytes, length);
}

int dcm_raw_recv(int channel)
{
    DcmFrameBuf& rx = st().rx;
    memset(rx.data, 0, sizeof rx.data);
    rx.flag = 1;
    rx.len = 0;
    const DcmChannel* ch = channelEntry(channel);
    int n = 0;
    uint32_t group = 0;
    switch (ch ? ch->type : 0) {
    case DCM_CH_NETLINK:
        n = recv_msg_nl(ch->fd, rx.data, kDcmFrameMax, &group);
        break;
    case DCM_CH_TCP:
        n = recv_msg_sk(ch->fd, rx.data, kDcmFrameMax);
        break;
    case DCM_CH_UART:
        n = SC_recv_msg(ch->fd, rx.data, kDcmFrameMax, 0);
        break;
    default:
        printUnknownType("dcm_raw_recv", channel);
        break;
    }
    if (n <= 0)
        return 9;
    rx.flag = 0;
    rx.len = static_cast<uint16_t>(n > kDcmFrameMax ? kDcmFrameMax : n);
    return 0;
}

int DCM_RecvRaw(int channel, uint8_t* buf, int* len)
{
    if (*len < 1)
        return 9;
    int r = dcm_raw_recv(channel);
    if (r != 0)
        return r;
    const DcmFrameBuf& rx = st().rx;
    int n = rx.len < *len ? rx.len : *len;
    memcpy(buf, rx.data, static_cast<size_t>(n));
    *len = n;
    return 0;
}

void DCM_Init()
{
    State& s = st();
    memset(s.ring, 0, sizeof s.ring);
    s.writeIndex = 0;
    s.readIndex = 0;
    s.pending = 0;
    s.deadline = 0;
    for (DcmExpectation& e : s.expect)
        e = DcmExpectation{kDcmNoAddress, nullptr, 0, nullptr};
}

DcmRequest* DCM_NewRequest()
{
    State& s = st();
    s.writeIndex = (s.writeIndex + 1) % kDcmRequestSlots;
    // All 16 slots wait: the new request takes the oldest one's place, and
    // that one is counted off as if it had been sent.
    if (s.pending >= kDcmRequestSlots && s.writeIndex == (s.readIndex + 1) % kDcmRequestSlots) {
        s.readIndex = s.writeIndex;
        s.pending--;
    }
    DcmRequest* req = &s.ring[s.writeIndex];
    memset(req, 0, sizeof *req);
    return req;
}

void DCM_QueueRequest(DcmRequest* req)
{
    (void)req;
    State& s = st();
    if (s.pending < kDcmRequestSlots)
        s.pending++;
}

int DCM_SendReq()
{
    State& s = st();
    if (s.pending <= 0)
        return 0;
    s.readIndex = (s.readIndex + 1) % kDcmRequestSlots;
    DcmRequest* req = &s.ring[s.readIndex];
    if (req->msg.state != DCM_STATE_READY) {
        printf("DCM_SendReq: Message not ready\n");
        // The slot is passed over: count it off, or the ring would come
        // round to slots already sent.
        s.pending--;
        return -1;
    }
    if (req->expSlot < kDcmExpectations) {
        DcmExpectation& e = s.expect[req->expSlot];
        e.address = req->msg.address;
        e.replyCb = req->replyCb;
        e.dataLen = req->msg.dataLen;
        e.request = req;
    }
    int r = DCM_Send(static_cast<int>(req->channel), &req->msg);
    s.pending--;
    if (r == 0) {
        if (req->sentCb)
            req->sentCb();
        s.deadline = getDeadlineCs(kReplyWindowCs);
    }
    return r;
}

int DCM_ServiceQueue()
{
    State& s = st();
    if (s.deadline != 0 && checkDeadlineCs(0, s.deadline, nullptr) == 0)
        return 0;
    s.deadline = 0;
    return DCM_SendReq();
}

int DCM_RecvReply(int channel, uint8_t* expSlot)
{
    State& s = st();
    int r = dcm_raw_recv(channel);
    if (r != 0) {
        fprintf(stderr, "DCM_RecvReply \n\t dcm_raw_recv failed\n");
        return r;
    }
    uint16_t start = findStart(s.rx);
    int slot = -1;
    if (start + 1 < s.rx.len) {
        uint8_t address = s.rx.data[start + 1];
        for (int i = 0; i < kDcmExpectations && address != kDcmNoAddress; i++) {
            if (s.expect[i].address == address) {
                slot = i;
                break;
            }
        }
    }
    if (expSlot)
        *expSlot = slot < 0 ? 0xFF : static_cast<uint8_t>(slot);
    s.rxMsg.dataLen = slot < 0 ? 0 : s.expect[slot].dataLen;
    r = DMSG_FromFrameToMsg(&s.rx, &s.rxMsg, DCM_ADDR_1BYTE, start);
    if (r != 0) {
        logDecodeFailure(r);
        fprintf(stderr, "DCM_RecvReply \n\t DMSG_FromFrameToMsg failed\n");
        return r;
    }
    if (slot >= 0 && s.expect[slot].replyCb)
        s.expect[slot].replyCb(static_cast<uint8_t>(slot), s.rxMsg);
    return 0;
}

int DCM_RecvMsg(int channel, uint32_t addrMode, uint32_t ownAddress, DcmMsg* msg)
{
    State& s = st();
    if (dcm_raw_recv(channel) != 0)
        return 9;
    uint16_t start = findStart(s.rx);
    uint16_t at = addressOffset(addrMode, start);
    if (at >= s.rx.len)
        return 9;
    uint8_t address = s.rx.data[at];
    if ((addrMode != DCM_ADDR_4BYTE && address == 0) || address != static_cast<uint8_t>(ownAddress))
        return 9;
    return DMSG_FromFrameToMsg(&s.rx, msg, addrMode, start);
}

int DCM_ReadFrameFromRing(RingBuf* ring)
{
    DcmFrameBuf& rx = st().rx;
    rx.flag = 1;
    rx.len = 0;
    uint32_t used = RingBuf_Used(ring);
    if (used == 0 || ring->size == 0)
        return -1;

    // Stray bytes before the start byte are dropped.
    uint32_t skip = 0;
    while (skip < used && peekRing(ring, skip) != kDcmStart)
        skip++;
    dropRing(ring, skip);
    used -= skip;
    if (used == 0)
        return -1;

    // From the start byte to the first 0xFD that no 0xFC escapes; a bare
    // 0xFE starts the frame again there.
    uint32_t start = 0;
    bool escape = false;
    for (uint32_t i = 1; i < used; i++) {
        if (i - start >= static_cast<uint32_t>(kDcmFrameMax)) {
            dropRing(ring, start + kDcmFrameMax);
            return -1;
        }
        uint8_t b = peekRing(ring, i);
        if (escape) {
            escape = false;
        } else if (b == kDcmEscape) {
            escape = true;
        } else if (b == kDcmStart) {
            start = i;
        } else if (b == kDcmEnd) {
            dropRing(ring, start);
            uint32_t len = i - start + 1;
            RingBuf_Read(ring, rx.data, len);
            rx.len = static_cast<uint16_t>(len);
            rx.flag = 0;
            return static_cast<int>(len);
        }
    }
    // Not all there yet: keep it for the next call, unless it is already
    // longer than any frame.
    dropRing(ring, start);
    if (used - start >= static_cast<uint32_t>(kDcmFrameMax))
        dropRing(ring, kDcmFrameMax);
    return -1;
}

int DCM_RecvMsgFromRing(int channel, uint32_t addrMode, uint32_t ownAddress, DcmMsg* msg, RingBuf* ring)
{
    (void)channel;
    State& s = st();
    if (RingBuf_Used(ring) < kRingMinBytes)
        return 9;
    if (DCM_ReadFrameFromRing(ring) < 0)
        return 9;
    uint16_t at = addressOffset(addrMode, 0);
    uint8_t address = at < s.rx.len ? s.rx.data[at] : 0;
    bool mine = address == static_cast<uint8_t>(ownAddress) && (addrMode == DCM_ADDR_4BYTE || address != 0);
    if (at >= s.rx.len || (!mine && address != kDcmAnyAddress)) {
        s.rx.flag = 1;
        return 9;
    }
    return DMSG_FromFrameToMsg(&s.rx, msg, addrMode, 0);
}

const DcmExpectation* DCM_GetExpectation(int slot)
{
    return slot >= 0 && slot < kDcmExpectations ? &st().expect[slot] : nullptr;
}

int DCM_PendingCount()
{
    return st().pending;
}

const DcmFrameBuf* DCM_RecvBuffer()
{
    return &st().rx;
}
