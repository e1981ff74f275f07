// Serial and socket channels of the unit links: UART set-up and I/O, the COM
// port records the transmitter logic edits, and the UDP and TCP routines.
#include "links/serialChannels.h"

#include "Config/keys/networkKeys.h"
#include "core/base/logs.h"
#include "hw/boardIo.h"
#include "platform/io.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using ComPort = ComPortSettings;

struct ChannelState {
    ComPort com[4] = {};
    struct sockaddr_in lastSender = {};
    bool haveSender = false;
};

ChannelState& st()
{
    static ChannelState s;
    return s;
}

speed_t speedOf(uint32_t baudCode)
{
    switch (baudCode) {
    case 3:
        return B9600;
    case 4:
        return B19200;
    case 5:
        return B38400;
    case 7:
        return B115200;
    case 8:
        return B230400;
    case 9:
        return B460800;
    default:
        return B57600;
    }
}

int termiosGet(int fd, struct termios* t)
{
    return ioIoctl(fd, TCGETS, t);
}

int flushInput(int fd)
{
    return ioIoctl(fd, TCFLSH, reinterpret_cast<void*>(static_cast<intptr_t>(TCIFLUSH)));
}

const char* const kEth1 = "eth1";

void ifName(struct ifreq* r, const char* name)
{
    memset(r, 0, sizeof *r);
    snprintf(r->ifr_name, sizeof r->ifr_name, "%s", name);
}

} // namespace

int SC_open_uart(const char* path, uint8_t, uint32_t masterMode, uint32_t duplexMode, uint32_t baudCode,
                 uint32_t dataBits, uint32_t parity, uint32_t stopBits, uint32_t, uint32_t flowControl,
                 ScReadTiming timing)
{
    int fd = ioOpen(path, O_RDWR | O_NOCTTY);
    struct termios t = {};
    if (fd < 0 || termiosGet(fd, &t) != 0) {
        logErr("%s\n", strerror(errno));
        if (fd >= 0)
            ioClose(fd);
        return -1;
    }
    speed_t speed = speedOf(baudCode);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);

    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR | CSTOPB | CSIZE | CRTSCTS);
    if (parity == 2)
        t.c_cflag |= PARENB;
    else if (parity == 3)
        t.c_cflag |= PARENB | PARODD;
    else if (parity == 4)
        t.c_cflag |= PARENB | CMSPAR;
    if (stopBits == 3)
        t.c_cflag |= CSTOPB;
    t.c_cflag |= dataBits == 1 ? CS5 : dataBits == 2 ? CS6 : dataBits == 3 ? CS7 : CS8;
    if (flowControl == 1)
        t.c_cflag |= CRTSCTS;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_oflag = 0;
    t.c_iflag = IGNPAR;
    t.c_lflag = 0;
    t.c_cc[VTIME] = static_cast<cc_t>(timing.timeCs / 10);
    t.c_cc[VMIN] = static_cast<cc_t>(timing.minCount & 0xff);

    flushInput(fd);
    if (ioIoctl(fd, TCSETS, &t) != 0) {
        logErr("%s\n", strerror(errno));
        ioClose(fd);
        return -1;
    }

    if (strcmp(path, "/dev/ttyS2") == 0) {
        printf("UART 2 set to %s  duplex mode \n", duplexMode ? "HALF" : "FULL");
        setDuplexModeUart2(duplexMode ? 1 : 0);
    } else if (strcmp(path, "/dev/ttyS0") == 0) {
        printf("UART 0 set to %s  duplex mode \n", duplexMode ? "HALF" : "FULL");
        setDuplexModeUart0(duplexMode ? 1 : 0);
        printf("UART 0 set to %s  Master mode \n", masterMode ? "SLAVE" : "MASTER");
        setMasterModeUart0(masterMode ? 1 : 0);
    }
    return fd;
}

int SC_set_baud(int fd, uint32_t baudCode)
{
    if (fd < 1)
        return -1;
    struct termios t = {};
    termiosGet(fd, &t);
    speed_t speed = baudCode == 1 ? B2400 : baudCode == 2 ? B4800 : speedOf(baudCode);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    flushInput(fd);
    ioIoctl(fd, TCSETS, &t);
    return 0;
}

// The count is reported in 8 bits, so no more than 255 bytes are taken per
// call: a larger read would lose the bytes above the reported count.
int SC_recv_msg(int fd, uint8_t* buf, int size, int keepInput)
{
    if (size <= 0)
        return 0;
    ssize_t n = ioRead(fd, buf, static_cast<size_t>(size > 255 ? 255 : size));
    if (!keepInput)
        flushInput(fd);
    return n > 0 ? static_cast<int>(n) : 0;
}

int SC_send_msg(int fd, const uint8_t* bytes, int length)
{
    if (length <= 0)
        return -1;
    ssize_t n = ioWrite(fd, bytes, static_cast<size_t>(length));
    if (n < 0) {
        logErr("%s\n", strerror(errno));
        return -1;
    }
    if (n != length) {
        logErr("Wrong number of transmitted bytes {expected [%d] -- sent [%d]}\n\n", length, static_cast<int>(n));
        return -1;
    }
    return 0;
}

int COM_SetPortParam(int param, uint32_t value, int checkOnly, int port)
{
    if (port != 0 && port != 2)
        return -1;
    static const struct {
        uint32_t lo, hi;
    } kRange[] = {{2, 255}, {3, 9}, {1, 4}, {1, 2}, {1, 3}, {0, 1}, {0, 1}};
    int result = 0;
    if (param < 1 || param > 7)
        result = 1;
    else if (value < kRange[param - 1].lo || value > kRange[param - 1].hi)
        result = 11;
    if (result == 0 && !checkOnly) {
        ComPort& c = st().com[port];
        switch (param) {
        case 1:
            c.address = static_cast<uint8_t>(value);
            break;
        case 2:
            c.baudCode = value;
            break;
        case 3:
            c.dataBits = value;
            break;
        case 4:
            c.parity = value;
            break;
        case 5:
            c.stopBits = value;
            break;
        case 6:
            c.masterMode = value;
            break;
        default:
            c.duplexMode = value;
            break;
        }
    }
    COM_PrintPortConfig(port);
    return result;
}

void COM_StorePortSettings(int record, const ComPortSettings* settings, int keepAddress)
{
    if (record < 0 || record > 3 || !settings)
        return;
    ComPort& c = st().com[record];
    uint8_t address = c.address;
    c = *settings;
    if (keepAddress)
        c.address = address;
}

ComPortSettings COM_GetPortSettings(int record)
{
    return record >= 0 && record <= 3 ? st().com[record] : ComPortSettings{};
}

void COM_PrintPortConfig(int record)
{
    if (record < 0 || record > 3)
        return;
    const ComPort& c = st().com[record];
    printf("\t COM %d configuration \n", record + 1);
    printf("address %d [%.2x] \n", c.address, c.address);
    printf("baud_rate %d \n", static_cast<int>(c.baudCode));
    printf("data_bits %d \n", static_cast<int>(c.dataBits));
    printf("parity %d \n", static_cast<int>(c.parity));
    printf("stop_bit %d \n", static_cast<int>(c.stopBits));
    printf("tx_rx_en %d \n", static_cast<int>(c.txRxEnable));
    printf("master_mode %d \n", static_cast<int>(c.masterMode));
    printf("duplex_mode %d \n", static_cast<int>(c.duplexMode));
    printf("flow_ctrl %d \n", static_cast<int>(c.flowControl));
}

int init_sk_udp_ch(uint16_t port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "TrnSocket -- init_sk_udp_ch() Errore nella creazione del socket \n");
        return 0;
    }
    printf("Socket created");
    struct ifreq r;
    ifName(&r, kEth1);
    if (ioctl(fd, SIOCGIFFLAGS, &r) != 0) {
        printf("Ioctl failed. Errno = %d\n", errno);
        close(fd);
        return 0;
    }
    if (!(r.ifr_flags & IFF_UP)) {
        printf("%s is DOWN\n", kEth1);
        close(fd);
        return 0;
    }
    int one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        fprintf(stderr, "TrnSocket -- setsockopt (SO_RESUSEADDR)\n");
        close(fd);
        return 0;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

    uint32_t addr = getRearEthernetIPAddress();
    uint32_t mask = getRearEthernetIPNetmask();
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = addr;
    ifName(&r, kEth1);
    memcpy(&r.ifr_addr, &a, sizeof a);
    ioIoctl(fd, SIOCSIFADDR, &r);
    a.sin_addr.s_addr = mask;
    ifName(&r, kEth1);
    memcpy(&r.ifr_netmask, &a, sizeof a);
    ioIoctl(fd, SIOCSIFNETMASK, &r);
    ifName(&r, kEth1);
    if (ioctl(fd, SIOCGIFFLAGS, &r) == 0) {
        r.ifr_flags = static_cast<short>(r.ifr_flags | IFF_UP | IFF_RUNNING);
        ioIoctl(fd, SIOCSIFFLAGS, &r);
    }

    struct sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = addr;
    local.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&local), sizeof local) != 0) {
        fprintf(stderr, "TrnSocket -- bind() error \n");
        close(fd);
        return 0;
    }
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    printf("Socket bind to address %s:%d\n", text, port);
    return fd;
}

int init_sk_udp_ch_addr(const char* address, uint16_t port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "TrnSocket -- init_sk_udp_ch() Errore nella creazione del socket ");
        return -1;
    }
    printf("Socket created");
    int one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        fprintf(stderr, "TrnSocket -- setsockopt (SO_RESUSEADDR)");
        close(fd);
        return -1;
    }
    struct sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address, &local.sin_addr) != 1
        || bind(fd, reinterpret_cast<struct sockaddr*>(&local), sizeof local) != 0) {
        fprintf(stderr, "TrnSocket -- bind() error ");
        close(fd);
        return -1;
    }
    printf("Socket bind to address %s:%d\n", address, port);
    return fd;
}

int init_sk_ch(const char* address, uint16_t port, int listenMode)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "TrnSocket -- init_sk_ch() \n\tErrore nella creazione del socket");
        return -1;
    }
    int one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        fprintf(stderr, "TrnSocket -- setsockopt (SO_RESUSEADDR)\n");
        close(fd);
        return -1;
    }
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    bool addrOk = inet_pton(AF_INET, address, &a.sin_addr) == 1;
    if (!listenMode) {
        if (!addrOk || connect(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof a) != 0) {
            fprintf(stderr, "TrnSocket -- init_sk_ch() \n\tErrore di connessione al server");
            close(fd);
            return -1;
        }
        return fd;
    }
    if (!addrOk || bind(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof a) != 0) {
        fprintf(stderr, "TrnSocket -- init_sk_ch() \n\tBinding socket error");
        close(fd);
        return -1;
    }
    if (listen(fd, 1) != 0) {
        fprintf(stderr, "listen() failed");
        close(fd);
        return -1;
    }
    return fd;
}

int close_sk_ch(int fd)
{
    int r = close(fd);
    if (r != 0)
        fprintf(stderr, "TrnSocket -- close() error \n");
    return r;
}

int accept_sk_ch(int fd)
{
    int c = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0)
        fprintf(stderr, "TrnSocket -- accept() error \n");
    return c;
}

int recv_msg_sk_udp(int fd, uint8_t* buf, int size, struct sockaddr_in* sender)
{
    struct sockaddr_storage from = {};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd, buf, size > 0 ? static_cast<size_t>(size) : 0, 0,
                         reinterpret_cast<struct sockaddr*>(&from), &len);
    if (n >= 0) {
        if (from.ss_family == AF_INET) {
            memcpy(&st().lastSender, &from, sizeof st().lastSender);
            st().haveSender = true;
        }
        if (sender) {
            if (from.ss_family == AF_INET)
                memcpy(sender, &from, sizeof *sender);
            else
                memset(sender, 0, sizeof *sender);
        }
    }
    return static_cast<int>(n);
}

int send_msg_sk_udp(int fd, const uint8_t* bytes, int length)
{
    if (!st().haveSender || length < 0)
        return -1;
    ssize_t n = sendto(fd, bytes, static_cast<size_t>(length), MSG_NOSIGNAL,
                       reinterpret_cast<const struct sockaddr*>(&st().lastSender), sizeof st().lastSender);
    if (n < 0) {
        printf("send_msg_sk_udp() \n\t send failed");
        return -1;
    }
    if (n != length) {
        printf("Wrong number of transmitted bytes {expected [%d] -- sent [%d]}\n", length, static_cast<int>(n));
        return -1;
    }
    return 0;
}

int send_msg_sk(int fd, const uint8_t* bytes, int length)
{
    if (length <= 0)
        return -1;
    ssize_t n = send(fd, bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n < 0) {
        printf("send_msg_sk() \n\t send failed");
        return -1;
    }
    return n == length ? 0 : -1;
}

int recv_msg_sk(int fd, uint8_t* buf, int size)
{
    ssize_t n = recv(fd, buf, size > 0 ? static_cast<size_t>(size) : 0, MSG_DONTWAIT);
    if (n == 0) {
        printf("socket close by remote peer ");
        close(fd);
        return 0;
    }
    if (n < 0)
        return 0;
    printf("socket receive %d bytes\n", static_cast<int>(n));
    return static_cast<int>(n);
}

int isEth1Up()
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        printf("Socket failed. Errno = %d\n", errno);
        return 0;
    }
    struct ifreq r;
    ifName(&r, kEth1);
    int up = 0;
    if (ioctl(fd, SIOCGIFFLAGS, &r) != 0)
        printf("Ioctl failed. Errno = %d\n", errno);
    else
        up = (r.ifr_flags & IFF_UP) && (r.ifr_flags & IFF_RUNNING) ? 1 : 0;
    close(fd);
    return up;
}
