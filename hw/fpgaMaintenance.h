// FPGA identity, resets and maintenance: sequences that change one frame
// item and send the whole control frame, and the FSK identification schedule.
#pragma once

// Reset pulse: flag 1, frame, 5 ms, flag 0, frame.
int Fpga_ResetPulse();
int Fpga_SendConfig();        // frame (1, 0)
// Raises control bit C and sends the frame; lowers it again unless the DAC
// level mode is set (then returns that mode).
int Fpga_PulseControlC();
// 500 ms frame step, after the status decode: sends the FSK identification
// when it is due. Returns the last trigger result or the value it tested.
int checkFskSignSchedule();
