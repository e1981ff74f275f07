// SPI converters: the amplifier ADC on chip select 2 (its chip-select line is
// an expander bit), the drive DAC on chip select 3 reached by logical DAC
// numbers, and the four command words of the DAC on chip select 25, kept in
// memory and sent as a block.
#pragma once

#include <cstdint>

// The expander that carries the ADC chip select: 0x24, or 0x25 for HPA
// model 4.
uint8_t adcSelectExpander();

// One 2-byte full-duplex transfer on chip select 2 (16-bit words) without
// chip-select handling; out = the received value modulo 4096. 0.
int readAdcRaw(uint16_t* out);
// Output port of the expander read into state, bit 4 (chip select, active
// low) cleared and written, 1 us wait: the write's result.
int adcSelect(uint8_t* state);
// Bit 4 of state set and written to the expander: the write's result.
int adcDeselect(uint8_t* state);
// adcSelect, one 2-byte transfer (16-bit words), adcDeselect; out = the
// received value shifted right by 4. 0.
int readAdc(uint16_t* out);
// A dummy conversion at start-up: select, deselect, one 1-byte transfer. 0.
int readAdcDummy();

// Frame [command, value high, value low] on chip select 3 with the channel's
// command (0x10, 0x12, 0x14, 0x16): 1 for a channel above 3, else 0.
int dacWriteChannel(uint16_t value, uint8_t channel);
// The alternative command set: 0x10 (index 0), 0x24 (index 1); 1 for
// another index, else 0.
int dacWriteChannelAlt(uint16_t value, uint8_t index);
// Logical DAC 1..4 to the physical channel of the amplifier family and
// model; other numbers reach a family-dependent channel or are refused with
// "DAC not exists! [%d]". 0.
int setDacOutput(uint16_t value, int32_t dac);

// The four DAC command words (24 bits each).
constexpr uint32_t DAC_WORD_COUNT = 4;
// Word index := value: 0, or -1 (nothing stored) for an index above 3.
int dacWordSetReg(uint32_t index, uint32_t value);
// The four words in order (3 bytes each, most significant first, chip select
// 25), then word 1 with bit 21 set, then word 1 as stored. 0.
int dacWordsSend();
// Pairs (index, word) for the four words; *count = 4. 0.
int dacWordsDump(uint32_t* pairs, uint32_t* count);
// dacWordsSend. 0.
int dacWordsInit();
