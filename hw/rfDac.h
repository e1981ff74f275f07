// RF DAC and quadrature modulator AD9789 on chip select 5: the register image
// computed from the output frequency, the clock plan and the DAC settings,
// written in a fixed order with read-back of every register.
#pragma once

#include <cstdint>

constexpr uint32_t QM_REGS = 86;
constexpr uint8_t QM_CS = 5;

// Computes the frequency words into the shadow and hands the fine residue to
// the configuration (NCO_offset_fine_freq). 0.
int SetupDataQM(uint8_t* shadow);
// One register access: readFlag 0 writes the shadow byte and reads it back
// (a mismatch is a debug line); readFlag 1 reads the register. Returns the
// byte read.
int LowLevelPrgQM(uint8_t* shadow, uint8_t readFlag, uint8_t count, uint16_t address, uint8_t cs);
// Optionally recomputes the image, then programs the whole sequence. 0.
int ProgramQM(uint8_t cs, uint8_t unused, uint8_t recompute);
// ProgramQM(5, 0, 1): once at start-up.
void InitQM();
// Programs the quadrature modulator from the stored DAC and NCO settings.
void UpdateQM();
// Register := low byte of value: 0, or -1 (nothing stored) above 0x55.
int QM_SetReg(uint32_t reg, uint32_t value);
// Programs the current shadow without recomputing it. 0.
int QM_ProgramShadow();
// 86 pairs (register, shadow byte); *count = 86. 0.
int QM_Dump(uint32_t* pairs, uint32_t* count);
// floor(x + 0.5).
double roundNearest(double x);
// Tests and the mailbox: the shadow byte of a register (0 above 0x55).
uint8_t qmShadowByte(uint32_t reg);
