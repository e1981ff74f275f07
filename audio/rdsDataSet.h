// The RDS data set: one element per kind of RDS information, filled by the
// UECP receiver (by message element code) and by the encoder's copy of the
// configuration, read by the group composers. Also the small helpers that
// name group codes.
#pragma once

#include <cstdint>

constexpr uint32_t RDS_ELEMENT_BYTES = 256;
constexpr int RDS_ELEMENT_SLOTS = 33;

struct RdsDataElement {
    uint8_t data[RDS_ELEMENT_BYTES]; // payload as handed over
    uint32_t length;                 // valid bytes of data
    uint8_t consumed;                // 1 once the composer took the data over
    uint8_t valid;                   // 1 while the element may be sent
};

struct RdsDataSet {
    RdsDataElement elements[RDS_ELEMENT_SLOTS];
    uint8_t initialised;
};

// Slots the composers and the configuration copy read.
enum RdsSlot : int {
    RDS_SLOT_PI = 0,
    RDS_SLOT_PS = 1,
    RDS_SLOT_PIN = 2,
    RDS_SLOT_DI = 3,
    RDS_SLOT_TP = 4,
    RDS_SLOT_TA = 5,
    RDS_SLOT_MS = 6,
    RDS_SLOT_PTY = 7,
    RDS_SLOT_PTYN = 8,
    RDS_SLOT_RT = 9,
    RDS_SLOT_AF = 10,
    RDS_SLOT_CT = 12,
    RDS_SLOT_IH = 15,
    RDS_SLOT_TDC = 16,
    RDS_SLOT_TMC = 17,
    RDS_SLOT_LABELLING = 22,
    RDS_SLOT_ODA = 23,
    RDS_SLOT_ECC = 31,
    RDS_SLOT_LANGUAGE = 32,
};

// The process-wide data set (zero at start) and one of its elements.
RdsDataSet& getRdsDataSet();
RdsDataElement* rdsElement(int slot);

// Stores a UECP message element of the active data set: 0 taken (or a code
// accepted and ignored), -1 too long or an unknown code (logged). MEC 0x03
// (TA bit 0, TP bit 1) is split into the TA and TP slots.
int AddMsgToActiveRdsDataSet(int32_t code, const uint8_t* data, uint32_t length);
// Sets `valid` of the code's slot(s); RadioText, in-house, TDC, ECC and the
// stored-only 0x16 and 0x38 also clear `consumed`, and with value 0 their
// length.
void setRdsMecChanged(uint32_t code, uint8_t value);
// 1 when the code's slot is valid, else 0.
int isRdsMecValid(int32_t code);
int isRdsElementValid(const RdsDataElement* e);
int isRdsElementConsumed(const RdsDataElement* e);

// Zeroes the whole data set, `initialised` included (called off the RDS
// loop's thread, the elements are zeroed by the loop at its next pass).
void clearRdsDataSet();
// The first call (or force non-zero) also clears the basic elements and
// reloads the group sequence; every call empties the output FIFO, the UECP
// receive ring and the data set.
void resetRdsEncoderData(uint8_t force);

// Code 0..254: type code / 2, version code % 2 (0 = A); 255 and above: both 255.
void splitRdsGroupCode(uint32_t code, uint8_t* type, uint8_t* version);
// "%2u%c" (" 2A" for 4, "14B" for 29); "_" for 255 and above.
void formatRdsGroupCode(uint32_t code, char text[4]);
// The word with its four bytes reversed.
uint32_t swapRdsTextWord(uint32_t word);
