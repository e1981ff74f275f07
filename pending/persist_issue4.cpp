// Stand-ins for the XML configuration files: nothing is read or written yet.
#include "core/logs.h"
#include "persist/xmlConfig.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <string>

namespace {

int removeConfigFile(const char* path, const char* name)
{
    if (remove(sysPath(path).c_str()) == 0)
        return 0;
    logErr("%s FAILED\n", name);
    return -1;
}

} // namespace

int16_t loadConfigFromFiles()
{
    logInfo(">>> Load Config from File ...\n");
    return 0;
}

int saveConfigToFiles()
{
    // Creates /mnt/ubi0/conf/ when missing; writes nothing yet.
    std::string conf = sysPath("/mnt/ubi0/conf");
    return mkdir(conf.c_str(), 0777) == 0 || errno == EEXIST ? 0 : -1;
}

int XML_ResetConfig()
{
    return removeConfigFile("/mnt/ubi0/conf/configuration.xml", "XML_ResetConfig");
}

int XML_ResetNetConfig()
{
    return removeConfigFile("/mnt/ubi0/conf/control_net.xml", "XML_ResetNetConfig");
}

int XML_ResetFactoryConfig()
{
    return removeConfigFile("/mnt/ubi0/conf/configuration_factory.xml", "XML_ResetFactoryConfig");
}
