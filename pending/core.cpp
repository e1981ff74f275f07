// Stand-ins: storage set-up, unit start-up pieces, companion programs, NTP.
#include "pending/pending.h"

#include "core/logs.h"
#include "platform/paths.h"
#include "sim/board.h"

int initStorage()
{
    // The volume is mounted with its directories.
    for (const char* d : {"/mnt/ubi0/log", "/mnt/ubi0/conf/hpa", "/mnt/ubi0/conf/rds", "/mnt/ubi0/conf/snmp"})
        simMakeDirs(sysPath(d).c_str());
    return 0;
}

int loadUnitInfo()
{
    // The end of the system-image defaults opens the log gate.
    logEnabled = 1;
    return 0;
}

void initUnitHardware() {}
void initUnitSettings() {}
void startUnitServices() {}
void VrlUnitInit() {}
void ntpThreadStep() {}
