// The simulated USB key of the sandbox.
#include "sim/simUsbKey.h"

#include "platform/paths.h"
#include "sim/board.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

int simUsbInsert(const char* hostDir)
{
    std::error_code ec;
    if (!fs::is_directory(hostDir, ec)) {
        fprintf(stderr, "simctl: usb: %s is not a folder\n", hostDir);
        return -1;
    }
    // A key inserted again takes the new tree: the old one goes first.
    std::string store = sysPath(kSimUsbKeyStore);
    fs::remove_all(store, ec);
    if (simMakeDirs(store.c_str()) != 0 || simMakeDirs(sysPath("/mnt/usbkey").c_str()) != 0 ||
        simMakeDirs(sysPath("/dev").c_str()) != 0) {
        fprintf(stderr, "simctl: usb: cannot make the key's folders\n");
        return -1;
    }
    fs::copy(hostDir, store, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        fprintf(stderr, "simctl: usb: cannot copy %s: %s\n", hostDir, ec.message().c_str());
        fs::remove_all(store, ec);
        return -1;
    }
    std::ofstream(sysPath("/dev/usbkey"));
    return fs::exists(sysPath("/dev/usbkey"), ec) ? 0 : -1;
}

int simUsbRemove()
{
    std::error_code ec;
    fs::remove(sysPath("/dev/usbkey"), ec);
    fs::remove_all(sysPath(kSimUsbKeyStore), ec);
    return 0;
}
