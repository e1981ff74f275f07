// Stand-in for the configuration resets: each removes its file, 0 when it was
// removed, -1 with a log line when it was not.
#include "persist/configExchange.h"

#include "core/base/logs.h"
#include "platform/paths.h"

#include <cstdio>

namespace {

int removeConfigFile(const char* path, const char* name)
{
    if (remove(sysPath(path).c_str()) == 0)
        return 0;
    logErr("%s FAILED\n", name);
    return -1;
}

} // namespace

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
