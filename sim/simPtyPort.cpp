// Serial ports as pseudo-terminals.
#include "sim/simPtyPort.h"

#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

int SimPtyPort::ownSlave(int flags)
{
    std::lock_guard<std::mutex> g(lock_);
    if (master_ < 0) {
        int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m < 0)
            return -1;
        if (grantpt(m) != 0 || unlockpt(m) != 0) {
            ::close(m);
            return -1;
        }
        master_ = m;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        return -1;
    return ::open(name, (flags & O_ACCMODE) | O_NOCTTY | O_CLOEXEC);
}

int SimPtyPort::open(int flags, int handle)
{
    std::string linked = sysPath(path_.c_str());
    int fd = ::open(linked.c_str(), (flags & O_ACCMODE) | O_NOCTTY | O_CLOEXEC);
    // Only a port the sandbox has no link for falls back to the board's own
    // pseudo-terminal: a dangling link fails the open as a missing port does.
    struct stat link;
    if (fd < 0 && errno == ENOENT && lstat(linked.c_str(), &link) != 0)
        fd = ownSlave(flags);
    if (fd < 0)
        return -errno;
    // The seam's descriptor becomes the slave itself.
    if (dup3(fd, handle, O_CLOEXEC) < 0) {
        int e = errno;
        ::close(fd);
        return -e;
    }
    ::close(fd);
    return 0;
}

ssize_t SimPtyPort::read(int handle, void* buf, size_t len)
{
    ssize_t n = ::read(handle, buf, len);
    return n < 0 ? -errno : n;
}

ssize_t SimPtyPort::write(int handle, const void* buf, size_t len)
{
    ssize_t n = ::write(handle, buf, len);
    return n < 0 ? -errno : n;
}

int SimPtyPort::ioctl(int handle, unsigned long request, void* arg)
{
    // A pseudo-terminal has no transmit queue: what was written is already
    // in the peer's input, as on a UART after the drain, so only input is
    // flushed.
    if (request == TCFLSH) {
        long queue = reinterpret_cast<long>(arg);
        if (queue == TCOFLUSH)
            return 0;
        if (queue == TCIOFLUSH)
            arg = reinterpret_cast<void*>(static_cast<long>(TCIFLUSH));
    }
    int r = ::ioctl(handle, request, arg);
    return r < 0 ? -errno : r;
}

IoDevice* simUecpPortDevice()
{
    static SimPtyPort port("/dev/ttyS1");
    return &port;
}

IoDevice* simLinkPort0Device()
{
    static SimPtyPort port("/dev/ttyS0");
    return &port;
}

IoDevice* simLinkPort2Device()
{
    static SimPtyPort port("/dev/ttyS2");
    return &port;
}
