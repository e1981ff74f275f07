// Audio-processor coefficient engine.
#pragma once

// 750 ms meter step: reads the meters of one band per call.
void AP_ReadMeters();

#include "Config/StrutturaDati.h"

#include <cstdint>

// The stage loaders: each takes the whole block by value, computes its
// stage's coefficients from the working sets and writes them to the FPGA.
void AP_SetCommonStage(AudioProcessorBlock block);
void AP_SetCompressor(AudioProcessorBlock block);
void AP_SetTimeConstants(AudioProcessorBlock block);
void AP_SetLimiter(AudioProcessorBlock block);
void AP_SetEqualizer(AudioProcessorBlock block);
// Economy mode word (FPGA block 2, register 24).
void AP_SetEconMode(AudioProcessorBlock block);
