// UECP receiver: frames from the UECP serial port into the RDS data set and
// the RDS configuration. "UECP Rx Thread" reads the port into the receive
// ring; the RDS loop takes frames out of it. Nothing is ever sent back.
#pragma once

#include <cstdint>
#include <ctime>

struct RingBuf;

constexpr int UECP_FRAME_MAX = 384;   // raw bytes of one frame, stuffing included
constexpr uint32_t UECP_RING_BYTES = 2048;

// A decoded frame.
struct UecpFrame {
    uint16_t site;    // upper 10 bits of the address
    uint8_t encoder;  // lower 6 bits
    uint8_t sqc;
    uint8_t mfl;      // bytes of msg
    uint8_t msg[255]; // msg[0] is the message element code
    uint16_t crc;     // as received
    uint8_t stop;
};

// Opens the UECP port with the configured baud rate and empties the receive
// ring, the output FIFO and the data set: the descriptor, or -1.
int UECP_OpenPort();
// Opens /dev/ttyS1 raw 8N1 (reads return at 100 bytes or 1 s after the last
// byte): the descriptor, below 1 on failure (logged).
int UECP_OpenUart();
// Stores baud-rate code 0..9 and applies it to the open port; on success the
// receive ring is emptied. The serial layer's result (0 or more on success).
int UECP_SetBaud(uint32_t code);
// The port descriptor (-1 while closed); the registry forgets it on close.
int UECP_GetFd();
void UECP_ForgetFd();

// Empties the 2048-byte receive ring (and the frame being gathered).
void UECP_InitRxRing();
// The ring, for the RDS loop's checks and logs.
const RingBuf* getUecpRxRing();

// Body of "UECP Rx Thread" (10 ms): polls the registered port without waiting
// and reads what is there.
void UECP_PollPort();
// Reads up to 384 bytes from the port into the ring: the count queued, 0,
// or below 1 on a read error.
int UECP_GetCmdMsg(int fd);
// Takes at most one frame out of the ring and applies it (RDS loop).
void UECP_AnalyzeCmdMsg(int count);
// Gathers the next frame from the ring, reading at most `limit` bytes (shown
// in raw): the length of the unstuffed frame in `frame` (start and stop
// bytes included), or -1 when no whole frame came. A frame cut by the end
// of the ring's bytes is kept for the next call.
int UECP_DetectFrame(uint8_t* frame, uint8_t* raw, int limit);
// Decodes and checks an unstuffed frame: 0 accepted, -1 rejected.
int UECP_FillFrame(UecpFrame* f, const uint8_t* buf, int length);
// Applies the frame's message element: 0 done or ignored, -1 refused.
int UECP_ParseMsgElementData(const UecpFrame* f);
// CRC-16 over ADD, SQC, MFL and MSG: CCITT polynomial, start 0xFFFF,
// complemented.
uint16_t UECP_Crc16(const uint8_t* bytes, uint32_t count);

// CLOCK_MONOTONIC_RAW time of the last TMC data (taken at start, renewed by
// the 8A group composer and by UECP TMC frames).
struct timespec getTmcStamp();
// Renews the TMC time stamp.
void stampTmcTime();
