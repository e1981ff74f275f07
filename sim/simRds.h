// The FPGA's RDS FIFO behind the RDS transfer port, and the RDS physical
// layer it puts the groups on air with (IEC 62106: 26-bit blocks, a 10-bit
// checkword of g(x) = x^10 + x^8 + x^7 + x^5 + x^4 + x^3 + 1 plus the
// block's offset word).
//
// A transfer is taken when word 4's FIFO_EN bit (17) is set, every word's
// parity and spare bits are right and the FIFO has room. The status word
// answered after it: bit 0 almost full (2 groups of room or less), bit 17
// almost empty (2 groups or fewer waiting), ORed with the rds-status knob.
// The FIFO moves on, one group on air every 87.6 ms, on the clock of the
// process that exchanges with it (simRdsAdvance); simctl only reads.
#pragma once

#include <cstdint>

struct SimRdsState;
struct SimRdsAirGroup;

enum SimRdsOffset { SIM_RDS_A, SIM_RDS_B, SIM_RDS_C, SIM_RDS_CP, SIM_RDS_D };

// One 26-bit block: the information word in bits 10-25, its checkword plus
// the offset word in bits 0-9.
uint32_t simRdsBlock(uint16_t info, SimRdsOffset offset);
// The four blocks of a group (offset C' for block 3 when block 2 bit 11 is
// set).
void simRdsGroupBlocks(const uint16_t info[4], uint32_t blocks[4]);

// Power-on: empty FIFO, empty on-air log, counters 0, the given capacity.
void simRdsPowerOn(SimRdsState& r, uint32_t capacity);
// The six words of one transfer; returns the status word.
uint32_t simRdsTransfer(const uint32_t words[6]);
// Puts on air what is due by the caller's clock.
void simRdsAdvance();
// Groups that went on air, oldest first (at most max of the newest); returns
// how many were copied.
int simRdsAirGroups(SimRdsAirGroup* out, int max);
// The FIFO's capacity in groups (1..64); -1 outside.
int simRdsSetCapacity(uint32_t groups);
// Groups waiting in the FIFO.
uint32_t simRdsFill();
