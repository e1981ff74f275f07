// Host simulation of the device and file I/O seam: registered device paths go
// to the simulated board, every other absolute path into the sandbox root.
#include "platform/io.h"
#include "platform/host/ioDevice.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/select.h>
#include <cstdio>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct OpenDevice {
    IoDevice* dev;
};

struct IoHostState {
    std::mutex lock;
    std::map<std::string, IoDevice*> devices;
    std::map<int, OpenDevice> open;  // descriptor -> simulated device
    std::map<void*, IoDevice*> maps; // mapping -> device that made it
    std::map<std::string, std::string> hostNodes; // device path -> host node
    std::set<int> serial;            // descriptors of serial ports (pseudo-terminals)
    // Terminal settings each descriptor was last given: a pseudo-terminal
    // forces eight data bits and no parity, so tests read what was asked here.
    std::map<int, struct termios> termiosSet;
};

// Requests that change interfaces or routes.
bool changesNetwork(unsigned long request)
{
    switch (request) {
    case SIOCSIFFLAGS:
    case SIOCSIFADDR:
    case SIOCSIFNETMASK:
    case SIOCSIFHWADDR:
    case SIOCSIFMTU:
    case SIOCADDRT:
    case SIOCDELRT: return true;
    default: return false;
    }
}

// True when the network namespace of this process may be reconfigured: it
// is not the one of process 1 and it holds only the loopback and veth
// interfaces (the pair eth0/eth1 a sandbox or a test makes). Any other
// interface is the machine's own, whatever namespace it is reached from.
bool simulatedNetNamespace()
{
    struct stat self, first;
    if (stat("/proc/self/ns/net", &self) != 0)
        return false;
    if (stat("/proc/1/ns/net", &first) == 0 && self.st_ino == first.st_ino && self.st_dev == first.st_dev)
        return false;
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    struct if_nameindex* names = if_nameindex();
    bool ok = fd >= 0 && names;
    for (struct if_nameindex* n = names; ok && n && n->if_index != 0; n++) {
        if (!strcmp(n->if_name, "lo"))
            continue;
        struct ethtool_drvinfo info = {};
        info.cmd = ETHTOOL_GDRVINFO;
        struct ifreq r = {};
        snprintf(r.ifr_name, sizeof r.ifr_name, "%s", n->if_name);
        r.ifr_data = reinterpret_cast<char*>(&info);
        ok = ::ioctl(fd, SIOCETHTOOL, &r) == 0 && !strcmp(info.driver, "veth");
    }
    if (names)
        if_freenameindex(names);
    if (fd >= 0)
        ::close(fd);
    return ok;
}

IoHostState& st()
{
    static IoHostState s;
    return s;
}

IoDevice* deviceOf(int fd)
{
    std::lock_guard<std::mutex> g(st().lock);
    auto it = st().open.find(fd);
    return it == st().open.end() ? nullptr : it->second.dev;
}

int fail(long r)
{
    errno = static_cast<int>(-r);
    return -1;
}

} // namespace

void ioRegisterDevice(const char* path, IoDevice* dev)
{
    std::lock_guard<std::mutex> g(st().lock);
    if (dev)
        st().devices[path] = dev;
    else
        st().devices.erase(path);
}

void ioRegisterHostNode(const char* path, const char* hostPath)
{
    std::lock_guard<std::mutex> g(st().lock);
    if (hostPath && *hostPath)
        st().hostNodes[path] = hostPath;
    else
        st().hostNodes.erase(path);
}

int ioOpen(const char* path, int flags, mode_t mode)
{
    IoDevice* dev = nullptr;
    std::string node;
    {
        std::lock_guard<std::mutex> g(st().lock);
        auto it = st().devices.find(path);
        if (it != st().devices.end())
            dev = it->second;
        auto n = st().hostNodes.find(path);
        if (n != st().hostNodes.end())
            node = n->second;
    }
    if (!dev && !node.empty())
        return ::open(node.c_str(), flags | O_CLOEXEC, mode);
    if (!dev) {
        // Serial ports are pseudo-terminals the sandbox's port path leads to.
        bool serial = std::string(path).rfind("/dev/tty", 0) == 0;
        if (!serial && std::string(path).rfind("/dev/", 0) == 0 && std::string(path).rfind("/dev/shm/", 0) != 0) {
            // A device node the simulated board does not have.
            errno = ENOENT;
            return -1;
        }
        int fd = ::open(sysPath(path).c_str(), flags | O_CLOEXEC, mode);
        if (fd >= 0 && serial) {
            std::lock_guard<std::mutex> g(st().lock);
            st().serial.insert(fd);
        }
        return fd;
    }
    // A real descriptor keeps the number unique in the process.
    int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int r = dev->open(flags, fd);
    if (r < 0) {
        ::close(fd);
        return fail(r);
    }
    std::lock_guard<std::mutex> g(st().lock);
    st().open[fd] = OpenDevice{dev};
    return fd;
}

int ioClose(int fd)
{
    IoDevice* dev = nullptr;
    {
        std::lock_guard<std::mutex> g(st().lock);
        auto it = st().open.find(fd);
        if (it != st().open.end()) {
            dev = it->second.dev;
            st().open.erase(it);
        }
        st().serial.erase(fd);
        st().termiosSet.erase(fd);
    }
    if (dev)
        dev->close(fd);
    return ::close(fd);
}

ssize_t ioRead(int fd, void* buf, size_t len)
{
    if (IoDevice* dev = deviceOf(fd)) {
        ssize_t r = dev->read(fd, buf, len);
        return r < 0 ? fail(r) : r;
    }
    return ::read(fd, buf, len);
}

ssize_t ioWrite(int fd, const void* buf, size_t len)
{
    if (IoDevice* dev = deviceOf(fd)) {
        ssize_t r = dev->write(fd, buf, len);
        return r < 0 ? fail(r) : r;
    }
    return ::write(fd, buf, len);
}

off_t ioLseek(int fd, off_t off, int whence)
{
    if (IoDevice* dev = deviceOf(fd)) {
        off_t r = dev->lseek(fd, off, whence);
        return r < 0 ? fail(r) : r;
    }
    return ::lseek(fd, off, whence);
}

// The settings a terminal request gave: the kernel reads only the leading
// flags, line discipline and 19 control characters of the structure (36
// bytes), which a caller may pass on its own; the rest stays zero.
static void recordTermios(int fd, const void* arg)
{
    constexpr size_t kKernelTermiosSize = 4 * sizeof(tcflag_t) + 1 + 19;
    struct termios t = {};
    memcpy(&t, arg, kKernelTermiosSize);
    std::lock_guard<std::mutex> g(st().lock);
    st().termiosSet[fd] = t;
}

int ioIoctl(int fd, unsigned long request, void* arg)
{
    if (IoDevice* dev = deviceOf(fd)) {
        int r = dev->ioctl(fd, request, arg);
        if (r == 0 && arg && (request == TCSETS || request == TCSETSW || request == TCSETSF)) {
            recordTermios(fd, arg);
        }
        return r < 0 ? fail(r) : r;
    }
    if (changesNetwork(request) && !simulatedNetNamespace()) {
        errno = EPERM;
        return -1;
    }
    if (request == TCFLSH) {
        // A pseudo-terminal has no transmit queue: what was written is on the
        // line, in the peer's input, as on a UART after the drain. Flushing
        // output would take it back from the peer, so only input is flushed.
        std::lock_guard<std::mutex> g(st().lock);
        long queue = reinterpret_cast<long>(arg);
        if (st().serial.count(fd) && queue == TCOFLUSH)
            return 0;
        if (st().serial.count(fd) && queue == TCIOFLUSH)
            arg = reinterpret_cast<void*>(static_cast<long>(TCIFLUSH));
    }
    int r = ::ioctl(fd, request, arg);
    if (r == 0 && arg && (request == TCSETS || request == TCSETSW || request == TCSETSF)) {
        recordTermios(fd, arg);
    }
    return r;
}

bool ioLastTermios(int fd, struct termios* out)
{
    std::lock_guard<std::mutex> g(st().lock);
    auto it = st().termiosSet.find(fd);
    if (it == st().termiosSet.end())
        return false;
    *out = it->second;
    return true;
}

int ioFsync(int fd)
{
    if (deviceOf(fd))
        return 0;
    return ::fsync(fd);
}

int ioAccess(const char* path, int mode)
{
    {
        std::lock_guard<std::mutex> g(st().lock);
        if (st().devices.count(path))
            return 0;
    }
    return ::access(sysPath(path).c_str(), mode);
}

int ioUnlink(const char* path)
{
    return ::unlink(sysPath(path).c_str());
}

// The sandbox's /proc/mounts is the mount table: the line of `path` goes,
// and a mount point the simulated mount made a link becomes a folder again.
int ioUnmountForce(const char* path)
{
    std::string table = sysPath("/proc/mounts");
    std::ifstream in(table);
    std::string line, kept;
    bool found = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string dev, dir;
        words >> dev >> dir;
        if (!found && dir == path) {
            found = true;
            continue;
        }
        kept += line + "\n";
    }
    in.close();
    if (!found) {
        errno = EINVAL;
        return -1;
    }
    std::string tmp = table + ".new";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << kept;
        if (!out.flush()) {
            errno = EIO;
            return -1;
        }
    }
    if (::rename(tmp.c_str(), table.c_str()) != 0)
        return -1;
    std::string point = sysPath(path);
    struct stat sb;
    if (::lstat(point.c_str(), &sb) == 0 && S_ISLNK(sb.st_mode)) {
        ::unlink(point.c_str());
        ::mkdir(point.c_str(), 0755);
    }
    return 0;
}

void* ioMap(int fd, size_t len, int prot, int flags, off_t offset)
{
    if (IoDevice* dev = deviceOf(fd)) {
        void* p = dev->map(fd, len, prot, flags, offset);
        if (!p)
            return MAP_FAILED;
        std::lock_guard<std::mutex> g(st().lock);
        st().maps[p] = dev;
        return p;
    }
    return ::mmap(nullptr, len, prot, flags, fd, offset);
}

int ioUnmap(void* addr, size_t len)
{
    IoDevice* dev = nullptr;
    {
        std::lock_guard<std::mutex> g(st().lock);
        auto it = st().maps.find(addr);
        if (it != st().maps.end()) {
            dev = it->second;
            st().maps.erase(it);
        }
    }
    if (dev)
        return dev->unmap(addr, len);
    return ::munmap(addr, len);
}

int ioWaitInput(int fd, uint32_t timeoutUs)
{
    if (IoDevice* dev = deviceOf(fd)) {
        int r = dev->waitInput(fd, timeoutUs);
        return r < 0 ? fail(r) : r;
    }
    fd_set in;
    FD_ZERO(&in);
    FD_SET(fd, &in);
    struct timeval tv = {static_cast<time_t>(timeoutUs / 1000000), static_cast<suseconds_t>(timeoutUs % 1000000)};
    int r = ::select(fd + 1, &in, nullptr, nullptr, &tv);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
