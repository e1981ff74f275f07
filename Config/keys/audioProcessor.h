// Hand-written operations of the audio-processor region (rows:
// audioProcessor.def): the setters of the working sets' keys. Included by
// audioProcessorKeys.h.
#pragma once

#include <cstdint>

// Each setter stores a changed value and publishes it, hands a copy of the
// whole block to the loaders of its key, in the order given, and marks the
// audio-processor group. Band setters take the band (i & 255; 0..4, any other
// band is refused).

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
