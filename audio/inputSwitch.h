// Audio input switching and the routing model.
#pragma once

// Called on every main-loop pass; runs its own 250 ms period (input
// switching, input-delay measurement, automatic reference choice).
void InputSwitchTick();

#include <cstdint>

// The routing model of an input-configuration code: the eight routing words
// (MpxChSrc, AuxChSrc, AesEbuSel, AudioType, AudioMono, RightInputOff,
// MpxDigSrc, MpxDigIns) and the four matrix words (L/MPX, R/AUX, DIG/AUX,
// MatrixPortCfg). Words a code does not set keep their value.
void getInputRoutingMap(uint32_t code, uint32_t routing[8], uint32_t matrix[4]);
// The six inputs a code uses (L_Mpx, R_Aux, Dig_AuxMpx2, MPXoAES, MPXoIP,
// MPXoRx), 1 for a used input.
void getMatrixEnableVector(uint32_t code, uint32_t flags[6]);
