// FM receiver monitor: the receiver's parameters, its detection at start,
// tuning (directly or behind the down-converter), the 750 ms measurement
// poll, the quality alarms and their mapping onto alarm ids 160 to 166, and
// the presence of the receiver's MPX input.
#pragma once

#include "alarms/alarmObjects.h"
#include "alarms/param.h"

#include <cstdint>
#include <ctime>

// Alarm indexes of the measure alarm set.
enum {
    FMRX_ALM_SNR = 0,
    FMRX_ALM_RSSI = 1,
    FMRX_ALM_ASSI200 = 2,
    FMRX_ALM_ASSI_FILTER_EV = 3,
    FMRX_ALM_RDS_SYNC_MISS = 6,
    FMRX_ALM_SUMMARY = 7,
};

// The 64-byte status record as 32-bit words (see fmRx_GetStatus).
struct FmRxStatusRecord {
    uint32_t words[16];
};
static_assert(sizeof(FmRxStatusRecord) == 64);

struct FmRxContext {
    ParamU32 frqNom;
    ParamU32 xcLoad;
    ParamU8 autoAssiFilter;
    ParamU8 assiFilter;
    ParamU8 preAmpMode;
    ParamLong rssiPresThd;
    ParamLong snrPresThd;
    ParamI8 intermFrqOffset;
    AlarmSet* alarms;
    uint8_t downConvPresent;
    uint8_t downConvLocked;
    uint32_t tunerKHz;
    uint32_t downConvKHz;
    int16_t snrCount;
    int16_t rssiCount;
    int16_t assi200Count;
    int16_t assiCount200;
    int16_t assiCountEv;
    bool presFailing; // a presence check failed since the last good one
    time_t presFailStamp;
    bool built;
};

// The parameters and the alarm set with their defaults, receiver mode and
// status cleared (once, by the default configuration).
void fmRx_Init();
// Start-up detection; the two arguments are the tuner detection's verbose
// and power-down flags. 1 when a receiver was found, else 0.
int fmRx_DetectSystem(int verbose, int powerDown);
// Start-up, unless the unit is a repeater: receiver mode and present flag
// cleared, the tuner powered down. 1 when the tuner took the command.
int fmRx_PowerDown();
uint32_t fmRx_GetNominalFrequency();
uint32_t fmRx_GetTunedFrequency();
int fmRx_IsLocked();
void fmRx_SetPreAmpMode(uint8_t on);
FmRxContext* fmRx_GetContext();
// Tunes to a nominal frequency (kHz); with a record, reads the status after
// 100 ms. 1 tuned, 0 failed.
int fmRx_Tuning(uint32_t nominalKHz, FmRxStatusRecord* record, int evaluate);
// Reads the tuner's status into the record. 1 read, 0 failed.
int fmRx_GetStatus(uint32_t tunedKHz, FmRxStatusRecord* record, int evaluate);
// 750 ms measurement step of the FM receiver.
void fmRx_MeasurePollig();
// Alarm scan step: sets the FM receiver alarms 160 to 166 from its status.
void fmRx_UpdateAlarms();
