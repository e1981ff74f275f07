// Host simulation only: the devices the simulated board answers in place of
// kernel drivers. sim/, tools/ and tests include this; driver code never
// does, and the board build does not have it.
#pragma once

#include <cerrno>
#include <cstddef>
#include <sys/types.h>

// A simulated device node. Each call returns its result or -errno; the seam
// turns a negative result into -1 with errno set for the caller of ioOpen,
// ioRead, .... A call a device does not implement fails as a character
// device without that operation would.
class IoDevice {
public:
    virtual ~IoDevice() = default;
    // Called on open; `handle` identifies this open.
    virtual int open(int flags, int handle) { (void)flags; (void)handle; return 0; }
    virtual void close(int handle) { (void)handle; }
    virtual ssize_t read(int handle, void* buf, size_t len) { (void)handle; (void)buf; (void)len; return -ENOSYS; }
    virtual ssize_t write(int handle, const void* buf, size_t len)
    {
        (void)handle; (void)buf; (void)len; return -ENOSYS;
    }
    virtual off_t lseek(int handle, off_t off, int whence) { (void)handle; (void)off; (void)whence; return -ESPIPE; }
    virtual int ioctl(int handle, unsigned long request, void* arg)
    {
        (void)handle; (void)request; (void)arg; return -ENOTTY;
    }
    // Returns the mapping or nullptr with errno set.
    virtual void* map(int handle, size_t len, int prot, int flags, off_t offset)
    {
        (void)handle; (void)len; (void)prot; (void)flags; (void)offset; errno = ENODEV; return nullptr;
    }
    virtual int unmap(void* addr, size_t len) { (void)addr; (void)len; return 0; }
};

// Registers a simulated device at an absolute device path. A null device
// removes the path again, so opening it fails with ENOENT as when the node
// disappears. The device must outlive its registration.
void ioRegisterDevice(const char* path, IoDevice* dev);
