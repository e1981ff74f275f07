// Serial and socket channels of the unit links (channel 1: the UECP port).
#pragma once

#include <cstdint>

struct pollfd;

// Read timing of a UART: time in hundredths of a second (the terminal's read
// time is a tenth of it), minimum byte count (its low 8 bits are used).
struct ScReadTiming {
    uint16_t timeCs;
    uint16_t minCount;
};

// One COM port record: the settings a UART is opened with.
struct ComPortSettings {
    uint8_t address;
    uint32_t masterMode;
    uint32_t duplexMode;
    uint32_t baudCode;
    uint32_t dataBits;
    uint32_t parity;
    uint32_t stopBits;
    uint32_t txRxEnable;
    uint32_t flowControl;
    ScReadTiming timing;
};

// Closes serial channel ch (0 tx_sr_1_ch, 1 the UECP port, 2 tx_sr_3_ch)
// and opens it again with its opener, giving the opener's result. Channels
// 0 and 2 are read by the poll loop: asked from another thread, their
// reopen is done by the loop at its next turn (0 is returned).
int COM_ReopenSerialChannel(int ch);
// Closes serial channel ch if open and unregisters it.
void COM_CloseSerialChannels(int ch);
// Validates parameter `param` (1 address, 2 baud code, 3 data bits code,
// 4 parity code, 5 stop bits code, 6 master mode, 7 duplex mode) and, unless
// `checkOnly` is set, stores it in COM 1 (port 0) or COM 3 (port 2); then
// prints that record. 0, 1 for an unknown parameter, 11 for a value out of
// range, -1 for another port.
int COM_SetPortParam(int param, uint32_t value, int checkOnly, int port);
// Stores the settings into COM port record `record` (0 to 3); with
// `keepAddress` set the record keeps its address.
void COM_StorePortSettings(int record, const ComPortSettings* settings, int keepAddress);
// A copy of COM port record `record` (zeros for another number).
ComPortSettings COM_GetPortSettings(int record);
// Prints COM port record `record` (0 to 3).
void COM_PrintPortConfig(int record);
// The UECP channel's poll record (descriptor, POLLIN): its channel number,
// below 1 while the channel is not registered.
int COM_GetUecpPollRecord(struct pollfd* record);

// One write of `length` bytes to a UART; 0 when all were written, else -1.
int SC_send_msg(int fd, const uint8_t* bytes, int length);
// One read of up to `size` bytes from a UART: the count, 0 when nothing was
// read. With `keepInput` 0 the rest of the input queue is
// discarded after the read.
int SC_recv_msg(int fd, uint8_t* buf, int size, int keepInput);

// Sends on a TCP socket: 0, or -1 on an error, 0 bytes or a short send.
int send_msg_sk(int fd, const uint8_t* bytes, int length);
// Receives from a TCP socket: the count; 0 when the peer has closed (the
// socket is then closed).
int recv_msg_sk(int fd, uint8_t* buf, int size);
// Closes a socket channel: close's result.
int close_sk_ch(int fd);
// Accepts a connection on a listening socket: the descriptor, or -1.
int accept_sk_ch(int fd);
// The UDP socket of the unit links, non-blocking, bound to eth1's configured
// address (which it assigns to eth1): the descriptor, or 0 on any failure
// (eth1 not up included).
int init_sk_udp_ch(uint16_t port);
// A UDP socket with address reuse bound to `address`: the descriptor, or -1.
int init_sk_udp_ch_addr(const char* address, uint16_t port);
// A TCP socket with address reuse connected to `address` (listen 0), or
// bound to it and listening with a backlog of 1: the descriptor, or -1.
int init_sk_ch(const char* address, uint16_t port, int listen);
// Receives one datagram and keeps its sender for send_msg_sk_udp; the sender
// (zeros when not IPv4) is copied to `sender` when given. recvfrom's result.
struct sockaddr_in;
int recv_msg_sk_udp(int fd, uint8_t* buf, int size, struct sockaddr_in* sender);
// Sends to the sender of the last datagram received: 0, or -1 when none was
// received yet, on an error or a short send.
int send_msg_sk_udp(int fd, const uint8_t* bytes, int length);
// 1 when eth1 is up and running, else 0.
int isEth1Up();

// Opens a UART for reading and writing (not as controlling terminal) and
// sets it up raw: baud code (3 9600, 4 19200, 5 38400, 7 115200, 8 230400,
// 9 460800, else 57600), data bits code (1 five, 2 six, 3 seven, else
// eight), parity code (1 none, 2 even, 3 odd, 4 mark/space), stop bits code
// (3 two, else one), flow control (1 RTS/CTS), read timing; pending input is
// discarded. The descriptor, or -1.
int SC_open_uart(const char* path, uint8_t address, uint32_t masterMode, uint32_t duplexMode, uint32_t baudCode,
                 uint32_t dataBits, uint32_t parity, uint32_t stopBits, uint32_t txRxEnable, uint32_t flowControl,
                 ScReadTiming timing);
// Sets input and output speed by baud code (1 2400, 2 4800, then as
// SC_open_uart), discards pending input: 0, or -1 for a descriptor below 1.
int SC_set_baud(int fd, uint32_t baudCode);
