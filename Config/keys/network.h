// Hand-written operations of the network region (rows: network.def).
// Included by networkKeys.h.
#pragma once

#include <cstdint>

// Hooks: the gateway setters keep the gateway they replace.
void keepFrontOldGateway(uint32_t index, uint32_t value, uint32_t old);
void keepRearOldGateway(uint32_t index, uint32_t value, uint32_t old);
