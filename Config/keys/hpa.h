// Hand-written operations of the amplifier region (rows: hpa.def). Included
// by hpaKeys.h.
#pragma once

#include <cstdint>

// Hook of the HPA model code: models 3, 4 and 5 set the drive-current
// conversion factor (660, 3230, 250); other models leave it.
void convFactorFromModel(uint32_t index, uint32_t value, uint32_t old);
// Hook of the hardware code bytes: the four packed into (40,1), byte 3
// highest.
void publishHwCodeWord(uint32_t index, uint32_t value, uint32_t old);
// Hook of the reflected-power mode word: recomputes the reflected-power
// threshold of the amplifier family.
void recomputeRefPowerThreshold(uint32_t index, uint32_t value, uint32_t old);

// Hardware code byte i (0..3; others refused): stored when different, then
// published.
void setHwCodeByte(uint32_t v, uint32_t i);
uint8_t getHwCodeByte(uint32_t i);
inline constexpr auto setHpaCodeByte = &setHwCodeByte;

// The amplifier's minimum power and driver level (0.1 dBm, signed: the
// bounds of Tx_Max_Nom_Power), kept in the low and high power limits.
int16_t getHpaMinPower();
void setHpaMinPower(int16_t v);
int16_t getHpaDriverLevel();
void setHpaDriverLevel(int16_t v);

// Supply operations, by supply index 0..2 (taken as its low byte; an index
// beyond the records is refused with -1).
//
// applyPsuVout: the output-voltage set-point (mV). Nothing happens when the
// supply already has it. Pin-margin control (HPS type code 22) sets it
// through the margin pins; ganged supplies (three) get it one by one under
// the supply lock when the bus is shared, a supply whose lock fails being
// skipped with a line; the serial shelf and single PMBus supplies get it
// directly. Only a supply that took it stores and publishes it; the result
// is the first failure, else 0.
int applyPsuVout(uint32_t i, uint32_t v);
// Stores the operation mode when different, publishes it and applies it;
// returns the apply result.
int setPsuOperationMode(uint32_t i, uint8_t m);
uint8_t getPsuOperationMode(uint32_t i);
// 1 when the supply's output is off.
int isPsuOutputOff(uint32_t i);
// The serial shelf's minimum fan speed; other interfaces return their
// interface value.
int setPsuMinFanSpeed(uint32_t i, uint32_t s);
// The operation state read back from supply i: 1 on, 0 off, 0xFF when the
// PMBus module could not be read (or its lock not taken). The serial module
// and supplies managed elsewhere (HPS_MngMode not 0) give the stored mode.
uint8_t getPsuOperationState(uint32_t i);
// The minimum fan speed as the transmitter logic sends it when it switches
// the supplies: reaches the serial module only.
void applySpsMinFanSpeed(uint32_t i, uint32_t v);
// The compact amplifier's fan floor after an ON (v 0 or 25): the same
// minimum-fan-speed request.
void getPsuOperationModeSummary(uint32_t i, uint32_t v);

// Status bytes 1..5 of supply i (k 0..4): bytes 1 and 2 are published into
// B1, bytes 3 to 5 into B3.
void setPsuStatusByte(uint32_t i, uint32_t k, uint8_t v);
uint8_t getPsuStatusByte(uint32_t i, uint32_t k);
// Reading words 3..6 of supply i (k 0..3): B11..B14.
void setPsuReadingWord(uint32_t i, uint32_t k, uint32_t v);
uint32_t getPsuReadingWord(uint32_t i, uint32_t k);
// Platform information part 1 (three words, A2..A4) and part 4 (three words
// and a 16-bit word, A5..A8) of supply i.
void setPsuPlatformInfo1(uint32_t i, const uint32_t words[3]);
void setPsuInfoRecord(uint32_t i, const uint32_t words[3], uint16_t tail);
// Identity byte k (0..5) of supply i: A16..A21.
void setPsuIdentityByte(uint32_t i, uint32_t k, uint8_t v);
uint8_t getPsuIdentityByte(uint32_t i, uint32_t k);
