// Board build of the register-window seam: plain volatile word accesses.
#include "platform/regs.h"

uint32_t read32(const volatile void* addr) { return *static_cast<const volatile uint32_t*>(addr); }
void write32(volatile void* addr, uint32_t value) { *static_cast<volatile uint32_t*>(addr) = value; }
