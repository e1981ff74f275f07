// Hand-written operations of the factory region (rows: factory.def).
// Included by factoryKeys.h.
#pragma once

#include <cstdint>

// Hooks: the audio-DAC words drive their expander output on every call.
void driveAudioDacReset(uint32_t index, uint32_t value, uint32_t old);
void driveAudioDacMode(uint32_t index, uint32_t value, uint32_t old);

// "force_dac_level": a non-zero apply flag pulses the FPGA's control bit C
// after the publish (hardware ready only).
void setForceDacLevel(uint32_t v, uint32_t apply);

// DAC, NCO and PLL settings of the RF DAC and its clock synthesizer ("PllMode",
// "LtcChargePump", "QmDeltaNum", "NcoNbitSel", "ClkN_CML", "ClkP_CML",
// "NSign", "PSign"); until they are rows of this region they stand in
// pending/Config/keys/factory.cpp with the accessors their rows will make.
uint8_t getPllMode();
void setPllMode(uint32_t v);
uint8_t getLtcChargePump();
void setLtcChargePump(uint32_t v);
uint8_t getQmDeltaNum();
void setQmDeltaNum(uint32_t v);
uint8_t getNcoNbitSel();
void setNcoNbitSel(uint32_t v);
uint8_t getClkNCml();
void setClkNCml(uint32_t v);
uint8_t getClkPCml();
void setClkPCml(uint32_t v);
uint8_t getNSign();
void setNSign(uint32_t v);
uint8_t getPSign();
void setPSign(uint32_t v);
