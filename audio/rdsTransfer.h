// RDS block transfer to the FPGA: the blocks queue of one composing run, the
// software output FIFO of whole groups, and the six-word exchange with the
// FPGA's RDS block interface.
#pragma once

#include <cstdint>

// Blocks one composing run holds: 19 groups.
constexpr uint16_t RDS_QUEUE_BLOCKS = 76;
// Storage of the output FIFO; one byte stays free, so it holds 59 groups.
constexpr uint32_t RDS_FIFO_BYTES = 480;
// Most groups one RDS_Comm call sends.
constexpr int RDS_COMM_PASSES = 10;

// Appends one group (four blocks) to the queue: 0, -2 when all four blocks
// are 0 (nothing appended), -1 when the queue is full (logged).
int addGroupToBlocksQueue(uint16_t* queue, uint16_t* count, uint16_t block1, uint16_t block2, uint16_t block3,
                          uint16_t block4);

// Writes the queued blocks into the output FIFO, each low byte first, when
// 2 * blocks + 1 bytes are free; otherwise nothing. Returns the bytes written.
int writeRdsFifo(const uint16_t* queue, uint16_t blocks);
// Empties the output FIFO.
void initRdsFifo();
// Bytes held by the output FIFO.
uint32_t getRdsFifoUsed();

// Takes the next group out of the FIFO as the current group, unless the
// FPGA's FIFO was almost full: 0, or 1 when fewer than 8 bytes were there
// (the current group stays and is sent again).
int RDS_ManageBlocksQueue();
// Fills the six words from the current group, the internal RDS level code,
// the mute state and FIFO_EN.
void buildRdsFpgaWords(uint8_t muted);
// The six words of the last build.
const uint32_t* getRdsFpgaWords();
// Adds the parity bits (21..23 over bits 0-5, 6-11, 12-17), writes the words
// to the FPGA and reads its status word under SemAxiFpga, 5 us apart; a lock
// not taken exchanges nothing and reads status 0. Status bytes: 0 = bits
// 16-23, 1 = bits 8-15, 2 = bits 0-7.
void transferRdsFpgaWords(uint32_t frame[6], uint8_t status[3]);
// The four FIFO flags from the status bytes of the last transfer.
void updateRdsFifoStatus();
// Up to ten groups to the FPGA, stopping when its FIFO is almost full;
// returns the almost-full flag (0 with the encoder off).
int RDS_Comm();

// The same with the 5 us exchange wait left out (benchmarks).
void setRdsExchangeWait(bool wait);
