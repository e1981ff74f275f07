// The simulated board: sandbox skeleton and device registration.
#include "sim/board.h"

#include "platform/paths.h"
#include "sim/programs.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

int simMakeDirs(const char* hostPath)
{
    std::string p = hostPath;
    for (size_t i = 1; i <= p.size(); i++) {
        if (i == p.size() || p[i] == '/') {
            std::string part = p.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return -1;
        }
    }
    return 0;
}

void simBoardInit()
{
    static const char* const dirs[] = {"/dev/shm", "/tmp", "/usr/local/conf", "/var/run"};
    simMakeDirs(sandboxRoot().c_str());
    for (const char* d : dirs)
        simMakeDirs(sysPath(d).c_str());
    simInstallPrograms();
}
