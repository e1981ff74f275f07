// Stand-in for the serial and socket channels: the channel calls are plain
// reads and writes on the descriptor the caller gives (the UART input flush
// included), without the port set-up or the log lines; reopening and closing
// the serial channels only says on the standard output that it ran.
#include "links/serialChannels.h"

#include <cstdio>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

void COM_ReopenSerialChannel(int ch)
{
    printf("standin COM_ReopenSerialChannel(%d)\n", ch);
}

void COM_CloseSerialChannels(int ch)
{
    printf("standin COM_CloseSerialChannels(%d)\n", ch);
}

int SC_send_msg(int fd, const uint8_t* bytes, int length)
{
    ssize_t n = write(fd, bytes, static_cast<size_t>(length));
    return n == length && n > 0 ? 0 : -1;
}

int SC_recv_msg(int fd, uint8_t* buf, int size, int keepInput)
{
    ssize_t n = read(fd, buf, static_cast<size_t>(size > 255 ? 255 : size));
    if (!keepInput)
        tcflush(fd, TCIFLUSH);
    return n > 0 ? static_cast<int>(n) : 0;
}

int send_msg_sk(int fd, const uint8_t* bytes, int length)
{
    ssize_t n = send(fd, bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
    return n == length && n > 0 ? 0 : -1;
}

int recv_msg_sk(int fd, uint8_t* buf, int size)
{
    ssize_t n = recv(fd, buf, static_cast<size_t>(size), MSG_DONTWAIT);
    if (n == 0)
        close(fd);
    return n > 0 ? static_cast<int>(n) : 0;
}

int close_sk_ch(int fd)
{
    return close(fd);
}
