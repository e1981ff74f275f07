// FPGA identity, resets and maintenance: sequences that change one frame
// item and send the whole control frame, and the FSK identification schedule.
#pragma once

#include <cstdint>

// Frame sequences. Each step sets one item and sends the frame with a fixed
// (mute, modulation-off) pair; they return the last transfer's result unless
// said otherwise.
int Fpga_PulseAudioPllReset();
// Raises control bit C and sends the frame; lowers it again unless the DAC
// level mode is set (then returns that mode).
int Fpga_PulseControlC();
int Fpga_SendConfig();        // frame (1, 0)
int Fpga_SendConfigOff();     // frame (0, 0)
int MuteResetOn();

// Sends frames until the audio PLL reports its lock: 0, or 1 once more than
// 5 whole seconds have passed. withPulses adds the sync and reset pulses
// after the lock.
int Fpga_WaitAudioPllLock(uint8_t withPulses);
// 500 ms frame step, after the status decode: sends the FSK identification
// when it is due. Returns the last trigger result or the value it tested.
int checkFskSignSchedule();
