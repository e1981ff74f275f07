// Hand-written operations of the RDS region (rows: rds.def): the hooks of
// its rows, the UECP slot names, the group-sequence, alternative-sequence,
// variable-code and labelling-code accessors of the data sets, and the
// RadioText files. Included by rdsKeys.h.
//
// Data sets are d = 0..6 (the index taken modulo 256); a d of 7 or more is
// no data set: setters do nothing and getters give what each says.
#pragma once

#include <cstddef>
#include <cstdint>

// Hooks of the rows.
void uecpInterfaceChanged(uint32_t index, uint32_t value, uint32_t old);
void uecpBaudrateChanged(uint32_t index, uint32_t value, uint32_t old);
void mecPs(uint32_t index, uint32_t value, uint32_t old);
void mecPi(uint32_t index, uint32_t value, uint32_t old);
void mecDi(uint32_t index, uint32_t value, uint32_t old);
void mecTpTa(uint32_t index, uint32_t value, uint32_t old);
void mecMs(uint32_t index, uint32_t value, uint32_t old);
void mecCt(uint32_t index, uint32_t value, uint32_t old);
void mecPty(uint32_t index, uint32_t value, uint32_t old);
void mecPtyn(uint32_t index, uint32_t value, uint32_t old);
void mecAf(uint32_t index, uint32_t value, uint32_t old);
void mecRt(uint32_t index, uint32_t value, uint32_t old);
void mecEcc(uint32_t index, uint32_t value, uint32_t old);
void loadSequenceOfDataSet(uint32_t index, uint32_t value, uint32_t old);
void recountDataSetEON(uint32_t index, uint32_t value, uint32_t old);
void loadActiveSequence(uint32_t index, uint32_t value, uint32_t old);
void reloadSequenceWhenOnAir(uint32_t index, uint32_t value, uint32_t old);

// UECP slot names: slots 1..10, "" for any other slot.
const char* getUECPEncoderAddrSlotKey(uint32_t n);
const char* getUECPSiteAddrSlotKey(uint32_t n);
// The family names "UECP_Encoder_addr" and "UECP_Site_addr" (the older
// element names of slot 1), and the older names of site slots 2..4.
const char* getUECPEncoderAddrKey();
const char* getUECPSiteAddrKey();
const char* getUECPRegAddrEnaKey();
const char* getUECPRegionAddrKey();
const char* getUECPSectAddrEnaKey();
const char* getUECPSectorAddrKey();
const char* getUECPAreaAddrEnaKey();
const char* getUECPAreaAddrKey();

// The DI the internal encoder sends when UECP does not set it: always 1.
uint32_t getCustomDIFixed();
inline constexpr auto getCustomDIB = &getCustomDIFixed;

// ---- Group sequence: 16 codes, 255 ends the list ---------------------------
// Part p = 0..3: codes 4p..4p+3 as a word, the first code least significant;
// 255 for no such part. The setter stores, publishes the part's cell and,
// while the data set is on air, reloads the sequence; it does not mark.
uint32_t getRdsSequenceEntry(uint32_t d, uint32_t p);
void setRdsSequenceEntry(uint32_t d, uint32_t p, uint32_t v);
// Code i = 0..15 (255 for no such code); the setter stores a changed code,
// publishes its part's cell and marks.
uint8_t getRdsSequenceByte(uint32_t d, uint32_t i);
void setRdsSequenceByte(uint32_t d, uint32_t i, uint32_t v);
// Codes before the first one above 254 (0 for no data set).
uint32_t getRdsSequenceLength(uint32_t d);
// The 16 codes, for loadRdsGroupSequence (nullptr for no data set).
const uint8_t* getRdsSequenceRecord(uint32_t d);
// Replaces the sequence with n codes (at most 16; n 0 empties it), publishes
// the four cells, marks and reloads the sequence; nothing when unchanged.
void setRdsSequence(uint32_t d, const uint8_t* codes, uint32_t n);

// ---- Alternative sequences: group g = 0..31 (type g / 2, A for even g) ----
// Part p = 0..1 (255 for none); the setter stores and recounts, without
// publish or mark.
uint32_t getRdsAlterSeqEntry(uint32_t d, uint32_t g, uint32_t p);
void setRdsAlterSeqEntry(uint32_t d, uint32_t g, uint32_t p, uint32_t v);
uint32_t getRdsAlterSeqCount(uint32_t d, uint32_t g);        // 0 for none
const uint8_t* getRdsAlterSeqList(uint32_t d, uint32_t g);   // nullptr for none
// Replaces the codes (at most 8; none empties them) and marks; no publish.
void setRdsAlterSeqGroup(uint32_t d, uint32_t g, const uint8_t* codes, uint32_t n);
inline constexpr auto getRdsAlternateList = &getRdsAlterSeqList;
inline constexpr auto getRdsAlternateListLength = &getRdsAlterSeqCount;

// ---- Variable-code lists of group 1A: kind k = 2 or 28 ---------------------
uint32_t getRdsVarCodeSeqEntry(uint32_t d, uint32_t k, uint32_t p);
void setRdsVarCodeSeqEntry(uint32_t d, uint32_t k, uint32_t p, uint32_t v);
uint32_t getRdsVarCodeSeqCount(uint32_t d, uint32_t k);
const uint8_t* getRdsVarCodeSeqList(uint32_t d, uint32_t k);
// Keeps only the codes the kind accepts (kind 2: 0, 2, 3, 6, 7; kind 28: 0,
// 1, 2, 3, 4, 12, 13, 14), at most 16 looked at; marks; no publish.
void setRdsVarCodeSeqGroup(uint32_t d, uint32_t k, const uint8_t* codes, uint32_t n);
inline constexpr auto getRdsVarCodeSeqRecord = &getRdsVarCodeSeqList;
inline constexpr auto getRdsVariantListLength = &getRdsVarCodeSeqCount;

// ---- Labelling-code variants k = 0..7 of group 1A --------------------------
// Variants 0, 2 and 3 (one value), 6 and 7 have a value; the others give -1.
// Variant 0 gives its value's low byte and, when asked, its nibble.
int getRdsSequenceParam(uint32_t d, uint32_t k, uint8_t* nibble);
void setRdsSequenceParam(uint32_t d, uint32_t k, uint32_t v, uint32_t nibble);
// The value the XML file holds: variant 0 as nibble * 256 + low byte.
int buildRdsSequenceParamValue(uint32_t d, uint32_t k);

// Element names of the sequence keys, formatted into one shared buffer (a
// later call overwrites the name).
const char* getRdsSequenceKey(uint32_t d, uint32_t p);
const char* getRdsAlterSeqGroupKey(uint32_t d, uint32_t g, uint32_t p);
const char* getRdsVarCodeSeqGroupKey(uint32_t d, uint32_t k, uint32_t p);
const char* getRdsLabellingCodeKey(uint32_t d, uint32_t k);

// ---- RadioText files: /mnt/ubi0/conf/rds/rt_rds_<d + 1> ---------------------
constexpr size_t RDS_RADIOTEXT_CHARS = 512;  // what readRadioTextFile stores at most
constexpr size_t RDS_RADIOTEXT_FILE_MAX = 532; // what loadRadioTextFile reads at most

// How the file is written: the core file helper, registered at start-up
// (writeStringToFile's form: 0 written, -1 failed).
using RadioTextWriter = int (*)(const char* path, const char* text, const char* mode);
void registerRadioTextWriter(RadioTextWriter writer);
// Writes the text to the data set's file; data sets 0..4 then have a
// RadioText. Returns the write's result (-1 with no writer or data set).
int saveRadioTextFile(uint32_t d, const char* text);
// Reads the file whole, at most 532 bytes and capacity - 1, into buffer and
// terminates it; returns the bytes read (0 when the file cannot be read).
uint16_t loadRadioTextFile(uint32_t d, char* buffer, size_t capacity);
// The RadioText as the group-2A composer sends it: each line's first 64
// positions, a line's end and what follows it as spaces, an empty line
// nothing, at most 512 characters into buffer (RDS_RADIOTEXT_CHARS bytes);
// returns the characters stored (0 when the file cannot be read).
uint16_t readRadioTextFile(uint32_t d, char* buffer);
