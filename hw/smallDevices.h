// Small devices of the controller board and backplane on I2C bus 1: the
// LTC2451 ADC of the second amplifier family, the amplifier-command and
// telesignal-configuration bits, the telecommand status inputs, the front
// LEDs, the RTC square-wave output and register images, and the MAX31725
// board temperature sensor.
#pragma once

#include <cstdint>

constexpr uint8_t LTC2451_ADDRESS = 0x14;
constexpr uint8_t MAX31725_ADDRESS = 0x48;

// One conversion: first byte * 256 + second. 0, or -1 (the code untouched),
// or the negative connect result.
int LTC2451_Read(uint16_t* code);
int LTC2451_Write(uint8_t value);
// 1 (with an INFO line) when a conversion could be read, else 0.
int Hpa_DetectLtc2451();

// Bit requests: on 1 sets the mask bits of the request, anything else clears
// them. An unchanged request since the last successful write returns the
// mask without bus access; otherwise the expander's result.
// Amplifier command: bits 3-5 of output port 1 of PCA9655_IC45.
int setAmpCmdBits(uint8_t mask, int on);
// Telesignal configuration: bits 0-2 of output port 1 of PCA9655_IC45.
int setTlsCfgBits(uint8_t mask, int on);
// Backplane telesignal configuration: output port 1 of PCA9655_IC5_BP.
int setTlsCfgBpBits(uint8_t mask, int on);
// The amplifier command bits under their other name.
int setAmplifierCommandBits(uint8_t mask, int on);

// Telecommand status, 10 bits: input port 0 of PCA9655_IC45 and bits 0-1 of
// input port 1 of PCA9655_IC85, read at most every 100 ms.
uint16_t getTlcStatusBits();
// Extended telecommand status (input port 0 of PCA9655_IC5_BP), read at most
// every 100 ms while the TlcTlsExtended item is 1 and the board was found;
// else 0 without bus access.
uint8_t getTlcExtStatusBits();

// LED word (low byte: LED on configuration, high byte: blink configuration):
// on 1 clears the mask bits, anything else sets them. An unchanged word since
// the last successful write returns the mask; otherwise the result of the
// blink-configuration write.
int setLedBits(uint16_t mask, int on);

// Writes "1" to the RTC driver's square-wave attribute.
void setRtcSqwFreq();

// Board temperature in whole degrees Celsius (sign and magnitude, truncated
// towards zero). 0, or a negative result with *t untouched.
int MAX31725_Read(int32_t* t);
// Writes 0x00 to the configuration register. 0 or a negative result.
int MAX31725_Configure();

// RTC (M41T94) register images. The register block read and single-register
// write reach no device in this system: a read leaves the zeroed buffer, a
// write does nothing.
struct RtcTime {
    uint8_t seconds, minutes, hours, weekday, date, month, year;
};
struct RtcFlags {
    uint8_t stop;       // register 1 bit 7
    uint8_t reg4Bit7;   // register 4 bit 7
    uint8_t watchdog;   // register 15 bit 7
    uint8_t alarm;      // register 15 bit 6
    uint8_t batteryLow; // register 15 bit 4
    uint8_t halt;       // register 12 bit 6
};
int Rtc_GetTime(RtcTime* t);
int Rtc_SetTime(const RtcTime* t, int stop, int flag4);
int Rtc_SetCalibration(int value, int flag6, int flag7);
int Rtc_SetWatchdog(int flag, int multiplier, int resolution);
int Rtc_SetAlarm(const RtcTime* t, int flag7, int flag5, int repeatMode);
int Rtc_ReadFlags(RtcFlags* f);
// Each bit changes only with its enable: register 1 bit 7, register 4 bit 7,
// register 12 bit 6.
int Rtc_SetControlBits(int setReg1Bit7, int reg1Bit7, int setReg4Bit7, int reg4Bit7, int setReg12Bit6,
                       int reg12Bit6);
int Rtc_SetSquareWave(int rate, int enable);
// The register images of the last writes (tests): register r of the block.
uint8_t rtcLastImage(uint8_t reg);
