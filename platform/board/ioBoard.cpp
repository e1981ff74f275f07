// Board build of the device and file I/O seam: straight to libc.
#include "platform/io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/select.h>
#include <unistd.h>

int ioOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }
int ioClose(int fd) { return ::close(fd); }
ssize_t ioRead(int fd, void* buf, size_t len) { return ::read(fd, buf, len); }
ssize_t ioWrite(int fd, const void* buf, size_t len) { return ::write(fd, buf, len); }
off_t ioLseek(int fd, off_t off, int whence) { return ::lseek(fd, off, whence); }
int ioIoctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
int ioFsync(int fd) { return ::fsync(fd); }
int ioAccess(const char* path, int mode) { return ::access(path, mode); }
int ioUnlink(const char* path) { return ::unlink(path); }
int ioUnmountForce(const char* path) { return ::umount2(path, MNT_FORCE); }
void* ioMap(int fd, size_t len, int prot, int flags, off_t offset) { return ::mmap(nullptr, len, prot, flags, fd, offset); }
int ioUnmap(void* addr, size_t len) { return ::munmap(addr, len); }

int ioWaitInput(int fd, uint32_t timeoutUs)
{
    fd_set in;
    FD_ZERO(&in);
    FD_SET(fd, &in);
    struct timeval tv = {static_cast<time_t>(timeoutUs / 1000000), static_cast<suseconds_t>(timeoutUs % 1000000)};
    int r = ::select(fd + 1, &in, nullptr, nullptr, &tv);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
