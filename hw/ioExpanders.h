// I/O expanders of I2C bus 1: the three register primitives, the expander
// map, the access the FPGA register mailbox gets to four of them, and the
// board initialisation with board detection.
#pragma once

#include <cstdint>

// Expander addresses (I2C bus 1).
constexpr uint8_t EXP_PCA9654_BPF = 0x15;
constexpr uint8_t EXP_PCA9655_IC45 = 0x20;
constexpr uint8_t EXP_PCA9655_IC83 = 0x21;
constexpr uint8_t EXP_PCA9655_IC84 = 0x22;
constexpr uint8_t EXP_AMP_0x23 = 0x23;
constexpr uint8_t EXP_CAT9534_HPA = 0x24;
constexpr uint8_t EXP_PCA9654_ALM = 0x25;
constexpr uint8_t EXP_PCA9655_IC85 = 0x26;
constexpr uint8_t EXP_CAT9534_IC4_BP = 0x27;
constexpr uint8_t EXP_PCA9655_IC5 = 0x2D;
constexpr uint8_t EXP_DOWNCONV = 0x2E;

// PCA9655 registers: inputs, outputs, polarity inversion, configuration
// (1 = input), port 0 then port 1. CAT9534 / PCA9654: one of each.
enum : uint8_t {
    PCA9655_IN0 = 0, PCA9655_IN1, PCA9655_OUT0, PCA9655_OUT1,
    PCA9655_POL0, PCA9655_POL1, PCA9655_CFG0, PCA9655_CFG1,
};
enum : uint8_t { CAT9534_IN = 0, CAT9534_OUT, CAT9534_POL, CAT9534_CFG };

// Writes [reg, value] to the expander. 0, -1 on a failed write, or the
// negative connect result.
int ioExpWrite(uint8_t value, uint8_t reg, uint8_t address);
// Writes [reg], then reads one byte, as two transfers (the read is made even
// after a failed write). 0, -1 when either failed, or the negative connect
// result; the value is untouched when the read failed.
int ioExpRead(uint8_t* value, uint8_t reg, uint8_t address);
// One I2C_RDWR transaction: [reg] written, one byte read after a repeated
// start. The request's result (2) or a negative one, or the negative connect
// result; the value is untouched on failure.
int pca9655Read(uint8_t* value, uint8_t reg, uint8_t address);

// The same three for a read-modify-write that holds the bus-1 lock across
// its steps (i2cBusLock(1, address) ... i2cBusUnlock(1, address)).
int ioExpWriteHeld(uint8_t value, uint8_t reg, uint8_t address);
int ioExpReadHeld(uint8_t* value, uint8_t reg, uint8_t address);
int pca9655ReadHeld(uint8_t* value, uint8_t reg, uint8_t address);

// Mailbox device id to expander address: 3 -> 0x20, 4 -> 0x21, 5 -> 0x22,
// 6 -> 0x26, any other -> 0.
uint8_t ioExpMailboxAddress(uint8_t deviceId);
// Writes the low byte of *value to register *reg of the mapped expander.
// 0, or -1 with its line (also for a device id that maps to no expander).
int ioExpMailboxWrite(const uint32_t* reg, const uint32_t* value, uint8_t deviceId);
// Reads register *reg into *value (untouched on failure). 0 or -1.
int ioExpMailboxRead(const uint32_t* reg, uint32_t* value, uint8_t deviceId);
// Register/value pairs of registers 0-7 (PCA9655) or 0-3 (CAT9534) into
// pairs; a register that cannot be read reports 0. Sets *count, returns 0.
int ioExpDumpPca9655(uint32_t* pairs, uint32_t* count, uint8_t deviceId);
int ioExpDumpCat9534(uint32_t* pairs, uint32_t* count, uint8_t deviceId);

// Board initialisation, once at start-up: direction and polarity of every
// expander, detection of the board variant and its options, and the
// amplifier interface expanders by the hardware codes. Returns 0.
int initIoExpanders();
