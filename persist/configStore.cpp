// The daemon's configuration file store, registered with the apply and save
// cycle at start-up.
#include "persist/configStore.h"

#include "Config/configCycle.h"
#include "hw/eepromManager.h"
#include "persist/configExchange.h"
#include "persist/xmlConfig.h"

#include <libxml/parser.h>

namespace {

const ConfigFileStore kXmlStore = {
    loadConfigFromFiles, saveConfigToFiles, XML_ResetConfig, XML_ResetNetConfig, XML_ResetFactoryConfig,
    EEM_RemoveEEP,
};

} // namespace

void registerConfigStore()
{
    // libxml2 sets up its global state here, in the start-up thread, before
    // any thread reads or writes a file.
    xmlInitParser();
    setConfigFileStore(&kXmlStore);
}
