// Byte ring buffer.
#include "core/base/ringBuf.h"

#include <atomic>
#include <cstring>

namespace {

// The writer moves only head and writeCount, the reader only tail and
// readCount. Each side publishes its index after the bytes it covers
// (release) and reads the other side's index before touching those bytes
// (acquire), so one writer thread and one reader thread may share a ring.
uint32_t loadIndex(const uint32_t& v)
{
    return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(v)).load(std::memory_order_acquire);
}

void storeIndex(uint32_t& v, uint32_t x)
{
    std::atomic_ref<uint32_t>(v).store(x, std::memory_order_release);
}

// Held bytes by the running counts, or -1 when they make no sense (more
// held than the ring can take, or more read than written).
int64_t heldBytes(const RingBuf* rb)
{
    int32_t held = static_cast<int32_t>(loadIndex(rb->writeCount) - loadIndex(rb->readCount));
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
    uint32_t head = rb->head, tail = loadIndex(rb->tail);
    while (stored < n) {
        uint32_t next = head + 1;
        if (next == tail || (next == rb->size && tail == 0))
            break;
        rb->data[head] = src[stored++];
        head = next == rb->size ? 0 : next;
    }
    if (stored > 0) {
        storeIndex(rb->head, head);
        storeIndex(rb->writeCount, rb->writeCount + stored);
    }
    return stored;
}

uint32_t RingBuf_Read(RingBuf* rb, uint8_t* dst, uint32_t n)
{
    uint32_t copied = 0;
    uint32_t tail = rb->tail, head = loadIndex(rb->head);
    while (copied < n && tail != head) {
        dst[copied++] = rb->data[tail];
        tail = tail + 1 == rb->size ? 0 : tail + 1;
    }
    if (copied > 0) {
        storeIndex(rb->tail, tail);
        storeIndex(rb->readCount, rb->readCount + copied);
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
    return static_cast<int64_t>(static_cast<int32_t>(loadIndex(rb->writeCount) - loadIndex(rb->readCount))) >
                   static_cast<int64_t>(n)
               ? 1
               : 0;
}

uint32_t RingBuf_Head(const RingBuf* rb)
{
    return loadIndex(rb->head);
}

uint32_t RingBuf_Tail(const RingBuf* rb)
{
    return loadIndex(rb->tail);
}
