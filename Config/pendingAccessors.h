// Accessors of configuration items whose key rows are not in the table yet.
#pragma once

#include <cstdint>

// Amplifier family code, HPA detected and HPA disabled flags.
uint8_t getAmpFamily();
uint8_t getHpaDetected();
uint8_t getHpaDisabled();
// Audio-processor keys: per band (index) and the three stage switches.
void setApCmpLogTh(uint32_t i, uint32_t v);
void setApCmpLinRt(uint32_t i, uint32_t v);
void setApCmpLogKw(uint32_t i, uint32_t v);
void setApCmpMinGainDec(uint32_t i, uint32_t v);
void setApGainLogRef(uint32_t i, uint32_t v);
void setApSmoothingNRelease(uint32_t i, uint32_t v);
void setApSmoothingNAttack(uint32_t i, uint32_t v);
void setApOn(uint32_t v);
void setApEqOn(uint32_t v);
void setApCmpOn(uint32_t v);
