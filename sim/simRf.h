// RF device models of the simulated board.
//
// ad9789 (SPI): the RF DAC's 86 registers. A transfer starts with a 16-bit
//   instruction: bit 15 read, bits 14-13 count - 1, bits 12-0 address; a
//   write stores the bytes that follow, a read returns the registers from
//   the third byte on. Register 0x04 bit 3 reads the lock.
//   Model values: registers 0x00-0x55; 0x56 the lock knob (non-zero holds
//   the lock clear).
// ltc6948 (SPI): 16 registers. A write is [register x 2, value]; [0x01,
//   0x00] returns status register 0 in the second byte, whose bit 2 is the
//   lock. A programming is counted at each write of register 14.
//   Options: lock=N   locked once N programmings were made (0: at once,
//                     the default); lock=never
//   Model values: registers 0-15; 16 the programmings; 17 the lock script
//   (N, 255 never).
// dcsynth (SPI): the down-converter's oscillator synthesizer. A write is
//   [register & 0x7F, value high, value low]; with bit 7 of the first byte
//   the register is returned in the last two bytes. Writes count while the
//   SPI enable (output bit 2 of the expander at 0x2E) is low; a write of
//   register 0 with bit 1 set (reset) restarts the count. The synthesizer
//   locks once 44 rows were counted.
//   Model values: 0 the rows counted, 1 the lock knob (non-zero: never
//   locks), 2 + 2r and 3 + 2r register r (high, low).
// dcexp (I2C): the down-converter's control expander (as cat9534) whose
//   input bit 0 is the synthesizer's lock.
// ncd2400m (I2C): the two fine capacitors of the tunable filter at one
//   address; output bit 3 of the expander at 0x15 selects the post-filter
//   one, and they answer only while its bit 7 is high. A write keeps its
//   two bytes; a read returns them, then zeros.
//   Model values: 0-1 the pre-filter bytes, 2-3 the post-filter bytes, 4
//   and 5 the writes each received.
#pragma once

#include "sim/simModels.h"

SimModel* simAd9789Create(SimDevice* dev);
SimModel* simLtc6948Create(SimDevice* dev);
SimModel* simDownConvSynthCreate(SimDevice* dev);
SimModel* simDownConvExpanderCreate(SimDevice* dev);
SimModel* simNcd2400mCreate(SimDevice* dev);
