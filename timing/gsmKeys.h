// The configuration and status items the GSM modem and the SMS service read,
// in one place: the key regions that have them as rows.
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

// The three numbers of the running firmware's version (getFwVersionMajor,
// Minor, Patch): the software version, release and build the start-up read
// from the firmware information files (unit region).
// The modulator alarm and warning (getModulatorAlarm, getModulatorWarning):
// the alarm cycle's alarm and warning summaries (alarm region).
