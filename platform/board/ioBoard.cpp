// Board build of the device and file I/O seam: straight to libc.
#include "platform/io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
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
void* ioMap(int fd, size_t len, int prot, int flags, off_t offset) { return ::mmap(nullptr, len, prot, flags, fd, offset); }
int ioUnmap(void* addr, size_t len) { return ::munmap(addr, len); }
