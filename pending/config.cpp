// Stand-ins for configuration accessors whose key rows are not built yet:
// no amplifier is detected (no family code, so no control loop runs), and
// the audio-processor setters store nothing.
#include "Config/pendingAccessors.h"

uint8_t getAmpFamily() { return 0xFF; }
uint8_t getHpaDetected() { return 0; }
uint8_t getHpaDisabled() { return 0; }
void setApCmpLogTh(uint32_t, uint32_t) {}
void setApCmpLinRt(uint32_t, uint32_t) {}
void setApCmpLogKw(uint32_t, uint32_t) {}
void setApCmpMinGainDec(uint32_t, uint32_t) {}
void setApGainLogRef(uint32_t, uint32_t) {}
void setApSmoothingNRelease(uint32_t, uint32_t) {}
void setApSmoothingNAttack(uint32_t, uint32_t) {}
void setApOn(uint32_t) {}
void setApEqOn(uint32_t) {}
void setApCmpOn(uint32_t) {}
