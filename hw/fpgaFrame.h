// The FPGA control frame: 28 words rebuilt whole from the configuration
// before every transfer to the FPGA.
#pragma once

#include <cstdint>

constexpr int FPGA_CONTROL_FRAME_WORDS = 28;

// The frame of the last build (18 data bits per word; the transfer adds the
// parity bits).
extern uint32_t FpgaControlFrame[FPGA_CONTROL_FRAME_WORDS];

// Rebuilds the frame. Only bit 0 of mute and the truth of modulationOff are
// used; a and b are ignored. Returns 0. The caller holds SemAxiFpga from the
// build to the end of its transfer, so that builds never interleave.
int Fpga_PrepareConfig(uint8_t mute, uint8_t modulationOff, uint8_t a, uint8_t b);

// The five matrix level codes (signed 16-bit) of the output configuration
// and of the standby route.
void Fpga_ComputeInputMatrix(int16_t* lMpx, int16_t* rAux, int16_t* digAux, int16_t* backupL, int16_t* backupR);
// Level of one path from a routing vector R (8 words) and the source flags S
// (the matrix words L/MPX and R/AUX).
int16_t Fpga_MatrixLevelMain(const uint32_t* r, const uint32_t* s);
int16_t Fpga_MatrixLevelSecond(const uint32_t* r, const uint32_t* s);
int16_t Fpga_MatrixLevelDigital(const uint32_t* r, const uint32_t* s);
// Automatic level scale 1 (A) and 0 (B): rework the three main levels and
// the pilot code for the output configuration; rdsLevel is never changed.
void Fpga_AutoLevelScaleA(int16_t* lMpx, int16_t* rAux, int16_t* digAux, uint8_t* pilotCode, uint16_t* rdsLevel);
void Fpga_AutoLevelScaleB(int16_t* lMpx, int16_t* rAux, int16_t* digAux, uint8_t* pilotCode, uint16_t* rdsLevel);

// Output gain byte from tenths of dBu: 57 for 0, else
// 255 x 10^((value - 130) / 200) truncated and held to 0..255.
uint8_t fpgaOutputGainByte(int16_t ddBu);

// The working values the frame is packed from, one per input of the field
// table (hw/fpgaFrameFields.def).
enum FpgaFrameInput : uint8_t {
#define FRAME_INPUT(name) FI_##name,
#include "hw/fpgaFrameFields.def"
#undef FRAME_INPUT
    FPGA_FRAME_INPUT_COUNT
};

struct FpgaFrameField {
    uint8_t word;
    uint8_t lo;    // first bit in the word
    uint8_t width;
    uint8_t input; // FpgaFrameInput
    uint8_t shift; // first bit taken from the input
};

extern const FpgaFrameField kFpgaFrameFields[];
extern const int kFpgaFrameFieldCount;

// Packs the working values into 28 words through the field table (each value
// masked to its field); every word is written.
void Fpga_PackFrame(const uint32_t inputs[FPGA_FRAME_INPUT_COUNT], uint32_t* frame);

// Reset bits of the AES/EBU receiver path carried by the frame: A is word 19
// bit 17, B word 17 bit 6. They reach the FPGA with the next transfer.
void setAesRxResetA(uint8_t on);
void setAesRxResetB(uint8_t on);
