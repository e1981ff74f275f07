// Ethernet switch port model and standard configuration.
#pragma once

#include <cstdint>

// Programs the switch: 0 on success, non-zero on failure.
int setStandardConfiguration(uint32_t mode, uint32_t unitWord, uint32_t switchSetting, uint32_t cpuVlanId,
                             uint32_t gbeAVlanId, uint32_t gbeAVlanId2);
