// Alarm cycle and mute decision.
#pragma once

// 250 ms alarm step: the hold-off test and the edge handlers.
void ScanAlarms();
// Every main-loop pass: folds the latched alarms and the global mute into
// the mute decision (rfMuteState, core/base/rfMute.h).
void SetAlarms();
