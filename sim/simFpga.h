// The simulated FPGA behind /dev/mem and /dev/dwlfpga.
//
// /dev/mem maps the physical range of the FPGA bridges (64 MiB from
// 0xFC000000) onto one sandbox file, shared by every process, so a word one
// process writes is the word every other process reads. The words that are
// ports of the FPGA answer through register hooks in the caller's process,
// with their state in the shared board state:
//   0xFF200004..0xFF200070  control-frame write port: 28 words make a frame;
//                           6 words followed by a status read are an RDS transfer
//   0xFF200A00              status reply: the status words after a frame (plain
//                           window words the tests and simctl set), the RDS
//                           status word after an RDS transfer (the RDS FIFO
//                           of sim/simRds.h)
// Every complete frame is checked (parity bits 21-23 of the three 6-bit
// groups, bits 18-20 and 24-31 zero; bad frames are counted), kept in a ring
// of the last frames with their time stamps, and moves the audio-PLL lock
// script on (bit 2 of status word 0).
//   0xFF20007C / 0xFF200080 front-panel key matrix: column drive / rows of the
//                           keys held in the driven column
//   0xFF200B00..0xFF200B44  GbE block: plain words, the last writes logged
//   0xFF200B80..0xFF200B98  audio-processor windows 18 to 24: every write
//                           logged with its time stamp; the meter windows
//                           21 to 23 read as plain words
//   0xFF200BA0 / 0xFF200BA4 identity loader: a rising strobe (bit 3 of the index
//                           word) latches the data word into slot index & 7
// Word accesses to that page off a word boundary (a bus fault on the board)
// are counted in the board state.
// /dev/dwlfpga maps a 4096-byte shared register window and records the bank
// its ioctl selects. Its MDIO words 0x800..0x818 answer through hooks: a
// command word runs its transaction at once against the switch of that
// channel (sim/simSwitch.h), setting busy, acknowledge and read data; the
// switch device's busy knob holds the channel busy (1), or makes it go busy
// at its next command and stay so (2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IoDevice;
struct SimProfile;
struct SimFrameRecord;
struct SimApWrite;

constexpr uint64_t kSimFpgaPhysBase = 0xFC000000ull;
constexpr size_t kSimFpgaWindowSize = 0x4000000;
constexpr size_t kSimDwlFpgaSize = 4096;
constexpr unsigned long kSimDwlFpgaSelectBank = 0x6408;

IoDevice* simMemDevice();
IoDevice* simDwlFpgaDevice();

// Power-on: clears the window and the port state and writes the profile's
// window words. Returns 0 or -1.
int simFpgaPowerOn(const SimProfile& profile);

// The FPGA side of the window (tools and tests): plain word access by
// physical address, no port behaviour. Return 0, or -1 outside the window.
int simFpgaRead(uint64_t phys, uint32_t* value);
int simFpgaWrite(uint64_t phys, uint32_t value);

// Key matrix: the key code as the scan reports it (row bits << 8 | column
// bits, one-hot) to its bit in the pressed-keys mask; 0 for no key.
uint32_t simFpgaKeyBit(uint16_t code);
void simFpgaSetKeys(uint32_t mask);

// Audio-PLL lock script (SimPllScript); SIM_PLL_AFTER locks on the after-th
// frame from now.
void simFpgaSetPllScript(uint32_t script, uint32_t after);
// "locked", "never", "window" or "after <N>" to a script; 0 or -1.
int simParsePllScript(const std::string& text, uint32_t* script, uint32_t* after);
// Reference inputs: "10mhz=on|off pps=on|off sine=on|off" (any of them, in
// any order) applied to the kSimRef* bits of *missing, which starts as
// `current`; 0 or -1.
int simParseRefs(const std::string& text, uint32_t current, uint32_t* missing);
// From now on every frame sets the absence bits of the status words (word 0
// bit 7 the 10 MHz, bit 6 the 1PPS, bit 22 the 19 kHz sine) from missing.
void simFpgaSetRefs(uint32_t missing);
// "<count>", "fail" or "never" to a SimDelayMode and count; 0 or -1.
int simParseDelayMode(const std::string& text, uint32_t* mode, uint32_t* count);
// The input-delay measurement unit: a frame whose start bit (word 19 bit 14)
// is set while the unit is idle starts a measurement, busy (status word 0 bit
// 19) for kSimDelayBusyFrames frames; then busy clears and, with a count, done
// (bit 20) is set and the count stands in status word 7 until the next start.
void simFpgaSetDelayMode(uint32_t mode, uint32_t count);
constexpr uint32_t kSimDelayBusyFrames = 3;
// The last frames of the ring, oldest first; returns how many were copied.
int simFpgaRing(SimFrameRecord* out, int max);
// Writes to the audio-processor windows: the count so far, and the logged
// writes from number `after` on (at most max, oldest first; the log keeps
// the last kSimApLogSize); returns how many were copied.
uint32_t simFpgaApWrites();
int simFpgaApLog(uint32_t after, SimApWrite* out, int max);
