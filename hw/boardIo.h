// Board I/O functions: single board signals on the I/O expanders
// (terminations, selectors, UART line modes, the audio DAC's lines, LEDs, the
// backplane output matrix, alarm pulses towards the amplifiers) and the
// power and battery inputs. Each returns 0 on success and a negative value on
// failure, after its ERR line. A read-modify-write reads the output register
// back from the device and holds the bus-1 lock across its read and write,
// so two writers of one register lose no change.
#pragma once

#include <cstdint>

// Bit setters (set when the argument is non-zero unless said otherwise).
int setAesEbuRdsSel(int32_t on);
int setAudioLeftTerm(int32_t on);
int setAudioRightTerm(int32_t on);
int setAudioRdsTerm(int32_t on);
int setAudioCanTerm(int32_t on);
int setTsAesEbuSel(int32_t on);
int setUart1SelHw(int32_t sel);
int setPpsTerm(int32_t on);
int setDuplexModeUart0(int32_t half);
int setDuplexModeUart2(int32_t half);
// Clears the master-mode bit for a slave, sets it otherwise.
int setMasterModeUart0(int32_t slave);
int setDacAudioNotReset(uint8_t on);
int setDacAudioMode(uint32_t on);
// Sets the configuration bit of the output matrix for 1, clears it otherwise.
int configOutputMatrixHw(int32_t cfg);
// Replaces the three matrix bits by mtx & 7.
int writeOutputMatrixHw(int32_t mtx);
// The MPX digital termination: on the backplane expander, or on PCA9655_IC85
// when the board has the integrated MPXoAES3 hardware.
int setMpxDigTerm(int32_t on);

// Whole-register writes of the LED expander: LED on bits, LED blink bits.
int applyLedCfg(uint32_t cfg);
int applyLedBlinkCfg(uint32_t cfg);

// Alarm output pulses towards the amplifiers.
int setHpaAlarmOutAlm();
int setHpaAlarmOutHpa5();
int setHpaAlarmOutHpa();
int setHpaAlarmOutHpaDelayed();

// Input port 1 of PCA9655_IC85: 0, or -1 with *out untouched.
int readPrimPwrPres(uint8_t* out);       // bit 3
int readBattChgStat(uint8_t* out);       // bit 2
int readBatteryCircuitStatus(uint8_t* out); // bits 2 and 3 in place
