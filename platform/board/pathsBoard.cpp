// Board build: paths and global names are used as they are.
#include "platform/paths.h"

std::string sysPath(const char* absPath) { return absPath; }

const std::string& sandboxRoot()
{
    static const std::string empty;
    return empty;
}

key_t sysvKey(int key) { return static_cast<key_t>(key); }
std::string shmObjectName(const char* name) { return name; }
