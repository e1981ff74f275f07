// The daemon's configuration file store: what loadConfig, saveConfig and
// deleteConfigFile (Config/configCycle.h) read, write and delete.
#pragma once

// Registers the store of the XML files under /mnt/ubi0/conf/ (persist/
// xmlConfig.h, persist/configExchange.h) and the emulated EEPROM file
// (hw/eepromManager.h) with setConfigFileStore. Start-up calls it before the
// first load.
void registerConfigStore();
