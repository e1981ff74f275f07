// Byte ring buffer.
#include "core/base/ringBuf.h"

#include <cstring>

namespace {

// Held bytes by the running counts, or -1 when they make no sense (more
// held than the ring can take, or more read than written).
int64_t heldBytes(const RingBuf* rb)
{
    int32_t held = static_cast<int32_t>(rb->writeCount - rb->readCount);
    if (held < 0 || static_cast<uint32_t>(held) > rb->size)
        return -1;
    return held;
}

} // namespace

void RingBuf_Init(RingBuf* rb, uint8_t* storage, uint32_t size)
{
    rb->data = storage;
    rb->head = 0;
    rb->tail = 0;
    rb->size = size;
    rb->readCount = 0;
    rb->writeCount = 0;
    if (storage && size)
        memset(storage, 0, size);
}

uint32_t RingBuf_Write(RingBuf* rb, const uint8_t* src, uint32_t n)
{
    uint32_t stored = 0;
    while (stored < n) {
        uint32_t next = rb->head + 1;
        if (next == rb->tail || (next == rb->size && rb->tail == 0))
            break;
        rb->data[rb->head] = src[stored++];
        rb->head = next == rb->size ? 0 : next;
        rb->writeCount++;
    }
    return stored;
}

uint32_t RingBuf_Read(RingBuf* rb, uint8_t* dst, uint32_t n)
{
    uint32_t copied = 0;
    while (copied < n && rb->tail != rb->head) {
        dst[copied++] = rb->data[rb->tail];
        rb->tail = rb->tail + 1 == rb->size ? 0 : rb->tail + 1;
        rb->readCount++;
    }
    return copied;
}

uint32_t RingBuf_Used(const RingBuf* rb)
{
    int64_t held = heldBytes(rb);
    return held < 0 ? 0 : static_cast<uint32_t>(held);
}

uint32_t RingBuf_Free(const RingBuf* rb)
{
    int64_t held = heldBytes(rb);
    return held < 0 ? 0 : rb->size - static_cast<uint32_t>(held);
}

int RingBuf_HasMoreThan(const RingBuf* rb, uint32_t n)
{
    return static_cast<int64_t>(static_cast<int32_t>(rb->writeCount - rb->readCount)) > static_cast<int64_t>(n) ? 1 : 0;
}

uint32_t RingBuf_Head(const RingBuf* rb)
{
    return rb->head;
}

uint32_t RingBuf_Tail(const RingBuf* rb)
{
    return rb->tail;
}
