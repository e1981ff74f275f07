// Host simulation clock: the machine's clock is never set, and local time
// follows the sandbox's zone link.
#include "platform/clockSystem.h"

#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int systemSetWallClock(time_t seconds)
{
    printf("host simulation: the clock is not set (%ld)\n", static_cast<long>(seconds));
    fflush(stdout);
    return 0;
}

void systemZoneChanged()
{
    // The C library reads a zone file again only when TZ changes (a leading
    // ':' does not count): name the link through another spelling each time.
    static bool alternate = false;
    alternate = !alternate;
    std::string tz = ":" + sysPath(alternate ? "/usr/local/conf/./localtime" : "/usr/local/conf/localtime");
    setenv("TZ", tz.c_str(), 1);
    tzset();
}
