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
//                           status word after an RDS transfer
// Every complete frame is checked (parity bits 21-23 of the three 6-bit
// groups, bits 18-20 and 24-31 zero; bad frames are counted), kept in a ring
// of the last frames with their time stamps, and moves the audio-PLL lock
// script on (bit 2 of status word 0).
//   0xFF20007C / 0xFF200080 front-panel key matrix: column drive / rows of the
//                           keys held in the driven column
//   0xFF200B00..0xFF200B44  GbE block: plain words, the last writes logged
//   0xFF200BA0 / 0xFF200BA4 identity loader: a rising strobe (bit 3 of the index
//                           word) latches the data word into slot index & 7
// Word accesses to that page off a word boundary (a bus fault on the board)
// are counted in the board state.
// /dev/dwlfpga maps a 4096-byte shared register window and records the bank
// its ioctl selects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IoDevice;
struct SimProfile;
struct SimFrameRecord;

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
// The last frames of the ring, oldest first; returns how many were copied.
int simFpgaRing(SimFrameRecord* out, int max);
