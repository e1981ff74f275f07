// I/O expander and external-PLL models of the simulated board.
//
// Expanders (kinds pca9655: 16-bit, two ports, registers 0-7; cat9534 and
// pca9654: 8-bit, one port, registers 0-3). The register set of each port is
// input, output, polarity inversion and configuration (1 = input). Output,
// polarity and configuration registers read back what was written; an input
// register reads the pin levels XOR the polarity, where a pin configured as
// an output reads its own output bit. Writes to an input register are
// ignored. The register pointer moves to the other register of its pair
// after each byte (pca9655) or stays (cat9534, pca9654). Power-on: outputs
// 0xFF, polarity 0x00, every pin an input.
//   Options: pins=p:v,..   levels of the pins of port p (0xFF: pulled up)
//   Model values: an input register reads as the device would answer it;
//   setting an input register sets the levels of its port's pins. The other
//   registers read and set as stored.
//
// External PLL controller (kind extpll): every access starts with a command
// byte. Command 0 writes a 4-byte word (most significant first), 1 selects
// the status byte, 2 writes a channel and its 8-bit value. A read returns the
// data of the last command written (the word, the status byte, or the channel
// and value).
//   Options: status=v      the status byte (0x02: analog system present)
//   Model values: registers 0-3 the word, 4 the status byte, 5 the last
//   command, 6 and 7 the last channel and value, 8 + c the value of channel c.
#pragma once

#include "sim/simModels.h"

// Pin levels of a port as another model drives them (given the levels the
// profile and model values set).
using SimPinHook = uint8_t (*)(unsigned port, uint8_t levels);

// Factories of the model table.
SimModel* simExpanderCreate(SimDevice* dev, unsigned ports, SimPinHook hook = nullptr);
SimModel* simExtPllCreate(SimDevice* dev);
