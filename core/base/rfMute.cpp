// The two mute bytes of the RF output.
#include "core/base/rfMute.h"

std::atomic<uint8_t> globalMute{0};
std::atomic<uint8_t> rfMuteState{1};
