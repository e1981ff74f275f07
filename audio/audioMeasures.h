// Audio level measures: the FPGA's raw deviation readings turned into
// deviations in Hz and levels in dB against the nominal deviation, the raw
// conditions of the low-level alarms, and the deviations of the primary and
// the secondary input configuration. The values live in the FPGA region of
// the system image (Config/keys/fpgaKeys.h has the getters) and are
// published in DbPool section 12.
#pragma once

#include <cstdint>

// Raw readings of the status block (16-bit). Each does its work when the
// reading differs from the stored one or is 0. The backup readings are kept
// as read, scaled by their channel's calibration factor (the backup matrix
// level) and in Hz.
void setMeasuredMpxLevelRaw(uint32_t raw);
void setMeasuredLeftLevelRaw(uint32_t raw);
void setMeasuredRightLevelRaw(uint32_t raw);
void setMeasuredAuxLevelRaw(uint32_t raw);
void setMeasuredPilotLevelRaw(uint32_t raw);
void setMeasuredFmDeviationRaw(uint32_t raw);
void setBackupLFreqDevRaw(uint32_t raw);
void setBackupRFreqDevRaw(uint32_t raw);

// Deviations in Hz (the repeater's receiver path, and the backup MPX).
void setMeasuredMpxDeviation(uint32_t hz);
void setMeasuredAuxDeviation(uint32_t hz);
void setMeasuredPilotDeviation(uint32_t hz);
void setMeasuredMpxDeviationB(uint32_t hz);

// The deviations of the primary and the secondary configuration: ignored
// within 5 s of an automatic input switch.
void setPrimDeviation(uint32_t hz);
void setSecDeviation(uint32_t hz);
