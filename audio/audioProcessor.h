// Audio-processor coefficient engine: the operator's audio-processor
// settings turned into the fixed-point coefficients of the FPGA's audio
// processor (compressor, smoothing, limiter, equaliser, economy mode),
// packed into three-word frames and written to its register windows, and
// the meters read back.
#pragma once

#include "Config/StrutturaDati.h"

#include <cstdint>

// Register windows of the audio processor (one 32-bit word each).
constexpr uint8_t AP_WIN_WORD1 = 18;
constexpr uint8_t AP_WIN_WORD2 = 19;
constexpr uint8_t AP_WIN_CONTROL = 20;
constexpr uint8_t AP_WIN_METER = 21;
constexpr uint8_t AP_WIN_LEVEL = 22;
constexpr uint8_t AP_WIN_PEAK = 23;
constexpr uint8_t AP_WIN_ECON = 24;

// Stage codes of the control word's type field.
enum ApStage : uint32_t { AP_STAGE_CMPR = 0, AP_STAGE_SMOO = 1, AP_STAGE_GREF = 2, AP_STAGE_EQUA = 3 };

// Write strobe of the control word.
constexpr uint32_t AP_CTRL_STROBE = 1u << 12;

// One frame: words 1 and 2 carry the stage's data, word 3 the control word.
struct ApFrame {
    uint32_t word1;
    uint32_t word2;
    uint32_t word3;
};

// 750 ms meter step: selects and reads the meters of one band per call.
void AP_ReadMeters();

// The stage writers: each takes the whole block by value, computes its
// stage from the working sets and writes it.
void AP_SetCommonStage(AudioProcessorBlock block);
void AP_SetCompressor(AudioProcessorBlock block);
void AP_SetTimeConstants(AudioProcessorBlock block);
void AP_SetLimiter(AudioProcessorBlock block);
void AP_SetEqualizer(AudioProcessorBlock block);
// Economy-mode word (window 24): 0 while event bit 54 (RF output on) is clear.
void AP_SetEconMode(AudioProcessorBlock block);

// Word 3 to window 20, word 2 to 19, word 1 to 18; with a strobe, word 3
// again with the strobe bit set, 100 microseconds, and without it.
void writeApFrame(ApFrame frame, int strobe);
// Word 3 alone to window 20, without strobe.
void writeApControl(ApFrame frame);

// Conversions (gains in tenths of dB).
int16_t apGainLog2S(int32_t g);
uint16_t apGainLog2U(int32_t g);
uint32_t apGainLinearQ12(int32_t g);
// Ratio x 100 to the 8-bit lin_rt (limited to 255) and the ext_rt_dyn flag.
void apRatio(uint32_t r, uint32_t* linRt, uint32_t* extRtDyn);
// Time constant in microseconds to a sample count (0 gives 1; limited to
// the 16-bit field).
uint32_t apTimeConstant(uint32_t us);
// The 31 equaliser words (master gain, then b0 b1 b2 a1 a2 of bands 0..5).
void apEqualizerWords(const AudioProcessorBlock& block, int32_t out[31]);
// The control word of a stage block from the common settings.
uint32_t apControlWord(const AudioProcessorBlock& block, uint32_t type, uint32_t addr);
