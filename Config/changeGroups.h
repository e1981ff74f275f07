// Change groups of the configuration: the bit a setter ORs into
// ConfigChanged for what it changed (configCycle.h acts on them).
#pragma once

#include <cstdint>

// Miscellaneous system items: input alarm versus transmitter status, SI and
// PAT insertion, TSID, transport rate, system clock source, UART 1 selection,
// running bank.
constexpr uint32_t CONFIG_GROUP_MISC = 0x1;
// Factory data; the EEPROM record buffer is refreshed before a save.
constexpr uint32_t CONFIG_GROUP_FACTORY = 0x8;
// Synchronised FM and the clock loop.
constexpr uint32_t CONFIG_GROUP_SYNCHRO = 0x10;
// Inputs and audio alarms.
constexpr uint32_t CONFIG_GROUP_INPUTS = 0x20;
// Deviation and output configuration.
constexpr uint32_t CONFIG_GROUP_OUTPUT = 0x40;
constexpr uint32_t CONFIG_GROUP_GSM = 0x200;
// A group that is never saved.
constexpr uint32_t CONFIG_GROUP_NOT_SAVED = 0x400;
// Port records (MPX over IP).
constexpr uint32_t CONFIG_GROUP_PORTS = 0x1000;
// Network and system.
constexpr uint32_t CONFIG_GROUP_NETWORK = 0x2000;
// The output frequency: mutes the RF output for a few seconds.
constexpr uint32_t CONFIG_GROUP_FREQUENCY = 0x8000;
constexpr uint32_t CONFIG_GROUP_RDS = 0x10000;
// Levels: clipper, level references, deviations, MPX, left, right and
// receiver levels.
constexpr uint32_t CONFIG_GROUP_LEVELS = 0x20000;
constexpr uint32_t CONFIG_GROUP_RF_POWER = 0x40000;
// Amplifier drive-current conversion factor and nominal supply voltage.
constexpr uint32_t CONFIG_GROUP_AMP_DRIVE = 0x80000;
// The output-level re-apply.
constexpr uint32_t CONFIG_GROUP_OUTPUT_STAGE = 0x100000;
constexpr uint32_t CONFIG_GROUP_AUDIO_PROCESSOR = 0x200000;
