// Stand-ins: storage set-up, unit start-up pieces, companion programs, NTP.
#include "pending/pending.h"

#include "Config/keyAccessors.h"
#include "core/logs.h"
#include "platform/paths.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

namespace {

void makeDirs(const std::string& p)
{
    for (size_t i = 1; i <= p.size(); i++)
        if (i == p.size() || p[i] == '/')
            mkdir(p.substr(0, i).c_str(), 0777);
}

} // namespace

int initStorage()
{
    // The volume is mounted with its directories.
    for (const char* d : {"/mnt/ubi0/log", "/mnt/ubi0/conf/hpa", "/mnt/ubi0/conf/rds", "/mnt/ubi0/conf/snmp"})
        makeDirs(sysPath(d));
    return 0;
}

int loadUnitInfo()
{
    // The end of the system-image defaults opens the log gate.
    logEnabled = 1;
    return 0;
}

void initUnitHardware()
{
    // The end of the hardware initialisation: setters may touch hardware.
    setHwReady(1);
}
void initUnitSettings() {}
void startUnitServices() {}
void VrlUnitInit() {}
void ntpThreadStep() {}
