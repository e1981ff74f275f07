// Device and file I/O in the Linux shape.
//
// Every open/ioctl/map of a device or a system file goes through these calls.
// The board build passes them straight to libc; the host simulation routes
// device paths (/dev/i2c-N, /dev/spidev0.N, /dev/mem, ...) to the simulated
// board and every other absolute path into the sandbox root.
#pragma once

#include <sys/types.h>
#include <cstddef>

int ioOpen(const char* path, int flags, mode_t mode = 0);
int ioClose(int fd);
ssize_t ioRead(int fd, void* buf, size_t len);
ssize_t ioWrite(int fd, const void* buf, size_t len);
off_t ioLseek(int fd, off_t off, int whence);
int ioIoctl(int fd, unsigned long request, void* arg);
int ioFsync(int fd);
int ioAccess(const char* path, int mode);
int ioUnlink(const char* path);
void* ioMap(int fd, size_t len, int prot, int flags, off_t offset);
int ioUnmap(void* addr, size_t len);

// A device the host simulation answers in place of a kernel driver. The sim/
// models implement it; the board build never sees one.
class IoDevice {
public:
    virtual ~IoDevice() = default;
    // Called on open; return 0 or -errno. `handle` identifies this open.
    virtual int open(int flags, int handle) { (void)flags; (void)handle; return 0; }
    virtual void close(int handle) { (void)handle; }
    virtual ssize_t read(int handle, void* buf, size_t len) { (void)handle; (void)buf; (void)len; return -38; }
    virtual ssize_t write(int handle, const void* buf, size_t len) { (void)handle; (void)buf; (void)len; return -38; }
    virtual off_t lseek(int handle, off_t off, int whence) { (void)handle; (void)off; (void)whence; return -29; }
    virtual int ioctl(int handle, unsigned long request, void* arg) { (void)handle; (void)request; (void)arg; return -25; }
    // Returns the mapping or nullptr with errno set.
    virtual void* map(int handle, size_t len, int prot, int flags, off_t offset) {
        (void)handle; (void)len; (void)prot; (void)flags; (void)offset; return nullptr;
    }
    virtual int unmap(void* addr, size_t len) { (void)addr; (void)len; return 0; }
};

// Registers a simulated device at an absolute device path (host only). A null
// device removes the path again, so opening it fails with ENOENT as when the
// node disappears.
void ioRegisterDevice(const char* path, IoDevice* dev);
