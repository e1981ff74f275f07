// Hand-written operations of the transmitter-logic region (rows:
// logicaTx.def): the hooks of its keys, the setters with behaviour of their
// own and the services the core registers. Included by logicaTxKeys.h.
#pragma once

#include "power/ampFm.h"

#include <cstdint>

// What the region needs of the core: renewing the FPGA image link and asking
// for the reboot. Registered at start-up; without it the functional-type
// setter says so in the book log and renews nothing.
struct LogicServices {
    int (*linkFpgaImage)(int onSpare, int request);
};
void registerLogicServices(const LogicServices* services);

// "Functional_type": stores a changed value, publishes it and marks the
// group; with refresh 1 a change also renews the FPGA image link and asks
// for the reboot. The uniform setter (configuration files) passes 0.
void setFunctionalType(uint32_t v, uint32_t refresh);
// "LTX_Connection_Timeout": values outside 5..60 are left unstored.
void setLTXConnectionTimeout(uint32_t v);

// Hooks of the rows.
// 1 (slave): the slave connected flag := 1 and the LTX deadline armed; any
// other mode clears the flag and disarms the deadline.
void exciterModeChanged(uint32_t index, uint32_t value, uint32_t old);
// The control-link and change-over serial ports take the address.
void controlSerialAddressChanged(uint32_t index, uint32_t value, uint32_t old);
void changeOverSerialAddressChanged(uint32_t index, uint32_t value, uint32_t old);
// Element 8 of table 8 of every external amplifier up to Amplifier_number.
void extAmpVoltageSupplyChanged(uint32_t index, uint32_t value, uint32_t old);
// 0: LOCAL is no longer forced and the saved control mode is requested
// again; 1 while the change-over link is up: LOCAL forced and requested.
void localFromChangeOverChanged(uint32_t index, uint32_t value, uint32_t old);
// On every FSK_TxId call: the identity into the FPGA while the signature is on.
void fskTxIdEveryCall(uint32_t index, uint32_t value, uint32_t old);
// The reserve configuration directories are checked again.
void reserveDirsChanged(uint32_t index, uint32_t value, uint32_t old);
// Loads the 8-byte identity (both words, most significant byte first) into
// FPGA region 25.
void loadFskIdentity();
