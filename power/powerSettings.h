// Power settings of the RF power chain.
#pragma once

#include <cstdint>

void setPwrDeratingEnable(uint32_t flag);
