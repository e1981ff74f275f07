// Factory TCP command server (port 50000).
#pragma once

// Opens the non-blocking listening socket. 0, or -1 on failure.
int initFactoryTcpSocket();
// One turn of the server, on every main-loop pass: accepts, reads, runs and
// answers factory commands without blocking.
void runFactoryTcpServer();

#include <cstdint>

// Largest data part of a request the state machine keeps; further bytes of
// a frame abort it.
inline constexpr int FTS_DATA_MAX = 256;
// A reply: its length byte and a frame of at most 255 bytes.
inline constexpr int FTS_REPLY_MAX = 256;

// The request state machine, one byte per call (unit address `unitAddr`):
// 1 when a complete frame with a correct checksum has been taken, its peer
// byte, command, data (at most FTS_DATA_MAX bytes, the checksum left out)
// and the broadcast flag (address 0xF0) given back.
int FTS_RecvByte(uint8_t byte, uint8_t unitAddr, uint8_t* peer, uint8_t* command, uint8_t* data, int* dataLen,
                 int* broadcast);
// Returns the state machine to waiting for a frame's start.
void FTS_ResetReceiver();
// Builds the reply: length byte then frame (unescaped) into `out` (at least
// FTS_REPLY_MAX bytes): 1, or 0 without building for command 1 or data that
// would not fit the length byte.
int FTS_BuildReply(uint8_t unitAddr, uint8_t peer, uint8_t command, const uint8_t* data, int length, uint8_t* out);
// Runs a read (4) or write (3, 5) request of `reqLen` data bytes; `command`
// becomes the reply command. 1 when a reply is due (its data in `reply`, at
// least FTS_REPLY_MAX bytes, and `replyLen`), else 0.
int FTS_ExecuteCommand(const uint8_t* request, int reqLen, uint8_t* reply, int* replyLen, uint8_t* command);

// ---- Frame codecs of the factory protocol on other channels ---------------
// Nothing in the daemon calls these; a channel that speaks the protocol
// feeds them its bytes.

// Channels whose receive states are kept apart (0 to FTS_CHANNELS - 1).
inline constexpr int FTS_CHANNELS = 5;

// A frame taken by a receiver: its address (the unit's or 0xF0), peer byte
// (long frames), command and unescaped data without the checksum.
struct FtsFrame {
    uint8_t addr;
    uint8_t peer;
    uint8_t command;
    int broadcast; // 1 for address 0xF0
    int dataLen;
    uint8_t data[FTS_DATA_MAX];
};

// The short frame behind its length byte: 0xFE, address, command, data
// escaped (unless the address is in the reserved set 0x64-0x69), 0xFC, the
// sum of every byte before the checksum, 0xFD. 1 when built into `out` (at
// least FTS_REPLY_MAX bytes); 0 for an address in the delimiter set, a
// command in either set or 1, or a frame longer than 255 bytes.
int FTS_BuildShortFrame(uint8_t addr, uint8_t command, const uint8_t* data, int length, uint8_t* out);
// The long frame behind its length byte: 0xFE, 0x00, 0x00, address, peer
// byte, command, data escaped under the same rule, 0xFC, checksum, 0xFD.
// Results as above.
int FTS_BuildFrame(uint8_t addr, uint8_t peer, uint8_t command, const uint8_t* data, int length, uint8_t* out);

// Receivers, one byte per call on channel `ch`: 1 when a complete frame for
// `unitAddr` or 0xF0 with a correct checksum was taken into `frame`; 0
// while none is; -1 for a channel outside 0 to FTS_CHANNELS - 1. A frame
// with more data than FTS_DATA_MAX bytes is dropped.
// Short frames; the checksum is the sum of 0xFE, address, command, the data
// with their escape bytes and 0xFC.
int FTS_RecvShortFrame(int ch, uint8_t byte, uint8_t unitAddr, FtsFrame* frame);
// Long frames, checked as FTS_RecvByte checks a request (a broadcast's sum
// leaves the peer byte out). The two long-frame receivers keep separate
// channel states, so two readers of one channel number do not mix.
int FTS_RecvFrameOnChannel(int ch, uint8_t byte, uint8_t unitAddr, FtsFrame* frame);
int FTS_RecvFrameOnChannelB(int ch, uint8_t byte, uint8_t unitAddr, FtsFrame* frame);
// Follows the start and the address byte of short frames on a channel: 1
// when a frame for `unitAddr` or 0xF0 begins with this byte, 0 otherwise,
// -1 for a channel outside the range.
int FTS_DetectAddress(int ch, uint8_t byte, uint8_t unitAddr);
// Every channel of every receiver back to waiting for a start byte.
void FTS_ResetChannels();
