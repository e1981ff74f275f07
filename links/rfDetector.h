// Client of the RF-detector unit on the units' serial bus: block reads of
// its identity, status, measures and setting, block writes of its settings,
// the record of what it reported and DbPool section 60.
#pragma once

#include "links/dcmMsg.h"

#include <cstdint>

constexpr int RF_DETEC_LINK_SLOTS = 5;
constexpr uint8_t RF_DETEC_NO_SLOT = 255;
constexpr int RF_DETEC_IDENTITY_BYTES = 36;
constexpr int RF_DETEC_MEASURES = 6;
constexpr uint32_t RF_DETEC_SECTION = 60;

// Reset-command results (RF_DETEC_Read kind 255, element 10).
constexpr uint8_t RF_DETEC_RESET_NONE = 0;
constexpr uint8_t RF_DETEC_RESET_SENT = 1;
constexpr uint8_t RF_DETEC_RESET_DONE = 2;
constexpr uint8_t RF_DETEC_RESET_FAILED = 3;

struct RfDetecRecord {
    uint8_t identity[RF_DETEC_IDENTITY_BYTES];
    uint8_t status1;
    uint8_t status2;
    uint8_t alarm;
    int16_t measures[RF_DETEC_MEASURES];
    int16_t setting; // -1 until the unit reported it
    uint8_t written[6]; // table 5 elements 1 to 6 as last written
    uint8_t resetResult;
    uint8_t statusValid;
    uint8_t measuresValid;
    uint8_t settingValid;
    uint32_t address;
    uint32_t channel;
    uint8_t slot; // 255: not bound
    uint32_t pollDeadline; // hundredths; 0: due
    uint32_t pollInterval; // milliseconds
    int32_t waiting; // requests sent and not answered
    uint8_t identityPending;
    uint8_t step; // 0 measures next, 1 setting next
    uint8_t suppress; // status replies whose status-2 bit 2 is cleared
};

// One link slot: linked while its unit slot is connected.
struct RfLinkSlot {
    uint32_t state; // 1 linked
    RfDetecRecord* record;
    uint32_t words[3];
    uint32_t identityWord;
};

void RF_DETEC_Init();
// Binds the record to `slot`: 0, 4 when it is already bound there, -1 for a
// slot out of range.
int RF_DETEC_Bind(uint8_t slot);
// Stores the unit's bus address and DCM channel: 0, -1 without a record.
int RF_DETEC_SetAddress(uint8_t slot, uint32_t address, uint32_t channel);
// 0, or 1 for an unknown kind; `value` as described for each kind.
int RF_DETEC_Read(uint8_t slot, uint32_t kind, uint32_t element, int32_t* value);
// 0, 13 when the slot is not linked, 11 a value out of range, -1 an unknown
// table or element or a request that could not be queued.
int RF_DETEC_Write(uint8_t slot, uint32_t table, uint32_t element, uint32_t value, uint32_t checkOnly);
// Copies the identity (kind 1), the measures (3) or the setting (4): the
// byte count, 0 for a slot not linked, -1 without a record.
int RF_DETEC_GetData(uint8_t slot, uint32_t kind, uint8_t* out);
// One step of the unit's polling, when its poll deadline has passed.
void RF_DETEC_PollTick();
// Queue a block read of kind 1 to 4, or a block write: 0, -1 without a
// record, -2 for a kind, table or element out of range.
int RF_DETEC_SendRead(uint8_t slot, uint32_t kind);
int RF_DETEC_SendWrite(uint8_t slot, uint32_t table, uint32_t element, uint32_t value);
// The reply callback of the unit's requests.
int RF_DETEC_OnReply(uint8_t slot, DcmMsg reply);

// State seen by tests and diagnostics.
const RfDetecRecord* RF_DETEC_GetRecord();
const RfLinkSlot* RF_DETEC_GetLinkSlot(uint8_t slot);
