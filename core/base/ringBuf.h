// Byte ring buffer over storage its user owns. One byte always stays free,
// so a ring of `size` bytes holds at most size - 1. Not locked: one writer
// and one reader that do not run at the same time, or the user's own lock.
#pragma once

#include <cstdint>

struct RingBuf {
    uint8_t* data;
    uint32_t head;       // next byte to write
    uint32_t tail;       // next byte to read
    uint32_t size;
    uint32_t readCount;  // bytes read since initialisation
    uint32_t writeCount; // bytes written since initialisation
};

void RingBuf_Init(RingBuf* rb, uint8_t* storage, uint32_t size);
uint32_t RingBuf_Write(RingBuf* rb, const uint8_t* src, uint32_t n);
uint32_t RingBuf_Read(RingBuf* rb, uint8_t* dst, uint32_t n);
// Bytes held, from the running counts; 0 when the counts are inconsistent.
uint32_t RingBuf_Used(const RingBuf* rb);
// size - used, from the running counts (size on an empty ring); 0 when the
// counts are inconsistent.
uint32_t RingBuf_Free(const RingBuf* rb);
int RingBuf_HasMoreThan(const RingBuf* rb, uint32_t n);
uint32_t RingBuf_Head(const RingBuf* rb);
uint32_t RingBuf_Tail(const RingBuf* rb);
