// The XML configuration files under /mnt/ubi0/conf/: configuration.xml,
// control_net.xml, audio_processor.xml and configuration_factory.xml. Loads
// and saves are called with the configuration file mutex held.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads the four files into the image; the sum of the loaders' negative
// results (0 when every file loaded; a missing file counts -1).
int16_t loadConfigFromFiles();
// Writes the four files from the image; the sum of the writers' results (0 ok).
int16_t saveConfigToFiles();

// One file each: 0 loaded (or not a configuration document), -1 missing,
// unreadable or broken off by a reader error (what was read stays applied).
int16_t applyXmlConfigToSystemImage_Main();
int16_t applyXmlConfigToSystemImage_ControlNet();
int16_t applyXmlConfigToSystemImage_AudioProcessor();
int16_t applyXmlConfigToSystemImage_Factory();
// One file each: 0 written, -1 when any step failed (the previous file is
// left as it was).
int16_t applySystemImageToXmlConfig_Main();
int16_t applySystemImageToXmlConfig_ControlNet();
int16_t applySystemImageToXmlConfig_AudioProcessor();
int16_t applySystemImageToXmlConfig_Factory();

// Replaces the file at system path `path` with `len` bytes crash-safely:
// written whole to `path` + "_tmp", synced, closed and renamed over it, then
// the directory synced. 0 done; -1 failed (the temporary removed, the file
// left as it was). Callers hold the configuration file mutex.
int writeConfigFile(const char* path, const void* data, size_t len);

// Removes the temporary files a save cut short left behind; start-up runs it
// before the first load.
void removeConfigTemporaries();

// Services above this layer that the loaders run after configuration.xml
// and audio_processor.xml: registered at start-up; unset, they are skipped.
void setWriteDnsNtpFilesHook(int (*fn)());
