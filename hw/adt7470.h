// ADT7470 fan controller on I2C bus 1 (address 0x2F): register access,
// detection, the two set-ups chosen by the hardware codes, and the PWM,
// tachometer and temperature conversions.
#pragma once

#include <cstdint>

constexpr uint8_t ADT7470_ADDRESS = 0x2F;

// 0, or -1 when the transfer fails or the bus cannot be opened.
int adt7470WriteReg(uint8_t reg, uint8_t value);
int adt7470ReadReg(uint8_t reg, uint8_t* out);
// 1 (with an INFO line) when the identification register reads 0x70, else 0.
int adt7470Detect();
// Automatic fan control off, PWM output 0 at 0x40.
int adt7470ConfigDefault();
// Automatic fan control by the HPS code and the Select_Write bit 0x100000.
int adt7470ConfigAuto();
// The set-up of the unit's hardware codes: default for PSU type 0,
// automatic for PSU type 1 with HPA model 3, otherwise nothing (0).
int adt7470Configure();
// Fan 0, 1, 2: 5,400,000 / tachometer count; 0 for a count of 0, a failed
// read or another fan number.
uint32_t adt7470ReadFanRpm(int fan);
int adt7470SetPwmPercent(uint8_t percent);
int adt7470GetPwmPercent(int n, uint8_t* out);
// Temperature n (0, 1, 2) in signed degrees; 0 when the read fails.
int8_t adt7470ReadTemp(int n);
uint8_t adt7470PercentToPwm(uint8_t p);
uint8_t adt7470PwmToPercent(uint8_t v);
