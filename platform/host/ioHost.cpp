// Host simulation of the device and file I/O seam: registered device paths go
// to the simulated board, every other absolute path into the sandbox root.
#include "platform/io.h"
#include "platform/host/ioDevice.h"
#include "platform/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/ioctl.h>
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
};

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

int ioOpen(const char* path, int flags, mode_t mode)
{
    IoDevice* dev = nullptr;
    {
        std::lock_guard<std::mutex> g(st().lock);
        auto it = st().devices.find(path);
        if (it != st().devices.end())
            dev = it->second;
    }
    if (!dev) {
        if (std::string(path).rfind("/dev/", 0) == 0 && std::string(path).rfind("/dev/shm/", 0) != 0) {
            // A device node the simulated board does not have.
            errno = ENOENT;
            return -1;
        }
        return ::open(sysPath(path).c_str(), flags | O_CLOEXEC, mode);
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

int ioIoctl(int fd, unsigned long request, void* arg)
{
    if (IoDevice* dev = deviceOf(fd)) {
        int r = dev->ioctl(fd, request, arg);
        return r < 0 ? fail(r) : r;
    }
    return ::ioctl(fd, request, arg);
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
