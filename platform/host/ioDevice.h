// Host simulation only: the devices the simulated board answers in place of
// kernel drivers. sim/, tools/ and tests include this; driver code never
// does, and the board build does not have it.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
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
    // Waits up to timeoutUs for input (sleeping on the platform clock): 1
    // ready, 0 none. A device without input queue is always ready.
    virtual int waitInput(int handle, uint32_t timeoutUs) { (void)handle; (void)timeoutUs; return 1; }
};

// Registers a simulated device at an absolute device path. A null device
// removes the path again, so opening it fails with ENOENT as when the node
// disappears. The device must outlive its registration.
void ioRegisterDevice(const char* path, IoDevice* dev);
// Opening `path` opens the host node `hostPath` instead (a pseudo-terminal
// standing for a UART), so the caller gets a real terminal with its own
// termios; an empty hostPath removes the path again.
void ioRegisterHostNode(const char* path, const char* hostPath);
// The terminal settings descriptor `fd` was last given (TCSETS, TCSETSW,
// TCSETSF) as asked, before the terminal adjusted them; false when none were.
struct termios;
bool ioLastTermios(int fd, struct termios* out);
