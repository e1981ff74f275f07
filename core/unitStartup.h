// Unit start-up pieces called by main between the creation of the locks and
// the start of the threads.
#pragma once

// Start-up step 6: system-image defaults, the identity record from the board
// EEPROM and the banner.
int loadUnitInfo();
// The hardware and firmware banner (book log) and the boot lines of the
// event log: 0, -1 without the firmware information files.
int logUnitInformation();
// Step 8: FPGA, board devices and amplifier; waits for the audio PLL; ends
// with the hardware marked ready.
void initUnitHardware();
// Step 9: settings derived from the detected hardware.
void initUnitSettings();
// Step 12: fan controller, FM receiver power-down and the second core.
void startUnitServices();
// Closing and checking pieces no start-up path calls: the MDIO window of the
// Ethernet switch is unmapped; the version words are compared with the
// standby bank's.
void closeUnitHardware();
void checkUnitVersions();
