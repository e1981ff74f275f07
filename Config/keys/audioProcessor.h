// Hand-written operations of the audio-processor region (rows:
// audioProcessor.def): the setters of the working sets' keys, the loads and
// saves of the stored sets, their names and the economy settings. Included
// by audioProcessorKeys.h.
#pragma once

#include <cstdint>

// Each value setter stores a changed value and publishes it, hands a copy of
// the whole block to the loaders of its key, in the order given, and marks
// the audio-processor group. Band setters take the band (i & 255); a band
// beyond the family (5 and above for the compressor, 7 and above for the
// equalizer) is refused.

// Compressor loader.
void setApCmpLogTh(uint32_t i, uint32_t v);
void setApCmpLogKw(uint32_t i, uint32_t v); // keeps the low 16 bits
void setApCmpLinRt(uint32_t i, uint32_t v);
void setApCmpMinGainDec(uint32_t i, uint32_t v); // keeps the low byte
// Time-constant loader.
void setApSmoothingNAttack(uint32_t i, uint32_t v);
void setApSmoothingNRelease(uint32_t i, uint32_t v);
// Limiter loader.
void setApGainLogRef(uint32_t i, uint32_t v);

// "ap_on": the common-stage loader.
void setApOn(uint32_t v);
// "ap_eq_on": the common-stage loader, then the equalizer loader.
void setApEqOn(uint32_t v);
// "ap_cmp_on": the compressor loader, then the common-stage loader.
void setApCmpOn(uint32_t v);
// Common-stage loader.
void setApLimGainSel(uint32_t v);
void setApLimPostCpr(uint32_t v);
void setApEqPostCpr(uint32_t v);
void setApLimLev(uint32_t v);

// Equalizer loader. Band 6 is stored and pushed but has no cells of its own.
void setApEqGain(uint32_t v); // the low 16 bits, as a signed value
void setApEqFreqC(uint32_t i, uint32_t v);
void setApEqBandGain(uint32_t i, uint32_t v);
void setApEqQFactor(uint32_t i, uint32_t v);
void setApEqLlShelving(uint32_t v);
void setApEqHShelving(uint32_t v);

// Modified items: store, publish and mark only.
void setApCommonModified(uint32_t v);
void setApEqModified(uint32_t v);
void setApCmpModified(uint32_t v);

// Loads stored set n (0..12) into the working set and pushes it; nothing
// happens when n is loaded and not modified. A larger n is stored as the
// load item and the working set is published and pushed as it is.
void setApCmpLoad(uint32_t n);
void setApEqLoad(uint32_t n);
// Loads stored common set n (0..8): first the equalizer and compressor sets
// it names, then its switches; the modified items of the equalizer and
// compressor are kept. For a larger n nothing is read or copied, but the
// load and modified items are set and the switches pushed.
void setApCommonLoad(uint32_t n);

// Saves the working set as stored set n: the save-set number is stored and
// published, the set copied (names excepted, they have their accessors), the
// load item set to n and the modified item to 0. Beyond the stored sets only
// the save-set number is stored.
void saveApCmpSet(uint32_t n);
void saveApEqSet(uint32_t n);
void saveApCommonSet(uint32_t n);

// Name word k = i & 3 of stored set n = (i & 255) >> 2: a changed word is
// stored, published to cell i + 1 of the kind's section, copied most
// significant byte first into the set's byte-order name, and marked. Sets
// beyond the stored ones are ignored (getters give 0).
void setApCommonName(uint32_t i, uint32_t w);
void setApEqName(uint32_t i, uint32_t w);
void setApCmpName(uint32_t i, uint32_t w);
uint32_t getApCommonName(uint32_t i);
uint32_t getApEqName(uint32_t i);
uint32_t getApCmpName(uint32_t i);

// Economy mode. "ap_econ_on" is forced to 0 (pushed, not published or
// marked) while the functional type is 10.
void setApEconOn(uint32_t v);
void setApEconReference(uint32_t v);
void setApEconRatio(uint32_t v);
// Economy settings 0 and pushed; prints a trace line.
void set_ap_econ_default();

// Hook of the keyless bytes the common stage reads.
void apPushCommonStage(uint32_t index, uint32_t value, uint32_t old);
