// Device and file I/O in the Linux shape.
//
// Every open/ioctl/map of a device or a system file goes through these calls.
// The board build passes them straight to libc; the host simulation routes
// device paths (/dev/i2c-N, /dev/spidev0.N, /dev/mem, ...) to the simulated
// board and every other absolute path into the sandbox root. Failures return
// -1 with errno set, as libc does.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>

int ioOpen(const char* path, int flags, mode_t mode = 0);
int ioClose(int fd);
ssize_t ioRead(int fd, void* buf, size_t len);
ssize_t ioWrite(int fd, const void* buf, size_t len);
off_t ioLseek(int fd, off_t off, int whence);
int ioIoctl(int fd, unsigned long request, void* arg);
int ioFsync(int fd);
int ioAccess(const char* path, int mode);
int ioUnlink(const char* path);
// Forced unmount of the file system mounted on `path` (umount2 with
// MNT_FORCE); the host simulation takes it off the sandbox's mount table.
int ioUnmountForce(const char* path);
void* ioMap(int fd, size_t len, int prot, int flags, off_t offset);
int ioUnmap(void* addr, size_t len);
// Waits up to `timeoutUs` for input on `fd` (select on the descriptor): 1
// when input is ready, 0 when the time ran out, -1 with errno on an error.
int ioWaitInput(int fd, uint32_t timeoutUs);
