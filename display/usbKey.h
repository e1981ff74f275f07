// The USB key of the front panel: mounted at /mnt/usbkey when /dev/usbkey
// appears, unmounted when it goes; the lists of its files and of the
// presets kept in the unit, and the hand-over files that name the file the
// daemon is asked to load or install.
#pragma once

#include <string>
#include <vector>

namespace lumiro {

constexpr const char* kUsbDevice = "/dev/usbkey";
constexpr const char* kUsbMountPoint = "/mnt/usbkey";
constexpr const char* kUsbConfigDir = "/mnt/usbkey/configuration/";
constexpr const char* kUsbUpgradeDir = "/mnt/usbkey/upgrade/";
constexpr const char* kPresetDir = "/mnt/ubi0/conf/preset/";
constexpr const char* kConfigHandOver = "/tmp/configuration.xml.name";
constexpr const char* kUpgradeHandOver = "/mnt/usbkey/upgrade/upgradeFilename.txt";

// 0 when the key is mounted (or was already).
int mountUsbKey();
// 0 when it is unmounted or nothing was mounted.
int umountUsbKey();

enum UsbListKind { USB_LIST_CONFIG = 0, USB_LIST_UPGRADE = 1 };
enum PresetMode { PRESET_SAVE = 0, PRESET_LOAD = 1 };

struct FileEntry {
    std::string name;  // the file's name, or "Preset N" for a preset
    int preset;        // the preset's number (0 for a key file)
};

// The files of the list kind's key folder whose names carry one of its
// prefixes and something after it, sorted by name: whether any was found.
bool buildUsbFileList(UsbListKind kind, std::vector<FileEntry>* out);
// Save: "Preset 1" to "Preset 8". Load: each stored preset cfg_N (N a
// number) as "Preset N", sorted by N. Whether the list is not empty.
bool buildPresetList(PresetMode mode, std::vector<FileEntry>* out);
// Whether a folder of the system exists.
bool folderExists(const char* path);
// Writes `name` (no newline) to the hand-over file through a temporary
// file and a rename, synced: 0. When it cannot, the old file is removed so
// that no earlier name is taken for this one: -1.
int writeHandOver(const char* path, const std::string& name);

} // namespace lumiro
