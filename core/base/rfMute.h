// The two mute bytes of the RF output. They are written and read on every
// layer: start-up and the main loop hold the boot mute, a change of the
// output frequency holds it until the new frequency is set, the alarm cycle
// folds it into its decision, and the control-frame step sends that decision
// to the FPGA.
#pragma once

#include <atomic>
#include <cstdint>

// 1 holds the RF output muted whatever the alarms say.
extern std::atomic<uint8_t> globalMute;

// The mute decision (1 = muted) that SetAlarms writes on every main-loop pass
// and the control-frame step hands to the frame builder.
extern std::atomic<uint8_t> rfMuteState;
