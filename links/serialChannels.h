// Serial and socket channels of the unit links (channel 1: the UECP port).
#pragma once

#include <cstdint>

// Closes serial channel ch and opens it again.
void COM_ReopenSerialChannel(int ch);
// Closes the serial channels.
void COM_CloseSerialChannels(int ch);

// One write of `length` bytes to a UART; 0 when all were written, else -1.
int SC_send_msg(int fd, const uint8_t* bytes, int length);
// One read of up to `size` bytes (at most 255) from a UART: the count, 0 when
// nothing was read. With `keepInput` 0 the rest of the input queue is
// discarded after the read.
int SC_recv_msg(int fd, uint8_t* buf, int size, int keepInput);

// Sends on a TCP socket: 0, or -1 on an error, 0 bytes or a short send.
int send_msg_sk(int fd, const uint8_t* bytes, int length);
// Receives from a TCP socket: the count; 0 when the peer has closed (the
// socket is then closed).
int recv_msg_sk(int fd, uint8_t* buf, int size);
// Closes a socket channel: close's result.
int close_sk_ch(int fd);
