// Copies of the configuration files: reserve snapshots, presets, the USB key
// and the web server's exchange directory, and the resets. They work on files
// only; the caller loads what they put in place (loadConfig) and holds the
// configuration file mutex. Files are copied into place crash-safely (the
// destination plus "_tmp", synced, renamed); cp and rm run as children with
// an argument vector.
#pragma once

#include <cstdint>

// Reserve snapshot N: /mnt/ubi0/conf/conk/rsv_cfg_N/configuration.xml.
// Saves: 0, or non-zero when a folder or the copy failed. Loads: 0, or
// non-zero (with an ERR line) when the snapshot is missing or not copied.
int saveConkConfig(int n);
int loadConkConfig(int n);
// Preset N: /mnt/ubi0/conf/preset/cfg_N/ with its label file
// configuration_name ("Preset N" when it has none).
int16_t savePresetConfig(int n);
int loadPresetConfig(int n);

// The USB key: the configuration directory named by the first word of
// /tmp/configuration.xml.name, under /mnt/usbkey/configuration/. Load: 0,
// negative when the key is not mounted, the name is missing or not a plain
// directory name, or the file is missing; positive when a copy failed.
int copyXmlConfigFromUsb();
// Save into a new config_DDMMYY-hh_mm_ss directory: 0, -1 when the key is
// not mounted, non-zero when a folder or a copy failed.
int saveXmlConfigToUsb();

// Web exchange directory /usr/local/www/Setup/net_configuration/temp/.
// Imports: the removal's result (0) once everything was copied; -3 when the
// main file could not be copied into place (nothing changed, the upload is
// kept); another non-zero result when a directory could not be copied (the
// import stops there).
constexpr int kNetImportCopyFailed = -3;
int loadXmlConfigFromNet();
int loadApXmlConfigFromNet();
// Exports: 0 or the first failing step's code.
int exportXmlConfigToNet();
int exportApXmlConfigToNet();
// Remove an export: 0 removed, -1 otherwise.
int removeNetConfigExport();
int removeNetApConfigExport();

// Delete configuration.xml, control_net.xml or configuration_factory.xml:
// 1 removed, -1 when there was none, -2 when it exists and cannot be removed.
int XML_ResetConfig();
int XML_ResetNetConfig();
int XML_ResetFactoryConfig();

// Whether the USB key is mounted (isUsbKeyMounted of the core), registered
// at start-up; without one the key counts as not mounted.
void setUsbKeyProbe(int (*probe)());
