// System image accessors used by the core services.
#pragma once

#include <cstdint>

// "frequency_deviation" (kHz).
uint8_t getFrequencyDeviation();
void setFrequencyDeviation(uint8_t v);

// Status words written by the child-process and storage helpers.
void setMdevProcState(uint32_t v);
uint32_t getMdevProcState();
void setNtpDateError(uint32_t v);
uint32_t getNtpDateError();
void setUsbKeyMounted(uint32_t v);

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
