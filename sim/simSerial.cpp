// Serial ports of the simulated board as pseudo-terminals.
#include "sim/simSerial.h"

#include "platform/paths.h"
#include "sim/board.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

const char* const kSerialPorts[] = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyMAX0"};

bool isSerialPort(const char* path)
{
    for (const char* p : kSerialPorts)
        if (strcmp(p, path) == 0)
            return true;
    return false;
}

} // namespace

int simSerialOpenPeer(const char* devPath)
{
    if (!devPath || !isSerialPort(devPath)) {
        errno = ENODEV;
        return -1;
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return -1;
    char slave[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, slave, sizeof slave) != 0) {
        int e = errno;
        close(master);
        errno = e;
        return -1;
    }
    // The link is replaced whole, so an opener never finds it missing.
    std::string link = sysPath(devPath);
    std::string dir = link.substr(0, link.rfind('/'));
    simMakeDirs(dir.c_str());
    std::string tmp = link + ".new." + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(slave, tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
        int e = errno;
        unlink(tmp.c_str());
        close(master);
        errno = e;
        return -1;
    }
    return master;
}
