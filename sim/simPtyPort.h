// Serial ports of the simulated board as pseudo-terminals: a port's device
// node (/dev/ttyS1) opens the pseudo-terminal that the sandbox's own
// dev/ttySx links to (a test or another peer holds its master), or, when the
// sandbox has no such link, a pseudo-terminal of the simulated board whose
// master it keeps and nobody writes. The descriptor is the pseudo-terminal's
// slave itself, so read, write, poll and termios are the kernel's.
#pragma once

#include "platform/host/ioDevice.h"

#include <mutex>
#include <string>

class SimPtyPort : public IoDevice {
public:
    explicit SimPtyPort(const char* path) : path_(path) {}
    int open(int flags, int handle) override;
    ssize_t read(int handle, void* buf, size_t len) override;
    ssize_t write(int handle, const void* buf, size_t len) override;
    int ioctl(int handle, unsigned long request, void* arg) override;

private:
    int ownSlave(int flags);
    std::string path_;
    std::mutex lock_;
    int master_ = -1;
};

// The board's serial ports, for registerDevices.
IoDevice* simUecpPortDevice();
// The units' link ports /dev/ttyS0 and /dev/ttyS2.
IoDevice* simLinkPort0Device();
IoDevice* simLinkPort2Device();
