// Stand-ins: configuration data and its apply and save cycle.
#include "pending/pending.h"

// No amplifier is detected: no family code, so no control loop runs.
uint8_t getAmpFamily() { return 0xFF; }
uint8_t getHpaDetected() { return 0; }
uint8_t getHpaDisabled() { return 0; }
void setApCmpLogTh(uint8_t, int32_t) {}
void setApCmpLinRt(uint8_t, int32_t) {}
void setApCmpLogKw(uint8_t, int32_t) {}
void setApCmpMinGainDec(uint8_t, int32_t) {}
void setApGainLogRef(uint8_t, int32_t) {}
void setApSmoothingNRelease(uint8_t, int32_t) {}
void setApSmoothingNAttack(uint8_t, int32_t) {}
void setApOn(uint8_t) {}
void setApEqOn(uint8_t) {}
void setApCmpOn(uint8_t) {}
