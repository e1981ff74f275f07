// EEPROM manager.
#pragma once

// Removes the emulated EEPROM file; 1 on success, -1 on failure.
int EEM_RemoveEEP();
