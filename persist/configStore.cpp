// The daemon's configuration file store, registered with the apply and save
// cycle at start-up.
#include "persist/configStore.h"

#include "Config/configCycle.h"
#include "hw/eepromManager.h"
#include "persist/configExchange.h"
#include "persist/xmlConfig.h"

namespace {

const ConfigFileStore kXmlStore = {
    loadConfigFromFiles, saveConfigToFiles, XML_ResetConfig, XML_ResetNetConfig, XML_ResetFactoryConfig,
    EEM_RemoveEEP,
};

} // namespace

void registerConfigStore()
{
    setConfigFileStore(&kXmlStore);
}
