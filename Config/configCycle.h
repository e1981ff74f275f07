// Change tracking and the apply and save cycle of the configuration.
//
// Setters OR their group bit into ConfigChanged and set ConfigLocked; the
// main loop's applyConfig acts on the changed groups and hands them to
// SaveConfigChanged, restarting the save countdown; "SaveConfig Thread" counts
// it down every 500 ms and writes the XML files on the tenth tick after the
// last apply. The words live in the system image and are only touched with
// atomic operations, so a mark, an apply and a save racing each other never
// lose a group.
#pragma once

#include "Config/changeGroups.h"

#include <cstddef>
#include <cstdint>

// All groups, as set by markAllConfigChanged.
constexpr uint32_t CONFIG_ALL_GROUPS = 0x2cf8ff;
// Ticks of "SaveConfig Thread" between the last apply and the save.
constexpr uint32_t SAVE_COUNTDOWN_TICKS = 10;

void markConfigChanged(uint32_t bits);
void markAllConfigChanged();
uint32_t getConfigChanged();
void clearConfigChanged();
void setConfigLocked();
void clearConfigLocked();
uint16_t getConfigLocked();
void markSaveConfigChanged(uint32_t bits);
uint32_t getSaveConfigChanged();
void clearSaveConfigChanged();
void startSaveCountdown();
void stopSaveCountdown();
// Decrements a running countdown; returns the countdown's low 16 bits.
uint16_t saveCountdownTick();
// Restarts the countdown and hands the changed groups (but 0x400) to the saver.
void passChangesToSave();

// Main loop, every pass: applies the changed groups.
void applyConfig();
// Body of "SaveConfig Thread", every 500 ms.
void testSaveConfigAfterApply();

// Load, save and delete of the configuration files, each under the
// configuration file mutex. Results: 0 on success.
int16_t loadConfig();
int16_t saveConfig();
// deleteConfigFile: 1 when the file was removed, -1 when it was not there
// (or the type is unknown), -2 when the delete could not be tried (no store
// registered, the file mutex not taken).
int deleteConfigFile(int type);

// A configuration import: under the configuration file mutex, first writes
// the changes waiting for the save (so the saver cannot later write the old
// image over the imported file), then runs `copy` (which puts the new files
// in place, 0 on success) and loads the files, without letting go of the
// mutex in between. 0 done, IMPORT_COPY_FAILED when the copy failed (nothing
// loaded), IMPORT_LOAD_FAILED when the load failed, -1 without a store or
// the mutex.
constexpr int IMPORT_COPY_FAILED = 4;
constexpr int IMPORT_LOAD_FAILED = 5;
int importConfig(int (*copy)());

// Start-up migration of a stored configuration to the current data format:
// runs the unit region's runDataFormatStep from the stored format up.
void applyConfigStepwise();

// "UT..;ST..;FM..;FWV..;FWR..;FWB..;FWC..;FWE..;FWCS.." from and to the unit region.
int buildInfoString(char* buffer, int length);
int parseInfoString(const char* text, int length);

// Where loadConfig, saveConfig and deleteConfigFile read, write and delete.
// Its owner registers it at start-up: the daemon the XML files
// (persist/configStore.h), tests a recording store. Without one those calls
// log "<function> - no configuration file store registered" and return -1.
struct ConfigFileStore {
    int16_t (*loadAll)();
    int16_t (*saveAll)();
    int (*resetConfig)();
    int (*resetNetConfig)();
    int (*resetFactoryConfig)();
    int (*removeEepromFile)();
};
// Registers the store (kept by the caller for the life of the process);
// nullptr removes it.
void setConfigFileStore(const ConfigFileStore* store);
