// cssl: serial ports with signal-driven input. Ports are kept in a list,
// newest first; the input signal handler finds a port by its descriptor.
#include "links/cssl.h"

#include "core/base/logs.h"
#include "platform/io.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct CsslState {
    int started = 0;
    int sig = 0; // the input signal, 0 while none is taken
    struct sigaction savedAction = {};
    int error = CSSL_OK;
    CsslPort* ports = nullptr;
};

CsslState& st()
{
    static CsslState s;
    return s;
}

const char* const kErrorText[] = {
    "cssl: OK",
    "cssl: there's no free signal",
    "cssl: not started",
    "cssl: null pointer",
    "cssl: oops",
    "cssl: out of memory",
    "cssl: cannot open file",
};

speed_t speedOf(int baud)
{
    switch (baud) {
    case 75:
        return B75;
    case 110:
        return B110;
    case 150:
        return B150;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

// The port's settings from the open parameters: raw, receiver on, modem
// lines ignored, parity errors ignored.
void setUp(CsslPort* p, int baud, int bits, int parity, int stop)
{
    struct termios& t = p->tio;
    t.c_cflag = CREAD | CLOCAL | (bits == 7 ? CS7 : CS8);
    if (parity == 1)
        t.c_cflag |= PARENB | PARODD;
    else if (parity == 2)
        t.c_cflag |= PARENB;
    if (stop == 2)
        t.c_cflag |= CSTOPB;
    t.c_iflag = IGNPAR;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cc[VTIME] = 1;
    t.c_cc[VMIN] = 255;
    cfsetispeed(&t, speedOf(baud));
    cfsetospeed(&t, speedOf(baud));
}

// The common checks of a call on a port: 0 when it may go on.
int checkPort(const CsslPort* port)
{
    if (!st().started) {
        st().error = CSSL_ERROR_NOTSTARTED;
        return -1;
    }
    if (!port) {
        st().error = CSSL_ERROR_NULLPOINTER;
        return -1;
    }
    st().error = CSSL_OK;
    return 0;
}

// Flushes both queues of the port.
void flushQueues(int fd)
{
    ioIoctl(fd, TCFLSH, reinterpret_cast<void*>(static_cast<long>(TCIOFLUSH)));
}

// Applies the port's settings; a refusal is a failed control request.
void applySettings(CsslPort* port)
{
    if (tcsetattr(port->fd, TCSANOW, &port->tio) != 0)
        st().error = CSSL_ERROR_CONTROL;
}

} // namespace

void csslInit() {}

void csslStop()
{
    while (st().ports)
        csslClose(st().ports);
    if (st().sig != 0) {
        sigaction(st().sig, &st().savedAction, nullptr);
        st().sig = 0;
    }
    st().started = 0;
    st().error = CSSL_OK;
}

CsslPort* csslOpen(const char* path, CsslCallback callback, int id, int baud, int bits, int parity, int stop)
{
    st().started = 1;
    if (!path) {
        st().error = CSSL_ERROR_NULLPOINTER;
        return nullptr;
    }
    CsslPort* p = static_cast<CsslPort*>(calloc(1, sizeof(CsslPort)));
    if (!p) {
        st().error = CSSL_ERROR_MEMORY;
        return nullptr;
    }
    p->fd = ioOpen(path, O_RDWR | O_NOCTTY);
    // A node that is no terminal cannot be set up: it is refused as one that
    // cannot be opened.
    if (p->fd < 0 || tcgetattr(p->fd, &p->oldtio) != 0) {
        if (p->fd >= 0)
            ioClose(p->fd);
        free(p);
        st().error = CSSL_ERROR_OPEN;
        return nullptr;
    }
    p->tio = p->oldtio;
    setUp(p, baud, bits, parity, stop);
    flushQueues(p->fd);
    st().error = CSSL_OK;
    applySettings(p);
    p->callback = callback;
    p->id = id;
    p->next = st().ports;
    st().ports = p;
    return p;
}

void csslClose(CsslPort* port)
{
    if (checkPort(port) != 0)
        return;
    flushQueues(port->fd);
    tcsetattr(port->fd, TCSANOW, &port->oldtio);
    ioClose(port->fd);
    CsslPort** link = &st().ports;
    while (*link && *link != port)
        link = &(*link)->next;
    if (*link)
        *link = port->next;
    else
        st().error = CSSL_ERROR_OOPS;
    free(port);
}

void csslControl(CsslPort* port, unsigned long request, uint8_t byte)
{
    if (checkPort(port) != 0)
        return;
    int arg = byte;
    if (ioIoctl(port->fd, request, &arg) < 0)
        st().error = CSSL_ERROR_CONTROL;
}

void csslSetHandshake(CsslPort* port, int rtscts, int xonxoff)
{
    if (checkPort(port) != 0)
        return;
    if (rtscts)
        port->tio.c_cflag |= CRTSCTS;
    else
        port->tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (xonxoff)
        port->tio.c_iflag |= IXON | IXOFF;
    else
        port->tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
    applySettings(port);
}

void csslSetReadTime(CsslPort* port, int tenths)
{
    if (checkPort(port) != 0)
        return;
    port->tio.c_cc[VTIME] = static_cast<cc_t>(tenths);
    // No minimum count: a read ends after the read time with what has come,
    // rather than wait for a full buffer.
    port->tio.c_cc[VMIN] = 0;
    applySettings(port);
}

void csslPutChar(CsslPort* port, char c)
{
    csslWriteData(port, reinterpret_cast<const uint8_t*>(&c), 1);
}

void csslPutString(CsslPort* port, const char* text)
{
    if (!text) {
        st().error = CSSL_ERROR_NULLPOINTER;
        return;
    }
    int n = 0;
    while (text[n])
        n++;
    csslWriteData(port, reinterpret_cast<const uint8_t*>(text), n);
}

void csslWriteData(CsslPort* port, const uint8_t* data, int n)
{
    if (checkPort(port) != 0)
        return;
    if (!data) {
        st().error = CSSL_ERROR_NULLPOINTER;
        return;
    }
    for (int i = 0; i < n; i++)
        logDebug("Data to send: 0x%x\n", data[i]);
    ssize_t done = n > 0 ? ioWrite(port->fd, data, static_cast<size_t>(n)) : 0;
    if (done != n)
        logErr("Write only %d chars\n", static_cast<int>(done));
}

void csslDrain(CsslPort* port)
{
    if (checkPort(port) != 0)
        return;
    tcdrain(port->fd);
}

int csslReadByte(CsslPort* port)
{
    if (checkPort(port) != 0)
        return -1;
    uint8_t b;
    return ioRead(port->fd, &b, 1) == 1 ? b : -1;
}

int csslReadSome(CsslPort* port, uint8_t* buf, int n)
{
    if (checkPort(port) != 0)
        return -1;
    if (!buf) {
        st().error = CSSL_ERROR_NULLPOINTER;
        return -1;
    }
    return n > 0 ? static_cast<int>(ioRead(port->fd, buf, static_cast<size_t>(n))) : 0;
}

int csslReadAll(CsslPort* port, uint8_t* buf, int n)
{
    if (checkPort(port) != 0)
        return -1;
    if (!buf) {
        st().error = CSSL_ERROR_NULLPOINTER;
        return -1;
    }
    int got = 0;
    while (got < n) {
        ssize_t r = ioRead(port->fd, buf + got, static_cast<size_t>(n - got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<int>(r);
    }
    return got;
}

int csslGetError()
{
    return st().error;
}

const char* csslGetErrorMsg()
{
    int e = st().error;
    return e >= 0 && e < static_cast<int>(sizeof kErrorText / sizeof kErrorText[0]) ? kErrorText[e] : "";
}

void csslSignalHandler(int, siginfo_t* info, void*)
{
    if (!info || info->si_code != POLL_IN)
        return;
    for (CsslPort* p = st().ports; p; p = p->next) {
        if (p->fd != info->si_fd)
            continue;
        ssize_t n = read(p->fd, p->buffer, kCsslBufferSize);
        if (n > 0 && p->callback)
            p->callback(p->id, p->buffer, static_cast<int>(n));
        return;
    }
}
