// The configuration and status items the alarm cycle reads, in one place:
// the key regions that have them as rows.
#pragma once

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/input.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/synchro.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/unitKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"

#include <cstdint>

// Synchronisation: net_mode, the frequency and time reference sources,
// mute_fref_absent, mute_tref_absent, system_clock_source.

// Audio inputs: output_configuration (primary code), the secondary code,
// the code on air, the FPGA input configuration, input_backup, the on-air
// input (0 primary, 1 secondary), InputAlarmVsTxStatus, the MPX-digital
// line presence and the audio alarm enables and delays (whole seconds).
// Output routing of the AES/EBU receiver reset: setAesEbuOutputSel (the
// output matrix's DIG/AUX select) and applyOutputMatrix.

// force_dac_level and its saved companion (getForceDacLevelSaved), written
// back on a reference "Locked" edge.

// Amplifier: the number of supplies available (getPsuAvailableCount), the
// minimum power and the driver level, the power class, temperature
// thresholds, HPS_MngMode, measure words, supply records, supply operations
// and APC voltage: the amplifier and RF regions'.
