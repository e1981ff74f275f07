// The PMBus rectifier modules of the compact amplifier's power shelf.
//
// Kind (sim/simModels.cpp):
//   cplpsu  I2C, one per slot at 0x40..0x42 (slot 0 also at 0x3F). Options:
//             type=cp2|cp3   the module family (cp2)
//           Answers VERSION (0xDD on cp2, 0xD5 on cp3), STATUS_BYTE 0x78,
//           the status and measure reads of the family (0xD0, 0xDC, 0xDE,
//           0xE1 / 0xD0, 0xD4, 0xD6, 0xD3, 0x9A, 0x9E), each with the read
//           PEC of its family (cp2: read address and data; cp3: the full
//           SMBus PEC); commands of another family read 0xFF. Writes carry a
//           PEC: a bad one is ignored and counted. VOUT_COMMAND and
//           OPERATION are kept and set the plant's supply voltage; 0xD0
//           carries the set voltage, the plant's current and the status and
//           alarm bytes. A slow module (SIM_CPL_SLOW) shows its former
//           output state to that many STATUS_BYTE reads after a switch.
//           Model values (simctl set / tests) are the registers below.
#pragma once

#include "sim/simModels.h"

// Registers of the model's store, the knobs of simctl and the tests.
enum SimCplReg {
    SIM_CPL_VOUT_LO = 0, // VOUT_COMMAND as written (low, high)
    SIM_CPL_VOUT_HI = 1,
    SIM_CPL_OPERATION = 2, // 0x80 on
    SIM_CPL_STATUS1 = 3,
    SIM_CPL_STATUS2 = 4,
    SIM_CPL_ALARM1 = 5,
    SIM_CPL_ALARM2 = 6,
    SIM_CPL_ALARM3 = 7,
    SIM_CPL_SHUTDOWN = 8,  // non-zero: output shut down (status_1 0x10, OFF)
    SIM_CPL_BAD_PEC = 9,   // writes ignored for a bad PEC
    SIM_CPL_TEMP = 10,     // degrees C (35)
    SIM_CPL_VIN = 11,      // input volts - 75 (155: 230 V)
    SIM_CPL_TYPE = 12,     // 1 cp2, 2 cp3
    SIM_CPL_SLOW = 13,     // STATUS_BYTE reads that still show the former
                           // output state after OPERATION switched it
    SIM_CPL_REGS = 16,
};

SimModel* simCplPsuCreate(SimDevice* dev);
