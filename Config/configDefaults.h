// Default configuration: every default of the system image (set through
// the key regions: Config/keys/configDefaults.cpp).
#pragma once

// Gives every item of the system image its factory default, through its
// setter where it has one; ends with all groups marked changed and the log
// gate open. Run once at start-up, before the EEPROM record and the XML
// files are read.
void initSystemImage();
// Start-up's entry: initSystemImage.
void runInitSystemImage();
