// Unit identity: the unit region of the image and the copies between the
// unit identity record and the image.
#pragma once

#include <cstdint>

// Writes the serial number and the active addresses into a unit record
// buffer; type must be 1 (else -1).
int exportUnitRecord(uint8_t* record, int type);
