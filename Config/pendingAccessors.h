// Accessors of configuration items whose key rows are not in the table yet,
// used by the apply cycle, the clipper settings, the main loop and start-up.
// Their stand-ins are in pending/; each declaration goes when its row lands.
#pragma once

#include <cstdint>

uint8_t getVendorId();
uint8_t getPsuTypeCode();
uint16_t getHpaNomDrvPow();
void setLastValidVdac(uint32_t v);
void setLastValidHpsVout(uint32_t v);
int16_t getLevelMpxOffset_dBu();
void setLevelMpx2Offset_dBu(uint32_t v);
void setMpxDigMaxDeltaClock(uint32_t v);
uint32_t getOutputRFfrequency();
int16_t getLevelMpx_dBu();
uint32_t getMatrixLMpx();
uint16_t getClipperOvershoot();

// I2C error status word: mirrors the I2C error total; publishes (13,41) on a change.
void setI2cErrorCount(uint32_t value);
uint32_t getI2cErrorCount();
// I2C error reset request: publishes (13,42) on a change.
void setI2cFaultFlag(uint8_t value);
uint8_t getI2cFaultFlag();
// HPA model code (low byte kept): publishes (17,23) on a change.
void setHpaModelCode(uint32_t value);
uint32_t getHpaModelCode();

// Status words written by the storage and time helpers.
void setNtpDateError(uint32_t v);
uint32_t getNtpDateError();
// "NTP_name_server": a text of at most 256 characters, reached by address.
char* getNTPNameServer();
// Firmware version words of the unit region: software version, release,
// build and two identity words; the reference words hold the firmware
// identity of the standby bank.
void setVersionWord1(uint32_t v);
void setVersionWord2(uint32_t v);
void setVersionWord3(uint32_t v);
void setVersionWord4(uint32_t v);
void setVersionWord5(uint32_t v);
uint32_t getVersionWord1();
uint32_t getVersionWord2();
uint32_t getVersionWord3();
uint32_t getVersionWord4();
uint32_t getVersionWord5();
void setVersionRef1(uint32_t v);
void setVersionRef2(uint32_t v);
void setVersionRef3(uint32_t v);
void setVersionRef4(uint32_t v);
void setVersionRef5(uint32_t v);
uint32_t getVersionRef1();
uint32_t getVersionRef2();
uint32_t getVersionRef3();
uint32_t getVersionRef4();
uint32_t getVersionRef5();

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
