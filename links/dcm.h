// DCM channels, the request ring and reply matching.
//
// A channel is a descriptor with a transport type, numbered 1 to 6. Requests
// to the units on a bus are queued in a ring of 16 and sent one at a time:
// after each send the next request waits for the 300 ms reply window, and a
// reply is handed to the callback of the expectation its sender's address
// matches. Everything runs in the link thread; nothing here is locked.
#pragma once

#include "core/base/ringBuf.h"
#include "links/dcmMsg.h"

#include <cstdint>

// Transport types.
constexpr uint32_t DCM_CH_UART = 1;
constexpr uint32_t DCM_CH_NETLINK = 2;
constexpr uint32_t DCM_CH_TCP = 4;
constexpr uint32_t DCM_CH_UDP = 5;

constexpr int kDcmChannels = 6;
constexpr int kDcmRequestSlots = 16;
constexpr int kDcmExpectations = 5;
constexpr uint32_t kDcmNoAddress = 255;
// Frames addressed to 143 are taken from the ring whatever the own address.
constexpr uint8_t kDcmAnyAddress = 0x8F;

// Called with the expectation slot and the decoded reply.
using DcmReplyCb = int (*)(uint8_t expSlot, DcmMsg reply);
// Called after a request was sent.
using DcmSentCb = void (*)();

struct DcmRequest {
    DcmMsg msg;
    DcmReplyCb replyCb;
    uint8_t expSlot; // 0 to 4: the unit whose expectation the request sets
    uint32_t channel;
    DcmSentCb sentCb;
};

struct DcmExpectation {
    uint32_t address; // 255: none
    DcmReplyCb replyCb;
    uint8_t dataLen;
    DcmRequest* request;
};

struct DcmChannel {
    int fd; // 0: free
    uint32_t type;
};

// Channels. Register gives the channel number, 0 when all are taken.
int DCM_RegisterChannel(int fd, uint32_t type);
int DCM_ReRegisterChannel(int channel, int fd, uint32_t type);
void DCM_UnregisterChannel(int channel);
int DCM_CloseChannel(int channel, int fd, uint32_t type);
int DCM_ShutdownSocketChannel(int doShutdown, int pollIndex, int how);
int DCM_IsChannelRegistered(int channel);

// One frame. 0 sent; 9 when encoding fails or the type is unknown; else the
// transport's result.
int DCM_Send(int channel, DcmMsg* msg);
int DCM_GenSend(int channel, const uint8_t* bytes, int length);
// Reads up to 384 bytes into the receive buffer: 0 when bytes arrived, else 9.
int dcm_raw_recv(int channel);
int DCM_RecvRaw(int channel, uint8_t* buf, int* len);

// Requests and replies.
void DCM_Init();
DcmRequest* DCM_NewRequest();
void DCM_QueueRequest(DcmRequest* req);
int DCM_SendReq();
int DCM_ServiceQueue();
int DCM_RecvReply(int channel, uint8_t* expSlot);
int DCM_RecvMsg(int channel, uint32_t addrMode, uint32_t ownAddress, DcmMsg* msg);
int DCM_ReadFrameFromRing(RingBuf* ring);
int DCM_RecvMsgFromRing(int channel, uint32_t addrMode, uint32_t ownAddress, DcmMsg* msg, RingBuf* ring);

// State seen by tests and diagnostics.
const DcmExpectation* DCM_GetExpectation(int slot);
int DCM_PendingCount();
const DcmFrameBuf* DCM_RecvBuffer();
