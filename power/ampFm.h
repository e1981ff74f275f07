// External amplifiers: up to four units on the units' serial bus, polled
// round robin with DCM read requests. Each has a record with the images of
// its tables, published to DbPool section 61 + record number; new units are
// configured automatically (or by hand when they never tell their
// identity), and the tables are read and written element by element.
// Everything runs in the link thread; nothing here is locked.
#pragma once

#include "links/dcmMsg.h"

#include <cstdint>

constexpr int EXT_AMP_RECORDS = 4;
constexpr uint8_t EXT_AMP_NO_SLOT = 255;
// Unit slots of the link layer: 0 is the RF-detector unit, 1 to 4 the
// amplifiers.
constexpr int EXT_AMP_LINK_SLOTS = 5;
// Registry kind of a slot holding an amplifier that was not configured yet.
constexpr uint32_t EXT_AMP_UNIT_KIND = 43;

// The part numbers of the amplifiers the exciter can drive: one block of
// consecutive model codes (the accepted range of the identity and the range
// of Amplifier_type).
constexpr uint32_t EXT_AMP_MODEL_FIRST = 21000;
constexpr uint32_t EXT_AMP_MODEL_COUNT = 1000;

// Table 5 element 3 command state (table 255, element 255).
constexpr uint32_t EXT_AMP_CMD_IDLE = 0;
constexpr uint32_t EXT_AMP_CMD_SENDING = 1;
constexpr uint32_t EXT_AMP_CMD_DONE = 2;
constexpr uint32_t EXT_AMP_CMD_FAILED = 3;

struct ExtAmpRecord {
    // Table 1: unit kind, four identity bytes, the 16-bit value (as
    // received), the 4-byte word (as received), a spare word, the last byte.
    uint32_t table1[9];
    int16_t table3[26];
    uint8_t table3Valid;
    uint8_t table4Byte;
    uint32_t table4Word;
    uint8_t table4Valid;
    uint32_t table5[7];
    // Table 8: serial number high and low, model code, minimum and maximum
    // frequency (MHz), nominal power (W), reference power, supply voltage
    // (V), frequency set-point (MHz), external-supply flag, three more words
    // and the word that enables the table 9 read.
    uint32_t table8[14];
    uint8_t table8Valid;
    uint32_t table9[11];
    uint8_t s0, s1, s2;
    uint8_t alarmSummary;
    uint8_t warningSummary;
    uint8_t address;
    uint8_t slot; // EXT_AMP_NO_SLOT: unused
    uint8_t table1State;
    uint8_t configured;
    uint8_t known;
    uint8_t retries;
    uint8_t readStep;
    uint32_t context;
    int32_t unanswered;
    uint32_t commandState;
    uint8_t number; // 1 to 4
    uint8_t statusValid;
    // The status bytes whose edges were last logged for this amplifier.
    uint8_t loggedStatus[3];
    uint32_t channel; // DCM channel of the requests
};

// The registry entry of a unit slot that holds an amplifier.
struct ExtAmpLink {
    uint32_t kind;
    uint32_t modes[2];
    ExtAmpRecord* record;
    uint32_t context;
};

// Every record unused, the round robin and the request deadline back to
// their start, the configuration variant 0; event bit 68 set, 69 cleared.
void AMP_FM_ResetAll();
// Takes the next free record for `slot` (1 to 4): 0, 4 when the slot is
// registered already, -1 when the four records are taken or the slot is out
// of range. The record is given back through `record` (optional).
int AMP_FM_Register(uint32_t slot, ExtAmpRecord** record, uint32_t context);
// The unit's DCM address; `context` is the DCM channel its requests go on.
// 0, -1 when no record holds the slot.
int AMP_FM_SetAddress(uint32_t slot, uint32_t address, uint32_t context);
// The address of the slot's unit, 255 when no record holds the slot.
uint32_t AMP_FM_GetAddress(uint32_t slot);
// The same as AMP_FM_SetAddress, under the name the link set-up uses.
inline int AMP_FM_Bind(uint32_t slot, uint32_t address, uint32_t channel)
{
    return AMP_FM_SetAddress(slot, address, channel);
}
// Runs the automatic configuration of the slot's amplifier: configured
// when it succeeded. 1 configured, 0 not (a conflict, or no record).
int AMP_FM_ConfigureNow(uint32_t slot);
// One element of a table of the slot's amplifier, from its record; *value
// is -1 unless the element was read. 0; 1 an unknown table or element; 9
// no record (table 1: -1) or, for tables 2, 3 and 4, nothing received yet.
// Table 255 element 255 is the command state; reading 2 or 3 clears it.
int AMP_FM_ReadElem(uint32_t slot, uint32_t table, uint32_t element, int32_t* value);
// Writes one element of table 4, 5, 8 or 9 of the slot's amplifier (a
// non-zero checkOnly only checks it): 0; 11 out of range; 15 read only; 13
// the unit is disconnected; 9 tables 8 and 9 while the amplifier is not
// known; -1 an unknown table or element; else the sending's result.
int AMP_FM_Write(uint32_t slot, uint32_t table, uint32_t element, int32_t value, uint32_t checkOnly);
// One step of the round robin; at most one request per request period.
void AMP_FM_Poll();
// Copies the record image of table 1, 3, 4 or 8 into `buffer`: its length
// in bytes, 0 for another table, -1 without a record.
int AMP_FM_CopyTable(uint32_t slot, uint32_t table, uint8_t* buffer);
// The reply and time-out callbacks of the requests.
int AMP_FM_OnReply(uint8_t slot, DcmMsg reply);
void AMP_FM_OnTimeout(uint8_t slot);

// State seen by tests and diagnostics.
const ExtAmpRecord* AMP_FM_GetRecord(uint32_t slot);
const ExtAmpLink* AMP_FM_GetLink(uint32_t slot);
uint32_t AMP_FM_GetConfigVariant();
