// The configuration and status items the GSM modem and the SMS service read,
// in one place: the key regions that have them as rows, and the items whose
// rows or owners are not written yet (stand-ins: pending/timing/gsmKeys.cpp).
#pragma once

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "alarms/alarmKeys.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/gsmKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"

#include <cstdint>

// The three numbers of the running firmware's version.
uint32_t getFwVersionMajor();
uint32_t getFwVersionMinor();
uint32_t getFwVersionPatch();
void setFwVersion(uint32_t major, uint32_t minor, uint32_t patch);
// The modulator alarm and warning flags.
uint32_t getModulatorAlarm();
uint32_t getModulatorWarning();
void setModulatorFlags(uint32_t alarm, uint32_t warning);
