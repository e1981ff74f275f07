// RDS group composers: one per group type, each turning the data set and the
// active data set's configuration into one group (or a few) appended to a
// run's blocks queue as four 16-bit information words.
//
// Results: 0 queued (or nothing due), -5 PI not valid, -6 data missing, -7
// data already taken over, -10 the queue refused the group; others as
// stated.
#pragma once

#include <cstdint>

constexpr int RDS_ODA_ENTRIES = 16;

struct RdsOdaEntry {
    uint8_t typeCode; // application group type code, 0 = free entry
    uint16_t aid;
    uint8_t config;
    uint16_t message;
    uint8_t extra;
};

struct RdsOdaTable {
    RdsOdaEntry entries[RDS_ODA_ENTRIES];
    int count;
    int cursor; // next entry nextOdaEntry looks at, 0..15
};

int composeGroupsType0A(uint8_t dataSet, uint16_t* queue, uint16_t* count);
int composeGroupsType0B(uint16_t* queue, uint16_t* count);
int composeGroupsType1A(uint8_t dataSet, uint16_t* queue, uint16_t* count);
int composeGroupsType2A(uint8_t dataSet, uint16_t* queue, uint16_t* count);
int composeGroupsType3A(uint8_t dataSet, uint16_t* queue, uint16_t* count);
int composeGroupsType4A(uint16_t* queue, uint16_t* count);
int composeGroupsType5AB(uint16_t* queue, uint16_t* count);
int composeGroupsType6A(uint16_t* queue, uint16_t* count);
int composeGroupsType8A(uint16_t* queue, uint16_t* count);
int composeGroupsType10A(uint16_t* queue, uint16_t* count);
// EON entry 0..5 of the data set; restart starts the entry's variants over.
// 1 when the entry's last variant (14) was sent.
int composeGroupsType14AB(uint8_t dataSet, uint8_t entry, uint8_t restart, uint16_t* queue, uint16_t* count);
// Variant 4 (AF method A) and 5..8 (mapped frequencies) of the linked data
// set: 1 while more is to send, 0 when sent through, -1 PI not valid, -10
// the queue refused the group.
int composeGroupsType14A_V4(uint8_t linked, uint16_t* queue, uint16_t* count);
int composeGroupsType14A_V5_8(uint8_t linked, uint16_t* queue, uint16_t* count, uint8_t variant);

// ODA table: the first free entry or -1; the next used entry after the
// table's cursor, wrapping (-1 when none); clears every entry of a type
// code and returns how many.
int findFreeOdaEntry(const RdsOdaTable* table);
int nextOdaEntry(RdsOdaTable* table);
int removeOdaEntries(RdsOdaTable* table, uint8_t typeCode);
// The composer's own table (tests).
RdsOdaTable* getRdsOdaTable();

// i + 1, or 0 when i + 1 is not below n.
int nextCyclicIndex(int i, int n);
// The next variant code of the data set's 1A / 14A variant list.
uint8_t nextRdsVariant1A(uint8_t dataSet, uint8_t* wrapped);
uint8_t nextRdsVariant14A(uint8_t dataSet, uint8_t restart, uint8_t* wrapped);
// Compares the TA of every linked data set with the one last seen for its
// EON entry; returns the number (1..7) of the last linked data set whose TA
// changed, 0 when none.
int detectEonTaChange(uint8_t dataSet);
