// FPGA identity, resets and maintenance: sequences that change one frame
// item and send the whole control frame, the version report, the FSK
// identification schedule and its Morse encoder, and the bank lookup.
#pragma once

#include <cstdint>

// Frame sequences. Each step sets one item and sends the frame with a fixed
// (mute, modulation-off) pair; they return the last transfer's result unless
// said otherwise.
int Fpga_ResetAudioDac();
int Fpga_PulseAudioPllReset();
int Fpga_PulseControlB();
// Raises control bit C and sends the frame; lowers it again unless the DAC
// level mode is set (then returns that mode).
int Fpga_PulseControlC();
// Reset pulse: flag 1, frame, 5 ms, flag 0, frame.
int Fpga_ResetPulse();
// FSK signature trigger; returns the busy flag when a signature is running.
int Fpga_TriggerFskSign();
int Fpga_SendConfig();        // frame (1, 0)
int Fpga_SendConfigOff();     // frame (0, 0)
int Fpga_SendConfigCurrent(); // frame (rfMuteState, 0)
int Fpga_SendConfigMutedB();  // frame (1, 0)
int MuteResetOn();
int MuteResetOff();

// Sends frames until the audio PLL reports its lock: 0, or 1 once more than
// 5 whole seconds have passed. withPulses adds the sync and reset pulses
// after the lock.
int Fpga_WaitAudioPllLock(uint8_t withPulses);

// "FM ver. 1.2.3 [HwType E3]" from a version word (text of 64 bytes).
void fpgaVersionText(uint32_t word, char* text, int size);
// The version line to the book log and standard output; stores the version.
// Returns 0.
int Fpga_PrintVersion();
// The version word's fields as book DEBUG lines.
void printSystemInformation();

// 500 ms frame step, after the status decode: sends the FSK identification
// when it is due. Returns the last trigger result or the value it tested.
int checkFskSignSchedule();
// Pulses the FPGA reset bit of the control frame (set, send, 5 ms, clear,
// send); returns the result of the last send.
int Fpga_ResetPulse();
// Seconds of a signature period index; 0 outside the table.
uint32_t fskSignPeriodSeconds(uint32_t index);

// Encodes 6 identity characters into the 5-word Morse stream (160 slots,
// bit 0 of word 0 first); the caller clears the words first.
void Fpga_EncodeRegion25Words(const char* chars, uint32_t* words);
// Writes the 5 words to the identity loader of region 25.
int Fpga_LoadRegion25(const uint32_t* words);

// Reads the standard code of the three FPGA banks of the active firmware
// bank; returns the last bank holding the FM design, 1 when none does, 0 for
// an active bank other than 0 and 1.
int Fpga_LocateFmDesign();
// Name of an FPGA standard code, copied into text (at least 16 bytes).
const char* fpgaStandardName(uint8_t code, char* text);

// Request handlers of the marker files /dev/shm/rst_audio_proc and
// /dev/shm/rst_audio_pll.
int Fpga_ResetAudioProcessor();
int Fpga_ResetAudioPll();
