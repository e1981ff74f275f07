// Stand-in for the XML configuration files: nothing is read or written yet;
// the save only creates the folder the files go to.
#include "persist/xmlConfig.h"

#include "core/base/logs.h"
#include "platform/paths.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

int16_t loadConfigFromFiles()
{
    logInfo(">>> Load Config from File ...\n");
    return 0;
}

int16_t saveConfigToFiles()
{
    // Creates /mnt/ubi0/conf/ when missing.
    std::string conf = sysPath("/mnt/ubi0/conf");
    return mkdir(conf.c_str(), 0777) == 0 || errno == EEXIST ? 0 : -1;
}
